// The model to a Maya ASCII scene as a capture's channels: the joint
// hierarchy with one animation curve per channel, keyed on every frame with
// linear tangents.
#include "formats/maya/MayaFormat.h"

#include "bvh/Writer.h"
#include "clips/MayaNames.h"
#include "fileio/ColumnSpool.h"
#include "formats/Error.h"
#include "formats/Units.h"
#include "qmfhost/MaParser.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"

#include <maya/MEulerRotation.h>
#include <maya/MFnAnimCurve.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <unordered_set>

namespace qmf::formats {

namespace {

// Valid Maya names, and one of its own for every joint: the scene names a
// parent by name, so a second joint of a name is renamed too.
std::vector<std::string> uniqueMayaNames(const std::vector<std::string>& names, std::vector<NameChange>& changes) {
    std::vector<std::string> out = mayaNames(names, &changes);
    std::unordered_set<std::string> taken(out.begin(), out.end());
    taken.insert(names.begin(), names.end());
    std::unordered_set<std::string> used;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (used.insert(out[i]).second) continue;
        std::string name;
        for (unsigned n = 1; name.empty() || taken.count(name); ++n) name = out[i] + "_" + std::to_string(n);
        taken.insert(name);
        used.insert(name);
        changes.push_back({names[i], name});
        out[i] = name;
    }
    return out;
}


qmfhost::ma::NewCurve curveFor(const std::string& name, const std::string& node, const char* attr, char kind) {
    qmfhost::ma::NewCurve c;
    c.name = name + "_" + attr;
    c.type = kind == 'A' ? "animCurveTA" : "animCurveTL";
    c.curve.kind = kind;
    c.curve.tangentType = MFnAnimCurve::kTangentLinear;
    c.curve.weighted = false;
    c.destinations.emplace_back(node, attr);
    return c;
}

// A curve's keys as the spool holds them: one a frame, at the frame's time.
class SpooledKeys : public qmfhost::ma::KeyColumn {
public:
    SpooledKeys(std::shared_ptr<const fileio::ColumnSpool> spool, std::size_t column, double secondsPerFrame)
        : spool_(std::move(spool)), column_(column), secondsPerFrame_(secondsPerFrame) {}
    std::size_t size() const override { return spool_->rows(); }
    void read(std::size_t first, std::size_t count, double* times, double* values) const override {
        spool_->read(column_, first, count, values);
        for (std::size_t i = 0; i < count; ++i) times[i] = double(first + i) * secondsPerFrame_;
    }

private:
    std::shared_ptr<const fileio::ColumnSpool> spool_;
    std::size_t column_;
    double secondsPerFrame_;
};

class MayaCurvesWriter : public Writer {
public:
    MayaCurvesWriter(const fileio::Output& target, const ConvertOptions& options, std::size_t spoolBytes)
        : target_(target), options_(options), spoolBytes_(spoolBytes) {}

    void begin(const Skeleton& s, std::ostream& warn) override {
        skeleton_ = &s;
        std::vector<std::string> sourceNames;
        sourceNames.reserve(s.joints.size());
        for (const Joint& j : s.joints) sourceNames.push_back(j.name);
        std::vector<NameChange> changes;
        names_ = uniqueMayaNames(sourceNames, changes);
        if (!changes.empty()) warn << "qmf: " << renameWarning(changes) << "\n";

        const double fps = 1.0 / s.frameTime;
        // Maya keeps time as whole ticks of 1/141120000 s in a signed 64-bit
        // count: a scene past that, or with frames closer than a tick, would
        // be refused when read back.
        const double lastTicks = double(s.frames ? s.frames - 1 : 0) * s.frameTime * 141120000.0;
        if (!(fps > 0 && fps <= 100000) || !(lastTicks <= 9.0e18))
            throw FormatError(s.path + ": a frame time of " + qmfhost::ma::formatNumber(s.frameTime) +
                              " s gives key times a Maya scene cannot hold (at most 100,000 frames a second, and 2,000 years)");
        refuseWhatCannotBeReadBack(s);
        bool exact = false;
        const TimeUnit& unit = nearestTimeUnit(fps, exact);
        if (!exact)
            warn << "qmf: warning: Maya has no time unit of " << qmfhost::ma::formatNumber(fps)
                 << " fps; keys are placed at their times in seconds on the nearest, " << unit.name << "\n";
        secondsPerFrame_ = exact ? 1.0 / unit.fps : s.frameTime;
        buildScene(s, unit.name);
        for (std::size_t i = 0; i < s.joints.size(); ++i) addCurves(s.joints[i], names_[i]);
        // Keys wait in a spool, not in the curves: a long capture's take
        // memory that does not grow with its frames.
        spool_ = std::make_shared<fileio::ColumnSpool>(edits_.newCurves.size(), fileio::folderOf(target_.target), s.frames, spoolBytes_);
    }

    void frame(const Frame& fr) override {
        const Skeleton& s = *skeleton_;
        fileio::ColumnSpool& spool = *spool_;
        for (std::size_t i = 0; i < s.joints.size(); ++i) {
            const Joint& j = s.joints[i];
            const std::array<int, 6>& at = curveAt_[i];
            if (j.position)
                for (std::size_t a = 0; a < 3; ++a)
                    spool.set(static_cast<std::size_t>(at[a]), fr.position[i][a] * s.lengthToCm);
            if (!j.rotation) continue;
            const auto& r = fr.euler[i];
            // Angles stay continuous: each frame's rotation is the solution
            // closest to the one before, starting from no rotation.
            MEulerRotation e(r[0], r[1], r[2], previous_[i].order);
            e.setToClosestSolution(previous_[i]);
            previous_[i] = e;
            for (std::size_t a = 0; a < 3; ++a) spool.set(static_cast<std::size_t>(at[3 + a]), e[static_cast<unsigned>(a)]);
        }
        spool.endRow();
    }

    Written finish(std::ostream&) override {
        const uint32_t frames = skeleton_->frames;
        for (std::size_t c = 0; c < edits_.newCurves.size(); ++c)
            edits_.newCurves[c].column = std::make_shared<SpooledKeys>(spool_, c, secondsPerFrame_);
        const double last = frames ? (frames - 1) * secondsPerFrame_ : 0.0;
        edits_.playback = qmfhost::ma::Playback{0.0, last, 0.0, last};
        try {
            qmfhost::ma::writeSceneAtomically(target_.path, scene_, edits_);  // streamed, never held whole
        } catch (const std::exception& e) {
            throw FormatError(e.what());
        }
        return {skeleton_->joints.size(), frames, {}};
    }

private:
    // Each key is at least " frame v" in the file: when that alone passes
    // what qmf reads back (a file of 1 GiB, a statement of 256 MiB), the
    // scene is refused before a frame is read or held.
    static void refuseWhatCannotBeReadBack(const Skeleton& s) {
        uint64_t perCurve = 0;  // bytes of one curve's keys, at least
        for (uint64_t from = 0, digits = 1, next = 10; from < s.frames; from = next, next *= 10, ++digits)
            perCurve += (std::min<uint64_t>(next, s.frames) - from) * (digits + 3);
        uint64_t curves = 0;
        for (const Joint& j : s.joints) curves += 3 * (j.position + j.rotation);
        const qmfhost::ma::Limits limits;
        if (perCurve > limits.maxStatementBytes || perCurve * curves > limits.maxFileBytes)
            throw FormatError(s.path + ": " + std::to_string(s.frames) + " frames of " + std::to_string(curves) +
                              " curves make a Maya ASCII scene larger than qmf reads back (" +
                              std::to_string(limits.maxFileBytes >> 20) + " MiB, " +
                              std::to_string(limits.maxStatementBytes >> 20) +
                              " MiB a curve); --frames or --step take part of it, or convert to a clip");
    }

    void buildScene(const Skeleton& s, const char* timeUnit) {
        std::string text = "//Maya ASCII 2018 scene\n//Name: bvh\nrequires maya \"2018\";\ncurrentUnit -l ";
        std::size_t count = 0;
        const LengthUnit* units = lengthUnits(count);
        const char* linear = units[0].mayaName;
        double offsetScale = 1;   // a unit Maya has no name for is written in centimetres
        for (std::size_t u = 0; u < count; ++u)
            if (s.lengthUnit == units[u].name) {
                if (units[u].mayaName) linear = units[u].mayaName;
                else offsetScale = units[u].cm;
            }
        text += linear;
        text += " -a degree -t ";
        text += timeUnit;
        text += ";\n";
        previous_.clear();
        for (std::size_t i = 0; i < s.joints.size(); ++i) {
            const Joint& j = s.joints[i];
            text += "createNode joint -n \"" + names_[i] + "\"";
            if (j.parent >= 0) text += " -p \"" + names_[static_cast<std::size_t>(j.parent)] + "\"";
            text += ";\n\tsetAttr \".t\" -type \"double3\"";
            for (double v : j.offset) {
                text += ' ';
                bvh::appendNumber(text, v * offsetScale);
            }
            text += ";\n";
            const int order = j.rotation ? j.rotateOrder : 0;
            if (order) text += "\tsetAttr \".ro\" " + std::to_string(order) + ";\n";
            previous_.emplace_back(0, 0, 0, static_cast<MEulerRotation::RotationOrder>(order));
        }
        try {
            scene_ = qmfhost::ma::readText(text);
        } catch (const std::exception& e) {
            throw FormatError(std::string("the scene for ") + s.path + " could not be built: " + e.what());
        }
        if (scene_.nodes.size() != s.joints.size()) throw FormatError("the scene for " + s.path + " could not be built");
    }

    // Translate curves then rotate curves, as the joint's channels have them.
    void addCurves(const Joint& j, const std::string& name) {
        std::array<int, 6> at{-1, -1, -1, -1, -1, -1};
        if (j.position)
            for (int a = 0; a < 3; ++a) {
                at[static_cast<std::size_t>(a)] = static_cast<int>(edits_.newCurves.size());
                edits_.newCurves.push_back(curveFor(name, name, kTranslate[a], 'L'));
            }
        if (j.rotation)
            for (int a = 0; a < 3; ++a) {
                at[static_cast<std::size_t>(3 + a)] = static_cast<int>(edits_.newCurves.size());
                edits_.newCurves.push_back(curveFor(name, name, kRotate[a], 'A'));
            }
        curveAt_.push_back(at);
    }

    static constexpr const char* kTranslate[3] = {"translateX", "translateY", "translateZ"};
    static constexpr const char* kRotate[3] = {"rotateX", "rotateY", "rotateZ"};

    fileio::Output target_;
    ConvertOptions options_;
    std::size_t spoolBytes_;
    const Skeleton* skeleton_ = nullptr;
    std::vector<std::string> names_;  // unique, so a node path is not needed
    double secondsPerFrame_ = 0;
    qmfhost::ma::Scene scene_;
    qmfhost::ma::Edits edits_;
    std::vector<std::array<int, 6>> curveAt_;  // per joint: its curves' places in edits_, -1 for none
    std::vector<MEulerRotation> previous_;
    std::shared_ptr<fileio::ColumnSpool> spool_;
};

}  // namespace

std::unique_ptr<Writer> writeMayaCurves(const fileio::Output& target, const ConvertOptions& options, std::size_t spoolBytes) {
    return std::make_unique<MayaCurvesWriter>(target, options, spoolBytes);
}

}  // namespace qmf::formats
