// qmf retarget on real captures and odd inputs: captures of several naming
// schemes onto the example rig and an A-pose rig, a Z-up capture, keys
// that are no rotation, zero-length bones, and two motions compared.
#include "RetargetFixture.h"

namespace clitest {
namespace {

// A real capture (CMU 01_01, its own units, hips resting at the origin)
// onto the bundled example rig: the legs and spine found by body part, the
// figure upright on every frame, the foot never below the ground.
TEST_F(Cli, ARealCaptureOntoTheExampleRigStandsUpright) {
    const std::string capture = std::string(QMF_CORPUS_DIR) + "/bvh/01_01.bvh";
    const std::string rigPath = std::string(QMF_EXAMPLES_DIR) + "/rig.ma";
    Result r = run({"retarget", capture, rigPath, "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"Hips -> hips (body part: hips)\n", "Spine -> spine (body part: spine)\n",
                             "Head -> head (body part: head)\n", "LeftUpLeg -> leg_L (body part: left_upleg)\n",
                             "LeftLeg -> knee_L (body part: left_leg)\n", "LeftFoot -> foot_L (body part: left_foot)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    r = run({"retarget", capture, rigPath, "-o", path("out.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ostringstream warn;
    const qmf::motion::Motion m = qmf::motion::loadMotion(path("out.qmf"), qmf::motion::LoadOptions{}, warn);
    std::map<std::string, std::size_t> at;
    for (std::size_t j = 0; j < m.joints.size(); ++j) at[m.joints[j].name] = j;
    const double leg = 95;   // the rig's hips above its foot at rest
    for (uint32_t f = 0; f < m.frames; ++f) {
        const auto p = qmf::motion::worldPositions(m, f);
        ASSERT_GT(p[at.at("head")][1], p[at.at("hips")][1] + 30) << "upright, frame " << f;
        ASSERT_GT(p[at.at("foot_L")][1], -0.02 * leg) << "the foot below the ground, frame " << f;
    }
}


// A capture recorded Z up moves a Y-up rig as it moves with --up z: its
// rise is a rise; read Y up it is a move along the ground.
TEST_F(Retarget, AZUpCaptureStandsUpWithUpZ) {
    // The T-pose skeleton turned Z up (y -> z, z -> -y), its root rising
    // along Z, every rotation zero.
    std::string t = capture();
    std::ostringstream zup;
    zup.precision(17);
    std::istringstream in(t.substr(0, t.find("MOTION")));
    for (std::string line; std::getline(in, line);) {
        double x, y, z;
        if (std::sscanf(line.c_str(), "OFFSET %lf %lf %lf", &x, &y, &z) == 3) zup << "OFFSET " << x << " " << -z << " " << y << "\n";
        else zup << line << "\n";
    }
    zup << "MOTION\nFrames: 2\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < 2; ++f) {
        zup << "0 0 " << 5.0 * f;
        for (std::size_t j = 0; j < kBones; ++j)
            if (!kSkeleton[j].end) zup << " 0 0 0";
        zup << "\n";
    }
    spit(path("zup.bvh"), zup.str());
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    spit(path("rig.ma"), rig(world, std::vector<RigJoint>(kBones)));
    for (const bool up : {true, false}) {
        std::vector<std::string> args{"retarget", path("zup.bvh"), path("rig.ma"), "-o", path("out.qmf")};
        if (up) args.insert(args.end(), {"--up", "z"});
        Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto got = positions("out.qmf");
        ASSERT_EQ(got.size(), 2u);
        const MVector rise = got[1].at("Hips") - got[0].at("Hips");
        if (up) {
            // Standing, and rising along Y: every joint where the rig's rest has it, moved with the root.
            EXPECT_LT((rise - MVector(0, 5, 0)).length(), 1e-4);
            for (std::size_t j = 0; j < kBones; ++j)
                EXPECT_LT((got[0].at(kSkeleton[j].name) - world[j] + world[0] - got[0].at("Hips")).length(), 1e-4)
                    << kSkeleton[j].name;
        } else {
            // Read Y up, the rise is taken for a move along the ground.
            EXPECT_LT(std::fabs(rise.y), 1e-4);
            EXPECT_GT(std::fabs(rise.z), 1.0);
        }
    }
}

// A source key that is no rotation is refused in one line, nothing written.
TEST_F(Retarget, ASourceKeyThatIsNoRotationIsRefused) {
    json clip = infoJson(path("walk.qmf"));
    clip["figures"][0]["orientations"][2]["keys"][3] = {3, 0, 0, 0, 0};
    spit(path("zero.json"), clip.dump());
    ASSERT_EQ(run({"pack", path("zero.json"), path("zero.qmf")}).status, 0);
    spit(path("rig.ma"), rig(restPositions(std::vector<double>(kBones, 1.0)), std::vector<RigJoint>(kBones)));
    Result r = run({"retarget", path("zero.qmf"), path("rig.ma"), "-o", path("out.qmf")});
    EXPECT_EQ(r.status, 1);
    const std::string joint = clip["skeletons"][0]["joints"][clip["figures"][0]["orientations"][2]["joint"].get<std::size_t>()]["name"];
    EXPECT_EQ(r.err, "qmf: " + path("zero.qmf") + ": frame 3 of joint " + joint + " is not a rotation (zero or not a number)\n");
    EXPECT_FALSE(fs::exists(path("out.qmf")));
}


// A retarget and its source seen together: one page, one picture.
TEST_F(Retarget, ViewAndDrawTakeTwoFilesToCompare) {
    ASSERT_EQ(retarget(rig(restPositions(std::vector<double>(kBones, 0.5)), std::vector<RigJoint>(kBones)), "out.qmf").status, 0);
    Result r = run({"draw", path("walk.qmf"), path("out.qmf"), "-o", path("both.svg"), "--frame", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote " + path("both.svg") + ": 42 joints at frame 3\n");
    EXPECT_NE(slurp(path("both.svg")).find("walk.qmf, frame 3 (frames 0 to 23) and out.qmf, frame 3 (frames 0 to 23)"),
              std::string::npos);
    r = run({"view", path("walk.qmf"), path("out.qmf"), "-o", path("both.html")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote " + path("both.html") + ": 21 and 21 joints, 24 and 24 frames\n");
    const std::string page = slurp(path("both.html"));
    EXPECT_NE(page.find("<script type=\"application/json\" id=\"motion2\">{"), std::string::npos);
    r = run({"view", path("walk.qmf"), path("out.qmf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: view: -o PAGE.html is needed to compare two files\n");
}


// Real captures of other naming schemes onto an A-pose rig of CMU names:
// upright on every frame, the feet never more than 2% of the leg below the
// ground.
TEST_F(Retarget, RealCapturesOntoAnAPoseRigStandUpright) {
    std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    const MQuaternion down(-45 * kDeg, MVector(0, 0, 1)), up(45 * kDeg, MVector(0, 0, 1));
    for (std::size_t j = 6; j <= 12; ++j)
        if (j != 9) world[j] = world[j <= 8 ? 5 : 9] + (world[j] - world[j <= 8 ? 5 : 9]).rotateBy(j <= 8 ? down : up);
    spit(path("arig.ma"), rig(world, std::vector<RigJoint>(kBones)));
    const double leg = world[0].y - world[15].y;   // hips above the ankle at rest
    for (const char* capture : {"01_01.bvh", "pfnn_hierarchy.bvh", "Boxing_Toes.bvh", "tpose.bvh"}) {
        SCOPED_TRACE(capture);
        const std::string in = std::string(QMF_CORPUS_DIR) + "/bvh/" + capture;
        Result r = run({"retarget", in, path("arig.ma"), "-o", path("out.qmf")});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto got = positions("out.qmf");
        for (std::size_t f = 0; f < got.size(); ++f) {
            const auto& p = got[f];
            ASSERT_GT(p.at("Head")[1], p.at("Hips")[1] + 10) << "upright (a boxer ducks), frame " << f;
            for (const char* foot : {"LeftFoot", "RightFoot"})
                ASSERT_GT(p.at(foot)[1], -0.02 * leg) << foot << " below the ground, frame " << f;
        }
    }
}


// A rig bone of length zero has no direction to swing: its joint keeps the
// source's turn from rest as it is, and one line says so.
TEST_F(Retarget, AZeroLengthBoneIsSaidOnceAndKeepsTheSourcesTurn) {
    std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    world[4] = world[3];   // Head_end on the Head
    Result r = retarget(rig(world, std::vector<RigJoint>(kBones)), "out.qmf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qmf: warning: Head: a bone of length zero has no direction; its rest is not turned onto the source's\n");
    const auto want = positions("walk.qmf"), got = positions("out.qmf");
    for (std::size_t f = 0; f < want.size(); ++f)
        EXPECT_LT((got[f].at("Head") - want[f].at("Head")).length(), 1e-4) << "frame " << f;
}

}  // namespace
}  // namespace clitest
