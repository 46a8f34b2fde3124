#include "convert/SpaceConversion.h"

namespace {
double computeSceneToFileScale()
{
    return 1.0 / 100.0;
}
}  // namespace

// Initialised by a call so the value is set while the module loads, before
// the host can reach either entry point.
extern const double gSceneToFileScale = computeSceneToFileScale();

MVector sceneVectorScaled(const MVector& sceneVector)
{
    return sceneVector * gSceneToFileScale;
}

coord3 fileUnitsToCoord(const MVector& fileUnitsVector)
{
    coord3 file;
    file.x = static_cast<float>(fileUnitsVector.x);
    file.y = static_cast<float>(fileUnitsVector.y);
    file.z = -static_cast<float>(fileUnitsVector.z);
    return file;
}

coord3 sceneVectorToFile(const MVector& sceneVector)
{
    return fileUnitsToCoord(sceneVectorScaled(sceneVector));
}

double fileTranslationToScene(int32_t channel, float fileValue)
{
    const double scene = static_cast<double>(fileValue) * kFileToSceneScale;
    return channel == kell::kRootChannelZ ? -scene : scene;
}

quaternion sceneRotationToFile(const MQuaternion& rotation, const MQuaternion& orientation)
{
    const MQuaternion q = rotation * orientation;
    quaternion file;
    file.f0 = static_cast<float>(-q.w);
    file.f1 = static_cast<float>(q.x);
    file.f2 = static_cast<float>(q.y);
    file.f3 = static_cast<float>(-q.z);
    return file;
}

MQuaternion fileRotationToScene(const quaternion& fileRotation, const MQuaternion& orientation)
{
    MQuaternion rotation(static_cast<double>(fileRotation.f1),
                         static_cast<double>(fileRotation.f2),
                         -static_cast<double>(fileRotation.f3),
                         -static_cast<double>(fileRotation.f0));
    rotation *= orientation.inverse();
    return rotation;
}

MEulerRotation fileRotationToEuler(const quaternion& fileRotation, const MQuaternion& orientation,
                                   MEulerRotation::RotationOrder order, const MEulerRotation& previous)
{
    const MQuaternion rotation = fileRotationToScene(fileRotation, orientation);
    MEulerRotation euler = rotation.asEulerRotation();
    euler.reorderIt(order);
    euler.setToClosestSolution(previous);
    return euler;
}

MTime frameToTime(uint32_t frame, double secondsPerFrame)
{
    return MTime(static_cast<double>(frame) * secondsPerFrame, MTime::kSeconds);
}
