// The scene graph: world node, DAG walks, instancing, function-set
// attachment, attribute names, scene access lookups.
#include <maya/MDagPath.h>
#include <maya/MFnAnimCurve.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnTransform.h>
#include <maya/MItDag.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Dag : public testing::Test {
protected:
    void SetUp() override { qmfhost::resetScene(); }

    static MObject make(const char* type, const char* name, const MObject& parent = MObject::kNullObj) {
        MStatus s;
        MObject o = qmfhost::createNode(type, name, parent, qmfhost::NodeClass::Auto, &s);
        EXPECT_TRUE(s) << type << " " << name;
        return o;
    }

    // Names returned by a walk, in order.
    static std::vector<std::string> walk(MFn::Type filter, MItDag::TraversalType type = MItDag::kDepthFirst) {
        std::vector<std::string> names;
        MStatus s;
        MItDag it(type, filter, &s);
        EXPECT_TRUE(s);
        for (; !it.isDone(); it.next()) names.push_back(MFnDagNode(it.item()).name().asChar());
        return names;
    }
};

using Names = std::vector<std::string>;

TEST_F(Dag, DesignValuesOfTypesAndModes) {
    EXPECT_EQ(static_cast<int>(MFn::kJoint), 120);
    EXPECT_NE(static_cast<int>(MFn::kIkHandle), 120);
    EXPECT_EQ(static_cast<int>(MItDag::kDepthFirst), 1);
    EXPECT_EQ(static_cast<int>(MSpace::kTransform), 1);
}

TEST_F(Dag, WorldIsTheRootAndParentOfTopLevelNodes) {
    MObject hip = make("joint", "hip");
    MStatus s;
    MItDag it(MItDag::kDepthFirst, MFn::kInvalid, &s);
    ASSERT_TRUE(s);
    MObject first = it.item();
    EXPECT_EQ(first, it.root());
    EXPECT_EQ(first.apiType(), MFn::kWorld);
    EXPECT_TRUE(first.hasFn(MFn::kDagNode));
    EXPECT_FALSE(first.hasFn(MFn::kTransform));
    EXPECT_STREQ(MFnDagNode(first).name().asChar(), "world");
    MFnDagNode fn(hip);
    EXPECT_EQ(fn.parentCount(), 1u);
    EXPECT_EQ(fn.parent(0), first);
    EXPECT_EQ(MFnDagNode(first).parentCount(), 0u);
}

TEST_F(Dag, JointUnderGroupUnderJointIsFoundAndItsOnlyParentIsTheGroup) {
    MObject upper = make("joint", "upper");
    MObject group = make("transform", "group", upper);
    MObject lower = make("joint", "lower", group);
    EXPECT_EQ(walk(MFn::kJoint), (Names{"upper", "lower"}));
    EXPECT_EQ(walk(MFn::kInvalid), (Names{"world", "upper", "group", "lower"}));
    MFnDagNode fn(lower);
    ASSERT_EQ(fn.parentCount(), 1u);
    EXPECT_EQ(fn.parent(0), group);
    EXPECT_FALSE(fn.parent(0).hasFn(MFn::kJoint));
    EXPECT_TRUE(group.hasFn(MFn::kTransform));
}

TEST_F(Dag, FilteredWalkOverTwoHierarchiesVisitsChildrenBeforeSiblings) {
    MObject hip = make("joint", "hip");
    MObject spine = make("joint", "spine", hip);
    make("joint", "head", spine);
    MObject leg = make("joint", "leg", hip);
    MObject shape = make("mesh", "legShape", leg);
    (void)shape;
    MObject root2 = make("joint", "root2");
    make("joint", "tip", root2);
    make("locator", "loc");
    EXPECT_EQ(walk(MFn::kJoint), (Names{"hip", "spine", "head", "leg", "root2", "tip"}));
    EXPECT_EQ(walk(MFn::kJoint, MItDag::kBreadthFirst), (Names{"hip", "root2", "spine", "leg", "tip", "head"}));
    EXPECT_EQ(walk(MFn::kMesh), (Names{"legShape"}));
}

TEST_F(Dag, InstancedJointIsVisitedOncePerPath) {
    MObject a = make("transform", "a");
    MObject b = make("transform", "b");
    MObject j = make("joint", "j", a);
    make("joint", "tip", j);
    ASSERT_TRUE(MFnDagNode(b).addChild(j, kNextPos, /*keepExistingParents=*/true));

    MFnDagNode fn(j);
    EXPECT_EQ(fn.parentCount(), 2u);
    EXPECT_EQ(fn.parent(0), a);
    EXPECT_EQ(fn.parent(1), b);
    EXPECT_TRUE(fn.isInstanced());

    std::vector<std::string> paths;
    for (MItDag it(MItDag::kDepthFirst, MFn::kJoint); !it.isDone(); it.next())
        paths.push_back(it.fullPathName().asChar());
    EXPECT_EQ(paths, (Names{"|a|j", "|a|j|tip", "|b|j", "|b|j|tip"}));
}

TEST_F(Dag, PathsGoInvalidWhenTheSceneBreaksThem) {
    MObject a = make("transform", "a");
    MObject j = make("joint", "j", a);
    EXPECT_FALSE(MDagPath().isValid());
    MDagPath path;
    ASSERT_TRUE(MDagPath::getAPathTo(j, path));
    EXPECT_TRUE(path.isValid());
    EXPECT_EQ(path.length(), 2u);
    EXPECT_EQ(path.node(), j);
    ASSERT_TRUE(qmfhost::setParent(j, MObject()));   // now top-level: |a|j no longer exists
    EXPECT_FALSE(path.isValid());
    MStatus s;
    EXPECT_TRUE(path.node(&s).isNull());
    EXPECT_EQ(s, MStatus::kFailure);
    ASSERT_TRUE(MDagPath::getAPathTo(j, path));
    EXPECT_STREQ(path.fullPathName().asChar(), "|j");
}

TEST_F(Dag, AddChildWithoutKeepingParentsMovesTheNodeAndRefusesCycles) {
    MObject a = make("transform", "a");
    MObject b = make("transform", "b", a);
    MObject c = make("joint", "c", a);
    MFnDagNode fb(b);
    ASSERT_TRUE(fb.addChild(c));
    EXPECT_EQ(MFnDagNode(c).parentCount(), 1u);
    EXPECT_EQ(MFnDagNode(c).parent(0), b);
    EXPECT_EQ(MFnDagNode(a).childCount(), 1u);
    EXPECT_EQ(MFnDagNode(c).addChild(a), MStatus::kInvalidParameter);   // a is above c
    EXPECT_EQ(fb.addChild(b), MStatus::kInvalidParameter);
}

TEST_F(Dag, PruneSkipsDescendantsAndTheEndGivesANullItem) {
    MObject hip = make("joint", "hip");
    make("joint", "spine", hip);
    make("joint", "other");
    MItDag it(MItDag::kDepthFirst, MFn::kJoint);
    EXPECT_STREQ(MFnDagNode(it.item()).name().asChar(), "hip");
    EXPECT_EQ(it.depth(), 1u);
    it.prune();
    it.next();
    EXPECT_STREQ(MFnDagNode(it.item()).name().asChar(), "other");
    it.next();
    EXPECT_TRUE(it.isDone());
    MStatus s;
    EXPECT_TRUE(it.item(&s).isNull());
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    it.reset();
    EXPECT_STREQ(MFnDagNode(it.item()).name().asChar(), "hip");
}

TEST_F(Dag, WalkFromAnotherRootAndBadTraversalType) {
    MObject hip = make("joint", "hip");
    make("joint", "spine", hip);
    make("joint", "other");
    MItDag it;
    ASSERT_TRUE(it.reset(hip, MItDag::kDepthFirst, MFn::kJoint));
    EXPECT_EQ(it.root(), hip);
    std::vector<std::string> names;
    for (; !it.isDone(); it.next()) names.push_back(MFnDagNode(it.item()).name().asChar());
    EXPECT_EQ(names, (Names{"hip", "spine"}));
    MStatus s;
    MItDag bad(MItDag::kInvalidType, MFn::kInvalid, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_TRUE(bad.isDone());
}

// A function set on an object it does not handle stays unattached.
TEST_F(Dag, IncompatibleFunctionSetsFailWithNeutralValues) {
    MObject group = make("transform", "group");
    MObject curve = make("animCurveTA", "curve");
    const MObject world = qmfhost::world();
    struct Case {
        const char* what;
        MObject object;
    };
    for (const Case& c : {Case{"world", world}, Case{"plain transform", group}, Case{"null", MObject()}}) {
        SCOPED_TRACE(c.what);
        MStatus s;
        MFnIkJoint joint(c.object, &s);
        EXPECT_EQ(s, MStatus::kInvalidParameter);
        EXPECT_TRUE(joint.object(&s).isNull());
        EXPECT_EQ(s, MStatus::kInvalidParameter);
        MQuaternion q(0.1, 0.2, 0.3, 0.9);
        EXPECT_EQ(joint.getOrientation(q), MStatus::kFailure);
        EXPECT_STREQ(joint.name(&s).asChar(), "");
        EXPECT_EQ(s, MStatus::kFailure);
        EXPECT_EQ(joint.childCount(&s), 0u);
        EXPECT_EQ(s, MStatus::kFailure);
        MVector t = joint.translation(MSpace::kTransform, &s);
        EXPECT_EQ(s, MStatus::kFailure);
        EXPECT_TRUE(t.x == 0 && t.y == 0 && t.z == 0);
        EXPECT_EQ(joint.rotationOrder(&s), MTransformationMatrix::kInvalid);
    }
    MStatus s;
    MFnTransform onWorld(world, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    MFnDagNode onCurve(curve, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_TRUE(onCurve.parent(0, &s).isNull());
    EXPECT_EQ(s, MStatus::kFailure);
    MFnAnimCurve curveOnJoint(make("joint", "j"), &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_EQ(curveOnJoint.numKeys(&s), 0u);
    EXPECT_EQ(s, MStatus::kFailure);
}

TEST_F(Dag, ObjectsOfDeletedNodesAndOldScenesGoStale) {
    MObject j = make("joint", "j");
    MObject k = make("joint", "k");
    ASSERT_TRUE(qmfhost::deleteNode(j));
    EXPECT_FALSE(j.hasFn(MFn::kJoint));
    EXPECT_FALSE(j.isNull());   // still a handle, just to nothing
    MStatus s;
    MFnIkJoint fn(j, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    qmfhost::resetScene();
    EXPECT_FALSE(k.hasFn(MFn::kDependencyNode));
    EXPECT_TRUE(qmfhost::allNodes().empty());
}

struct AttrCase {
    const char* longName;
    const char* shortName;
};

class AttributeNames : public Dag, public testing::WithParamInterface<AttrCase> {};

TEST_P(AttributeNames, LongAndShortNamesGiveTheSameAttribute) {
    MObject j = make("joint", "j");
    MFnDependencyNode fn(j);
    MStatus sl, ss;
    MObject byLong = fn.attribute(GetParam().longName, &sl);
    MObject byShort = fn.attribute(GetParam().shortName, &ss);
    ASSERT_TRUE(sl);
    ASSERT_TRUE(ss);
    EXPECT_FALSE(byLong.isNull());
    EXPECT_EQ(byLong, byShort);
}

INSTANTIATE_TEST_SUITE_P(Joint, AttributeNames,
                         testing::Values(AttrCase{"translateX", "tx"}, AttrCase{"rotateY", "ry"},
                                         AttrCase{"jointOrientZ", "joz"}, AttrCase{"rotateOrder", "ro"},
                                         AttrCase{"scaleX", "sx"}, AttrCase{"translate", "t"},
                                         AttrCase{"rotate", "r"}, AttrCase{"visibility", "v"}));

TEST_F(Dag, AttributeLookupFailsForNamesTheNodeDoesNotHave) {
    MFnDependencyNode transform(make("transform", "t1"));
    MStatus s;
    EXPECT_TRUE(transform.attribute("jointOrientX", &s).isNull());
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_TRUE(transform.attribute("rotateW", &s).isNull());
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_TRUE(transform.attribute("RotateX", &s).isNull());   // names are case-sensitive
    EXPECT_FALSE(transform.attribute("rotateX", &s).isNull());
}

TEST_F(Dag, CreatedNodesGetDefaultNamesAndShapesGetATransform) {
    MFnIkJoint j;
    MObject j1 = j.create();
    MObject j2 = j.create(j1);
    EXPECT_STREQ(MFnDagNode(j1).name().asChar(), "joint1");
    EXPECT_STREQ(MFnDagNode(j2).name().asChar(), "joint2");
    EXPECT_EQ(MFnDagNode(j2).parent(0), j1);
    MFnDagNode dag;
    MStatus s;
    MObject top = dag.create("mesh", MObject::kNullObj, &s);
    ASSERT_TRUE(s);
    EXPECT_EQ(top.apiType(), MFn::kTransform);
    ASSERT_EQ(MFnDagNode(top).childCount(), 1u);
    EXPECT_EQ(MFnDagNode(top).child(0).apiType(), MFn::kMesh);
    EXPECT_TRUE(dag.create("animCurveTA", MObject::kNullObj, &s).isNull());
    EXPECT_EQ(s, MStatus::kInvalidParameter);
}

TEST_F(Dag, ApiNamesAreMadeUniqueAndRemovedChildrenStayInTheDag) {
    MFnDependencyNode dg;
    MObject first = dg.create("someNode", "thing");
    MObject second = dg.create("someNode", "thing");
    EXPECT_STREQ(MFnDependencyNode(second).name().asChar(), "thing1");
    EXPECT_STREQ(MFnDependencyNode(first).setName("thing1").asChar(), "thing2");
    MStatus s;
    dg.create("joint", "dagTypeRefused", &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);

    MObject a = make("transform", "a");
    MObject c = make("joint", "c", a);
    ASSERT_TRUE(MFnDagNode(a).removeChild(c));
    EXPECT_EQ(MFnDagNode(c).parent(0), qmfhost::world());
    EXPECT_EQ(MFnDagNode(a).childCount(), 0u);
    EXPECT_EQ(MFnDagNode(a).removeChild(c), MStatus::kInvalidParameter);
}

TEST_F(Dag, FindByNameAndPathWithDuplicateShortNames) {
    MObject a = make("transform", "a");
    MObject b = make("transform", "b");
    MObject xa = make("joint", "x", a);
    MObject xb = make("joint", "x", b);
    MObject ns = make("joint", "bind:root");
    MStatus s;
    EXPECT_TRUE(qmfhost::findNode("x", &s).isNull());
    EXPECT_EQ(s, MStatus::kInvalidParameter);   // ambiguous
    EXPECT_EQ(qmfhost::findNode("a|x"), xa);
    EXPECT_EQ(qmfhost::findNode("|b|x"), xb);
    EXPECT_TRUE(qmfhost::findNode("|x", &s).isNull());
    EXPECT_EQ(s, MStatus::kNotFound);
    EXPECT_EQ(qmfhost::findNode("bind:root"), ns);
    EXPECT_EQ(qmfhost::partialPath(xa), "a|x");
    EXPECT_EQ(qmfhost::partialPath(ns), "bind:root");
    EXPECT_STREQ(MFnDagNode(xb).fullPathName().asChar(), "|b|x");
    EXPECT_STREQ(MFnDagNode(xb).partialPathName().asChar(), "b|x");
}

TEST_F(Dag, DeletingANodeTakesItsOnlyChildrenAndConnections) {
    MObject a = make("transform", "a");
    MObject b = make("transform", "b");
    MObject shared = make("joint", "shared", a);
    ASSERT_TRUE(qmfhost::addParent(shared, b));
    MObject only = make("joint", "only", a);
    MObject conv = make("unitConversion", "conv");
    ASSERT_TRUE(qmfhost::connect(conv, "o", only, "rx"));
    ASSERT_TRUE(qmfhost::deleteNode(a));
    EXPECT_FALSE(qmfhost::exists(only));
    ASSERT_TRUE(qmfhost::exists(shared));
    EXPECT_EQ(qmfhost::parents(shared), std::vector<MObject>{b});
    EXPECT_TRUE(qmfhost::connections().empty());
    EXPECT_TRUE(qmfhost::exists(conv));
}

TEST_F(Dag, EnumeratesEveryNodeInCreationOrder) {
    make("joint", "j");
    make("unitConversion", "u");
    make("someCustomType", "c");
    make("mesh", "m", qmfhost::findNode("j"));
    std::vector<std::string> seen;
    for (const MObject& o : qmfhost::allNodes()) seen.push_back(qmfhost::typeName(o) + ":" + qmfhost::nodeName(o));
    EXPECT_EQ(seen, (Names{"joint:j", "unitConversion:u", "someCustomType:c", "mesh:m"}));
    EXPECT_FALSE(qmfhost::isDag(qmfhost::findNode("c")));
    EXPECT_TRUE(qmfhost::isDag(qmfhost::findNode("m")));
}

// A pathological scene (a 100000-deep chain) is walked, queried and deleted
// without recursion running out of stack or the walk going quadratic.
TEST_F(Dag, VeryDeepHierarchyIsWalkedAndDeleted) {
    const int kDepth = 100000;
    MObject root = make("joint", "n0");
    MObject last = root;
    for (int i = 1; i < kDepth; ++i) last = qmfhost::createNode("joint", "n" + std::to_string(i), last);
    int visited = 0;
    unsigned deepest = 0;
    for (MItDag it(MItDag::kDepthFirst, MFn::kJoint); !it.isDone(); it.next()) {
        ++visited;
        deepest = it.depth();
    }
    EXPECT_EQ(visited, kDepth);
    EXPECT_EQ(deepest, static_cast<unsigned>(kDepth));
    EXPECT_EQ(MFnDagNode(last).instanceCount(true), 1u);
    EXPECT_EQ(qmfhost::setParent(root, last), MStatus::kInvalidParameter);   // would close a loop
    ASSERT_TRUE(qmfhost::deleteNode(root));
    EXPECT_TRUE(qmfhost::allNodes().empty());
}

}  // namespace
