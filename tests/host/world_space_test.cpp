// World-space reads compose each joint as Maya documents its matrix,
// [S][RO][R][JO][IS][T]: the inverse of the parent's scale (the joint's
// inverseScale plug) comes after the joint's own rotation and before its
// translation. Expected positions are worked out by hand.
#include <maya/MDagPath.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MMatrix.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const double kHalfPi = std::acos(0.0);

class WorldSpace : public testing::Test {
protected:
    void SetUp() override { qmfhost::resetScene(); }
};

MVector worldTranslation(const MObject& node) {
    MDagPath path;
    EXPECT_TRUE(MDagPath::getAPathTo(node, path));
    MStatus s;
    MVector t = MFnIkJoint(path).getTranslation(MSpace::kWorld, &s);
    EXPECT_TRUE(s);
    return t;
}

// root (scaled, maybe turned) -> child -> leaf, all joints.
struct Case {
    const char* what;
    double rootScale[3];
    double rootRotateZ;
    double childTranslate[3];
    double childRotateZ;
    double leafTranslate[3];
    // How child.is gets its value: "connect" the parent's scale, "channel"
    // connects only the X channels, "stored" sets the plug's own value to
    // the root's scale, "none" leaves it at 1.
    const char* inverseScale;
    bool compensate;
    double childWorld[3];
    double leafWorld[3];
};

const Case kCases[] = {
    // The leaf is 1 from the child in the child's unscaled space: 2 + 1.
    {"uniform root scale", {2, 2, 2}, 0, {1, 0, 0}, 0, {1, 0, 0}, "connect", true, {2, 0, 0}, {3, 0, 0}},
    {"stored inverse scale", {2, 2, 2}, 0, {1, 0, 0}, 0, {1, 0, 0}, "stored", true, {2, 0, 0}, {3, 0, 0}},
    // Without compensation the root's scale stretches the whole chain.
    {"compensation off", {2, 2, 2}, 0, {1, 0, 0}, 0, {1, 0, 0}, "connect", false, {2, 0, 0}, {4, 0, 0}},
    {"nothing connected", {2, 2, 2}, 0, {1, 0, 0}, 0, {1, 0, 0}, "none", true, {2, 0, 0}, {4, 0, 0}},
    // Per axis: (1,1) / (2,3) + (1,1) = (1.5, 4/3), times (2,3) = (3, 4).
    {"non-uniform scale", {2, 3, 1}, 0, {1, 1, 0}, 0, {1, 1, 0}, "connect", true, {2, 3, 0}, {3, 4, 0}},
    {"one channel connected", {2, 3, 1}, 0, {1, 1, 0}, 0, {1, 1, 0}, "channel", true, {2, 3, 0}, {3, 6, 0}},
    // The root's Z quarter turn sends x to y after its scale: (3,0) -> (0,3).
    {"turned root", {2, 2, 2}, kHalfPi, {1, 0, 0}, 0, {1, 0, 0}, "connect", true, {0, 2, 0}, {0, 3, 0}},
    // IS comes after the child's own rotation: the leaf's (1,0) turns to
    // (0,1), then IS makes it (0, 1/3), plus (1,0); times (2,3) = (2, 1).
    // Dividing before the rotation would give (2, 1.5).
    {"IS after the rotation", {2, 3, 1}, 0, {1, 0, 0}, kHalfPi, {1, 0, 0}, "connect", true, {2, 0, 0}, {2, 1, 0}},
};

TEST_F(WorldSpace, JointsDivideOutTheirParentsScale) {
    for (const Case& c : kCases) {
        qmfhost::resetScene();
        MObject root = qmfhost::createNode("joint", "root");
        MObject child = qmfhost::createNode("joint", "child", root);
        MObject leaf = qmfhost::createNode("joint", "leaf", child);
        qmfhost::TransformValues r, ch, lf;
        for (int i = 0; i < 3; ++i) {
            r.scale[i] = c.rootScale[i];
            ch.translate[i] = c.childTranslate[i];
            lf.translate[i] = c.leafTranslate[i];
        }
        r.rotate[2] = c.rootRotateZ;
        ch.rotate[2] = c.childRotateZ;
        ch.segmentScaleCompensate = c.compensate;
        const std::string how = c.inverseScale;
        if (how == "stored")
            for (int i = 0; i < 3; ++i) ch.inverseScale[i] = c.rootScale[i];
        ASSERT_TRUE(qmfhost::setTransformValues(root, r));
        ASSERT_TRUE(qmfhost::setTransformValues(child, ch));
        ASSERT_TRUE(qmfhost::setTransformValues(leaf, lf));
        if (how == "connect") {
            ASSERT_TRUE(qmfhost::connect(root, "s", child, "is"));
        } else if (how == "channel") {
            ASSERT_TRUE(qmfhost::connect(root, "sx", child, "isx"));
        }
        ASSERT_TRUE(qmfhost::connect(child, "scale", leaf, "inverseScale"));

        const MVector cw = worldTranslation(child), lw = worldTranslation(leaf);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(cw[i], c.childWorld[i], 1e-12) << c.what << " child axis " << i;
            EXPECT_NEAR(lw[i], c.leafWorld[i], 1e-12) << c.what << " leaf axis " << i;
        }
        // The path's matrices compose the same way: the leaf's own matrix
        // times the matrix of everything above it is its world matrix, and
        // that places the leaf where the world read does.
        MDagPath leafPath;
        ASSERT_TRUE(MDagPath::getAPathTo(leaf, leafPath));
        MStatus s;
        const MMatrix inclusive = leafPath.inclusiveMatrix(&s);
        ASSERT_TRUE(s);
        const MMatrix composed = MFnDagNode(leaf).transformationMatrix(&s) * leafPath.exclusiveMatrix();
        ASSERT_TRUE(s);
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(inclusive(r, k), composed(r, k), 1e-12) << c.what;
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(inclusive(3, i), c.leafWorld[i], 1e-12) << c.what << " matrix axis " << i;
    }
}

TEST_F(WorldSpace, MatricesOfPathsThatReferToNothingAreRefused) {
    MStatus s;
    const MMatrix m = MDagPath().inclusiveMatrix(&s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_EQ(m, MMatrix());
    MDagPath().exclusiveMatrix(&s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    // A transform's own matrix is its channels'; a node without a transform has none.
    MObject group = qmfhost::createNode("transform", "group");
    qmfhost::TransformValues v;
    v.translate[1] = 5;
    v.scale[0] = 2;
    ASSERT_TRUE(qmfhost::setTransformValues(group, v));
    const MMatrix g = MFnDagNode(group).transformationMatrix(&s);
    ASSERT_TRUE(s);
    EXPECT_EQ(g(0, 0), 2.0);
    EXPECT_EQ(g(3, 1), 5.0);
    MFnDagNode(MObject()).transformationMatrix(&s);
    EXPECT_FALSE(s);
}

TEST_F(WorldSpace, InverseScaleFollowsItsSourceAndIsAPlug) {
    // The connected value is read when the world position is asked for, so
    // a later change of the parent's scale moves the leaf.
    MFnIkJoint rootFn;
    MObject root = rootFn.create();
    MFnIkJoint childFn;
    MObject child = childFn.create(root);
    ASSERT_TRUE(childFn.setTranslation(MVector(1, 0, 0), MSpace::kTransform));
    MFnIkJoint leafFn;
    MObject leaf = leafFn.create(child);
    ASSERT_TRUE(leafFn.setTranslation(MVector(1, 0, 0), MSpace::kTransform));
    ASSERT_TRUE(qmfhost::connect(root, "scale", child, "inverseScale"));
    EXPECT_NEAR(worldTranslation(leaf).x, 2, 1e-12);
    const double four[3] = {4, 4, 4};
    ASSERT_TRUE(rootFn.setScale(four));
    EXPECT_NEAR(worldTranslation(leaf).x, 4 + 1, 1e-12);

    // The plug's own value is 1 until set; segmentScaleCompensate is on.
    MFnDependencyNode dep(child);
    EXPECT_EQ(MPlug(child, dep.attribute("isy")).asDouble(), 1.0);
    EXPECT_EQ(MPlug(child, dep.attribute("segmentScaleCompensate")).asDouble(), 1.0);
    ASSERT_TRUE(MPlug(child, dep.attribute("ssc")).setValue(0.0));
    EXPECT_NEAR(worldTranslation(leaf).x, 4 * 2, 1e-12);
    ASSERT_TRUE(qmfhost::setAttributeValue(child, "inverseScale", {0.5, 0.5, 0.5}));
    std::vector<double> v;
    ASSERT_TRUE(qmfhost::getAttributeValue(child, "is", v));
    EXPECT_EQ(v, (std::vector<double>{0.5, 0.5, 0.5}));
}

}  // namespace
