#include "math_test_util.h"

#include <maya/MStatus.h>
#include <cstdint>
#include <cstring>
#include <maya/MVector.h>

using namespace mathtest;

// An axis rotation holds sin and cos of half the angle bit for bit, signed
// zeros and the tiniest angles included (zero is worked out without the
// library: it must give what the library would).
TEST(Quaternion, AxisRotationsHoldHalfAngleSinAndCosExactly)
{
    const auto bits = [](double v) {
        uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    for (double t : {0.0, -0.0, 4.9e-324, -4.9e-324, 1e-300, -1e-300, 0.3, -2.0, 1e6}) {
        SCOPED_TRACE(t);
        const double s = std::sin(0.5 * t), c = std::cos(0.5 * t);
        const MQuaternion qx = MQuaternion().setToXAxis(t), qy = MQuaternion().setToYAxis(t), qz = MQuaternion().setToZAxis(t);
        EXPECT_EQ(bits(qx.x), bits(s));
        EXPECT_EQ(bits(qy.y), bits(s));
        EXPECT_EQ(bits(qz.z), bits(s));
        for (const MQuaternion& q : {qx, qy, qz}) EXPECT_EQ(bits(q.w), bits(c));
        EXPECT_EQ(bits(qx.y) | bits(qx.z) | bits(qy.x) | bits(qy.z) | bits(qz.x) | bits(qz.y), 0u);
    }
}

TEST(Quaternion, AxisRotationMatricesHaveRowVectorLayout)
{
    for (double t : {0.0, 0.3, -1.2, kPi / 2, 2.9, kPi}) {
        SCOPED_TRACE(t);
        const double c = std::cos(t), s = std::sin(t);
        const double x[4][4] = {{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}};
        const double y[4][4] = {{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}};
        const double z[4][4] = {{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
        EXPECT_TRUE(matricesNear(MQuaternion().setToXAxis(t).asMatrix(), MMatrix(x), 1e-15));
        EXPECT_TRUE(matricesNear(MQuaternion().setToYAxis(t).asMatrix(), MMatrix(y), 1e-15));
        EXPECT_TRUE(matricesNear(MQuaternion().setToZAxis(t).asMatrix(), MMatrix(z), 1e-15));
        EXPECT_TRUE(sameRotation(MQuaternion(t, MVector(0, 0, 5)), MQuaternion().setToZAxis(t), 1e-15));
    }
}

TEST(Quaternion, ProductAppliesLeftThenRight)
{
    const MQuaternion a = MQuaternion().setToXAxis(kPi / 2);
    const MQuaternion b = MQuaternion().setToZAxis(kPi / 2);
    // Worked by hand: X 90 sends z to -y, then Z 90 sends -y to x. The
    // product is the 120-degree turn about (1,1,1).
    const MVector v = MVector::zAxis.rotateBy(a * b);
    EXPECT_TRUE(v.isEquivalent(MVector::xAxis, 1e-15)) << v;
    EXPECT_TRUE(sameRotation(a * b, MQuaternion(0.5, 0.5, 0.5, 0.5), 1e-15));
    EXPECT_TRUE(MVector::zAxis.rotateBy(b * a).isEquivalent(MVector::yNegAxis, 1e-15));

    std::mt19937 rng(1);
    for (int i = 0; i < 200; ++i) {
        const MQuaternion p = randomUnitQuaternion(rng);
        const MQuaternion q = randomUnitQuaternion(rng);
        EXPECT_TRUE(matricesNear((p * q).asMatrix(), p.asMatrix() * q.asMatrix(), 1e-14));
        MQuaternion r = p;
        r *= q;
        EXPECT_TRUE(r.isEquivalent(p * q, 1e-15));
    }
}

TEST(Quaternion, InverseConjugateAndNormal)
{
    std::mt19937 rng(2);
    for (int i = 0; i < 50; ++i) {
        const MQuaternion q = randomUnitQuaternion(rng).scaleIt(0.1 + i);  // not unit length
        EXPECT_TRUE((q * q.inverse()).isEquivalent(MQuaternion::identity, 1e-14));
        EXPECT_TRUE((q.inverse() * q).isEquivalent(MQuaternion::identity, 1e-14));
        EXPECT_NEAR(std::sqrt(dot(q.normal(), q.normal())), 1.0, 1e-15);
        EXPECT_TRUE(matricesNear(q.asMatrix(), q.normal().asMatrix(), 1e-14));
    }
    EXPECT_TRUE(MQuaternion(0, 0, 0, 2).inverse().isEquivalent(MQuaternion(0, 0, 0, 0.5), 0.0));
    EXPECT_TRUE(MQuaternion(1, 2, 3, 4).conjugate().isEquivalent(MQuaternion(-1, -2, -3, 4), 0.0));
    EXPECT_TRUE(MQuaternion(0, 0, 3, 4).normal().isEquivalent(MQuaternion(0, 0, 0.6, 0.8), 1e-15));
    EXPECT_TRUE(MQuaternion(1, 2, 3, 4).negateIt().isEquivalent(MQuaternion(-1, -2, -3, -4), 0.0));
}

TEST(Quaternion, DegenerateInputsGiveTheIdentity)
{
    const MQuaternion zero(0, 0, 0, 0);
    EXPECT_EQ(zero.normal(), MQuaternion::identity);
    EXPECT_EQ(MQuaternion(1e-12, 0, 0, 0).normal(), MQuaternion::identity);
    EXPECT_EQ(zero.inverse(), MQuaternion::identity);
    EXPECT_TRUE(matricesNear(zero.asMatrix(), MMatrix(), 0.0));
    EXPECT_EQ(MQuaternion(1.0, MVector(0, 0, 0)), MQuaternion::identity);
    EXPECT_EQ(MQuaternion(MVector(0, 0, 0), MVector::xAxis), MQuaternion::identity);
    MQuaternion fromZeroMatrix(1, 0, 0, 0);
    fromZeroMatrix = MMatrix() * 0.0;
    EXPECT_EQ(fromZeroMatrix, MQuaternion::identity);
    const MEulerRotation e = zero.asEulerRotation();
    EXPECT_TRUE(e.isZero()) << e;
}

TEST(Quaternion, RotationBetweenTwoVectors)
{
    const struct {
        MVector from, to;
    } cases[] = {
        {MVector(1, 0, 0), MVector(0, 1, 0)},
        {MVector(0, 0, 2), MVector(0, 3, 0)},
        {MVector(1, 1, 0), MVector(-1, 0.5, 2)},
        {MVector(1, 2, 3), MVector(2, 4, 6)},     // same direction
        {MVector(1, 2, 3), MVector(-1, -2, -3)},  // opposite: any half turn
        {MVector(0, 1, 0), MVector(0, -1, 0)},
    };
    for (const auto& c : cases) {
        const MQuaternion q(c.from, c.to);
        EXPECT_NEAR(std::sqrt(dot(q, q)), 1.0, 1e-15);
        EXPECT_TRUE(c.from.normal().rotateBy(q).isEquivalent(c.to.normal(), 1e-14))
            << c.from << " -> " << c.to << " got " << c.from.normal().rotateBy(q);
    }
    // Half of the way from x to y is 45 degrees about z.
    EXPECT_TRUE(sameRotation(MQuaternion(MVector::xAxis, MVector::yAxis, 0.5), MQuaternion().setToZAxis(kPi / 4), 1e-15));
    EXPECT_TRUE(sameRotation(MVector::xAxis.rotateTo(MVector::zAxis), MQuaternion().setToYAxis(-kPi / 2), 1e-15));
}

TEST(Quaternion, AxisAngleRoundTrip)
{
    const struct {
        MVector axis;
        double angle;
    } cases[] = {{MVector(0, 0, 1), 0.5}, {MVector(1, 1, 1), 2.0}, {MVector(-3, 0.5, 2), 3.0}, {MVector(0, 2, 0), -1.0}};
    for (const auto& c : cases) {
        MQuaternion q;
        q.setAxisAngle(c.axis, c.angle);
        MVector axis;
        double angle = 0.0;
        ASSERT_TRUE(q.getAxisAngle(axis, angle));
        // A negative angle comes back as the positive angle about the flipped axis.
        const double sign = c.angle < 0 ? -1.0 : 1.0;
        EXPECT_NEAR(angle, std::fabs(c.angle), 1e-14);
        EXPECT_TRUE(axis.isEquivalent(sign * c.axis.normal(), 1e-14)) << axis;
    }
    MVector axis;
    double angle = 1.0;
    EXPECT_TRUE(MQuaternion::identity.getAxisAngle(axis, angle));
    EXPECT_EQ(angle, 0.0);
    EXPECT_FALSE(MQuaternion(0, 0, 0, 0).getAxisAngle(axis, angle));
}

TEST(Quaternion, FromMatrixInEveryBranch)
{
    // Rotations whose largest component is w, x, y and z in turn, plus half turns.
    std::mt19937 rng(9);
    std::vector<MQuaternion> qs = {MQuaternion().setToXAxis(kPi), MQuaternion().setToYAxis(kPi),
                                   MQuaternion().setToZAxis(kPi), MQuaternion(1, 1, 0, 0).normal(),
                                   MQuaternion(0, 0.2, 0.9, 0.1).normal(), MQuaternion::identity};
    for (int i = 0; i < 100; ++i)
        qs.push_back(randomUnitQuaternion(rng));
    for (const MQuaternion& q : qs) {
        MQuaternion back;
        back = q.asMatrix();
        EXPECT_TRUE(sameRotation(back, q, 1e-14)) << q;
    }
    // Scale in the matrix does not leak into the rotation.
    MMatrix scaled = MQuaternion().setToYAxis(0.8).asMatrix();
    for (int j = 0; j < 3; ++j) {
        scaled.matrix[0][j] *= 2.0;
        scaled.matrix[2][j] *= 0.5;
    }
    MQuaternion fromScaled;
    fromScaled = scaled;
    EXPECT_TRUE(sameRotation(fromScaled, MQuaternion().setToYAxis(0.8), 1e-14));
}

TEST(Quaternion, SlerpFollowsTheShorterArc)
{
    const MQuaternion a = MQuaternion().setToZAxis(0.2);
    const MQuaternion b = MQuaternion().setToZAxis(1.4);
    EXPECT_TRUE(sameRotation(slerp(a, b, 0.5), MQuaternion().setToZAxis(0.8), 1e-14));
    EXPECT_TRUE(sameRotation(slerp(a, -b, 0.25), MQuaternion().setToZAxis(0.5), 1e-14));
    EXPECT_TRUE(sameRotation(slerp(a, b, 0.0), a, 1e-14));
    EXPECT_TRUE(sameRotation(slerp(a, b, 1.0), b, 1e-14));
}

TEST(Quaternion, LogAndExpInvertEachOther)
{
    const MQuaternion q = MQuaternion(1.1, MVector(1, -2, 0.5));
    const MQuaternion l = q.log();
    EXPECT_NEAR(std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z), 0.55, 1e-14);  // half the angle
    EXPECT_TRUE(l.exp().isEquivalent(q, 1e-14));
}
