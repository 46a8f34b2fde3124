// The model to BVH: the skeleton as the HIERARCHY, the first root's position
// and every rotating joint's rotation as channels, a frame line per frame.
// A leaf that never rotates ends in an End Site.
#include "formats/bvh/BvhFormat.h"

#include "bvh/Writer.h"
#include "convert/SpaceConversion.h"
#include "formats/Error.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>

#include <ostream>

namespace qmf::formats {

namespace {

constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;
constexpr std::size_t kFlushBytes = std::size_t(1) << 20;

bvh::Channel rotationChannel(char axis) { return static_cast<bvh::Channel>(3 + (axis - 'x')); }

class BvhWriter : public Writer {
public:
    BvhWriter(const fileio::Output& target, const ConvertOptions& options)
        : target_(target), options_(options), listed_(options.order) {
        const std::string mayaOrder(listed_.rbegin(), listed_.rend());
        order_ = static_cast<MEulerRotation::RotationOrder>(bvhnames::mayaOrderIndex(mayaOrder));
    }

    void begin(const Skeleton& s, std::ostream&) override {
        skeleton_ = &s;
        std::vector<char> hasChildren(s.joints.size(), 0);
        for (const Joint& j : s.joints)
            if (j.parent >= 0) hasChildren[static_cast<std::size_t>(j.parent)] = 1;
        model_ = blocksOrder(s);
        std::vector<int32_t> bvhIndex(s.joints.size(), -1);
        for (std::size_t k = 0; k < model_.size(); ++k) {
            const std::size_t m = model_[k];
            bvhIndex[m] = static_cast<int32_t>(k);
            const Joint& j = s.joints[m];
            bvh::Joint b;
            b.parent = j.parent < 0 ? -1 : bvhIndex[static_cast<std::size_t>(j.parent)];
            for (int a = 0; a < 3; ++a) b.offset[a] = j.offset[a] * s.lengthToCm / options_.unitToCm;
            // A leaf that never turns, or a scene's leaf (its turn moves
            // nothing), is an End Site, as captures end their chains.
            b.endSite = b.parent >= 0 && !hasChildren[m] && (!j.rotation || s.rotations == Rotations::Both);
            listedOf_.push_back(listedOrder(s, j));
            if (!b.endSite) {
                b.name = j.name;
                if (k == 0) b.channels = {bvh::Channel::Xposition, bvh::Channel::Yposition, bvh::Channel::Zposition};
                for (char a : listedOf_.back()) b.channels.push_back(rotationChannel(a));
                b.firstChannel = h_.channelCount;
                h_.channelCount += static_cast<uint32_t>(b.channels.size());
            }
            h_.joints.push_back(std::move(b));
        }
        previous_.assign(h_.joints.size(), MEulerRotation(0, 0, 0, order_));
        unkeyed_.assign(h_.joints.size(), 0);
        tmp_ = std::make_unique<fileio::TempFile>(target_);
        // A clip holds floats: offsets and positions with more digits than a
        // float's would only be noise. Angles are worked out in double from
        // the clip's quaternions and keep every digit, so a round trip loses
        // only the clip's own precision. A scene's values are doubles throughout.
        floatDigits_ = s.rotations != Rotations::Both;
        try {
            text_ = bvh::writeHeader(h_, s.frames, s.frameTime, floatDigits_);
        } catch (const bvh::Error& e) {
            throw FormatError(s.path + ": cannot be written as BVH: " + e.what());
        }
        values_.resize(h_.channelCount);
    }

    void frame(const Frame& fr) override {
        const Skeleton& s = *skeleton_;
        const uint32_t f = written_++;
        if (!fr.rootKeyed) ++unkeyed_[0];
        for (int c = 0; c < 3; ++c)
            values_[static_cast<std::size_t>(c)] = fr.position[0][static_cast<std::size_t>(c)] * s.lengthToCm / options_.unitToCm;
        const MQuaternion noOrientation;  // BVH joints rest unrotated
        for (std::size_t k = 0; k < h_.joints.size(); ++k) {
            const bvh::Joint& b = h_.joints[k];
            if (b.endSite) continue;
            const std::size_t m = model_[k];
            const std::string& listed = listedOf_[k];
            MEulerRotation e;
            if (s.rotations == Rotations::Both) {
                // Each joint's own angles in its own order, as they are.
                const auto& a = fr.euler[m];
                e = MEulerRotation(a[0], a[1], a[2], static_cast<MEulerRotation::RotationOrder>(s.joints[m].rotateOrder));
            } else if (s.rotations == Rotations::FileQuaternion) {
                if (!fr.keyed[m] && (k != 0 || fr.rootKeyed)) ++unkeyed_[k];
                e = fileRotationToScene(fr.fileRotation[m], noOrientation).asEulerRotation();
            } else {
                const auto& a = fr.euler[m];
                e = MEulerRotation(a[0], a[1], a[2], static_cast<MEulerRotation::RotationOrder>(s.joints[m].rotateOrder))
                        .asQuaternion()
                        .asEulerRotation();
            }
            if (s.rotations != Rotations::Both) {
                e.reorderIt(order_);
                e.setToClosestSolution(previous_[k]);
                previous_[k] = e;
            }
            const std::size_t first = b.firstChannel + (k == 0 ? 3 : 0);
            for (std::size_t a = 0; a < 3; ++a) values_[first + a] = e[static_cast<unsigned>(listed[a] - 'x')] * kRadiansToDegrees;
        }
        try {
            bvh::appendFrame(text_, values_.data(), values_.size(), std::size_t(floatDigits_ ? 3 : 0));
        } catch (const bvh::Error&) {
            throw FormatError(s.path + ": frame " + std::to_string(f) + " holds a value that is not a finite number");
        }
        if (text_.size() >= kFlushBytes) {
            tmp_->write(text_);
            text_.clear();
        }
    }

    Written finish(std::ostream& warn) override {
        tmp_->write(text_);
        tmp_->commit();
        for (std::size_t k = 0; k < h_.joints.size(); ++k)
            if (unkeyed_[k])
                warn << "qmf: warning: " << h_.joints[k].name << " has no key on " << unkeyed_[k] << " of "
                     << skeleton_->frames << " frames; each holds the value before it (the rest pose before the first key)\n";
        return {h_.joints.size(), skeleton_->frames, {}};
    }

private:
    // Joints so that each one's subtree follows it whole, as BVH blocks
    // nest: roots in order, children in order. A scene's joint under a
    // transform starts a hierarchy of its own in the middle of another.
    static std::vector<std::size_t> blocksOrder(const Skeleton& s) {
        std::vector<std::vector<std::size_t>> children(s.joints.size());
        std::vector<std::size_t> roots;
        for (std::size_t j = 0; j < s.joints.size(); ++j)
            (s.joints[j].parent < 0 ? roots : children[static_cast<std::size_t>(s.joints[j].parent)]).push_back(j);
        std::vector<std::size_t> order;
        order.reserve(s.joints.size());
        std::vector<std::size_t> stack(roots.rbegin(), roots.rend());
        while (!stack.empty()) {
            const std::size_t j = stack.back();
            stack.pop_back();
            order.push_back(j);
            stack.insert(stack.end(), children[j].rbegin(), children[j].rend());
        }
        return order;
    }

    // Rotation channels as listed: --order, or for a scene each joint's own
    // rotate order (BVH lists the last applied first).
    std::string listedOrder(const Skeleton& s, const Joint& j) const {
        if (s.rotations != Rotations::Both) return listed_;
        static const char* const kMayaOrders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
        const std::string maya = kMayaOrders[j.rotateOrder >= 0 && j.rotateOrder < 6 ? j.rotateOrder : 0];
        return std::string(maya.rbegin(), maya.rend());
    }

    fileio::Output target_;
    ConvertOptions options_;
    std::string listed_;  // rotation channels as listed
    MEulerRotation::RotationOrder order_;
    const Skeleton* skeleton_ = nullptr;
    bvh::Hierarchy h_;
    std::unique_ptr<fileio::TempFile> tmp_;
    std::string text_;
    std::vector<double> values_;
    std::vector<MEulerRotation> previous_;
    std::vector<uint32_t> unkeyed_;
    std::vector<std::string> listedOf_;  // per joint
    std::vector<std::size_t> model_;     // the model's joint written at each place
    bool floatDigits_ = true;
    uint32_t written_ = 0;
};

}  // namespace

std::unique_ptr<Writer> writeBvh(const fileio::Output& target, const ConvertOptions& options) {
    return std::make_unique<BvhWriter>(target, options);
}

}  // namespace qmf::formats
