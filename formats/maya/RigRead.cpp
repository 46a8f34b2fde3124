#include "formats/Rig.h"

#include "formats/Session.h"
#include "formats/Model.h"
#include "qmfhost/Scene.h"

#include <maya/MEulerRotation.h>
#include <maya/MFnIkJoint.h>
#include <maya/MTime.h>
#include <maya/MVector.h>

namespace qmf::formats {

namespace {

constexpr double kRadToDeg = 180.0 / 3.14159265358979323846;
constexpr std::size_t kMaxVisits = std::size_t(1) << 21;

// Maya's attribute value from the transformation matrix's order (1 xyz .. 6 zyx).
int rotateOrderValue(MTransformationMatrix::RotationOrder o) {
    const int v = static_cast<int>(o) - 1;
    return v >= 0 && v <= 5 ? v : 0;
}

}  // namespace

std::vector<RigJoint> readRig(const std::string& path, const std::string& time) {
    requireInput(path);
    qmfhost::ma::Scene scene = readScene(path);
    bindScene(path, scene);
    if (!time.empty()) {
        qmfhost::AnimControlState ac = qmfhost::animControlState();
        ac.currentTime = MTime(parseFrameNumber(time, "time") / scene.units.framesPerSecond, MTime::kSeconds);
        qmfhost::setAnimControlState(ac);
    }
    const std::vector<SceneJoint> walk = walkSceneJoints(path, kMaxVisits);
    if (walk.empty()) throw FormatError(path + ": the scene has no joints");
    std::vector<RigJoint> out(walk.size());
    for (std::size_t i = 0; i < walk.size(); ++i) {
        const MFnIkJoint fn(walk[i].node);
        RigJoint& j = out[i];
        j.name = fn.name().asChar();
        j.parent = walk[i].parent;
        MEulerRotation orient;
        fn.getOrientation(orient);
        j.jointOrient = {orient.x * kRadToDeg, orient.y * kRadToDeg, orient.z * kRadToDeg};
        j.rotateOrder = rotateOrderValue(fn.rotationOrder());
        const MVector t = fn.getTranslation(MSpace::kTransform);
        j.translate = {t.x, t.y, t.z};
        MEulerRotation r;
        fn.getRotation(r);
        j.rotate = {r.x * kRadToDeg, r.y * kRadToDeg, r.z * kRadToDeg};
    }
    return out;
}

}  // namespace qmf::formats
