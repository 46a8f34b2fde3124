// The rig and clip the whole-command benchmarks use, shared by the generator
// and the floors so both sides agree on joint orients and rotation orders
// without reading each other's output.
#pragma once

#include <cmath>
#include <string>

namespace clipshape {

constexpr double kPi = 3.14159265358979323846;

inline std::string jointName(int j) { return "j" + std::to_string(j); }

// Every order appears; Maya's .ro numbering (xyz yzx zxy xzy yxz zyx).
inline int rotateOrder(int j) { return j % 6; }

// Joint orient in degrees, XYZ: away from zero so Q * O^-1 matters.
inline void jointOrientDegrees(int j, double out[3]) {
    out[0] = 10.0 + 7.0 * (j % 5);
    out[1] = -20.0 + 11.0 * (j % 4);
    out[2] = 5.0 * (j % 7) - 15.0;
}

// The file's orientation of joint j at frame f as (f0, f1, f2, f3): scene
// quaternion (x, y, z, w) = (f1, f2, -f3, -f0). A steady turn about a
// tilted axis, so every joint passes +-180 degrees many times on a long clip.
inline void fileQuaternion(int f, int j, float out[4]) {
    const double angle = 0.0131 * f * (1 + j % 5) + 0.1 * j;
    const double ax = std::cos(0.7 * j), ay = std::sin(0.7 * j), az = 0.5;
    const double n = std::sqrt(ax * ax + ay * ay + az * az);
    const double s = std::sin(angle / 2) / n;
    const double x = ax * s, y = ay * s, z = az * s, w = std::cos(angle / 2);
    out[0] = static_cast<float>(-w);
    out[1] = static_cast<float>(x);
    out[2] = static_cast<float>(y);
    out[3] = static_cast<float>(-z);
}

inline float rootValue(int f, int channel) { return 0.01f * static_cast<float>(f % 1000) * static_cast<float>(channel); }

}  // namespace clipshape
