#include "math_test_util.h"

#include <maya/MAngle.h>
#include <maya/MFloatVector.h>
#include <maya/MStatus.h>
#include <maya/MTransformationMatrix.h>
#include <maya/MVector.h>

using namespace mathtest;

TEST(Vector, ProductsAndRowVectorTransform)
{
    const MVector a(1, 2, 3), b(-2, 0.5, 4);
    EXPECT_EQ(a * b, -2 + 1 + 12);
    EXPECT_EQ(a ^ b, MVector(2 * 4 - 3 * 0.5, 3 * -2 - 1 * 4, 1 * 0.5 - 2 * -2));
    EXPECT_EQ(MVector::xAxis ^ MVector::yAxis, MVector::zAxis);
    EXPECT_EQ(2.0 * a, a * 2.0);
    EXPECT_EQ(-a + a, MVector::zero);

    // A direction ignores the translation row; rows are what x, y and z map to.
    const double m[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 2, 0}, {10, 20, 30, 1}};
    EXPECT_EQ(MVector(1, 2, 3) * MMatrix(m), MVector(-2, 1, 6));
    EXPECT_TRUE(MVector(0, 1, 0).rotateBy(MEulerRotation(kPi / 2, 0, 0)).isEquivalent(MVector::zAxis, 1e-15));
    EXPECT_TRUE(MVector::xAxis.rotateBy(MVector::kZaxis, kPi / 2).isEquivalent(MVector::yAxis, 1e-15));
    EXPECT_NEAR(MVector::xAxis.angle(MVector(1, 1, 0)), kPi / 4, 1e-15);
}

TEST(Vector, NormalizeLeavesZeroAndTinyVectorsAlone)
{
    const struct {
        MVector in, out;
    } cases[] = {
        {MVector(3, 4, 0), MVector(0.6, 0.8, 0)},
        {MVector(0, 0, -2), MVector(0, 0, -1)},
        {MVector(0, 0, 0), MVector(0, 0, 0)},
        {MVector(1e-11, 0, 0), MVector(1e-11, 0, 0)},  // squared length 1e-22: unchanged
        {MVector(1e-9, 0, 0), MVector(1, 0, 0)},
    };
    for (const auto& c : cases) {
        MVector v = c.in;
        EXPECT_EQ(v.normalize(), MS::kSuccess);
        EXPECT_TRUE(v.isEquivalent(c.out, 1e-15)) << c.in << " -> " << v;
        EXPECT_TRUE(c.in.normal().isEquivalent(c.out, 1e-15));
    }
    MFloatVector f(0, 0, 0);
    EXPECT_EQ(f.normalize(), MS::kSuccess);
    EXPECT_EQ(f, MFloatVector(0, 0, 0));
    EXPECT_TRUE(MFloatVector(0, 3, 4).normal().isEquivalent(MFloatVector(0, 0.6f, 0.8f)));
}

TEST(Matrix, InverseAndDeterminant)
{
    const double m[4][4] = {{2, 0, 0, 0}, {0, 0, 3, 0}, {0, -1, 0, 0}, {5, 6, 7, 1}};
    const MMatrix a(m);
    EXPECT_DOUBLE_EQ(a.det4x4(), 6.0);  // 2 * (0*0 - 3*-1)
    EXPECT_DOUBLE_EQ(a.det3x3(), 6.0);
    EXPECT_TRUE(matricesNear(a * a.inverse(), MMatrix(), 1e-15));
    EXPECT_TRUE(matricesNear(a.inverse() * a, MMatrix(), 1e-15));
    EXPECT_TRUE(matricesNear(a.adjoint(), a.inverse() * a.det4x4(), 1e-14));
    EXPECT_FALSE(a.isSingular());

    std::mt19937 rng(4);
    std::uniform_real_distribution<double> u(-3, 3);
    for (int i = 0; i < 50; ++i) {
        double r[4][4];
        for (auto& row : r)
            for (double& v : row)
                v = u(rng);
        const MMatrix b(r);
        EXPECT_TRUE(matricesNear(b * b.inverse(), MMatrix(), 1e-9));
        EXPECT_TRUE(matricesNear((a * b).transpose(), b.transpose() * a.transpose(), 1e-13));
    }

    // A singular matrix reports it, and its "inverse" is the identity rather than garbage.
    const double s[4][4] = {{1, 2, 3, 0}, {2, 4, 6, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    EXPECT_TRUE(MMatrix(s).isSingular());
    EXPECT_EQ(MMatrix(s).inverse(), MMatrix::identity);
    const double zero[4][4] = {};
    EXPECT_TRUE(MMatrix(zero).isSingular());

    MMatrix c = a;
    c *= c;  // aliasing must not corrupt the product
    EXPECT_TRUE(matricesNear(c, a * MMatrix(m), 0.0));
}

TEST(Angle, UnitConversions)
{
    const struct {
        MAngle::Unit unit;
        double halfTurn;
    } units[] = {{MAngle::kRadians, kPi}, {MAngle::kDegrees, 180}, {MAngle::kAngMinutes, 10800}, {MAngle::kAngSeconds, 648000}};
    for (const auto& from : units)
        for (const auto& to : units)
            EXPECT_NEAR(MAngle(from.halfTurn, from.unit).as(to.unit), to.halfTurn, 1e-9 * to.halfTurn);
    MAngle a(90, MAngle::kDegrees);
    EXPECT_EQ(a.setUnit(MAngle::kRadians), MS::kSuccess);
    EXPECT_EQ(a.value(), 90.0);  // only the unit changes
    EXPECT_EQ(a.setUnit(MAngle::kLast), MS::kInvalidParameter);
    EXPECT_EQ(a.unit(), MAngle::kRadians);
    EXPECT_EQ(MAngle(1.0, MAngle::kInvalid).asDegrees(), 0.0);

    // The status forms report a unit they cannot convert to.
    MStatus st;
    EXPECT_NEAR(MAngle(kPi).as(MAngle::kDegrees, &st), 180.0, 1e-12);
    EXPECT_EQ(st, MS::kSuccess);
    EXPECT_NEAR(MAngle(90, MAngle::kDegrees).asUnits(MAngle::kAngMinutes, &st), 5400.0, 1e-9);
    EXPECT_EQ(st, MS::kSuccess);
    EXPECT_EQ(MAngle(1.0).asUnits(MAngle::kLast, &st), 0.0);
    EXPECT_EQ(st, MS::kInvalidParameter);
    EXPECT_EQ(MAngle(1.0, MAngle::kInvalid).as(MAngle::kRadians, &st), 0.0);
    EXPECT_EQ(st, MS::kInvalidParameter);
}

TEST(TransformationMatrix, ComponentsAndRotationOrder)
{
    // Built as scale, then rotation, then translation.
    const MEulerRotation e(0.2, -0.4, 1.0, MEulerRotation::kYZX);
    MMatrix m = eulerMatrix(e.x, e.y, e.z, e.order);
    const double scale[3] = {2.0, 0.5, -3.0};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.matrix[i][j] *= scale[i];
    m.matrix[3][0] = 4;
    m.matrix[3][1] = 5;
    m.matrix[3][2] = 6;

    const MTransformationMatrix t(m);
    EXPECT_TRUE(matricesNear(t.asMatrix(), m, 1e-14));
    EXPECT_EQ(t.getTranslation(MSpace::kTransform), MVector(4, 5, 6));
    MStatus status;
    t.getTranslation(MSpace::kInvalid, &status);
    EXPECT_EQ(status, MS::kInvalidParameter);

    MTransformationMatrix r;
    EXPECT_EQ(r.rotationOrder(), MTransformationMatrix::kXYZ);
    r.rotateTo(e);
    EXPECT_EQ(r.rotationOrder(), MTransformationMatrix::kYZX);
    EXPECT_EQ(r.reorderRotation(MTransformationMatrix::kZYX), MS::kSuccess);
    EXPECT_EQ(r.rotationOrder(), MTransformationMatrix::kZYX);
    EXPECT_TRUE(matricesNear(r.asMatrix(), e.asMatrix(), 1e-14));
    EXPECT_TRUE(matricesNear(r.eulerRotation().asMatrix(), e.asMatrix(), 1e-14));
    EXPECT_TRUE(sameRotation(r.rotation(), e.asQuaternion(), 1e-14));

    // setRotation takes the angles as they are, read in the given order.
    const double angles[3] = {0.1, 0.2, 0.3};
    EXPECT_EQ(r.setRotation(angles, MTransformationMatrix::kZXY), MS::kSuccess);
    EXPECT_TRUE(matricesNear(r.asMatrix(), eulerMatrix(0.1, 0.2, 0.3, MEulerRotation::kZXY), 1e-14));
    double back[3] = {};
    MTransformationMatrix::RotationOrder order = MTransformationMatrix::kInvalid;
    EXPECT_EQ(r.getRotation(back, order), MS::kSuccess);
    EXPECT_EQ(order, MTransformationMatrix::kZXY);
    EXPECT_EQ(MVector(back), MVector(angles));
    EXPECT_EQ(r.setRotation(angles, MTransformationMatrix::kInvalid), MS::kInvalidParameter);
    EXPECT_EQ(r.reorderRotation(MTransformationMatrix::kLast), MS::kInvalidParameter);
    EXPECT_EQ(r.rotationOrder(), MTransformationMatrix::kZXY);
}
