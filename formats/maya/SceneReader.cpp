// A Maya ASCII scene into the model: its joints as export walks them, posed
// at the time asked (the skeleton, as export writes it), then baked frame by
// frame through the host's evaluation of the animation curves. Each frame
// gives both the joints' own angles and the file quaternions export would
// write, so a clip gets the exact inverse of import and a capture the
// curves' own values.
#include "formats/maya/MayaFormat.h"

#include "convert/SpaceConversion.h"
#include "formats/Error.h"
#include "formats/Session.h"
#include "qmfhost/Animation.h"
#include "qmfhost/Scene.h"

#include <maya/MDagPath.h>
#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>
#include <maya/MFnIkJoint.h>
#include <maya/MQuaternion.h>
#include <maya/MTime.h>
#include <maya/MTransformationMatrix.h>

#include <kell_authoring.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <ostream>

namespace qmf::formats {

namespace {

// Nodes visited on all instanced paths before a scene is refused.
constexpr std::size_t kMaxVisits = std::size_t(1) << 21;
// Whole frames in a range are counted with this much give for the seconds
// a scene's times went through.
constexpr double kFrameTolerance = 1e-6;

int eulerOrder(MTransformationMatrix::RotationOrder order) {
    const int o = static_cast<int>(order);
    return o >= MTransformationMatrix::kXYZ && o <= MTransformationMatrix::kZYX ? o - 1 : 0;
}

void setTime(double seconds) {
    qmfhost::AnimControlState ac = qmfhost::animControlState();
    ac.currentTime = MTime(seconds, MTime::kSeconds);
    qmfhost::setAnimControlState(ac);
}

bool isIdentity(const MQuaternion& q) { return q.x == 0 && q.y == 0 && q.z == 0 && q.w == 1; }

class SceneReader : public Reader {
public:
    SceneReader(const std::string& path, const ConvertOptions& options) : path_(path) {
        {
            // The host holds all a bake reads: the text goes before the frames.
            qmfhost::ma::Scene scene = readScene(path);
            bindScene(path, scene);
            fps_ = scene.units.framesPerSecond;
        }
        const double timeFrames = options.time.empty() ? 0.0 : parseFrameNumber(options.time, "--time");
        if (!options.time.empty()) setTime(timeFrames / fps_);
        walk_ = walkSceneJoints(path, kMaxVisits);
        if (walk_.empty()) throw FormatError(path + ": the scene has no joints");
        chooseFrames(options);
        // What the scene says of the joints baked (and what is above them)
        // before anything above is folded away.
        std::vector<MObject> nodes;
        for (const SceneJoint& j : walk_)
            if (options.root.empty() || underRoot(j, options.root)) nodes.push_back(j.node);
        warnScale(nodes);
        for (const auto& u : qmfhost::unevaluatedChannelsAbove(nodes))
            warnings_ += "qmf: warning: " + u.nodePath + "." + u.channel.attribute + " is driven by " +
                         u.channel.driverName + " (" + u.channel.driverType +
                         "), which the host does not evaluate; its stored value is baked\n";
        if (!options.root.empty()) {
            const RootFold fold = keepOnlyHierarchyOf(path, walk_, options.root);
            above_ = fold.above;
            warnings_ += fold.warning;
            walk_ = walkSceneJoints(path, kMaxVisits);
        }
        readSkeleton();
    }

    const Skeleton& skeleton() const override { return skeleton_; }
    void serve(Rotations r) override { angles_ = r != Rotations::FileQuaternion; }
    void warn(std::ostream& out) override { out << warnings_; }

    void warnAfter(std::ostream& out) override {
        std::vector<std::string> moved, scaled;
        for (std::size_t j = 0; j < walk_.size(); ++j) {
            if (translated_[j]) moved.push_back(skeleton_.joints[j].name);
            if (rescaled_[j]) scaled.push_back(skeleton_.joints[j].name);
        }
        if (!moved.empty())
            out << "qmf: warning: only the first joint's translation is baked; the animated translate of "
                << nameList(moved) << " is not\n";
        if (!scaled.empty())
            out << "qmf: warning: scale is not baked; the animated scale of " << nameList(scaled) << " is not\n";
    }

    bool next(Frame& frame) override {
        if (served_ >= skeleton_.frames) return false;
        setTime((first_ + double(served_) * step_) / fps_);
        ++served_;
        const std::size_t n = walk_.size();
        frame.euler.resize(angles_ ? n : 0);
        frame.fileRotation.resize(n);
        frame.keyed.assign(n, 1);
        frame.position.resize(n);
        frame.rootKeyed = true;
        for (std::size_t j = 0; j < n; ++j) {
            const MFnIkJoint& fn = fns_[j];
            MQuaternion rotation, orientation;
            fn.getRotation(rotation, MSpace::kTransform);
            fn.getOrientation(orientation);
            frame.fileRotation[j] = sceneRotationToFile(rotation, orientation);
            if (angles_) frame.euler[j] = anglesOf(fn, j, rotation, orientation);
            const MVector t = fn.translation(MSpace::kTransform);
            if (j == 0) frame.position[0] = placed(t);
            noteChanges(fn, j, t);
        }
        return true;
    }

private:
    // The first joint's translate in the world: through what was above it
    // when --root took it out (the identity otherwise).
    std::array<double, 3> placed(const MVector& t) const {
        const MMatrix& m = above_;
        return {t.x * m(0, 0) + t.y * m(1, 0) + t.z * m(2, 0) + m(3, 0),
                t.x * m(0, 1) + t.y * m(1, 1) + t.z * m(2, 1) + m(3, 1),
                t.x * m(0, 2) + t.y * m(1, 2) + t.z * m(2, 2) + m(3, 2)};
    }

    // Whether a joint is the one --root names or under it, by its path.
    static bool underRoot(const SceneJoint& j, const std::string& root) {
        for (MDagPath p = j.path; p.length() > 0; p.pop())
            if (qmfhost::typeName(p.node()) == "joint" && namedBy(p, root)) return true;
        return false;
    }

    // Translation on joints past the first and scale anywhere change over
    // the frames: a clip holds neither, which is said once all are read.
    void noteChanges(const MFnIkJoint& fn, std::size_t j, const MVector& t) {
        double scale[3] = {1, 1, 1};
        fn.getScale(scale);
        Pose& first = firstPose_[j];
        if (served_ == 1) {
            first = {t, {scale[0], scale[1], scale[2]}};
            return;
        }
        if (j != 0 && !(t == first.translate)) translated_[j] = 1;
        for (int a = 0; a < 3; ++a)
            if (scale[a] != first.scale[a]) rescaled_[j] = 1;
    }

    void warnScale(const std::vector<MObject>& joints) {
        const std::vector<std::string> names = unevenlyScaled(joints);
        if (!names.empty()) warnings_ += "qmf: warning: " + unevenScaleWarning(names, "baked rotations") + "\n";
    }

    // The joint's rotation in its own order: the rotate channels' values
    // themselves where no joint orient comes after them, else the rotation
    // with the orient composed in, the solution closest to the frame before.
    std::array<double, 3> anglesOf(const MFnIkJoint& fn, std::size_t j, const MQuaternion& rotation,
                                   const MQuaternion& orientation) {
        MEulerRotation e;
        if (isIdentity(orientation)) {
            fn.getRotation(e);
        } else {
            e = (rotation * orientation).asEulerRotation();
            e.reorderIt(previous_[j].order);
            e.setToClosestSolution(previous_[j]);
        }
        previous_[j] = e;
        return {e.x, e.y, e.z};
    }

    // --frames A:B (default: the playback range) at --step N.
    void chooseFrames(const ConvertOptions& options) {
        if (options.step == 0) throw FormatError("--step must be 1 or more");
        const qmfhost::AnimControlState ac = qmfhost::animControlState();
        const double start = ac.minTime.as(MTime::kSeconds) * fps_, end = ac.maxTime.as(MTime::kSeconds) * fps_;
        FrameRange r{start, end};
        if (!options.frames.empty()) {
            r = parseFrameRange(options.frames);
            // What the scene holds: its playback range, widened to its keys.
            double lo = start, hi = end;
            keyedRange(lo, hi);
            if (r.first < lo - kFrameTolerance || r.last > hi + kFrameTolerance)
                throw FormatError("--frames " + options.frames + " is outside the frames of " + path_ +
                                  " (its playback range and keys), " + formatFrame(lo) + " to " + formatFrame(hi));
        }
        if (!std::isfinite(r.first) || !std::isfinite(r.last) || r.last < r.first)
            throw FormatError(path_ + ": the playback range is not a range of frames");
        const double count = std::floor((r.last - r.first) / options.step + kFrameTolerance) + 1;
        if (count > KELL_MAX_FRAMES)
            throw FormatError("--frames and --step choose " + formatFrame(count) + " frames of " + path_ +
                              "; a clip holds at most " + std::to_string(KELL_MAX_FRAMES));
        first_ = r.first;
        step_ = options.step;
        skeleton_.frames = static_cast<uint32_t>(count);
        skeleton_.frameTime = step_ / fps_;
    }

    // Widens [lo, hi] to the first and last keys of the scene's curves (in
    // frames); a key at a time that is not finite is left out.
    void keyedRange(double& lo, double& hi) const {
        for (const MObject& node : qmfhost::allNodes()) {
            if (!qmfhost::isAnimCurve(node)) continue;
            qmfhost::CurveKeysView view;
            if (!qmfhost::viewCurveKeys(node, view) || view.size == 0) continue;
            for (double t : {view.times[0], view.times[view.size - 1]})
                if (std::isfinite(t * fps_)) {
                    lo = std::min(lo, t * fps_);
                    hi = std::max(hi, t * fps_);
                }
        }
    }

    // The joints at the time asked: what export writes.
    void readSkeleton() {
        skeleton_.path = path_;
        skeleton_.rotations = Rotations::Both;
        skeleton_.inHost = true;
        skeleton_.joints.resize(walk_.size());
        previous_.clear();
        fns_.clear();
        for (std::size_t j = 0; j < walk_.size(); ++j) {
            const MFnIkJoint& fn = fns_.emplace_back(walk_[j].node);
            Joint& joint = skeleton_.joints[j];
            joint.name = qmfhost::nodeName(walk_[j].node);
            joint.parent = walk_[j].parent;
            const MVector t = fn.translation(MSpace::kTransform);
            joint.offset = j == 0 ? placed(t) : std::array<double, 3>{t.x, t.y, t.z};
            joint.position = j == 0;
            joint.rotation = true;
            joint.rotateOrder = eulerOrder(fn.rotationOrder());
            MQuaternion rotation, orientation;
            fn.getRotation(rotation, MSpace::kTransform);
            fn.getOrientation(orientation);
            joint.rest = sceneRotationToFile(rotation, orientation);
            previous_.emplace_back(0, 0, 0, static_cast<MEulerRotation::RotationOrder>(joint.rotateOrder));
        }
        firstPose_.assign(walk_.size(), Pose{});
        translated_.assign(walk_.size(), 0);
        rescaled_.assign(walk_.size(), 0);
    }

    static std::string formatFrame(double f) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.6g", f);
        return buf;
    }

    std::string path_;
    double fps_ = 24;
    std::vector<SceneJoint> walk_;
    std::deque<MFnIkJoint> fns_;   // one per joint of walk_, made once (function sets do not move)
    Skeleton skeleton_;
    std::string warnings_;
    std::vector<MEulerRotation> previous_;
    struct Pose {
        MVector translate;
        std::array<double, 3> scale{};
    };
    std::vector<Pose> firstPose_;
    std::vector<char> translated_, rescaled_;
    double first_ = 0;
    uint32_t step_ = 1;
    uint32_t served_ = 0;
    bool angles_ = true;
    MMatrix above_;   // identity unless --root folded what was above the first joint
};

}  // namespace

std::unique_ptr<Reader> readMayaScene(const std::string& path, const ConvertOptions& options) {
    return std::make_unique<SceneReader>(path, options);
}

}  // namespace qmf::formats
