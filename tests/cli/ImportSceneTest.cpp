// What `qmf import` leaves in the scene beyond the new curves: the playback
// range (only the end changes, the rest is written back as it was read) and
// what --replace removes (animation curves only) or refuses to cut.
#include "CliFixture.h"

#include "qmfhost/MaScene.h"

#include <map>

using namespace clitest;
using qmfhost::ma::Scene;

namespace {

// root -> arm -> hand: an import keys root's translate and the rotate of
// root and arm. extraNodes go before the script node, connections last.
std::string rigText(const std::string& timeUnit, const std::string& playback, const std::string& extraNodes = "",
                    const std::string& connections = "") {
    std::string t = "//Maya ASCII 2018 scene\n"
                    "currentUnit -l centimeter -a degree -t " + timeUnit + ";\n"
                    "createNode joint -n \"root\";\n"
                    "createNode joint -n \"arm\" -p \"root\";\n"
                    "\tsetAttr \".t\" -type \"double3\" 1 0 0 ;\n"
                    "createNode joint -n \"hand\" -p \"arm\";\n"
                    "\tsetAttr \".t\" -type \"double3\" 1 0 0 ;\n" + extraNodes;
    if (!playback.empty())
        t += "createNode script -n \"sceneConfigurationScriptNode\";\n"
             "\tsetAttr \".b\" -type \"string\" \"" + playback + "\";\n"
             "\tsetAttr \".st\" 6;\n";
    return t + "connectAttr \"root.s\" \"arm.is\";\nconnectAttr \"arm.s\" \"hand.is\";\n" + connections +
           "// End of rig.ma\n";
}

// The playbackOptions text of a written scene, "" when there is none.
std::string playbackOf(const std::string& scene) {
    std::size_t at = scene.find("playbackOptions");
    if (at == std::string::npos) return "";
    return scene.substr(at, scene.find('"', at) - at);
}

class Import : public Cli {
protected:
    // Writes the scene and a clip of `frames` frames at 30 fps for its skeleton.
    std::string prepare(const std::string& sceneText, int frames) {
        spit(path("rig.ma"), sceneText);
        EXPECT_EQ(run({"export", path("rig.ma"), path("rig.qmf")}).status, 0);
        return clipFor(path("rig.qmf"), frames);
    }
};

TEST_F(Import, PlaybackChangesOnlyTheEndAndKeepsTheRestAsWritten) {
    struct Case {
        const char* what;
        const char* timeUnit;
        const char* playback;  // "" for a scene without a range
        int frames;
        const char* written;   // the playbackOptions text written
        const char* summary;
        bool warns;            // the end was raised to the start
    };
    const Case cases[] = {
        // Unchanged values keep their text: not -7.000000000000001 or 199.99999999999997.
        {"kept values", "film", "playbackOptions -min -7 -max 120 -ast -7 -aet 200 ", 16,
         "playbackOptions -min -7 -max 12.8 -ast -7 -aet 200 ", "playback -7 to 12.8 (film frames)", false},
        {"long flags and others", "film", "playbackOptions -minTime 1.25 -maxTime 120 -by 1 -aet 200 ", 16,
         "playbackOptions -minTime 1.25 -maxTime 12.8 -by 1 -aet 200 ", "playback 1.25 to 12.8", false},
        // 30 frames at 30 fps end at 24 film frames, the host's default end:
        // still written, with the rest of a range the scene did not have.
        {"no range, default end", "film", "", 30, "playbackOptions -min 1 -max 24 -ast 1 -aet 48 ",
         "playback 1 to 24 (film frames)", false},
        // Frame 1 of the scene's own unit, not 1 film frame in pal.
        {"no range in pal", "pal", "", 15, "playbackOptions -min 1 -max 12.5 -ast 1 -aet 50 ",
         "playback 1 to 12.5 (pal frames)", false},
        {"end equal to the file's", "ntsc", "playbackOptions -min 1 -max 16 -ast 1 -aet 16 ", 16,
         "playbackOptions -min 1 -max 16 -ast 1 -aet 16 ", "playback 1 to 16 (ntsc frames)", false},
        // A clip too short to reach the start: the end is raised to the start.
        {"empty clip", "ntsc", "playbackOptions -min 5 -max 100 -ast 1 -aet 100 ", 0,
         "playbackOptions -min 5 -max 5 -ast 1 -aet 100 ", "playback 5 to 5", true},
        {"one frame", "film", "", 1, "playbackOptions -min 1 -max 1 -ast 1 -aet 48 ", "playback 1 to 1", true},
    };
    for (const Case& c : cases) {
        const std::string clip = prepare(rigText(c.timeUnit, c.playback), c.frames);
        Result r = run({"import", clip, path("rig.ma"), "-o", path("out.ma")});
        ASSERT_EQ(r.status, 0) << c.what << "\n" << r.err;
        const std::string out = slurp(path("out.ma"));
        EXPECT_EQ(playbackOf(out), c.written) << c.what;
        EXPECT_NE(r.out.find(c.summary), std::string::npos) << c.what << ": " << r.out;
        EXPECT_EQ(r.err.find("raised to the start") != std::string::npos, c.warns) << c.what << ": " << r.err;
        // The written end reads back as the clip's end, to the last bit.
        Scene back = qmfhost::ma::readText(out);
        ASSERT_TRUE(back.playback.maxTime.has_value()) << c.what;
        if (!c.warns) {
            EXPECT_EQ(*back.playback.maxTime, c.frames * (1.0 / 30.0)) << c.what;
        }
    }
}

TEST_F(Import, ReplaceDeletesDrivingCurvesWithAllTheirConnections) {
    // Curves on keyed channels that are also linked elsewhere (the node
    // editor, another plug), and one through a unit conversion.
    const std::string extra =
        "createNode animCurveTL -n \"root_translateX\";\n"
        "\tsetAttr -s 2 \".ktv[0:1]\"  1 0 10 5;\n"
        "createNode animCurveTA -n \"arm_rotateY\";\n"
        "\tsetAttr -s 2 \".ktv[0:1]\"  1 0 10 45;\n"
        "createNode animCurveTU -n \"conv_src\";\n"
        "\tsetAttr -s 1 \".ktv[0]\"  1 0.5;\n"
        "createNode unitConversion -n \"unitConversion1\";\n"
        "createNode nodeGraphEditorInfo -n \"editorInfo\";\n"
        "createNode character -n \"character1\";\n";
    const std::string links =
        "connectAttr \"root_translateX.o\" \"root.tx\";\n"
        "connectAttr \"root_translateX.msg\" \"editorInfo.tgi[0].ni[0].dn\";\n"
        "connectAttr \"arm_rotateY.o\" \"arm.ry\";\n"
        "connectAttr \"arm_rotateY.o\" \"character1.av[0]\";\n"
        "connectAttr \"conv_src.o\" \"unitConversion1.i\";\n"
        "connectAttr \"unitConversion1.o\" \"root.rz\";\n";
    const std::string clip = prepare(rigText("film", "", extra, links), 4);
    Result r = run({"import", clip, path("rig.ma"), "-o", path("out.ma"), "--replace"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("9 curves, 36 keys, 3 old curves replaced"), std::string::npos) << r.out;

    // The new curves take the old names; the old ones, their keys and all
    // their links are gone, and nothing is left orphaned.
    const std::string out = slurp(path("out.ma"));
    for (const char* gone : {"conv_src", "unitConversion1", "10 5", "10 45", ".msg", "character1.av"})
        EXPECT_EQ(out.find(gone), std::string::npos) << gone << " left in\n" << out;
    Scene back = qmfhost::ma::readText(out);
    EXPECT_GE(back.find("editorInfo"), 0);
    EXPECT_GE(back.find("character1"), 0);
    std::map<std::string, int> driven;
    for (const auto& c : back.connections)
        driven[c.dst.nodeName.substr(c.dst.nodeName.rfind('|') + 1) + "." + qmfhost::ma::canonicalAttr(c.dst.attr)]++;
    for (const char* plug : {"root.tx", "root.ty", "root.tz", "root.rx", "root.ry", "root.rz", "arm.rx", "arm.ry", "arm.rz"})
        EXPECT_EQ(driven[plug], 1) << plug;

    // Without --replace (or with nothing to replace) the count is still said.
    Result again = run({"import", clip, path("out.ma"), "-o", path("again.ma"), "--replace"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find(", 9 old curves replaced"), std::string::npos) << again.out;
    Result plain = run({"import", clip, path("rig.ma"), "-o", path("plain.ma")});
    EXPECT_NE(plain.status, 0);  // the old curves drive keyed channels
    spit(path("bare.ma"), rigText("film", ""));
    Result bare = run({"import", clip, path("bare.ma"), "-o", path("plain.ma")});
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.out.find(", 0 old curves replaced"), std::string::npos) << bare.out;
}

TEST_F(Import, ReplaceLeavesOtherDriversAndNamesTheOneInTheWay) {
    struct Case {
        const char* what;
        std::string nodes, links;
        const char* named;  // in qmf's line about the driver
    };
    const Case cases[] = {
        {"expression", "createNode expression -n \"expr1\";\n", "connectAttr \"expr1.out[0]\" \"arm.ry\";\n",
         "arm.rotateY is driven by expr1 (expression)"},
        {"utility node", "createNode multiplyDivide -n \"md1\";\n", "connectAttr \"md1.ox\" \"root.rx\";\n",
         "root.rotateX is driven by md1 (multiplyDivide)"},
        {"constraint", "createNode pointConstraint -n \"root_pointConstraint1\" -p \"root\";\n",
         "connectAttr \"root_pointConstraint1.ctx\" \"root.tx\";\n",
         "root.translateX is driven by root_pointConstraint1 (pointConstraint)"},
        // Through a unit conversion the converter's input is named.
        {"expression through a conversion",
         "createNode expression -n \"expr2\";\ncreateNode unitConversion -n \"unitConversion7\";\n",
         "connectAttr \"expr2.out[0]\" \"unitConversion7.i\";\nconnectAttr \"unitConversion7.o\" \"arm.rz\";\n",
         "arm.rotateZ is driven by expr2 (expression)"},
    };
    for (const Case& c : cases) {
        const std::string clip = prepare(rigText("film", "", c.nodes, c.links), 4);
        spit(path("out.ma"), "sentinel");
        Result r = run({"import", clip, path("rig.ma"), "-o", path("out.ma"), "--replace"});
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(slurp(path("out.ma")), "sentinel") << c.what;
        // The translator's own chain comes first, then qmf's two lines.
        auto lines = r.errLines();
        ASSERT_GE(lines.size(), 3u) << c.what << "\n" << r.err;
        EXPECT_EQ(lines.front().rfind("Failure creating", 0), 0u) << c.what << "\n" << r.err;
        const std::string& named = lines[lines.size() - 2];
        EXPECT_EQ(named.rfind("qmf: ", 0), 0u) << named;
        EXPECT_NE(named.find(c.named), std::string::npos) << c.what << ": " << named;
        EXPECT_NE(named.find("remove it first"), std::string::npos) << named;
        EXPECT_NE(lines.back().find("import failed"), std::string::npos) << lines.back();
    }
}

}  // namespace
