// A Maya ASCII scene into the model: its joints as export walks them, each
// value read from the headless host (which evaluates the animation curves)
// at the current time for the rest pose and, when the scene has curves, at
// every frame of the playback range. Values cross into file form through
// export's own conversions.
#include "motion/MotionBuild.h"

#include "formats/Error.h"
#include "formats/Model.h"
#include "formats/Session.h"
#include "convert/SpaceConversion.h"
#include "qmfhost/Animation.h"
#include "qmfhost/Scene.h"

#include <maya/MDagPath.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>
#include <maya/MTime.h>
#include <maya/MTransformationMatrix.h>

#include <kell_authoring.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>

namespace qmf::motion {

namespace {

int eulerOrder(MTransformationMatrix::RotationOrder order) {
    const int o = static_cast<int>(order);
    return o >= MTransformationMatrix::kXYZ && o <= MTransformationMatrix::kZYX ? o - 1 : 0;
}

bool hasCurves() {
    for (const MObject& n : qmfhost::allNodes())
        if (qmfhost::isAnimCurve(n)) return true;
    return false;
}

std::array<float, 4> fileRotation(const MFnIkJoint& fn) {
    MQuaternion rotation, orientation;
    fn.getRotation(rotation, MSpace::kTransform);
    fn.getOrientation(orientation);
    const quaternion q = sceneRotationToFile(rotation, orientation);
    return {q.f0, q.f1, q.f2, q.f3};
}

std::array<float, 3> fileOffset(const MFnIkJoint& fn) {
    const coord3 c = sceneVectorToFile(fn.translation(MSpace::kTransform));
    return {c.x, c.y, c.z};
}

void setTime(double seconds) {
    qmfhost::AnimControlState ac = qmfhost::animControlState();
    ac.currentTime = MTime(seconds, MTime::kSeconds);
    qmfhost::setAnimControlState(ac);
}

// --frames A:B (scene frames within the playback range) and --step N.
void chooseSceneFrames(const LoadOptions& options, const std::string& path, double& first, double& span, uint32_t& step) {
    if (options.step == 0) throw MotionError("--step must be 1 or more");
    step = options.step;
    if (options.frames.empty()) return;
    formats::FrameRange r;
    try {
        r = formats::parseFrameRange(options.frames);
    } catch (const FormatError& e) {
        throw MotionError(e.what());
    }
    if (r.first < first - 1e-6 || r.last > first + span + 1e-6)
        throw MotionError("--frames " + options.frames + " is outside the playback range of " + path);
    first = r.first;
    span = r.last - r.first;
}

// As many of the frames as a view holds, saying so when that is fewer.
double fitting(double frames, std::size_t joints, double first, uint32_t step, const std::string& path, std::ostream& warn) {
    const double fits = double(kMaxJointFrames / std::max<std::size_t>(joints, 1));
    if (frames <= fits) return frames;
    warn << "qmf: warning: " << path << ": " << frames << " frames of " << joints
         << " joints are more than one view holds; showing frames " << first << " to " << first + (fits - 1) * step
         << " (choose others with --frames A:B or --step N)\n";
    return fits;
}

// The joints at the current time: the rest pose, and what import keys against.
void readJoints(Motion& m, const std::vector<SceneJoint>& walk) {
    m.joints.resize(walk.size());
    for (std::size_t j = 0; j < walk.size(); ++j) {
        const MFnIkJoint fn(walk[j].node);
        Joint& joint = m.joints[j];
        joint.name = qmfhost::nodeName(walk[j].node);
        joint.parent = walk[j].parent;
        joint.offset = fileOffset(fn);
        joint.orientation = fileRotation(fn);
        MQuaternion o;
        fn.getOrientation(o);
        joint.sceneOrientation = {o.x, o.y, o.z, o.w};
        joint.rotateOrder = eulerOrder(fn.rotationOrder());
    }
    m.translatedRoot = 0;
}

// Every joint's world position as Maya composes it at the current time:
// its own matrix times its parent joint's world one, or for a joint under
// something else the whole path's.
void readScenePositions(Motion& m, const std::vector<SceneJoint>& walk, uint32_t frame, std::vector<MMatrix>& world) {
    world.resize(walk.size());
    for (std::size_t j = 0; j < walk.size(); ++j) {
        const int p = walk[j].parent;
        world[j] = p >= 0 ? MFnDagNode(walk[j].node).transformationMatrix() * world[static_cast<std::size_t>(p)]
                          : walk[j].path.inclusiveMatrix();
        m.scenePositions[m.index(frame, j)] = {world[j](3, 0), world[j](3, 1), world[j](3, 2)};
    }
}

// Where what Maya shows and what a clip of the scene holds part (scale, the
// transforms between joints): one line naming the joints, on the frames held.
void warnWhereClipDiffers(const Motion& m, std::ostream& warn) {
    const double tolerance = 1e-4 * skeletonSize(m);
    std::vector<char> differs(m.joints.size(), 0);
    double worst = 0;
    for (uint32_t f = 0; f < m.frames; ++f) {
        const auto clip = clipPositions(m, f);
        for (std::size_t j = 0; j < clip.size(); ++j) {
            const auto& s = m.scenePositions[m.index(f, j)];
            const double d = std::hypot(clip[j][0] - s[0], clip[j][1] - s[1], clip[j][2] - s[2]);
            if (!(d <= tolerance)) differs[j] = 1;
            if (std::isfinite(d)) worst = std::max(worst, d);
        }
    }
    std::vector<std::string> names;
    for (std::size_t j = 0; j < differs.size(); ++j)
        if (differs[j]) names.push_back(m.joints[j].name);
    if (names.empty()) return;
    char far[32];
    std::snprintf(far, sizeof far, "%.3g", worst);
    warn << "qmf: warning: " << m.path << ": shown as Maya shows it; a clip of it would place "
         << formats::nameList(names) << " elsewhere (up to " << far
         << " cm: scale, or transforms above or between joints, that a clip does not hold)\n";
}

// The scene read into the host and its joints walked, saying which channels
// show stored values (as export says).
std::vector<SceneJoint> loadJoints(const std::string& path, qmfhost::ma::Scene& scene, std::ostream& warn) {
    std::vector<SceneJoint> walk;
    try {
        scene = readScene(path);
        bindScene(path, scene);
        walk = walkSceneJoints(path, kMaxJointFrames);
    } catch (const FormatError& e) {
        throw MotionError(e.what());
    }
    if (walk.empty()) throw MotionError(path + ": the scene has no joints");
    std::vector<MObject> nodes;
    nodes.reserve(walk.size());
    for (const SceneJoint& j : walk) nodes.push_back(j.node);
    for (const auto& u : qmfhost::unevaluatedChannelsAbove(nodes))
        warn << "qmf: warning: " << u.nodePath << "." << u.channel.attribute << " is driven by "
             << u.channel.driverName << " (" << u.channel.driverType
             << "), which the host does not evaluate; its stored value is shown\n";
    return walk;
}

// The frames shown: the playback range when the scene has curves (every
// step-th, or the one asked for), else the current time alone. The step.
uint32_t chooseFrames(Motion& m, const qmfhost::AnimControlState& ac, const LoadOptions& options, std::size_t joints,
                      std::ostream& warn, OnlyFrame only) {
    const double fps = m.frameRate;
    uint32_t step = 1;
    if (hasCurves()) {
        double first = ac.minTime.as(MTime::kSeconds) * fps;
        double span = ac.maxTime.as(MTime::kSeconds) * fps - first;
        if (std::isfinite(span) && std::isfinite(first) && span >= 0) {
            chooseSceneFrames(options, m.path, first, span, step);
            const double frames = std::floor(span / step + 1e-6) + 1;
            m.frameRate = fps / step;
            if (only) {
                // That frame alone: evaluated once, the rest never.
                m.selected = static_cast<uint32_t>(std::min(frames, double(UINT32_MAX)));
                if (*only >= m.selected) throw pastTheEnd(*only, m.selected, m.path);
                m.shown = *only;
                m.fileFrames = 1;
                m.firstFrame = first + double(*only) * step;
            } else {
                m.fileFrames = static_cast<uint32_t>(std::min(frames, fitting(frames, joints, first, step, m.path, warn)));
                m.firstFrame = first;
            }
        }
    }
    if (only && m.fileFrames == 0 && *only > 0) throw pastTheEnd(*only, 1, m.path);
    m.frames = std::max<uint32_t>(m.fileFrames, 1);
    if (!only) m.selected = m.frames;
    return step;
}

// Each frame's rotations and positions, the scene evaluated at its time
// (fps the scene's rate, before the step), then put back at now.
void sampleFrames(Motion& m, const std::vector<SceneJoint>& walk, uint32_t step, double fps, double now) {
    const std::size_t n = walk.size();
    m.rotations.resize(std::size_t(m.frames) * n);
    m.rootTranslation.resize(m.frames);
    m.scenePositions.resize(std::size_t(m.frames) * n);
    std::vector<MMatrix> world;
    if (m.fileFrames == 0) {
        for (std::size_t j = 0; j < n; ++j) m.rotations[j] = m.joints[j].orientation;
        m.rootTranslation[0] = m.joints[0].offset;
        readScenePositions(m, walk, 0, world);
        return;
    }
    for (uint32_t f = 0; f < m.frames; ++f) {
        setTime((m.firstFrame + double(f) * step) / fps);
        for (std::size_t j = 0; j < n; ++j) {
            const MFnIkJoint fn(walk[j].node);
            m.rotations[m.index(f, j)] = fileRotation(fn);
            if (j == 0) m.rootTranslation[f] = fileOffset(fn);
        }
        readScenePositions(m, walk, f, world);
    }
    setTime(now);
}

}  // namespace

Motion loadMayaAscii(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only) {
    qmfhost::ma::Scene scene;
    const std::vector<SceneJoint> walk = loadJoints(path, scene, warn);
    Motion m;
    m.source = Source::MayaAscii;
    m.path = path;
    m.skeletons = 1;
    m.figures = 1;
    m.frameRate = scene.units.framesPerSecond;
    const double fps = m.frameRate;
    const qmfhost::AnimControlState ac = qmfhost::animControlState();
    const double now = ac.currentTime.as(MTime::kSeconds);
    m.firstFrame = now * m.frameRate;
    const uint32_t step = chooseFrames(m, ac, options, walk.size(), warn, only);
    checkSize(m.frames, walk.size(), path);
    readJoints(m, walk);
    sampleFrames(m, walk, step, fps, now);
    computeChannels(m);
    warnWhereClipDiffers(m, warn);
    return m;
}

}  // namespace qmf::motion
