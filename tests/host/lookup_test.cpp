// Lookups of the scene access layer by name, path and plug: right after
// renames, deletes and reparenting, and without scanning the scene (large
// and hostile scenes finish; their results are checked, not their times).
#include <maya/MDGModifier.h>
#include <maya/MDagPath.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Lookup : public testing::Test {
protected:
    void SetUp() override { qmfhost::resetScene(); }

    static MObject make(const std::string& type, const std::string& name, const MObject& parent = MObject::kNullObj) {
        MStatus s;
        MObject o = qmfhost::createNode(type, name, parent, qmfhost::NodeClass::Auto, &s);
        EXPECT_TRUE(s) << type << " " << name;
        return o;
    }

    static std::vector<std::string> partialNames(const MObject& node) {
        std::vector<MDagPath> paths;
        EXPECT_TRUE(MDagPath::getAllPathsTo(node, paths));
        std::vector<std::string> out;
        for (const MDagPath& p : paths) out.push_back(p.partialPathName().asChar());
        return out;
    }
};

using Names = std::vector<std::string>;

TEST_F(Lookup, NamesFollowRenamesDeletesAndUndo) {
    MObject a = make("transform", "a");
    MObject j = make("joint", "j", a);
    ASSERT_TRUE(qmfhost::rename(j, "k"));
    EXPECT_TRUE(qmfhost::findNodes("j").empty());
    EXPECT_EQ(qmfhost::findNode("a|k"), j);

    MFnDependencyNode fn(j);
    EXPECT_STREQ(fn.setName("a").asChar(), "a1");   // taken: numbered, as Maya does
    EXPECT_EQ(qmfhost::findNode("|a|a1"), j);

    MDGModifier mod;
    ASSERT_TRUE(mod.renameNode(j, "wrist"));
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(qmfhost::findNode("wrist"), j);
    ASSERT_TRUE(mod.undoIt());
    EXPECT_TRUE(qmfhost::findNodes("wrist").empty());
    EXPECT_EQ(qmfhost::findNode("a1"), j);

    ASSERT_TRUE(qmfhost::deleteNode(a));
    EXPECT_TRUE(qmfhost::findNodes("a1").empty());
    EXPECT_TRUE(qmfhost::findNodes("a").empty());
    MObject again = make("transform", "a");
    EXPECT_EQ(qmfhost::findNode("|a"), again);
    EXPECT_EQ(qmfhost::findNodes("world").size(), 0u);   // the world is no node of the scene
}

TEST_F(Lookup, PartialNamesAreTheShortestUniqueEndOfEachPath) {
    // r is instanced under p and q; c below it has a unique name but two paths.
    MObject p = make("transform", "p");
    MObject q = make("transform", "q");
    MObject r = make("transform", "r", p);
    ASSERT_TRUE(qmfhost::addParent(r, q));
    MObject c = make("joint", "c", r);
    EXPECT_EQ(partialNames(c), (Names{"p|r|c", "q|r|c"}));
    EXPECT_EQ(partialNames(r), (Names{"p|r", "q|r"}));
    EXPECT_EQ(qmfhost::partialPath(c), "p|r|c");

    // A node outside the DAG with the same name makes the short name ambiguous.
    MObject lone = make("joint", "lone");
    EXPECT_EQ(qmfhost::partialPath(lone), "lone");
    make("unitConversion", "lone");
    EXPECT_EQ(qmfhost::partialPath(lone), "|lone");

    // Taking the instance away makes the names short again.
    ASSERT_TRUE(qmfhost::removeParent(r, q));
    EXPECT_EQ(partialNames(c), (Names{"c"}));
    EXPECT_EQ(qmfhost::partialPath(r), "r");
}

// Two same-named nodes per level, each under both nodes of the level above.
TEST_F(Lookup, InstancedPathsResolveInOneWalk) {
    const int levels = 40;
    std::vector<MObject> above{make("transform", "x"), make("transform", "x")};
    for (int i = 1; i < levels; ++i) {
        std::vector<MObject> level{make("transform", "x", above[0]), make("transform", "x", above[0])};
        for (const MObject& n : level) ASSERT_TRUE(qmfhost::addParent(n, above[1]));
        above = level;
    }
    std::string all;
    for (int i = 0; i < levels; ++i) all += "|x";
    EXPECT_EQ(qmfhost::findNodes(all), above);
    EXPECT_EQ(qmfhost::findNodes(all.substr(1)), above);
    EXPECT_TRUE(qmfhost::findNodes("|nowhere" + all).empty());
    EXPECT_TRUE(qmfhost::findNodes(all + "|").empty());
    MStatus s;
    EXPECT_TRUE(qmfhost::findNode(all, &s).isNull());
    EXPECT_EQ(s, MStatus::kInvalidParameter);   // two match
}

TEST_F(Lookup, ManyConnectionsOnOnePlugStayIndexed) {
    const int count = 40000;
    MObject a = make("transform", "a");
    MObject set = make("objectSet", "set");
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(qmfhost::connect(a, "msg", set, "dsm[" + std::to_string(i) + "]")) << i;
    EXPECT_EQ(qmfhost::connect(a, "msg", set, "dsm[7]"), MStatus::kInvalidParameter);   // already driven
    qmfhost::Connection c;
    ASSERT_TRUE(qmfhost::sourceOf(set, "dsm[39999]", c));
    EXPECT_EQ(c.sourceNode, a);

    MPlugArray out;
    MFnDependencyNode fa(a);
    EXPECT_TRUE(fa.findPlug("message", false).connectedTo(out, false, true));
    EXPECT_EQ(out.length(), static_cast<unsigned>(count));
    EXPECT_STREQ(out[5].name().asChar(), "set.dsm[5]");

    ASSERT_TRUE(qmfhost::disconnect(a, "message", set, "dsm[5]"));
    EXPECT_EQ(qmfhost::disconnect(a, "message", set, "dsm[5]"), MStatus::kNotFound);
    // A new source for a freed plug, then force onto a driven one.
    MObject b = make("transform", "b");
    ASSERT_TRUE(qmfhost::connect(b, "msg", set, "dsm[5]"));
    ASSERT_TRUE(qmfhost::connect(b, "msg", set, "dsm[6]", true));
    EXPECT_EQ(qmfhost::connections(b).size(), 2u);
    EXPECT_EQ(qmfhost::connections(a).size(), static_cast<std::size_t>(count - 2));
    auto all = qmfhost::connections();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(all.back().destinationAttribute, "dsm[6]");   // in the order made

    ASSERT_TRUE(qmfhost::deleteNode(a));
    EXPECT_EQ(qmfhost::connections().size(), 2u);
    EXPECT_FALSE(qmfhost::sourceOf(set, "dsm[39999]", c));
    EXPECT_TRUE(qmfhost::sourceOf(set, "dsm[6]", c));
}

}  // namespace
