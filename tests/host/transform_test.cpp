// Transform and joint values: what MFnTransform and MFnIkJoint read and
// write, and the joint's local rotation (rotate, then joint orient).
#include <maya/MDagPath.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnTransform.h>
#include <maya/MMatrix.h>
#include <maya/MPlug.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kHalfPi = std::acos(0.0);

// Row vector times the rotation part of m.
MVector apply(const MVector& p, const MMatrix& m) {
    return MVector(p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0), p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1),
                   p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2));
}

void expectVector(const MVector& v, double x, double y, double z) {
    EXPECT_NEAR(v.x, x, 1e-12);
    EXPECT_NEAR(v.y, y, 1e-12);
    EXPECT_NEAR(v.z, z, 1e-12);
}

void expectSameRotation(const MMatrix& a, const MMatrix& b) {
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 3; ++c) EXPECT_NEAR(a(r, c), b(r, c), 1e-9) << r << "," << c;
}

class Transforms : public testing::Test {
protected:
    void SetUp() override { qmfhost::resetScene(); }
};

// rotate = 90 degrees about X, joint orient = 90 degrees about Y. Worked by
// hand with row vectors: (0,1,0) rotated about X goes to (0,0,1), then about
// Y to (1,0,0). Applied the other way round it would end at (0,0,1).
TEST_F(Transforms, JointRotationIsRotateThenJointOrient) {
    MFnIkJoint fn;
    MObject j = fn.create();
    ASSERT_TRUE(fn.setRotation(MEulerRotation(kHalfPi, 0, 0)));
    ASSERT_TRUE(fn.setOrientation(MEulerRotation(0, kHalfPi, 0)));
    ASSERT_TRUE(fn.setTranslation(MVector(1, 2, 3), MSpace::kTransform));

    MQuaternion r, jo;
    ASSERT_TRUE(fn.getRotation(r, MSpace::kTransform));
    ASSERT_TRUE(fn.getOrientation(jo));
    expectVector(apply(MVector(0, 1, 0), r.asMatrix()), 0, 0, 1);   // rotate only
    expectVector(apply(MVector(0, 1, 0), (r * jo).asMatrix()), 1, 0, 0);

    // Local matrix: rows (0,0,-1), (1,0,0), (0,-1,0), translation (1,2,3).
    MMatrix m = MFnTransform(j).transformation().asMatrix();
    const double expected[4][4] = {{0, 0, -1, 0}, {1, 0, 0, 0}, {0, -1, 0, 0}, {1, 2, 3, 1}};
    for (unsigned row = 0; row < 4; ++row)
        for (unsigned col = 0; col < 4; ++col) EXPECT_NEAR(m(row, col), expected[row][col], 1e-12);
}

// Parent: translate (10,0,0), rotate 90 degrees about Z. Child joint:
// translate (1,0,0). By hand: the child's origin (1,0,0) turned by the
// parent's Z rotation is (0,1,0), plus (10,0,0) gives (10,1,0); its world
// orientation is the parent's Z turn followed by nothing of its own.
TEST_F(Transforms, WorldSpaceNeedsAPathAndComposesAlongIt) {
    MFnTransform parentFn;
    MObject parent = parentFn.create();
    parentFn.setTranslation(MVector(10, 0, 0), MSpace::kTransform);
    parentFn.setRotation(MEulerRotation(0, 0, kHalfPi));
    MFnIkJoint childFn;
    MObject child = childFn.create(parent);
    childFn.setTranslation(MVector(1, 0, 0), MSpace::kTransform);

    MStatus s;
    childFn.getTranslation(MSpace::kWorld, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);   // attached to an object, not a path

    MDagPath path;
    ASSERT_TRUE(MDagPath::getAPathTo(child, path));
    MFnIkJoint onPath(path);
    expectVector(onPath.getTranslation(MSpace::kWorld, &s), 10, 1, 0);
    ASSERT_TRUE(s);
    MQuaternion world;
    ASSERT_TRUE(onPath.getRotation(world, MSpace::kWorld));
    expectVector(apply(MVector(1, 0, 0), world.asMatrix()), 0, 1, 0);
    expectVector(onPath.getTranslation(MSpace::kTransform), 1, 0, 0);
}

TEST_F(Transforms, ValuesAreKeptInInternalUnitsPerAttribute) {
    MFnIkJoint fn;
    MObject j = fn.create();
    ASSERT_TRUE(fn.setTranslation(MVector(10, -4, 0.5), MSpace::kTransform));
    ASSERT_TRUE(fn.setOrientation(MEulerRotation(0.1, 0.2, 0.3)));
    const double scale[3] = {1, 2, 3};
    ASSERT_TRUE(fn.setScale(scale));
    qmfhost::TransformValues v;
    ASSERT_TRUE(qmfhost::getTransformValues(j, v));
    EXPECT_EQ(v.translate[0], 10);
    EXPECT_EQ(v.translate[1], -4);
    EXPECT_NEAR(v.jointOrient[2], 0.3, 1e-15);
    EXPECT_EQ(v.scale[1], 2);
    EXPECT_EQ(v.rotate[0], 0);
    MFnDependencyNode dep(j);
    EXPECT_DOUBLE_EQ(MPlug(j, dep.attribute("tx")).asDouble(), 10);
    EXPECT_DOUBLE_EQ(MPlug(j, dep.attribute("jointOrientY")).asDouble(), 0.2);
    expectVector(fn.translation(MSpace::kTransform), 10, -4, 0.5);
    MStatus s;
    fn.getTranslation(MSpace::kWorld, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
}

TEST_F(Transforms, RotationOrderRelabelsOrReordersKeepingOrientation) {
    MFnTransform fn;
    MObject t = fn.create();
    EXPECT_EQ(fn.rotationOrder(), MTransformationMatrix::kXYZ);
    const MEulerRotation start(0.3, -0.7, 1.1);
    ASSERT_TRUE(fn.setRotation(start));
    const MMatrix before = start.asMatrix();

    ASSERT_TRUE(fn.setRotationOrder(MTransformationMatrix::kZYX, /*reorder=*/true));
    EXPECT_EQ(fn.rotationOrder(), MTransformationMatrix::kZYX);
    MEulerRotation now;
    ASSERT_TRUE(fn.getRotation(now));
    EXPECT_EQ(now.order, MEulerRotation::kZYX);
    expectSameRotation(now.asMatrix(), before);

    ASSERT_TRUE(fn.setRotationOrder(MTransformationMatrix::kYXZ, /*reorder=*/false));
    MEulerRotation relabelled;
    fn.getRotation(relabelled);
    EXPECT_EQ(relabelled.order, MEulerRotation::kYXZ);
    EXPECT_EQ(relabelled.x, now.x);
    EXPECT_EQ(relabelled.z, now.z);
    EXPECT_EQ(fn.setRotationOrder(MTransformationMatrix::kInvalid, false), MStatus::kInvalidParameter);
    std::vector<double> ro;
    ASSERT_TRUE(qmfhost::getAttributeValue(t, "ro", ro));
    EXPECT_EQ(ro, std::vector<double>{4});   // yxz in the attribute's numbering
}

TEST_F(Transforms, QuaternionIsStoredInTheNodesOwnOrder) {
    MFnTransform fn;
    fn.create();
    ASSERT_TRUE(fn.setRotationOrder(MTransformationMatrix::kYZX, false));
    MQuaternion q;
    q.setAxisAngle(MVector(1, 2, 3).normal(), 0.8);
    ASSERT_TRUE(fn.setRotation(q, MSpace::kTransform));
    EXPECT_EQ(fn.rotationOrder(), MTransformationMatrix::kYZX);
    MEulerRotation e;
    fn.getRotation(e);
    EXPECT_EQ(e.order, MEulerRotation::kYZX);
    expectSameRotation(e.asMatrix(), q.asMatrix());
}

TEST_F(Transforms, LockedChannelsRefuseWritesThroughTheApi) {
    MFnTransform fn;
    MObject t = fn.create();
    ASSERT_TRUE(fn.setTranslation(MVector(1, 1, 1), MSpace::kTransform));
    MPlug ty(t, MFnDependencyNode(t).attribute("ty"));
    ASSERT_TRUE(ty.setLocked(true));
    EXPECT_EQ(fn.setTranslation(MVector(5, 5, 5), MSpace::kTransform), MStatus::kFailure);
    EXPECT_EQ(ty.setValue(9.0), MStatus::kFailure);
    expectVector(fn.translation(MSpace::kTransform), 1, 1, 1);
    // The scene-file path sets values regardless of locks.
    ASSERT_TRUE(qmfhost::setAttributeValue(t, "translateY", {7}));
    EXPECT_EQ(ty.asDouble(), 7);
    EXPECT_FALSE(qmfhost::setAttributeValue(t, "t", {1, 2}));   // wrong count
    EXPECT_FALSE(qmfhost::setAttributeValue(t, "tx", {std::nan("")}));
}

}  // namespace
