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

// The last quaternion turned into Euler angles on this thread: its matrix and
// the XYZ angles it gave. Reordering exactly those angles decomposes the
// original matrix again instead of rebuilding one from the angles, which
// saves a matrix product and the rounding it adds.
struct LastEulerConversion {
    bool valid = false;
    MEulerRotation angles;
    MMatrix matrix;
};
LastEulerConversion& lastEulerConversion();

}  // namespace qmfmath

#endif
