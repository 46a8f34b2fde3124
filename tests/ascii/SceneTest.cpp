#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"

#include <gtest/gtest.h>

#include "../support/CorpusScenes.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace qmfhost::ma;

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

const Node& node(const Scene& s, const std::string& name) {
    int i = s.find(name);
    if (i < 0) throw std::runtime_error("no node " + name);
    return s.nodes[static_cast<std::size_t>(i)];
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(MaScene, UnitsApplyToEveryLaterNumber) {
    Scene s = readText(
        "//Maya ASCII\n"
        "currentUnit -l meter -a degree -t pal;\n"
        "createNode joint -n \"a\";\n"
        "\tsetAttr \".t\" -type \"double3\" 1 2 3 ;\n"
        "\tsetAttr \".r\" -type \"double3\" 90 0 -45 ;\n"
        "currentUnit -l mm -a rad -t ntsc;\n"
        "createNode joint -n \"b\" -p \"a\";\n"
        "\tsetAttr \".tx\" 10;\n"
        "\tsetAttr \".jo\" -type \"double3\" 1 0 0 ;\n"
        "createNode animCurveTA -n \"c\";\n"
        "\tsetAttr -s 2 \".ktv[0:1]\"  0 0 30 3.5;\n");
    const Node& a = node(s, "a");
    EXPECT_DOUBLE_EQ((*a.translate)[2], 300.0);
    EXPECT_DOUBLE_EQ((*a.rotate)[0], 90 * kDeg);
    EXPECT_DOUBLE_EQ((*a.rotate)[2], -45 * kDeg);
    const Node& b = node(s, "b");
    EXPECT_DOUBLE_EQ((*b.translate)[0], 1.0);  // 10 mm
    EXPECT_DOUBLE_EQ((*b.translate)[1], 0.0);
    EXPECT_DOUBLE_EQ((*b.jointOrient)[0], 1.0);  // radians as written
    const Curve& c = *node(s, "c").curve;
    ASSERT_EQ(c.keys.size(), 2u);
    EXPECT_DOUBLE_EQ(c.keys[1].time, 1.0);  // frame 30 at ntsc
    EXPECT_DOUBLE_EQ(c.keys[1].value, 3.5);
    EXPECT_EQ(s.units.timeName, "ntsc");
}

TEST(MaScene, AttributeFormsAndLocks) {
    Scene s = readText(
        "//Maya\n"
        "createNode joint -n \"j\";\n"
        "\tsetAttr -l on \".jo\" -type \"double3\" 90 0 90 ;\n"
        "\tsetAttr \".translateY\" 4;\n"
        "\tsetAttr \".rotateOrder\" 3;\n"
        "\tsetAttr -l on -k off \".sx\";\n"
        "\tsetAttr -l on \".r\";\n"
        "\tsetAttr -l off \".ry\";\n"
        "\tsetAttr -av \".tx\";\n"
        "\tsetAttr -cb on \".ihi\";\n"
        "\tsetAttr \".s\" -type \"double3\" 1 2 3 ;\n"
        "setAttr \"j.tz\" 7;\n");
    const Node& j = node(s, "j");
    EXPECT_EQ(*j.translate, (Vec3{0, 4, 7}));
    EXPECT_EQ(*j.scale, (Vec3{1, 2, 3}));
    EXPECT_EQ(j.rotateOrder, 3);
    EXPECT_DOUBLE_EQ((*j.jointOrient)[2], 90 * kDeg);
    EXPECT_EQ(j.locked, (std::set<std::string>{"jox", "joy", "joz", "sx", "rx", "rz"}));
}

TEST(MaScene, ParentsPathsNamespacesAndDuplicates) {
    Scene s = readText(
        "//Maya\n"
        "createNode transform -n \"grpA\";\n"
        "createNode transform -n \"grpB\";\n"
        "createNode joint -n \"bind:root\" -p \"grpA\";\n"
        "createNode joint -n \"arm\" -p \"bind:root\";\n"
        "createNode joint -n \"arm\" -p \"grpB\";\n"          // same short name elsewhere
        "createNode joint -n \"hand\" -p \"|grpA|bind:root|arm\";\n"
        "createNode joint -n \"finger\" -p \"grpB|arm\";\n"
        "createNode mesh -n \"shape\" -p \"hand\";\n"
        "parent -s -nc -r -add \"|grpA|bind:root|arm|hand|shape\" \"finger\";\n"
        "rename \"finger\" \"finger1\";\n"
        "connectAttr \":time1.o\" \"bind:root.v\";\n");
    int root = s.find("bind:root");
    int armA = s.find("|grpA|bind:root|arm");
    int armB = s.find("|grpB|arm");
    ASSERT_GE(root, 0);
    ASSERT_GE(armA, 0);
    ASSERT_GE(armB, 0);
    EXPECT_NE(armA, armB);
    EXPECT_EQ(node(s, "hand").parents, (std::vector<int>{armA}));
    int finger = s.find("finger1");
    ASSERT_GE(finger, 0);
    EXPECT_EQ(s.nodes[static_cast<std::size_t>(finger)].parents, (std::vector<int>{armB}));
    EXPECT_EQ(node(s, "shape").parents.size(), 2u);
    EXPECT_EQ(s.find("finger"), -1);
    EXPECT_EQ(s.fullPath(s.find("hand")), "|grpA|bind:root|arm|hand");
    ASSERT_EQ(s.connections.size(), 1u);
    EXPECT_EQ(s.connections[0].src.node, -1);  // time1 is only named, never created
    EXPECT_EQ(s.connections[0].dst.node, root);
}

TEST(MaScene, SelectContextTakesFollowingSetAttr) {
    Scene s = readText(
        "//Maya\n"
        "createNode joint -n \"j\";\n"
        "select -ne :time1;\n"
        "\tsetAttr \".o\" 12;\n"
        "\tsetAttr \".t\" -type \"double3\" 5 5 5 ;\n");
    EXPECT_FALSE(node(s, "j").translate.has_value());
    EXPECT_FALSE(node(s, "time1").declared);
}

TEST(MaScene, CurvesKeysTangentsAndPlayback) {
    Scene s = readText(
        "//Maya\n"
        "currentUnit -l centimeter -a degree -t film;\n"
        "createNode animCurveTA -n \"j_rotateX\";\n"
        "\tsetAttr \".tan\" 18;\n"
        "\tsetAttr \".wgt\" no;\n"
        "\tsetAttr -s 3 \".ktv[0:2]\"  1 0 12 90\n\t\t 24 -45;\n"
        "\tsetAttr -s 3 \".kit[1:2]\"  2 9;\n"
        "\tsetAttr -s 3 \".kot[2]\"  10;\n"
        "\tsetAttr \".pre\" 1;\n"
        "\tsetAttr \".pst\" 3;\n"
        "createNode animCurveTL -n \"j_translateX\";\n"
        "\tsetAttr -s 1 \".ktv[0]\"  2 5;\n"
        "createNode script -n \"sceneConfigurationScriptNode\";\n"
        "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1.25 -max 120 -ast 1 -aet 200 \";\n"
        "\tsetAttr \".st\" 6;\n");
    const Curve& c = *node(s, "j_rotateX").curve;
    EXPECT_EQ(c.kind, 'A');
    EXPECT_FALSE(c.weighted);
    EXPECT_EQ(c.preInfinity, 1);
    EXPECT_EQ(c.postInfinity, 3);
    ASSERT_EQ(c.keys.size(), 3u);
    EXPECT_DOUBLE_EQ(c.keys[1].time, 0.5);
    EXPECT_DOUBLE_EQ(c.keys[1].value, 90 * kDeg);
    // Keys not listed take the curve-wide type; file codes map to API types.
    EXPECT_EQ(c.keys[0].inType, 11);
    EXPECT_EQ(c.keys[1].inType, 2);
    EXPECT_EQ(c.keys[2].inType, 4);
    EXPECT_EQ(c.keys[2].outType, 8);
    EXPECT_EQ(c.keys[0].outType, 11);
    const Curve& t = *node(s, "j_translateX").curve;
    EXPECT_TRUE(t.weighted);  // no .wgt line
    ASSERT_EQ(t.keys.size(), 1u);
    EXPECT_DOUBLE_EQ(t.keys[0].value, 5.0);
    EXPECT_DOUBLE_EQ(*s.playback.minTime, 1.25 / 24);
    EXPECT_DOUBLE_EQ(*s.playback.endTime, 200.0 / 24);
}

TEST(MaScene, TangentCodesMapBothWays) {
    const std::pair<int, int> apiToFile[] = {{1, 1}, {2, 2}, {3, 3}, {4, 9}, {5, 5}, {6, 6},
                                             {7, 7}, {8, 10}, {9, 16}, {10, 17}, {11, 18}};
    for (auto [api, file] : apiToFile) {
        EXPECT_EQ(tangentToFileCode(api), file) << api;
        EXPECT_EQ(tangentFromFileCode(file), api) << file;
    }
}

TEST(MaScene, MalformedStatementsNameTheLine) {
    struct Case {
        const char* text;
        int line;
    };
    const Case cases[] = {
        {"//Maya\ncreateNode joint -n \"a\" -p \"missing\";\n", 2},
        {"//Maya\ncreateNode joint -n \"a\";\n\tsetAttr \".t\" -type \"double3\" 1 2;\n", 3},
        {"//Maya\ncreateNode joint -n \"a\";\n\tsetAttr \".ro\" 9;\n", 3},
        {"//Maya\ncreateNode animCurveTL -n \"c\";\n\tsetAttr -s 3 \".ktv[0:2]\" 1 2 3;\n", 3},
        {"//Maya\ncreateNode animCurveTL -n \"c\";\n\tsetAttr \".ktv[0:9999999999]\" 1 2;\n", 3},
        {"//Maya\ncurrentUnit -l parsec;\n", 2},
        {"//Maya\ncreateNode joint -n \"a\";\ncreateNode joint -n \"b\" -p \"a\";\nparent \"a\" \"b\";\n", 4},
        {"//Maya\nconnectAttr \"a\";\n", 2},
        {"//Maya\ncreateNode joint -n \"a\";\n\tsetAttr \".tx\" abc;\n", 3},
        {"//Maya\ncurrentUnit -l km;\ncreateNode joint -n \"a\";\n\tsetAttr \".tx\" 1e304;\n", 4},
        {"//Maya\ncreateNode animCurveTA -n \"c\";\n\tsetAttr \".pre\" 2;\n", 3},
        {"//Maya\ncreateNode script -n \"sceneConfigurationScriptNode\";\n"
         "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min x \";\n", 3},
    };
    for (const auto& c : cases) {
        try {
            readText(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ParseError& e) {
            EXPECT_EQ(e.line(), c.line) << e.what();
        }
    }
}

TEST(MaWriter, UnchangedSceneIsWrittenByteForByte) {
    const char* text =
        "//Maya ASCII 2018 scene\n"
        "requires maya \"2018\";\n"
        "createNode joint -n \"a\";\n"
        "\tsetAttr \".b\" -type \"string\" (\"x;\" + \"y\");\n"
        "connectAttr \"a.s\" \"b.is\"\n\t\t;\n"
        "// End of x.ma";
    Scene s = readText(text);
    EXPECT_EQ(writeScene(s, Edits{}), text);
}

TEST(MaWriter, EditsRoundTripThroughTheReader) {
    Scene s = readText(
        "//Maya ASCII\n"
        "currentUnit -l centimeter -a degree -t film;\n"
        "createNode joint -n \"j\";\n"
        "\tsetAttr -l on \".rx\";\n"
        "createNode animCurveTA -n \"old\";\n"
        "\tsetAttr -s 1 \".ktv[0]\"  1 10;\n"
        "createNode script -n \"sceneConfigurationScriptNode\";\n"
        "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 24 -ast 1 -aet 48 -by 1 \";\n"
        "select -ne :time1;\n"
        "\tsetAttr \".o\" 1;\n"
        "connectAttr \"old.o\" \"j.ry\";\n"
        "connectAttr \"j.s\" \"j.is\";\n"
        "// End of x.ma\n");
    Edits e;
    e.deletedNodes.insert(s.find("old"));
    NewCurve nc;
    nc.name = "j";  // clashes with a node of the file: must be made unique
    nc.type = "animCurveTA";
    nc.curve.kind = 'A';
    nc.curve.weighted = false;
    nc.curve.tangentType = 2;
    nc.curve.keys = {{0.0, 0.1, 2, 2}, {1.0 / 30, -0.25, 2, 2}, {0.5, 1e-300, 2, 8}};
    nc.destinations = {{"|j", "rotateX"}};
    e.newCurves.push_back(nc);
    e.lockChanges.push_back({"|j", "rx", false});
    Playback pb;
    pb.minTime = 0.0;
    pb.maxTime = 2.5;
    pb.startTime = 0.0;
    pb.endTime = 2.5;
    e.playback = pb;
    std::string out = writeScene(s, e);
    Scene back = readText(out);

    EXPECT_EQ(out.find("\"old"), std::string::npos) << out;
    // In types all the curve's own (.tan 2): no .kit list; out types differ.
    EXPECT_EQ(out.find(".kit["), std::string::npos) << out;
    EXPECT_NE(out.find(".kot[0:2]\"  2 2 10;"), std::string::npos) << out;
    EXPECT_NE(out.find("-by 1"), std::string::npos) << "other playback options are kept";
    EXPECT_NE(out.find("connectAttr \"j.s\" \"j.is\";"), std::string::npos);
    EXPECT_LT(out.find("createNode animCurveTA"), out.find("select -ne :time1"));
    int curve = back.find("j_1");
    ASSERT_GE(curve, 0) << out;
    const Curve& c = *back.nodes[static_cast<std::size_t>(curve)].curve;
    ASSERT_EQ(c.keys.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(c.keys[i].time, nc.curve.keys[i].time, 1e-15);
        EXPECT_NEAR(c.keys[i].value, nc.curve.keys[i].value, 1e-15);
        EXPECT_EQ(c.keys[i].inType, nc.curve.keys[i].inType);
        EXPECT_EQ(c.keys[i].outType, nc.curve.keys[i].outType);
    }
    EXPECT_FALSE(c.weighted);
    EXPECT_EQ(node(back, "j").locked.count("rx"), 0u);
    EXPECT_DOUBLE_EQ(*back.playback.maxTime, 2.5);
    EXPECT_DOUBLE_EQ(*back.playback.minTime, 0.0);
    ASSERT_EQ(back.connections.size(), 2u);
    EXPECT_EQ(back.connections[1].src.nodeName, "j_1");
    EXPECT_EQ(back.connections[1].dst.attr, "rotateX");
}

TEST(MaWriter, PlaybackWithoutConfigurationNodeAddsOne) {
    Scene s = readText("//Maya\ncreateNode joint -n \"j\";\n");
    Edits e;
    Playback pb;
    pb.minTime = 0.0;
    pb.maxTime = 1.0;
    e.playback = pb;
    Scene back = readText(writeScene(s, e));
    ASSERT_GE(back.configNode, 0);
    EXPECT_DOUBLE_EQ(*back.playback.maxTime, 1.0);
}

TEST(MaWriter, NumbersReadBackExactly) {
    for (double v : {0.0, -0.0, 1.0, 0.1, 1.0 / 3, -123456.789e-10, 5e-324, 1.7976931348623157e308}) {
        std::string t = formatNumber(v);
        double back = std::strtod(t.c_str(), nullptr);
        EXPECT_EQ(back, v) << t;
        EXPECT_EQ(std::signbit(back), std::signbit(v)) << t;
    }
    EXPECT_EQ(formatNumber(24.0), "24");
}

TEST(MaCorpus, EveryCorpusSceneReadsAndWritesBackUnchanged) {
    auto scenes = corpusScenes();
    if (scenes.empty()) GTEST_SKIP() << "corpus folder not found: " << QMF_CORPUS_DIR;
    for (const auto& p : scenes) {
        std::string text = slurp(p);
        Scene s;
        ASSERT_NO_THROW(s = readText(text)) << p;
        EXPECT_EQ(writeScene(s, Edits{}), text) << p;
        EXPECT_FALSE(s.nodes.empty()) << p;
    }
}

TEST(MaCorpus, FactsOfParticularScenes) {
    auto dir = std::filesystem::path(QMF_CORPUS_DIR) / "ma";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "corpus folder not found: " << dir;
    auto count = [](const Scene& s, const std::string& type) {
        return std::count_if(s.nodes.begin(), s.nodes.end(), [&](const Node& n) { return n.type == type && n.declared; });
    };
    {
        Scene s = readFile((dir / "skel.ma").string());
        EXPECT_EQ(count(s, "joint"), 67);
        EXPECT_EQ(s.units.timeName, "pal");
        int roll = s.find("FBX_NeckRoll");
        ASSERT_GE(roll, 0);
        bool viaConversion = false;
        for (const auto& c : s.connections)
            if (c.dst.node == roll && c.dst.attr == "rx" && c.src.node >= 0 &&
                s.nodes[static_cast<std::size_t>(c.src.node)].type == "unitConversion")
                viaConversion = true;
        EXPECT_TRUE(viaConversion);
    }
    {
        Scene s = readFile((dir / "UsdExportSkeletonSegfaultTest.ma").string());
        EXPECT_EQ(count(s, "joint"), 35);
        EXPECT_DOUBLE_EQ(*s.playback.minTime, 1.25 / 30);
        EXPECT_GE(s.find("bind:root"), 0);
    }
    {
        Scene s = readFile((dir / "skel2.ma").string());
        int shape = s.find("pCubeShape1");
        ASSERT_GE(shape, 0);
        EXPECT_EQ(s.nodes[static_cast<std::size_t>(shape)].parents.size(), 16u);  // 15 instances + own
    }
    {
        Scene s = readFile((dir / "UsdExportSkeleton.ma").string());
        EXPECT_EQ(count(s, "joint"), 25);
        EXPECT_EQ(count(s, "animCurveTA"), 75);
        int c = s.find("Hips_rotateX");
        if (c >= 0) {
            EXPECT_EQ(s.nodes[static_cast<std::size_t>(c)].curve->keys.size(), 3u);
        }
    }
}
