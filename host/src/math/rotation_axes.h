#ifndef QMF_HOST_MATH_ROTATION_AXES_H
#define QMF_HOST_MATH_ROTATION_AXES_H
// Shared by the rotation classes: which axis each Euler order applies first,
// second and third, and the elementary axis rotations.

#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>

namespace qmfmath {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

struct AxisSequence {
    int first, second, third;
    bool odd;  // an odd permutation of x, y, z reverses the handedness
};

// Indexed by MEulerRotation::RotationOrder; out-of-range values fall back to XYZ.
AxisSequence axesOf(MEulerRotation::RotationOrder order);

// Row-vector matrix of a rotation of angle radians about axis 0, 1 or 2.
MMatrix axisMatrix(int axis, double angle);

bool isValidOrder(int order);

// Below this squared norm a quaternion carries no usable direction.
constexpr double kTinyNorm2 = 1.0e-20;

// The 3x3 rotation of quaternion (x, y, z, w) for row vectors, scaled to a
// pure rotation; the identity for a (near) zero quaternion. MQuaternion's
// asMatrix and its Euler conversion share it, so both give the same bits.
inline void quaternionRows(double x, double y, double z, double w, double m[3][3])
{
    const double n = x * x + y * y + z * z + w * w;
    if (!(n > kTinyNorm2)) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m[r][c] = r == c ? 1.0 : 0.0;
        return;
    }
    const double s = 2.0 / n;
    const double xx = x * x * s, yy = y * y * s, zz = z * z * s;
    const double xy = x * y * s, xz = x * z * s, yz = y * z * s;
    const double wx = w * x * s, wy = w * y * s, wz = w * z * s;
    m[0][0] = 1.0 - (yy + zz);
    m[0][1] = xy + wz;
    m[0][2] = xz - wy;
    m[1][0] = xy - wz;
    m[1][1] = 1.0 - (xx + zz);
    m[1][2] = yz + wx;
    m[2][0] = xz + wy;
    m[2][1] = yz - wx;
    m[2][2] = 1.0 - (xx + yy);
}

// Euler angles in order ord of the rotation with rows m.
MEulerRotation decomposeRows(const double m[3][3], MEulerRotation::RotationOrder ord);

// The last quaternion turned into Euler angles on this thread and the XYZ
// angles it gave. Reordering exactly those angles decomposes the original
// rotation again instead of rebuilding one from the angles, which saves a
// matrix product and the rounding it adds. Plain doubles: copied in and
// compared per key.
struct LastEulerConversion {
    bool valid = false;
    double ax = 0, ay = 0, az = 0;
    double qx = 0, qy = 0, qz = 0, qw = 1;
};
LastEulerConversion& lastEulerConversion();

}  // namespace qmfmath

#endif
