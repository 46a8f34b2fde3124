#ifndef QMF_TESTS_HOSTMATH_MATH_TEST_UTIL_H
#define QMF_TESTS_HOSTMATH_MATH_TEST_UTIL_H
// Helpers shared by the maths tests. The axis matrices here are written out
// from the row-vector definition, not taken from the code under test.

#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace mathtest {

constexpr double kPi = 3.14159265358979323846;
inline double deg(double d) { return d * kPi / 180.0; }

const MEulerRotation::RotationOrder kOrders[] = {MEulerRotation::kXYZ, MEulerRotation::kYZX, MEulerRotation::kZXY,
                                                 MEulerRotation::kXZY, MEulerRotation::kYXZ, MEulerRotation::kZYX};

// Row-vector rotation about X, Y or Z: p' = p * R.
inline MMatrix rx(double a)
{
    const double c = std::cos(a), s = std::sin(a);
    const double m[4][4] = {{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}};
    return MMatrix(m);
}
inline MMatrix ry(double a)
{
    const double c = std::cos(a), s = std::sin(a);
    const double m[4][4] = {{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}};
    return MMatrix(m);
}
inline MMatrix rz(double a)
{
    const double c = std::cos(a), s = std::sin(a);
    const double m[4][4] = {{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    return MMatrix(m);
}

// The Euler matrix by definition: the first letter of the order is applied first.
inline MMatrix eulerMatrix(double x, double y, double z, MEulerRotation::RotationOrder order)
{
    const MMatrix X = rx(x), Y = ry(y), Z = rz(z);
    switch (order) {
    case MEulerRotation::kXYZ: return X * Y * Z;
    case MEulerRotation::kYZX: return Y * Z * X;
    case MEulerRotation::kZXY: return Z * X * Y;
    case MEulerRotation::kXZY: return X * Z * Y;
    case MEulerRotation::kYXZ: return Y * X * Z;
    case MEulerRotation::kZYX: return Z * Y * X;
    }
    return MMatrix();
}

inline ::testing::AssertionResult matricesNear(const MMatrix& a, const MMatrix& b, double tol)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(std::fabs(a.matrix[i][j] - b.matrix[i][j]) <= tol))
                return ::testing::AssertionFailure() << "element (" << i << "," << j << "): " << a.matrix[i][j]
                                                     << " vs " << b.matrix[i][j] << "\n" << a << "\n" << b;
    return ::testing::AssertionSuccess();
}

// q and -q are the same rotation.
inline ::testing::AssertionResult sameRotation(const MQuaternion& a, const MQuaternion& b, double tol)
{
    if (a.isEquivalent(b, tol) || a.isEquivalent(-b, tol))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " is neither " << b << " nor its negation";
}

inline MQuaternion randomUnitQuaternion(std::mt19937& rng)
{
    std::normal_distribution<double> n(0.0, 1.0);
    return MQuaternion(n(rng), n(rng), n(rng), n(rng)).normal();
}

// Angle triples that cover the general case, the gimbal lock of each order
// (middle angle at +-90 degrees, exactly and within a hair) and angles past +-180.
inline std::vector<MVector> sampleAngles(std::mt19937& rng, int randomCount)
{
    std::vector<MVector> out;
    std::uniform_real_distribution<double> u(-kPi, kPi);
    for (int i = 0; i < randomCount; ++i)
        out.emplace_back(u(rng), u(rng), u(rng));
    for (double middle : {kPi / 2, -kPi / 2, kPi / 2 - 1e-7, -kPi / 2 + 1e-9, kPi / 2 + 1e-6})
        for (double outer : {0.0, 0.4, -2.5})
            out.emplace_back(outer, middle, 0.7 - outer);  // the middle slot is chosen per order by the caller
    out.emplace_back(deg(350), deg(-200), deg(720));
    out.emplace_back(0.0, 0.0, 0.0);
    out.emplace_back(kPi, 0.0, kPi);
    return out;
}

// Puts value v.y in the middle axis of the order (the one that locks).
inline MEulerRotation withMiddle(const MVector& v, MEulerRotation::RotationOrder order)
{
    static const int axes[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {1, 0, 2}, {2, 1, 0}};
    MEulerRotation e(0, 0, 0, order);
    e[axes[order][0]] = v.x;
    e[axes[order][1]] = v.y;
    e[axes[order][2]] = v.z;
    return e;
}

}  // namespace mathtest

#endif
