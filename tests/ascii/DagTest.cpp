// The DAG as Maya builds it from a file: children in the order they came to
// their parent, parenting that keeps world placement, names that must be
// unique; and hostile files (deep paths, instanced names, many connections)
// that must be read correctly in time linear in their size.
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <maya/MFnDagNode.h>
#include <maya/MItDag.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace qmfhost::ma;

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

using Names = std::vector<std::string>;

// Names of the joints in the host's depth-first walk.
Names jointWalk(const std::string& text) {
    loadIntoHost(readText(text));
    Names names;
    for (MItDag it(MItDag::kDepthFirst, MFn::kJoint); !it.isDone(); it.next())
        names.push_back(MFnDagNode(it.item()).name().asChar());
    return names;
}

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

const Node& named(const Scene& s, const std::string& name) {
    int n = s.find(name);
    EXPECT_GE(n, 0) << name;
    return s.nodes.at(static_cast<std::size_t>(n < 0 ? 0 : n));
}

}  // namespace

TEST(MaDag, ChildrenComeInTheOrderTheyBecameChildren) {
    struct Case {
        const char* what;
        std::string text;
        Names walk;
    } cases[] = {
        {"instances of a shape do not pull later parents ahead",
         "//Maya\n"
         "createNode transform -n \"holder\";\n"
         "createNode mesh -n \"shape\" -p \"holder\";\n"
         "createNode joint -n \"root\";\n"
         "createNode joint -n \"left\" -p \"root\";\n"
         "createNode joint -n \"right\" -p \"root\";\n"
         "createNode transform -n \"t1\" -p \"left\";\n"
         "createNode transform -n \"t2\" -p \"right\";\n"
         "parent -s -nc -r -add \"|holder|shape\" \"t1\";\n"
         "parent -s -nc -r -add \"|holder|shape\" \"t2\";\n",
         {"root", "left", "right"}},
        {"a node parented after the parent has children comes last",
         "//Maya\n"
         "createNode joint -n \"A\";\n"
         "createNode joint -n \"m\";\n"
         "createNode joint -n \"c1\" -p \"A\";\n"
         "parent -r \"m\" \"A\";\n"
         "createNode joint -n \"c2\" -p \"A\";\n",
         {"A", "c1", "m", "c2"}},
        {"moved to the world and back, a child goes last",
         "//Maya\n"
         "createNode joint -n \"A\";\n"
         "createNode joint -n \"B\" -p \"A\";\n"
         "createNode joint -n \"C\" -p \"A\";\n"
         "parent -w -r \"B\";\n"
         "parent -r \"B\" \"A\";\n",
         {"A", "C", "B"}},
        {"parenting a node to the parent it has already changes nothing",
         "//Maya\n"
         "createNode joint -n \"A\";\n"
         "createNode joint -n \"c1\" -p \"A\";\n"
         "createNode joint -n \"c2\" -p \"A\";\n"
         "parent -r \"c1\" \"A\";\n",
         {"A", "c1", "c2"}},
    };
    for (const auto& c : cases) EXPECT_EQ(jointWalk(c.text), c.walk) << c.what;
}

TEST(MaDag, ParentingWithoutRelativeKeepsTheWorldPlacement) {
    struct Case {
        const char* what;
        std::string statements;
        const char* node;
        Vec3 translate, rotateDegrees, scale;
    } cases[] = {
        {"under a moved and turned parent",
         "createNode transform -n \"A\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3;\n\tsetAttr \".r\" -type \"double3\" 0 0 90;\n"
         "createNode transform -n \"B\";\n\tsetAttr \".t\" -type \"double3\" 5 0 0;\n"
         "parent \"B\" \"A\";\n",
         "B", {-2, -4, -3}, {0, 0, -90}, {1, 1, 1}},
        {"relative parenting keeps the local values",
         "createNode transform -n \"A\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3;\n\tsetAttr \".r\" -type \"double3\" 0 0 90;\n"
         "createNode transform -n \"B\";\n\tsetAttr \".t\" -type \"double3\" 5 0 0;\n"
         "parent -r \"B\" \"A\";\n",
         "B", {5, 0, 0}, {0, 0, 0}, {1, 1, 1}},
        {"a joint under a scaled parent keeps its orient",
         "createNode transform -n \"P\";\n\tsetAttr \".s\" -type \"double3\" 2 2 2;\n"
         "createNode joint -n \"J\";\n\tsetAttr \".t\" -type \"double3\" 0 0 10;\n\tsetAttr \".jo\" -type \"double3\" 0 0 90;\n"
         "parent \"J\" \"P\";\n",
         "J", {0, 0, 5}, {0, 0, 0}, {0.5, 0.5, 0.5}},
        {"to the world from under a turned parent",
         "createNode transform -n \"A\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3;\n\tsetAttr \".r\" -type \"double3\" 0 0 90;\n"
         "createNode transform -n \"C\" -p \"A\";\n\tsetAttr \".t\" -type \"double3\" 1 0 0;\n"
         "parent -w \"C\";\n",
         "C", {1, 3, 3}, {0, 0, 90}, {1, 1, 1}},
    };
    for (const auto& c : cases) {
        Scene s = readText("//Maya\n" + c.statements);
        const Node& n = named(s, c.node);
        const Vec3 t = n.translate.value_or(Vec3{0, 0, 0}), r = n.rotate.value_or(Vec3{0, 0, 0}),
                   sc = n.scale.value_or(Vec3{1, 1, 1});
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(t[k], c.translate[k], 1e-9) << c.what << " translate " << k;
            EXPECT_NEAR(r[k], c.rotateDegrees[k] * kDeg, 1e-9) << c.what << " rotate " << k;
            EXPECT_NEAR(sc[k], c.scale[k], 1e-9) << c.what << " scale " << k;
        }
        if (n.type == "joint") {
            EXPECT_NEAR((*n.jointOrient)[2], 90 * kDeg, 1e-12) << c.what;
        }
    }
}

TEST(MaDag, AmbiguousNamesInParentingAreRefusedWithTheLine) {
    const std::string twoA =
        "//Maya\n"
        "createNode transform -n \"g1\";\n"
        "createNode transform -n \"g2\";\n"
        "createNode transform -n \"a\" -p \"g1\";\n"
        "createNode transform -n \"a\" -p \"g2\";\n"
        "createNode transform -n \"b\";\n";   // line 6
    struct Case {
        const char* statement;
        const char* name;
    } refused[] = {
        {"createNode joint -n \"c\" -p \"a\";\n", "a"},
        {"parent -r \"a\" \"b\";\n", "a"},
        {"parent \"b\" \"a\";\n", "a"},
        {"parent -add -r \"b\" \"a\";\n", "a"},
    };
    for (const auto& c : refused) {
        try {
            readText(twoA + c.statement);
            ADD_FAILURE() << "accepted: " << c.statement;
        } catch (const ParseError& e) {
            EXPECT_EQ(e.line(), 7) << c.statement;
            EXPECT_NE(std::string(e.what()).find(std::string("more than one node matches ") + c.name),
                      std::string::npos)
                << e.what();
        }
    }
    // A path that tells them apart is fine.
    Scene s = readText(twoA + "createNode joint -n \"c\" -p \"g2|a\";\nparent -r \"|g1|a\" \"b\";\n");
    EXPECT_EQ(named(s, "c").parents, std::vector<int>{s.find("|g2|a")});
    EXPECT_EQ(s.nodes[static_cast<std::size_t>(s.find("b|a"))].parents, std::vector<int>{s.find("b")});
}

// A path as deep as the file: no lookup may recurse on it.
TEST(MaDag, DeepPathsResolveWithoutRecursion) {
    const int depth = 150000;
    std::string text = "//Maya\ncreateNode transform -n \"n0\";\n", path = "|n0";
    for (int i = 1; i < depth; ++i) {
        text += "createNode transform -n \"n" + std::to_string(i) + "\" -p \"n" + std::to_string(i - 1) + "\";\n";
        path += "|n" + std::to_string(i);
    }
    text += "select -ne \"" + path + "\";\n\tsetAttr \".tx\" 5;\n";
    Scene s = readText(text);
    ASSERT_EQ(s.find(path), depth - 1);
    EXPECT_EQ((*s.nodes.back().translate)[0], 5.0);
    EXPECT_EQ(s.fullPath(depth - 1), path);
    Binding b = loadIntoHost(s);
    EXPECT_EQ(qmfhost::findNode(path), b.nodes.back());
    EXPECT_EQ(qmfhost::partialPath(b.nodes.back()), "n" + std::to_string(depth - 1));
}

// Two same-named nodes per level, each under both of the level above: a
// path has 2^levels ways up, but resolving it is one walk down.
TEST(MaDag, InstancedNamesResolveInOneWalkDownThePath) {
    const int levels = 40;
    std::string text = "//Maya\ncreateNode transform -n \"p0\";\ncreateNode transform -n \"q0\";\n";
    for (int i = 1; i < levels; ++i) {
        const std::string p = "p" + std::to_string(i), q = "q" + std::to_string(i);
        const std::string pp = "p" + std::to_string(i - 1), pq = "q" + std::to_string(i - 1);
        text += "createNode transform -n \"" + p + "\" -p \"" + pp + "\";\n";
        text += "createNode transform -n \"" + q + "\" -p \"" + pp + "\";\n";
        text += "parent -add -r \"" + p + "\" \"" + pq + "\";\n";
        text += "parent -add -r \"" + q + "\" \"" + pq + "\";\n";
    }
    for (int i = 0; i < levels; ++i)
        text += "rename \"p" + std::to_string(i) + "\" \"x\";\nrename \"q" + std::to_string(i) + "\" \"x\";\n";
    Scene s = readText(text);
    const std::string all = repeat("|x", levels);
    ASSERT_EQ(s.findAll(all).size(), 2u);
    EXPECT_EQ(s.findAll(all.substr(1)).size(), 2u);
    EXPECT_EQ(s.findAll(repeat("x|", 9) + "x").size(), 2u * (levels - 9));
    EXPECT_TRUE(s.findAll("|nowhere" + all).empty());

    const int line = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const auto& [parent, message] : {std::pair<std::string, std::string>{"|nowhere" + all, "parent node not found"},
                                          {all, "more than one node matches"}}) {
        try {
            readText(text + "createNode transform -n \"y\" -p \"" + parent + "\";\n");
            ADD_FAILURE() << "accepted " << parent;
        } catch (const ParseError& e) {
            EXPECT_EQ(e.line(), line);
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    loadIntoHost(s);
    EXPECT_EQ(qmfhost::findNodes(all).size(), 2u);
    EXPECT_TRUE(qmfhost::findNodes("|nowhere" + all).empty());
}

TEST(MaDag, ManyConnectionsIntoOneMultiAttribute) {
    const int count = 40000;
    std::string text = "//Maya\ncreateNode transform -n \"a\";\ncreateNode objectSet -n \"set\";\n" +
                       repeat("connectAttr -na \"a.msg\" \"set.dsm\";\n", count);
    Scene s = readText(text);
    ASSERT_EQ(s.connections.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(s.connections.back().dst.attr, "dsm[" + std::to_string(count - 1) + "]");
    Binding b = loadIntoHost(s);
    EXPECT_TRUE(b.warnings.empty());
    EXPECT_EQ(std::count(b.connected.begin(), b.connected.end(), true), count);
    ASSERT_EQ(qmfhost::connections().size(), static_cast<std::size_t>(count));
    const MObject set = b.nodes[1];
    qmfhost::Connection c;
    ASSERT_TRUE(qmfhost::sourceOf(set, "dsm[12345]", c));
    EXPECT_EQ(c.sourceNode, b.nodes[0]);
    ASSERT_TRUE(qmfhost::disconnect(b.nodes[0], "msg", set, "dsm[12345]"));
    EXPECT_FALSE(qmfhost::sourceOf(set, "dsm[12345]", c));
    EXPECT_EQ(collectEdits(s, b).removedConnections, std::set<int>{12345});
}

TEST(MaDag, DisconnectingLeavesOtherStatementsTiedToTheirOwnConnections) {
    Scene s = readText(
        "//Maya\n"
        "createNode transform -n \"a\";\n"
        "createNode transform -n \"b\";\n"
        "connectAttr \"a.tx\" \"b.tx\";\n"   // chunk of the first connection
        "connectAttr \"a.ty\" \"b.ty\";\n"
        "connectAttr \"a.tz\" \"b.tz\";\n"
        "disconnectAttr \"a.tx\" \"b.tx\";\n");
    ASSERT_EQ(s.connections.size(), 2u);
    EXPECT_EQ(s.connections[0].dst.attr, "ty");
    EXPECT_EQ(s.connections[1].dst.attr, "tz");
    std::vector<std::string> tied;
    for (std::size_t i = 0; i < s.chunks.size(); ++i)
        if (s.chunkConnection[i] >= 0)
            tied.push_back(s.chunks[i].args.back().text + "=" +
                           s.connections[static_cast<std::size_t>(s.chunkConnection[i])].dst.attr);
    EXPECT_EQ(tied, (Names{"b.ty=ty", "b.tz=tz"}));
    // Removing the second connection drops its statement, not the third's.
    Edits e;
    e.removedConnections = {0};
    const std::string out = writeScene(s, e);
    EXPECT_EQ(out.find("\"b.ty\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"b.tz\""), std::string::npos) << out;
    EXPECT_NE(out.find("connectAttr \"a.tx\""), std::string::npos) << out;   // kept as text, with its disconnect
}

// Maya names a node by its short name when that is unique, else by the
// shortest unique end of its path: a deep chain must not write its depth
// into every statement.
TEST(MaDag, WrittenScenesNameNodesByTheirShortestUniqueName) {
    const int depth = 3000;
    std::string text =
        "//Maya\n"
        "createNode transform -n \"g1\";\ncreateNode joint -n \"arm\" -p \"g1\";\n"
        "createNode transform -n \"g2\";\ncreateNode joint -n \"arm\" -p \"g2\";\n"
        "createNode joint -n \"leg0\";\n";
    for (int i = 1; i < depth; ++i)
        text += "createNode joint -n \"leg" + std::to_string(i) + "\" -p \"leg" + std::to_string(i - 1) + "\";\n";
    Scene s = readText(text);
    Binding b = loadIntoHost(s);
    const MObject deepest = b.nodes[static_cast<std::size_t>(s.find("leg" + std::to_string(depth - 1)))];
    const MObject arm1 = b.nodes[static_cast<std::size_t>(s.find("|g1|arm"))];
    const MObject arm2 = b.nodes[static_cast<std::size_t>(s.find("|g2|arm"))];
    MObject curve = qmfhost::createNode("animCurveTA", "turn");
    ASSERT_TRUE(qmfhost::connect(curve, "output", deepest, "rx"));
    MObject curve2 = qmfhost::createNode("animCurveTA", "turn2");
    ASSERT_TRUE(qmfhost::connect(curve2, "output", arm1, "ry"));
    ASSERT_TRUE(qmfhost::setLocked(arm2, "tz", true));

    Edits e = collectEdits(s, b);
    ASSERT_EQ(e.newCurves.size(), 2u);
    using Dest = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(e.newCurves[0].destinations, (Dest{{"leg" + std::to_string(depth - 1), "rx"}}));
    EXPECT_EQ(e.newCurves[1].destinations, (Dest{{"g1|arm", "ry"}}));
    ASSERT_EQ(e.lockChanges.size(), 1u);
    EXPECT_EQ(e.lockChanges[0].nodePath, "g2|arm");

    const std::string out = writeScene(s, e);
    EXPECT_LT(out.size(), text.size() + 1000);
    Scene back = readText(out);
    ASSERT_EQ(back.connections.size(), 2u);
    EXPECT_EQ(back.connections[0].dst.node, s.find("leg" + std::to_string(depth - 1)));
    EXPECT_EQ(back.connections[1].dst.node, s.find("|g1|arm"));
    EXPECT_EQ(back.nodes[static_cast<std::size_t>(s.find("|g2|arm"))].locked.count("tz"), 1u);
}

TEST(MaDag, ConnectionsMadeAfterADisconnectionCanBeDisconnectedToo) {
    Scene s = readText(
        "//Maya\n"
        "createNode transform -n \"a\";\n"
        "createNode transform -n \"b\";\n"
        "connectAttr \"a.tx\" \"b.tx\";\n"
        "disconnectAttr \"a.tx\" \"b.tx\";\n"
        "connectAttr \"a.tx\" \"b.tx\";\n"    // made again after the first disconnection
        "connectAttr \"a.ty\" \"b.ty\";\n"
        "disconnectAttr \"a.tx\" \"b.tx\";\n"
        "connectAttr \"a.tz\" \"b.tz\";\n");
    std::vector<std::string> left;
    for (const auto& c : s.connections) left.push_back(c.dst.attr);
    EXPECT_EQ(left, (Names{"ty", "tz"}));
}

TEST(MaDag, PlainNamesFindTheLastNodeMadeWithThatName) {
    Scene s = readText(
        "//Maya\n"
        "createNode transform -n \"g1\";\n"
        "createNode transform -n \"g2\";\n"
        "createNode joint -n \"arm\" -p \"g1\";\n"
        "createNode joint -n \"arm\" -p \"g2\";\n"
        "createNode joint -n \"ns:leg\";\n");
    const int first = s.find("|g1|arm"), second = s.find("|g2|arm");
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    const struct {
        const char* name;
        int want;
    } cases[] = {
        {"arm", second}, {":arm", second}, {"g1|arm", first}, {"ns:leg", s.find("|ns:leg")},
        {"leg", -1},     {"", -1},         {":", -1},          {"nothing", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(s.find(c.name), c.want) << c.name;
}

// A name only one node has is found without the (parent, name) index; a
// name turning shared, unshared and shared again must resolve by path at
// every step.
TEST(MaDag, PathsResolveAsNamesBecomeSharedAndUnshared) {
    const std::string made = "//Maya\n"
                             "createNode transform -n \"a\";\n"
                             "createNode transform -n \"c\";\n"
                             "createNode transform -n \"b\" -p \"a\";\n"
                             "createNode transform -n \"k\" -p \"c\";\n";
    const std::string shared = made + "rename \"k\" \"b\";\n";
    const std::string unshared = shared + "rename \"|a|b\" \"m\";\n";
    const std::string again = unshared + "parent -r \"m\" \"c\";\nrename \"m\" \"b\";\n";
    // Nodes by the order made: a 0, c 1, b 2, k 3.
    const struct {
        const std::string* text;
        const char* path;
        std::vector<int> want;
    } cases[] = {
        {&made, "|a|b", {2}},         {&made, "|c|b", {}},          {&made, "c|k", {3}},
        {&shared, "|a|b", {2}},       {&shared, "|c|b", {3}},       {&shared, "b", {2, 3}},
        {&shared, "|c|k", {}},        {&unshared, "|a|b", {}},      {&unshared, "|c|b", {3}},
        {&unshared, "a|m", {2}},      {&unshared, "b", {3}},        {&again, "|c|b", {2, 3}},
        {&again, "|a|b", {}},         {&again, "|c|m", {}},         {&again, "c|b", {2, 3}},
    };
    for (const auto& c : cases) {
        const Scene s = readText(*c.text);
        EXPECT_EQ(s.findAll(c.path), c.want) << c.path << " after:\n" << *c.text;
    }
}
