#include "Rotations.h"

#include "convert/SpaceConversion.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <cmath>
#include <limits>

namespace qmfpy {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kRadToDeg = 180.0 / kPi;

// As the host reads a joint's orientation from its jointOrient angles.
MQuaternion jointOrientation(const double degrees[3]) {
    return MEulerRotation(degrees[0] * kDegToRad, degrees[1] * kDegToRad, degrees[2] * kDegToRad).asQuaternion();
}

}  // namespace

void orientationsToEuler(const float* keys, const uint8_t* keyed, std::size_t count, const double jointOrient[3],
                         int order, double* degrees) {
    const MQuaternion orientation = jointOrientation(jointOrient);
    const auto eulerOrder = static_cast<MEulerRotation::RotationOrder>(order);
    MEulerRotation previous;
    previous.reorderIt(eulerOrder);
    for (std::size_t i = 0; i < count; ++i) {
        double* out = degrees + 3 * i;
        if (keyed && !keyed[i]) {
            out[0] = out[1] = out[2] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        const float* k = keys + 4 * i;
        const quaternion file{k[0], k[1], k[2], k[3]};
        const MEulerRotation euler = fileRotationToEuler(file, orientation, eulerOrder, previous);
        previous = euler;
        out[0] = euler.x * kRadToDeg;
        out[1] = euler.y * kRadToDeg;
        out[2] = euler.z * kRadToDeg;
    }
}

void eulerToOrientations(const double* degrees, std::size_t count, const double jointOrient[3], int order,
                         float* keys) {
    const MQuaternion orientation = jointOrientation(jointOrient);
    const auto eulerOrder = static_cast<MEulerRotation::RotationOrder>(order);
    for (std::size_t i = 0; i < count; ++i) {
        const double* d = degrees + 3 * i;
        const MEulerRotation rotation(d[0] * kDegToRad, d[1] * kDegToRad, d[2] * kDegToRad, eulerOrder);
        const quaternion q = sceneRotationToFile(rotation.asQuaternion(), orientation);
        float* out = keys + 4 * i;
        out[0] = q.f0;
        out[1] = q.f1;
        out[2] = q.f2;
        out[3] = q.f3;
    }
}

void makeSignsContinuous(float* keys, const uint8_t* keyed, std::size_t count) {
    const float* previous = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (keyed && !keyed[i]) continue;
        float* k = keys + 4 * i;
        if (previous) {
            const double dot = double(k[0]) * previous[0] + double(k[1]) * previous[1] + double(k[2]) * previous[2] +
                               double(k[3]) * previous[3];
            if (dot < 0)
                for (int c = 0; c < 4; ++c) k[c] = -k[c];
        }
        previous = k;
    }
}

void eulerFilter(double* degrees, const uint8_t* keyed, std::size_t count, int order) {
    const auto eulerOrder = static_cast<MEulerRotation::RotationOrder>(order);
    bool first = true;
    MEulerRotation previous;
    for (std::size_t i = 0; i < count; ++i) {
        if (keyed && !keyed[i]) continue;
        double* d = degrees + 3 * i;
        MEulerRotation e(d[0] * kDegToRad, d[1] * kDegToRad, d[2] * kDegToRad, eulerOrder);
        if (!first) e.setToClosestSolution(previous);
        first = false;
        previous = e;
        d[0] = e.x * kRadToDeg;
        d[1] = e.y * kRadToDeg;
        d[2] = e.z * kRadToDeg;
    }
}

void translationToScene(const float* file, std::size_t count, int axis, double* scene) {
    const int32_t channel = kell::kRootChannelX + axis;
    for (std::size_t i = 0; i < count; ++i) scene[i] = fileTranslationToScene(channel, file[i]);
}

void translationToFile(const double* scene, std::size_t count, float* file) {
    for (std::size_t i = 0; i < count; ++i) {
        const coord3 c = sceneVectorToFile(MVector(scene[3 * i], scene[3 * i + 1], scene[3 * i + 2]));
        file[3 * i] = c.x;
        file[3 * i + 1] = c.y;
        file[3 * i + 2] = c.z;
    }
}

}  // namespace qmfpy
