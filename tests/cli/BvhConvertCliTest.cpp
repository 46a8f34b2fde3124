// qmf convert on BVH files, end to end through the built command: the
// corpus captures and files written here, every BVH route and its messages.
#include "ConvertFixture.h"

namespace clitest {
namespace {

const std::string kBvhCorpus = std::string(QMF_CORPUS_DIR) + "/bvh/";

struct CorpusCase {
    const char* file;
    int joints;   // End Sites included
    int frames;
    const char* toClipWarning;  // "" for none
    const char* toMayaWarning;
    const char* timeUnit;
};

TEST_F(ConvertCli, EveryCorpusCaptureGoesToAClipAMayaSceneAndBack) {
    if (!fs::exists(kBvhCorpus)) GTEST_SKIP() << "no corpus at " << kBvhCorpus;
    const CorpusCase cases[] = {
        {"01_01.bvh", 38, 2752, "", "", "120fps"},
        {"Boxing_Toes.bvh", 26, 3069, "Frames: declares 3069 frames; the 1 frame line after them is ignored",
         "the 1 frame line after them is ignored", "100fps"},
        // Read in cm, as here, some files are too small for a figure: the unit is questioned.
        {"pfnn_hierarchy.bvh", 38, 60, "the skeleton is 1.41 cm tall in cm; --unit m makes it 141 cm",
         "the skeleton is 1.41 cm tall in cm; --unit m makes it 141 cm", "ntsc"},
        {"sinusoidal.bvh", 4, 120, "the skeleton is 8 cm tall in cm; --unit ft makes it 244 cm",
         "the skeleton is 8 cm tall in cm; --unit ft makes it 244 cm", "ntscf"},
        {"test_mocapbank.bvh", 24, 455, "", "", "ntsc"},
        {"tpose.bvh", 222, 1, "a clip holds position channels for its first root only; dropped those of",
         "names changed to valid Maya names: pelvis.R -> pelvis_R", "film"},
        {"walk1.bvh", 91, 14, "the skeleton is 16.4 cm tall in cm; --unit dm makes it 164 cm",
         "the skeleton is 16.4 cm tall in cm; --unit dm makes it 164 cm", "film"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string in = kBvhCorpus + c.file;
        Result r = run({"convert", in, path("c.qmf")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "converted " + in + " to " + path("c.qmf") + ": " + std::to_string(c.joints) + " joints, " +
                             std::to_string(c.frames) + " frame" + (c.frames == 1 ? "" : "s") + "\n");
        if (*c.toClipWarning) EXPECT_NE(r.err.find(c.toClipWarning), std::string::npos) << r.err;
        else EXPECT_EQ(r.err, "");
        const json info = infoJson(path("c.qmf"));
        EXPECT_EQ(info["frameCount"], c.frames);
        EXPECT_EQ(info["skeletons"][0]["joints"].size(), std::size_t(c.joints));

        r = run({"convert", path("c.qmf"), path("back.bvh"), "--order", "yxz", "--unit", "mm"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string back = slurp(path("back.bvh"));
        EXPECT_NE(back.find("CHANNELS 3 Yrotation Xrotation Zrotation"), std::string::npos);
        EXPECT_NE(back.find("Frames: " + std::to_string(c.frames) + "\n"), std::string::npos);

        r = run({"convert", in, path("s.ma")});
        ASSERT_EQ(r.status, 0) << r.err;
        if (*c.toMayaWarning) EXPECT_NE(r.err.find(c.toMayaWarning), std::string::npos) << r.err;
        else EXPECT_EQ(r.err, "");
        EXPECT_NE(slurp(path("s.ma")).find(std::string(" -t ") + c.timeUnit + ";"), std::string::npos);
        r = run({"export", path("s.ma"), path("exported.qmf")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(infoJson(path("exported.qmf"))["skeletons"][0]["joints"].size(), std::size_t(c.joints));
    }
    EXPECT_TRUE(leftovers().empty());
}

const char* const kWalk =
    "HIERARCHY\nROOT Hips\n{\n\tOFFSET 0 90 0\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "\tJOINT Knee\n\t{\n\t\tOFFSET 0 -45 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n"
    "\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 -45 0\n\t\t}\n\t}\n}\n"
    "MOTION\nFrames: 3\nFrame Time: 0.0333333\n"
    "0 90 0 0 10 0 0 20 0\n1 90 0 0 20 0 0 40 0\n2 90 0 0 30 0 0 60 0\n";

TEST_F(ConvertCli, WrittenCaptureBecomesARigSceneThroughItsClip) {
    spit(path("walk.bvh"), kWalk);
    Result r = run({"convert", path("walk.bvh"), path("walk.qmf"), "--unit", "m"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json info = infoJson(path("walk.qmf"));
    // Metres: the root's OFFSET of 90 m is 9000 cm, 90 file units.
    EXPECT_EQ(info["skeletons"][0]["joints"][0]["offset"][1], 90.0);
    EXPECT_EQ(info["skeletons"][0]["joints"][2]["name"], "Knee_end");
    r = run({"convert", path("walk.qmf"), path("rig.ma")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string scene = slurp(path("rig.ma"));
    EXPECT_NE(scene.find("-n \"Knee_end\" -p \"Knee\""), std::string::npos);
    EXPECT_NE(scene.find("\"Knee.rotateX\""), std::string::npos);
}

TEST_F(ConvertCli, ShortCaptureIsRefusedNamingBothCountsAndWritesNothing) {
    std::string text = kWalk;
    text.replace(text.find("Frames: 3"), 9, "Frames: 3000");
    spit(path("short.bvh"), text);
    for (const char* out : {"out.qmf", "out.ma"}) {
        SCOPED_TRACE(out);
        Result r = run({"convert", path("short.bvh"), path(out)});
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_EQ(r.errLines()[0], "qmf: " + path("short.bvh") + ": line 17: Frames: declares 3000 frames, but 3 frame lines follow");
        EXPECT_FALSE(fs::exists(path(out)));
    }
    EXPECT_TRUE(leftovers().empty());
}

// A file does not say its unit: a skeleton implausibly small or large in
// the unit read is said with the unit that makes it a person's size; a
// decimetre file becomes a scene in centimetres (Maya has no decimetre).
TEST_F(ConvertCli, TheUnitOfACaptureIsQuestionedAndDecimetresRead) {
    auto scaled = [](double k) {
        std::string text = kWalk;
        for (const char* offset : {"OFFSET 0 90 0", "OFFSET 0 -45 0"}) {
            const std::string o = offset;
            const double y = std::stod(o.substr(9, o.size() - 11));
            char with[64];
            std::snprintf(with, sizeof with, "OFFSET 0 %.17g 0", y * k);
            for (std::size_t at; (at = text.find(o)) != std::string::npos;) text.replace(at, o.size(), with);
        }
        return text;
    };
    // 1.8 m and 18 dm tall.
    spit(path("metres.bvh"), scaled(0.02));
    spit(path("decimetres.bvh"), scaled(0.2));
    const struct {
        std::string file, unit, warning;
    } cases[] = {
        {"metres.bvh", "cm", "the skeleton is 1.8 cm tall in cm; --unit m makes it 180 cm"},
        {"metres.bvh", "m", ""},
        {"decimetres.bvh", "cm", "the skeleton is 18 cm tall in cm; --unit dm makes it 180 cm"},
        {"decimetres.bvh", "dm", ""},
        {"metres.bvh", "mm", "the skeleton is 0.18 cm tall in mm; --unit m makes it 180 cm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " in " + c.unit);
        Result r = run({"convert", path(c.file), path("out.qmf"), "--unit", c.unit});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, c.warning.empty() ? "" : "qmf: warning: " + path(c.file) + ": " + c.warning + "\n");
        fs::remove(path("out.qmf"));
    }
    // The picture commands name the unit read too.
    Result r = run({"view", "--positions", path("metres.bvh"), "--unit", "mm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qmf: warning: " + path("metres.bvh") + ": the skeleton is 0.18 cm tall in mm; --unit m makes it 180 cm\n");
    r = run({"convert", path("decimetres.bvh"), path("out.ma"), "--unit", "dm"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string scene = slurp(path("out.ma"));
    EXPECT_NE(scene.find("currentUnit -l centimeter"), std::string::npos);
    EXPECT_NE(scene.find("setAttr \".t\" -type \"double3\" 0 180 0;"), std::string::npos) << scene.substr(0, 400);
}

}  // namespace
}  // namespace clitest
