// qmf convert: the dispatch by extension, and a Movantis clip turned into a
// Maya ASCII rig that exports back to the clip's skeleton and carries the
// clip's animation exactly as qmf import would key it.
#include "ConvertFixture.h"

#include "qmfhost/MaScene.h"

using namespace clitest;

namespace {

// hips -> spine -> head, hips -> leg -> foot; orientations of every kind.
std::vector<ClipJoint> skeleton() {
    const double h = std::sqrt(0.5);
    return {{"hips", -1, {0.01, 0.95, -0.02}, {-1, 0, 0, 0}},
            {"spine", 0, {0.2, 0.013, 0.001}, {-h, 0, 0, -h}},        // 90 degrees about Z
            {"head", 1, {0.35, 0, -0.125}, {-0.5, 0.5, -0.5, 0.5}},   // a turn about a diagonal
            {"leg", 0, {-0.05, -0.1, 0.0375}, {0.2, 0.4, -0.8, 0.4}}, // negative -w: w < 0
            {"foot", 3, {0.45, 0, 0}, {-0.9, 0.1, 0.3, -0.2}}};      // not unit length
}

TEST_F(ConvertCli, RigExportsBackToTheClipsSkeleton) {
    const std::vector<ClipJoint> joints = skeleton();
    std::string clip = makeClip("clip.qmf", joints);
    Result r = run({"convert", clip, path("rig.ma"), "--rig-only"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("a rig of 5 joints without animation (ntsc frames)"), std::string::npos) << r.out;
    ASSERT_EQ(run({"export", path("rig.ma"), path("back.qmf")}).status, 0);

    const json back = infoJson(path("back.qmf"))["skeletons"][0]["joints"];
    ASSERT_EQ(back.size(), joints.size());
    for (std::size_t j = 0; j < joints.size(); ++j) {
        SCOPED_TRACE(joints[j].name);
        EXPECT_EQ(back[j]["name"], joints[j].name);
        EXPECT_EQ(back[j]["parent"], joints[j].parent);
        // The exporter writes no offset for a root; the rest come back to the float.
        if (joints[j].parent >= 0) {
            for (int c = 0; c < 3; ++c)
                EXPECT_FLOAT_EQ(back[j]["offset"][c].get<float>(), static_cast<float>(joints[j].offset[c]));
        }
        // q and -q are one rotation; the stored one need not be unit length.
        const auto& q = joints[j].orientation;
        const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        double dot = 0;
        for (int c = 0; c < 4; ++c) dot += back[j]["orientation"][c].get<double>() * q[c] / n;
        const double sign = dot < 0 ? -1 : 1;
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(back[j]["orientation"][c].get<double>(), sign * q[c] / n, 1e-6) << c;
    }
    // The root sits where the clip's root offset puts it, in centimetres.
    qmfhost::ma::Scene scene = qmfhost::ma::readFile(path("rig.ma"));
    const auto& hips = scene.nodes[static_cast<std::size_t>(scene.find("hips"))];
    ASSERT_TRUE(hips.translate);
    EXPECT_NEAR((*hips.translate)[0], 1.0, 1e-5);
    EXPECT_NEAR((*hips.translate)[1], 95.0, 1e-5);
    EXPECT_NEAR((*hips.translate)[2], 2.0, 1e-5);
    ASSERT_TRUE(hips.rotate == std::nullopt || *hips.rotate == (qmfhost::ma::Vec3{0, 0, 0}));
}

TEST_F(ConvertCli, AnimationIsWhatImportKeysOntoTheRig) {
    std::string clip = makeClip("clip.qmf", skeleton(), 30, 6);
    Result full = run({"convert", clip, path("anim.ma")});
    ASSERT_EQ(full.status, 0) << full.err;
    // hips: translate and rotate; spine and leg: rotate. 5 frames * 12 curves.
    EXPECT_NE(full.out.find("a rig of 5 joints, 12 curves, 72 keys (ntsc frames)"), std::string::npos) << full.out;
    ASSERT_EQ(run({"convert", clip, path("rig.ma"), "--rig-only"}).status, 0);
    Result imp = run({"import", clip, path("rig.ma"), "-o", path("imported.ma")});
    ASSERT_EQ(imp.status, 0) << imp.err;
    EXPECT_EQ(slurp(path("anim.ma")), slurp(path("imported.ma")));
    // And the written scene reads back with its playback ending on the last frame.
    qmfhost::ma::Scene scene = qmfhost::ma::readFile(path("anim.ma"));
    ASSERT_TRUE(scene.playback.maxTime);
    EXPECT_DOUBLE_EQ(*scene.playback.maxTime, 6.0 / 30.0);
}

TEST_F(ConvertCli, SceneTimeUnitFollowsTheClipsRate) {
    const struct {
        double rate;
        const char* unit;
    } cases[] = {{24, "film"}, {25, "pal"}, {30, "ntsc"}, {60, "ntscf"}, {120, "120fps"}, {29.5, "film"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        std::string clip = makeClip("clip.qmf", skeleton(), c.rate, 2);
        ASSERT_EQ(run({"convert", clip, path("out.ma")}).status, 0);
        EXPECT_NE(slurp(path("out.ma")).find(std::string("-t ") + c.unit + ";"), std::string::npos);
    }
}

TEST_F(ConvertCli, NamesMayaRefusesAreChangedOnBothSidesAndTheClipKeepsItsOwn) {
    std::string clip = makeClip("clip.qmf", {{"Hips", -1},
                                             {"pelvis.R", 0, {0.1, 0, 0}},
                                             {"pelvis_R", 0, {-0.1, 0, 0}},
                                             {"1st", 1, {0.1, 0, 0}},
                                             {"a b", 3, {0.1, 0, 0}},
                                             {"ns:Spine", 0, {0, 0.1, 0}},
                                             {"ns:Spine:End", 5, {0, 0.1, 0}}});
    const std::string before = slurp(clip);
    Result r = run({"convert", clip, path("out.ma")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_EQ(r.errLines()[0],
              "qmf: warning: 3 names changed to valid Maya names: pelvis.R -> pelvis_R_1, 1st -> _1st, a b -> a_b");
    // Every joint with children was found under its new name.
    const std::string scene = slurp(path("out.ma"));
    for (const char* plug : {"\"Hips.rotateX\"", "\"pelvis_R_1.rotateX\"", "\"_1st.rotateX\"", "\"ns:Spine.rotateX\""})
        EXPECT_NE(scene.find(plug), std::string::npos) << plug;
    EXPECT_EQ(slurp(clip), before);
    EXPECT_EQ(jointNames(clip), (std::vector<std::string>{"Hips", "pelvis.R", "pelvis_R", "1st", "a b", "ns:Spine", "ns:Spine:End"}));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ConvertCli, MapAndNamespacesRenameTheRigItMakes) {
    std::string clip = makeClip("clip.qmf", {{"mixamorig:Hips", -1}, {"mixamorig:LeftUpLeg", 0, {0.1, 0, 0}},
                                             {"mixamorig:LeftLeg", 1, {0.4, 0, 0}}});
    spit(path("map.txt"), "# the leg as our rigs name it\nmixamorig:LeftUpLeg thigh_L\nmixamorig:LeftLeg knee.L\n");
    Result r = run({"convert", clip, path("out.ma"), "--map", path("map.txt"), "--strip-namespaces"});
    ASSERT_EQ(r.status, 0) << r.err;
    // A name the map gives is made valid for Maya like any other.
    EXPECT_EQ(r.err, "qmf: warning: 1 name changed to valid Maya names: knee.L -> knee_L\n");
    const std::string scene = slurp(path("out.ma"));
    for (const char* node : {"-n \"Hips\"", "-n \"thigh_L\" -p \"Hips\"", "-n \"knee_L\" -p \"thigh_L\""})
        EXPECT_NE(scene.find(node), std::string::npos) << node;
    EXPECT_NE(scene.find("\"thigh_L.rotateX\""), std::string::npos);
}

TEST_F(ConvertCli, EachRefusalIsOneLineAndWritesNothing) {
    std::string clip = makeClip("clip.qmf", skeleton());
    std::string empty = makeClip("empty.qmf", {});
    spit(path("a.bvh"), "HIERARCHY\n");
    spit(path("scene.ma"), "//Maya ASCII 2018 scene\n");
    spit(path("map.ma"), "hips hips\n");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{path("a.bvh"), path("out.qmf")}, "qmf: " + path("a.bvh") + ": line 1: missing MOTION after the HIERARCHY"},
        {{path("a.bvh"), path("out.ma")}, "qmf: " + path("a.bvh") + ": line 1: missing MOTION after the HIERARCHY"},
        {{path("a.bvh"), path("out.qmf"), "--order", "zyx"}, "qmf: convert: --order does not apply to BVH to Movantis clip"},
        {{path("scene.ma"), path("out.bvh")}, "qmf: " + path("scene.ma") + ": the scene has no joints"},
        {{path("scene.ma"), path("out.qmf")}, "qmf: " + path("scene.ma") + ": the scene has no joints"},
        {{clip, path("out.qmf")}, "qmf: convert: Movantis clip to Movantis clip is not a conversion qmf makes"},
        {{path("scene.ma"), path("out.ma")}, "qmf: convert: Maya ASCII to Maya ASCII is not a conversion qmf makes"},
        {{clip, path("out.txt")}, "qmf: convert: cannot tell the format of " + path("out.txt") + " (use .bvh, .qmf, .ma, .fbx, .glb or .dae)"},
        {{path("noext"), path("out.ma")}, "qmf: convert: cannot tell the format of " + path("noext") + " (use .bvh, .qmf, .ma, .fbx, .glb or .dae)"},
        {{path("a.bvh"), path("out.qmf"), "--unit", "furlong"}, "qmf: convert: --unit must be cm, mm, dm, m, in or ft, not 'furlong'"},
        {{clip, path("out.bvh"), "--order", "xxy"},
         "qmf: convert: --order must be xyz, yzx, zxy, xzy, yxz or zyx, not 'xxy'"},
        {{clip, path("out.ma"), "--unit", "cm"}, "qmf: convert: --unit does not apply to Movantis clip to Maya ASCII"},
        {{clip, path("out.ma"), "--order", "zyx"}, "qmf: convert: --order does not apply to Movantis clip to Maya ASCII"},
        {{clip, path("out.ma"), "--map", path("missing.txt")}, "qmf: " + path("missing.txt") + ": No such file"},
        {{path("missing.qmf"), path("out.ma")}, "qmf: " + path("missing.qmf") + ": No such file"},
        {{empty, path("out.ma"), "--rig-only"}, "qmf: " + empty + ": the clip's skeleton has no joints, so there is no rig to build"},
        {{clip, clip + ".ma", "--plugin", path("none.so"), "--map"}, "qmf: convert: --map needs a value"},
        {{clip, path("map.ma"), "--map", path("map.ma")}, "qmf: " + path("map.ma") + ": is the same file as"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"convert"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.message);
        Result r = run(args);
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_EQ(r.errLines()[0].substr(0, c.message.size()), c.message);
        EXPECT_FALSE(fs::exists(path("out.ma")) || fs::exists(path("out.qmf")) || fs::exists(path("out.bvh")));
    }
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ConvertCli, DamagedSkeletonValuesAreRefusedNamingTheJoint) {
    const struct {
        ClipJoint bad;
        const char* message;
    } cases[] = {
        {{"arm", 0, {0, 0, 0}, {0, 0, 0, 0}}, "joint arm has an orientation that is not a rotation"},
        {{"arm", 0, {INFINITY, 0, 0}, {-1, 0, 0, 0}}, "joint arm has an offset that is not finite"},
        {{"arm", 0, {0, 0, 0}, {NAN, 0, 0, 1}}, "joint arm has an orientation that is not a rotation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::string clip = makeClip("clip.qmf", {{"root", -1}, c.bad});
        Result r = run({"convert", clip, path("out.ma")});
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("out.ma")));
    }
}

}  // namespace
