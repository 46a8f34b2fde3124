// What a new user runs into first: describing a capture or a scene, giving
// import the JSON form of a clip, importing twice onto one rig.
#include "CliFixture.h"

namespace clitest {
namespace {

class FirstDay : public Cli {};

TEST_F(FirstDay, InfoDescribesACaptureAndASceneAsConvertReadsThem) {
    spit(path("arm.bvh"),
         "HIERARCHY\nROOT hips\n{\n\tOFFSET 0 90 0\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         "\tJOINT arm\n\t{\n\t\tOFFSET 10 0 0\n\t\tCHANNELS 3 Xrotation Yrotation Zrotation\n"
         "\t\tEnd Site hand\n\t\t{\n\t\t\tOFFSET 5 0 0\n\t\t}\n\t}\n}\n"
         "MOTION\nFrames: 3\nFrame Time: 0.0083333\n"
         "0 90 0 0 0 0 0 0 0\n0 90 0 0 0 0 10 0 0\n0 90 0 0 0 0 20 0 0\n");
    Result r = run({"info", path("arm.bvh")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> want = {
        path("arm.bvh") + ": a BVH file",
        "joints: 2, and 1 end site",
        "frames: 3 at 120.0005 fps (0.0083333 s a frame), 0.025 s",
        "lengths in: cm",
        "  hips  position  rotation ZXY",
        "    arm  rotation XYZ",
        "      hand  end site",
    };
    std::istringstream lines(r.out);
    std::vector<std::string> got;
    for (std::string l; std::getline(lines, l);) got.push_back(l);
    EXPECT_EQ(got, want) << r.out;

    r = run({"info", path("arm.bvh"), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: info: --json describes Movantis files; qmf convert makes one of " + path("arm.bvh") + "\n");

    r = run({"info", std::string(QMF_EXAMPLES_DIR) + "/rig.ma"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(": a Maya ASCII scene\njoints: 7\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  hips  position  rotation\n    spine  rotation\n"), std::string::npos) << r.out;
}

TEST_F(FirstDay, ADeepChainIsShownAtABoundedIndentWithItsDepth) {
    std::string t = "HIERARCHY\nROOT j0\n{\nOFFSET 0 0 0\nCHANNELS 3 Xposition Yposition Zposition\n";
    for (int j = 1; j < 40; ++j) t += "JOINT j" + std::to_string(j) + "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
    t += "End Site\n{\nOFFSET 0 1 0\n}\n";
    for (int j = 0; j < 40; ++j) t += "}\n";
    t += "MOTION\nFrames: 1\nFrame Time: 0.04\n0 0 0";
    for (int j = 1; j < 40; ++j) t += " 0 0 0";
    spit(path("deep.bvh"), t + "\n");
    Result r = run({"info", path("deep.bvh")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n" + std::string(2 + 2 * 24, ' ') + "j24  rotation"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n" + std::string(2 + 2 * 24, ' ') + "j39 (depth 39)  rotation"), std::string::npos) << r.out;
}

TEST_F(FirstDay, ImportOfTheJsonFormNamesPack) {
    const std::string json = std::string(QMF_EXAMPLES_DIR) + "/walk.json";
    Result r = run({"import", json, std::string(QMF_EXAMPLES_DIR) + "/rig.ma", "-o", path("out.ma")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: " + json + ": not a Movantis file but JSON; 'qmf pack " + json + " CLIP.qmf' makes a clip of it\n");
    EXPECT_FALSE(fs::exists(path("out.ma")));
}

TEST_F(FirstDay, ImportingOntoCurvesAlreadyThereNamesTheChannelTheCurveAndReplace) {
    ASSERT_EQ(run({"pack", std::string(QMF_EXAMPLES_DIR) + "/walk.json", path("walk.qmf")}).status, 0);
    const std::string rig = std::string(QMF_EXAMPLES_DIR) + "/rig.ma";
    ASSERT_EQ(run({"import", path("walk.qmf"), rig, "-o", path("once.ma")}).status, 0);
    Result r = run({"import", path("walk.qmf"), path("once.ma"), "-o", path("twice.ma")});
    EXPECT_EQ(r.status, 1);
    const std::string hint =
        "qmf: hips.translateX is already keyed by animation curve hips_translateX; --replace deletes the curves on "
        "the channels an import keys first";
    const auto lines = r.errLines();
    ASSERT_GE(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines[lines.size() - 2], hint) << r.err;
    EXPECT_FALSE(fs::exists(path("twice.ma")));

    // Only the rotations keyed: the first joint with joint children is named.
    std::string text = slurp(path("once.ma"));
    for (const char* axis : {"X", "Y", "Z"}) {
        const std::string connect =
            "connectAttr \"hips_translate" + std::string(axis) + ".o\" \"hips.translate" + axis + "\";";
        const std::size_t at = text.find(connect);
        ASSERT_NE(at, std::string::npos) << connect;
        text.erase(at, connect.size());
    }
    spit(path("rotations.ma"), text);
    r = run({"import", path("walk.qmf"), path("rotations.ma"), "-o", path("twice.ma")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("qmf: hips.rotateX is already keyed by animation curve hips_rotateX; --replace"),
              std::string::npos)
        << r.err;

    r = run({"import", path("walk.qmf"), path("once.ma"), "-o", path("twice.ma"), "--replace"});
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace clitest
