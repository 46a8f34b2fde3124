// The motion model: what it reads from each kind of file, the world
// positions it computes and the channels it gives the charts.
#include "motion/Motion.h"

#include "clips/Clip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using qmf::motion::Motion;

namespace {

constexpr double kTolerance = 1e-4;  // cm; the values pass through floats
const double kHalf = std::sqrt(0.5);

class MotionTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/motion-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    // A clip from its JSON form (as `qmf info --json` writes it).
    std::string clip(const std::string& name, const std::string& json) {
        const std::string path = dir_ + "/" + name;
        qmf::packClip(json, path);
        return path;
    }
    Motion load(const std::string& path) {
        qmf::motion::LoadOptions options;
        options.plugin = QMF_PLUGIN;
        std::ostringstream warn;
        return qmf::motion::loadMotion(path, options, warn);
    }
    std::string run(const std::string& args) {
        const std::string cmd = std::string(QMF_EXE) + " " + args + " >" + dir_ + "/out.txt 2>&1";
        const int rc = std::system(cmd.c_str());
        EXPECT_EQ(rc, 0) << cmd;
        std::ifstream in(dir_ + "/out.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string dir_;
};

void expectNear(const std::array<double, 3>& got, double x, double y, double z, const std::string& what) {
    EXPECT_NEAR(got[0], x, kTolerance) << what;
    EXPECT_NEAR(got[1], y, kTolerance) << what;
    EXPECT_NEAR(got[2], z, kTolerance) << what;
}

// Three joints listed child first: "tip" (id 0) under "mid" (id 2) under
// "base" (id 1, the root). Frames: 0 keys base's rotation of 90 degrees
// about scene Y; 1 has no keys; 2 keys the root translation and turns
// mid about scene Z by 90 degrees. A file quaternion (f0, f1, f2, f3) is
// the scene's (-w, x, y, -z).
const char* const kChain = R"({
 "format": "movantis-animation", "version": 1, "frameRate": 25, "frameCount": 3,
 "skeletons": [{"name": "chain", "completed": true, "completedName": "chain", "joints": [
  {"name": "tip", "parent": 2, "root": false, "offset": [0, 0.5, 0], "orientation": [-1, 0, 0, 0], "body": null},
  {"name": "base", "parent": -1, "root": true, "offset": [0, 1, 0], "orientation": [-1, 0, 0, 0], "body": null},
  {"name": "mid", "parent": 1, "root": false, "offset": [1, 0, 0], "orientation": [-1, 0, 0, 0], "body": null}]}],
 "figures": [{"skeleton": 0,
  "channels": {"1": [[2, 1]], "2": [[2, 2]], "3": [[2, 3]]},
  "orientations": [
   {"joint": 1, "keys": [[0, -0.70710678, 0, 0.70710678, 0]]},
   {"joint": 2, "keys": [[2, -0.70710678, 0, 0, -0.70710678]]}]}]
})";

TEST_F(MotionTest, ClipJointsComeParentsFirstWithHeldKeysAndWorldPositions) {
    const Motion m = load(clip("chain.qmf", kChain));
    ASSERT_EQ(m.joints.size(), 3u);
    EXPECT_EQ(m.joints[0].name, "base");
    EXPECT_EQ(m.joints[1].name, "mid");
    EXPECT_EQ(m.joints[2].name, "tip");
    EXPECT_EQ(m.joints[1].parent, 0);
    EXPECT_EQ(m.joints[2].parent, 1);
    EXPECT_EQ(m.translatedRoot, 0);
    EXPECT_EQ(m.frames, 3u);
    EXPECT_DOUBLE_EQ(m.frameRate, 25);

    // Frame 0: base at its offset (0, 100, 0), turned +90 degrees about Y,
    // which takes mid's offset (100, 0, 0) to (0, 0, -100).
    auto p = qmf::motion::worldPositions(m, 0);
    expectNear(p[0], 0, 100, 0, "base, frame 0");
    expectNear(p[1], 0, 100, -100, "mid, frame 0");
    expectNear(p[2], 0, 150, -100, "tip, frame 0");
    // Frame 1 has no key: every value holds.
    EXPECT_EQ(qmf::motion::worldPositions(m, 1), p);
    // Frame 2: the root translation (1, 2, 3) file is (100, 200, -300) cm;
    // mid turns its child's (0, 50, 0) to (-50, 0, 0) before base's turn.
    p = qmf::motion::worldPositions(m, 2);
    expectNear(p[0], 100, 200, -300, "base, frame 2");
    expectNear(p[1], 100, 200, -400, "mid, frame 2");
    expectNear(p[2], 100, 200, -350, "tip, frame 2");
    // Past the end: the last frame.
    EXPECT_EQ(qmf::motion::worldPositions(m, 99), p);
    EXPECT_NEAR(qmf::motion::skeletonSize(m), 100, kTolerance);

    // Channels as import keys them: degrees, in cm for the root.
    EXPECT_NEAR(m.rotateDegrees[m.index(0, 0)][1], 90, 1e-3);
    EXPECT_NEAR(m.rotateDegrees[m.index(2, 1)][2], 90, 1e-3);
    EXPECT_NEAR(m.rotateDegrees[m.index(0, 1)][2], 0, 1e-3);
    expectNear(m.translateCm[0], 0, 100, 0, "rest translation before the first key");
    expectNear(m.translateCm[2], 100, 200, -300, "keyed translation");
}

TEST_F(MotionTest, RotateChannelsStayContinuousAcrossHalfTurns) {
    // A joint turning about scene Y by 170, 190 and 210 degrees: closest
    // solutions keep going past 180 instead of jumping to -170.
    std::ostringstream keys;
    for (int f = 0; f < 3; ++f) {
        const double half = (170.0 + 20.0 * f) * 3.14159265358979323846 / 360.0;
        keys << (f ? "," : "") << "[" << f << ", " << -std::cos(half) << ", 0, " << std::sin(half) << ", 0]";
    }
    const std::string json = R"({"format": "movantis-animation", "version": 1, "frameRate": 30, "frameCount": 3,
 "skeletons": [{"name": "s", "completed": true, "completedName": "s", "joints": [
  {"name": "a", "parent": -1, "root": true, "offset": [0, 0, 0], "orientation": [-1, 0, 0, 0], "body": null}]}],
 "figures": [{"skeleton": 0, "channels": {}, "orientations": [{"joint": 0, "keys": [)" + keys.str() + "]}]}]}";
    const Motion m = load(clip("turn.qmf", json));
    // Whatever the Euler form, neighbouring frames stay 20 degrees apart on every channel.
    // (a jump across the half turn would move a channel by about 340 degrees).
    for (uint32_t f = 1; f < 3; ++f) {
        double largest = 0;
        for (int a = 0; a < 3; ++a)
            largest = std::max(largest, std::fabs(m.rotateDegrees[m.index(f, 0)][a] - m.rotateDegrees[m.index(f - 1, 0)][a]));
        EXPECT_NEAR(largest, 20, 1e-3) << "frame " << f;
    }
}

TEST_F(MotionTest, BvhPositionsFollowItsChannels) {
    // Root moves 10 cm along X per frame; the child turns about Z by 90
    // degrees on frame 1, taking the end site's (0, 5, 0) to (-5, 0, 0).
    const std::string path = write("two.bvh", "HIERARCHY\nROOT Hips\n{\n OFFSET 0 0 0\n"
                                              " CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                                              " JOINT Arm\n {\n  OFFSET 0 10 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n"
                                              "  End Site\n  {\n   OFFSET 0 5 0\n  }\n }\n}\n"
                                              "MOTION\nFrames: 2\nFrame Time: 0.04\n"
                                              "0 0 0 0 0 0 0 0 0\n10 0 0 0 0 0 90 0 0\n");
    const Motion m = load(path);
    EXPECT_EQ(m.source, qmf::motion::Source::Bvh);
    ASSERT_EQ(m.joints.size(), 3u);
    EXPECT_EQ(m.joints[2].name, "Arm_end");
    EXPECT_NEAR(m.frameRate, 25, 1e-4);
    auto p = qmf::motion::worldPositions(m, 0);
    expectNear(p[2], 0, 15, 0, "end site, frame 0");
    p = qmf::motion::worldPositions(m, 1);
    expectNear(p[0], 10, 0, 0, "root, frame 1");
    expectNear(p[1], 10, 10, 0, "arm, frame 1");
    expectNear(p[2], 5, 10, 0, "end site, frame 1");
    EXPECT_NEAR(m.rotateDegrees[m.index(1, 1)][2], 90, 1e-3);
}

TEST_F(MotionTest, SceneMadeFromAClipGivesTheClipsPositions) {
    // The same motion two ways: the example clip, and the rig `qmf convert`
    // keys it onto, sampled by the host frame by frame from its curves.
    const std::string clipPath = dir_ + "/walk.qmf", scenePath = dir_ + "/walk.ma";
    run("pack " + std::string(QMF_EXAMPLES_DIR) + "/walk.json " + clipPath);
    run("convert " + clipPath + " " + scenePath);
    const Motion c = load(clipPath), s = load(scenePath);
    EXPECT_EQ(s.source, qmf::motion::Source::MayaAscii);
    ASSERT_EQ(c.joints.size(), s.joints.size());
    const auto first = static_cast<uint32_t>(std::lround(s.firstFrame));
    ASSERT_GE(c.frames, first + 2);
    ASSERT_GE(s.frames, c.frames - first);
    for (uint32_t f = first; f < c.frames; ++f) {
        const auto a = qmf::motion::worldPositions(c, f), b = qmf::motion::worldPositions(s, f - first);
        for (std::size_t j = 0; j < a.size(); ++j)
            expectNear(b[j], a[j][0], a[j][1], a[j][2], s.joints[j].name + " at clip frame " + std::to_string(f));
        for (std::size_t j = 0; j < a.size(); ++j)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(s.rotateDegrees[s.index(f - first, j)][k], c.rotateDegrees[c.index(f, j)][k], 1e-3);
    }
}

TEST_F(MotionTest, SceneWithoutCurvesIsOnePose) {
    const std::string path = write("pose.ma", "//Maya ASCII 2020 scene\nrequires maya \"2020\";\ncurrentUnit -l centimeter -a degree -t film;\n"
                                              "createNode joint -n \"hip\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3;\n"
                                              "createNode joint -n \"knee\" -p \"hip\";\n\tsetAttr \".t\" -type \"double3\" 0 -40 0;\n"
                                              "\tsetAttr \".r\" -type \"double3\" 0 0 90;\n"
                                              "createNode joint -n \"foot\" -p \"knee\";\n\tsetAttr \".t\" -type \"double3\" 0 -40 0;\n");
    const Motion m = load(path);
    EXPECT_EQ(m.frames, 1u);
    EXPECT_EQ(m.fileFrames, 0u);
    EXPECT_DOUBLE_EQ(m.frameRate, 24);
    const auto p = qmf::motion::worldPositions(m, 0);
    expectNear(p[0], 1, 2, 3, "hip");
    expectNear(p[1], 1, -38, 3, "knee");
    expectNear(p[2], 41, -38, 3, "foot, after the knee's quarter turn about Z");
}

TEST_F(MotionTest, RefusesWhatItCannotShowInOneLine) {
    struct Case {
        const char* name;
        std::string text;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"notes.txt", "just some text\n", "not a Movantis clip, a Maya ASCII scene, a BVH file, an FBX file, a glTF file, a Collada file or another 3D file"},
        {"empty.ma", "//Maya ASCII 2020 scene\nrequires maya \"2020\";\n", "has no joints"},
        // Too long for one view: the run that fits is chosen from the header,
        // and the frame lines are counted, not converted, before it is.
        {"huge.bvh", "HIERARCHY\nROOT a\n{\n OFFSET 0 0 0\n CHANNELS 3 Zrotation Xrotation Yrotation\n End Site\n {\n  OFFSET 0 1 0\n }\n}\n"
                     "MOTION\nFrames: 16000000\nFrame Time: 0.04\n0 0 0\n",
         "declares 16000000 frames, but 1 frame lines follow"},
        {"broken.bvh", "HIERARCHY\nROOT a\n{\n OFFSET 0 0\n", "broken.bvh"},
    };
    for (const Case& c : cases) {
        const std::string path = write(c.name, c.text);
        try {
            load(path);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const qmf::motion::MotionError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(c.says), std::string::npos) << c.name << ": " << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        }
    }
    EXPECT_THROW(load(dir_ + "/missing.qmf"), qmf::motion::MotionError);
}

}  // namespace
