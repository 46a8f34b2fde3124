// A BVH file into the model: the hierarchy as the skeleton (End Sites named
// after their parent), then one frame line at a time, angles kept as the
// capture gives them.
#include "formats/bvh/BvhFormat.h"

#include "bvh/Reader.h"
#include "formats/Error.h"
#include "formats/Units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace qmf::formats {

namespace {

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

class BvhReader : public Reader {
public:
    BvhReader(const std::string& path, const ConvertOptions& options, bool whole) : path_(path) {
        try {
            reader_ = std::make_unique<bvh::Reader>(bvh::Reader::open(path));
            if (whole) {
                document_ = std::make_unique<bvh::Document>(bvh::readDocument(*reader_));
                hierarchy_ = &document_->hierarchy;
                ignored_ = document_->ignoredLines;
                skeleton_.frames = document_->frames;
                skeleton_.frameTime = document_->frameTime;
            } else {
                reader_->readHeader();
                ignored_ = reader_->checkFrameLines();
                hierarchy_ = &reader_->hierarchy();
                skeleton_.frames = reader_->declaredFrames();
                skeleton_.frameTime = reader_->frameTime();
            }
        } catch (const bvh::Error& e) {
            throw FormatError(path + ": " + e.what());
        }
        skeleton_.path = path;
        skeleton_.rotations = Rotations::Euler;
        skeleton_.lengthToCm = options.unitToCm;
        skeleton_.lengthUnit = options.unitName;
        const std::vector<std::string> names = bvhnames::jointNames(*hierarchy_);
        skeleton_.joints.resize(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            const bvh::Joint& b = hierarchy_->joints[i];
            Joint& j = skeleton_.joints[i];
            j.name = names[i];
            j.parent = b.parent;
            j.offset = b.offset;
            j.endSite = b.endSite;
            j.position = b.hasPosition();
            j.rotation = b.hasRotation();
            if (j.rotation) j.rotateOrder = bvhnames::mayaOrderIndex(bvh::mayaRotateOrder(b));
            j.line = static_cast<std::size_t>(b.line);
        }
        values_.resize(hierarchy_->channelCount);
        // Where each channel's value goes, worked out once for every frame,
        // and which joints have no rotation or no position to read.
        for (std::size_t i = 0; i < hierarchy_->joints.size(); ++i) {
            const bvh::Joint& b = hierarchy_->joints[i];
            for (std::size_t c = 0; c < b.channels.size(); ++c)
                targets_.push_back({static_cast<uint32_t>(b.firstChannel + c), static_cast<uint32_t>(i),
                                    static_cast<uint8_t>((bvh::isRotation(b.channels[c]) ? 3 : 0) + bvh::axisOf(b.channels[c]))});
            if (!b.hasRotation()) noRotation_.push_back(i);
            if (!b.hasPosition()) noPosition_.push_back(i);
        }
    }

    const Skeleton& skeleton() const override { return skeleton_; }

    void warn(std::ostream& out) override { warnSize(out); }

    // Said once every frame was read: a file refused at a frame line says
    // only that.
    void warnAfter(std::ostream& out) override {
        if (!ignored_) return;
        out << "qmf: warning: " << path_ << ": Frames: declares " << skeleton_.frames << " frames; the " << ignored_
            << " frame line" << (ignored_ == 1 ? "" : "s") << " after them " << (ignored_ == 1 ? "is" : "are")
            << " ignored\n";
    }

    // A file does not say its unit: a skeleton implausibly small or large
    // for a figure in the unit read (under 20 cm, over 10 m tall at rest) is
    // said, with the unit that makes it about a person's height.
    void warnSize(std::ostream& out) const {
        const double size = restSize();
        const double cm = size * skeleton_.lengthToCm;
        if (!(size > 0) || (cm >= 20 && cm <= 1000)) return;
        std::size_t count = 0;
        const LengthUnit* units = lengthUnits(count);
        const LengthUnit* best = nullptr;
        for (std::size_t u = 0; u < count; ++u) {
            const double h = size * units[u].cm;
            if (h < 20 || h > 1000) continue;
            if (!best || std::fabs(std::log(h / 170)) < std::fabs(std::log(size * best->cm / 170))) best = &units[u];
        }
        const auto length = [](double v) {
            char text[32];
            std::snprintf(text, sizeof text, v >= 100 ? "%.0f" : "%.3g", v);
            return std::string(text);
        };
        out << "qmf: warning: " << path_ << ": the skeleton is " << length(cm) << " cm tall in " << skeleton_.lengthUnit;
        if (best) out << "; --unit " << best->name << " makes it " << length(size * best->cm) << " cm";
        out << "\n";
    }

    // The largest extent of the rest pose (offsets added up, no rotation), in
    // the file's unit.
    double restSize() const {
        const auto& joints = skeleton_.joints;
        std::vector<std::array<double, 3>> at(joints.size());
        std::array<double, 3> lo{0, 0, 0}, hi{0, 0, 0};
        for (std::size_t j = 0; j < joints.size(); ++j) {
            const int p = joints[j].parent;
            for (int a = 0; a < 3; ++a) {
                at[j][a] = joints[j].offset[a] + (p < 0 ? 0.0 : at[static_cast<std::size_t>(p)][a]);
                lo[a] = j ? std::min(lo[a], at[j][a]) : at[j][a];
                hi[a] = j ? std::max(hi[a], at[j][a]) : at[j][a];
            }
        }
        double size = 0;
        for (int a = 0; a < 3; ++a)
            if (std::isfinite(hi[a] - lo[a])) size = std::max(size, hi[a] - lo[a]);
        return size;
    }

    bool skip(Frame&) override {
        if (next_ >= skeleton_.frames) return false;
        if (!document_) {
            try {
                reader_->skipFrame();
            } catch (const bvh::Error& e) {
                throw FormatError(path_ + ": " + e.what());
            }
        }
        ++next_;
        return true;
    }

    bool next(Frame& frame) override {
        if (next_ >= skeleton_.frames) return false;
        const double* v = values_.data();
        if (document_) {
            v = document_->frame(next_);
        } else {
            try {
                reader_->readFrame(values_.data());
            } catch (const bvh::Error& e) {
                throw FormatError(path_ + ": " + e.what());
            }
        }
        ++next_;
        const std::size_t n = skeleton_.joints.size();
        // Every channel sets its axis; what a joint has no channel for is zero
        // on every frame (whatever a step after this one made of it).
        frame.euler.resize(n);
        frame.position.resize(n);
        for (std::size_t j : noRotation_) frame.euler[j] = {0, 0, 0};
        for (std::size_t j : noPosition_) frame.position[j] = {0, 0, 0};
        frame.rootKeyed = true;
        for (const Target& t : targets_) {
            if (t.slot >= 3) frame.euler[t.joint][t.slot - 3] = v[t.value] * kDegreesToRadians;
            else frame.position[t.joint][t.slot] = v[t.value];
        }
        return true;
    }

private:
    std::string path_;
    std::unique_ptr<bvh::Reader> reader_;
    std::unique_ptr<bvh::Document> document_;
    const bvh::Hierarchy* hierarchy_ = nullptr;
    uint64_t ignored_ = 0;
    Skeleton skeleton_;
    std::vector<double> values_;
    uint32_t next_ = 0;
    struct Target {
        uint32_t value;  // the channel's place in a frame's values
        uint32_t joint;
        uint8_t slot;    // 0-2 position x, y, z; 3-5 rotation x, y, z
    };
    std::vector<Target> targets_;  // one per channel
    std::vector<std::size_t> noRotation_, noPosition_;
};

}  // namespace

std::unique_ptr<Reader> readBvh(const std::string& path, const ConvertOptions& options, bool whole) {
    return std::make_unique<BvhReader>(path, options, whole);
}

}  // namespace qmf::formats
