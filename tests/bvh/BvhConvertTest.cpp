// The BVH conversions, called directly on files the tests write and on the
// corpus: what lands in the clip, the scene and the BVH written back.
#include "BvhConvertFixture.h"

namespace {

using namespace bvhtest;

TEST_F(BvhConvert, BvhToClipKeepsSkeletonOffsetsAndEveryKey) {
    const std::string in = write("arm.bvh", kArm);
    std::ostringstream warn;
    qmf::formats::ConvertOptions o = options_;
    o.unitToCm = qmf::bvhUnitToCm("mm");
    o.unitName = "mm";
    auto r = qmf::formats::convert(in, path("arm.qmf"), o, warn);
    EXPECT_EQ(r.joints, 3u);
    // An arm 100 mm long is no figure: the unit is questioned, nothing else said.
    EXPECT_EQ(warn.str(), "qmf: warning: " + in + ": the skeleton is 10 cm tall in mm; --unit in makes it 254 cm\n");
    ANM_ANIMATION_HANDLE anm = qmf::openClip(path("arm.qmf"));
    AnimGuard g{anm};
    EXPECT_EQ(anm_animation_frame_rate_get_f(anm), 25.0f);
    EXPECT_EQ(anm_animation_number_of_frames_get_f(anm), 3);
    FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, 0);
    SKL_SKELETON_HANDLE sk = fig_figure_get_skel(fig);
    ASSERT_EQ(skl_skeleton_number_of_joints_get_f(sk), 3);
    const char* names[] = {"hip", "arm.L", "arm.L_end"};
    // mm -> cm -> file units (/100), Z negated.
    const coord3 offsets[] = {{0.01f, 0.02f, -0.03f}, {0.0f, 0.1f, 0.05f}, {0.0f, 0.0f, -0.025f}};
    for (SKL_JOINT_ID j = 0; j < 3; ++j) {
        char name[SKL_JOINT_NAME_CAPACITY];
        skl_skeleton_joint_name_get(sk, j, name);
        EXPECT_STREQ(name, names[j]);
        EXPECT_EQ(skl_skeleton_parent_get_f(sk, j), j - 1);
        coord3 off{};
        skl_skeleton_offset_get_f(sk, j, &off);
        EXPECT_FLOAT_EQ(off.x, offsets[j].x) << j;
        EXPECT_FLOAT_EQ(off.y, offsets[j].y) << j;
        EXPECT_FLOAT_EQ(off.z, offsets[j].z) << j;
        quaternion rest{};
        skl_skeleton_joint_orientation_get_f(sk, j, &rest);
        EXPECT_EQ(rest.f0, -1.0f);  // identity, in the file's layout
        EXPECT_NE(skl_skeleton_part_object_get_f(sk, j), nullptr);
    }
    EXPECT_EQ(fgf_frame_joint_orientation_key_count_f(fig, 2), 0);  // the End Site
    EXPECT_EQ(fgf_frame_joint_orientation_key_count_f(fig, 1), 3);
    // Root translation: mm -> file units, Z negated.
    EXPECT_FLOAT_EQ(fgf_frame_value_get_f(fig, 1, 1), 0.004f);
    EXPECT_FLOAT_EQ(fgf_frame_value_get_f(fig, 1, 3), -0.006f);
    // Listed Z X Y: Z 90 then X 90 compose as Rz * Rx = (0.5, 0.5, 0.5, 0.5).
    quaternion q{};
    fgf_frame_joint_orientation_get(fig, 0, 0, &q, 1);
    EXPECT_NEAR(q.f0, -0.5, 1e-6);
    EXPECT_NEAR(q.f1, 0.5, 1e-6);
    EXPECT_NEAR(q.f2, 0.5, 1e-6);
    EXPECT_NEAR(q.f3, -0.5, 1e-6);
    // Y 90 on the arm: (cos 45, 0, sin 45, 0).
    fgf_frame_joint_orientation_get(fig, 1, 1, &q, 1);
    EXPECT_NEAR(q.f0, -std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(q.f2, std::sqrt(0.5), 1e-6);
}

TEST_F(BvhConvert, BvhToClipRefusesShortFilesAndWarnsOfExtraLinesAndPositions) {
    std::string shortFile = kArm;
    shortFile.replace(shortFile.find("Frames: 3"), 9, "Frames: 9");
    std::ostringstream warn;
    try {
        qmf::formats::convert(write("short.bvh", shortFile), path("short.qmf"), options_, warn);
        FAIL() << "accepted";
    } catch (const qmf::FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("declares 9 frames, but 3 frame lines follow"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(path("short.qmf")));

    std::string twoRoots = kArm;
    twoRoots.replace(twoRoots.find("Frames: 3"), 9, "Frames: 2");
    twoRoots.replace(twoRoots.find("MOTION"), 6,
                     "ROOT prop\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Xrotation Yrotation Zrotation\n}\nMOTION");
    for (std::size_t at = twoRoots.find("\n1 2 3"); at != std::string::npos; at = twoRoots.find('\n', at + 1))
        if (at + 1 < twoRoots.size()) twoRoots.insert(twoRoots.find('\n', at + 1), " 0 0 0 0 0 0");
    qmf::formats::convert(write("two.bvh", twoRoots), path("two.qmf"), options_, warn);
    EXPECT_NE(warn.str().find("the 1 frame line after them is ignored"), std::string::npos) << warn.str();
    EXPECT_NE(warn.str().find("for its first root only; dropped those of prop\n"), std::string::npos) << warn.str();
}

// Every offset, rotation and position of a BVH file, back from a clip.
void expectRoundTrip(const bvh::Document& a, const bvh::Document& b, bool positions) {
    const auto& ja = a.hierarchy.joints;
    const auto& jb = b.hierarchy.joints;
    ASSERT_EQ(ja.size(), jb.size());
    ASSERT_EQ(a.frames, b.frames);
    for (std::size_t i = 0; i < ja.size(); ++i) {
        EXPECT_EQ(ja[i].endSite, jb[i].endSite) << i;
        if (!ja[i].endSite) {
            EXPECT_EQ(ja[i].name, jb[i].name);
        }
        EXPECT_EQ(ja[i].parent, jb[i].parent);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(ja[i].offset[c], jb[i].offset[c], 1e-5 * std::max(1.0, std::fabs(ja[i].offset[c])));
    }
    double worst = 0, worstPosition = 0;
    for (uint32_t f = 0; f < a.frames; ++f)
        for (std::size_t i = 0; i < ja.size(); ++i) {
            if (ja[i].hasRotation()) worst = std::max(worst, sameRotation(bvhRotation(ja[i], a.frame(f)), bvhRotation(jb[i], b.frame(f))));
            if (i == 0 && positions)
                for (std::size_t c = 0; c < 3; ++c)
                    worstPosition = std::max(worstPosition, std::fabs(a.frame(f)[c] - b.frame(f)[c]) / std::max(1.0, std::fabs(a.frame(f)[c])));
        }
    EXPECT_LT(worst, 1e-6);
    EXPECT_LT(worstPosition, 1e-6);
}

TEST_F(BvhConvert, CorpusRoundTripsThroughAClip) {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    // Mixed rotation orders (CMU), CRLF, a joint without End Site, extra lines.
    for (const char* name : {"01_01.bvh", "sinusoidal.bvh", "test_mocapbank.bvh", "Boxing_Toes.bvh", "walk1.bvh"}) {
        SCOPED_TRACE(name);
        std::ostringstream warn;
        qmf::formats::ConvertOptions o = options_;
        o.unitToCm = qmf::bvhUnitToCm("in");
        qmf::formats::convert(kCorpus + name, path("c.qmf"), o, warn);
        o.order = qmf::bvhRotationOrder("ZXY");
        qmf::formats::convert(path("c.qmf"), path("back.bvh"), o, warn);
        bvh::Reader ra = bvh::Reader::open(kCorpus + name);
        bvh::Reader rb = bvh::Reader::open(path("back.bvh"));
        bvh::Document b = bvh::readDocument(rb);
        expectRoundTrip(bvh::readDocument(ra), b, true);
        EXPECT_EQ(b.hierarchy.joints[1].channels[0], bvh::Channel::Zrotation);
    }
}

TEST_F(BvhConvert, ClipToBvhHoldsUnkeyedChannelsAndSaysSoOncePerJoint) {
    ANM_ANIMATION_HANDLE anm = anm_animation_create_f();
    AnimGuard g{anm};
    SKL_SKELETON_HANDLE sk = skl_skeleton_skel_create_f("s");
    skl_skeleton_joint_create_f(sk, "root");
    skl_skeleton_joint_create_f(sk, "tip");
    skl_skeleton_parent_set(sk, 1, 0);
    skl_skeleton_root_set(sk, 0);
    skl_skeleton_offset_set(sk, 0, coord3{0.5f, 0, 0});
    skl_skeleton_offset_set(sk, 1, coord3{0, 1, 0});
    const quaternion identity{-1, 0, 0, 0};
    const float h = static_cast<float>(std::sqrt(0.5));
    const quaternion restTip{-h, 0, h, 0};  // 90 degrees about Y
    skl_skeleton_joint_orientation_set(sk, 0, &identity);
    skl_skeleton_joint_orientation_set(sk, 1, &restTip);
    anm_animation_frame_rate_set_f(anm, 30);
    anm_animation_number_of_frames_set_f(anm, 4);
    FIG_FIGURE_HANDLE fig = anm_animation_figure_add_f(anm, sk, 0);
    for (int c = 1; c <= 3; ++c) fgf_frame_value_set_f(fig, 2, c, 0.25f);
    const quaternion keyed{-h, h, 0, 0};  // 90 degrees about X, on frame 2
    fgf_frame_joint_orientation_set_f(fig, 2, 1, &keyed);
    for (int f = 0; f < 4; ++f) fgf_frame_joint_orientation_set_f(fig, f, 0, &identity);
    FM_FILE_IDENTIFIER_TYPE id{};
    fm_path_name_to_file_id_f(path("sparse.qmf").c_str(), &id);
    ASSERT_TRUE(anm_animation_save_as_f(anm, &id, 0, nullptr));

    std::ostringstream warn;
    qmf::formats::ConvertOptions o = options_;
    o.order = "xyz";
    qmf::formats::convert(path("sparse.qmf"), path("sparse.bvh"), o, warn);
    bvh::Reader r = bvh::Reader::open(path("sparse.bvh"));
    bvh::Document d = bvh::readDocument(r);
    ASSERT_EQ(d.hierarchy.joints.size(), 2u);  // the keyed leaf stays a joint
    EXPECT_EQ(d.hierarchy.channelCount, 9u);
    EXPECT_NEAR(d.hierarchy.joints[0].offset[0], 50.0, 1e-5);
    // Root position: the rest offset until frame 2, then the key held.
    EXPECT_NEAR(d.frame(0)[0], 50.0, 1e-5);
    EXPECT_NEAR(d.frame(3)[2], -25.0, 1e-5);
    EXPECT_NEAR(d.frame(1)[7], 90.0, 1e-4);  // tip: the rest rotation about Y
    EXPECT_NEAR(d.frame(3)[6], 90.0, 1e-4);  // tip: frame 2's X rotation held
    EXPECT_NEAR(d.frame(3)[7], 0.0, 1e-4);
    EXPECT_NE(warn.str().find("root has no key on 3 of 4 frames"), std::string::npos) << warn.str();
    EXPECT_NE(warn.str().find("tip has no key on 3 of 4 frames"), std::string::npos) << warn.str();
    const std::string said = warn.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
}

TEST_F(BvhConvert, BvhToMayaWritesJointsCurvesUnitsAndRange) {
    std::ostringstream warn;
    qmf::formats::convert(write("arm.bvh", kArm), path("arm.ma"), options_, warn);
    EXPECT_NE(warn.str().find("2 names changed to valid Maya names: arm.L -> arm_L, arm.L_end -> arm_L_end\n"), std::string::npos) << warn.str();
    qmfhost::ma::Scene s = qmfhost::ma::readFile(path("arm.ma"));
    EXPECT_EQ(s.units.timeName, "pal");
    const int hip = s.find("hip"), arm = s.find("arm_L"), end = s.find("arm_L_end");
    ASSERT_GE(hip, 0);
    ASSERT_GE(arm, 0);
    ASSERT_GE(end, 0);
    EXPECT_EQ(s.nodes[static_cast<std::size_t>(end)].parents, std::vector<int>{arm});
    EXPECT_EQ(*s.nodes[static_cast<std::size_t>(hip)].rotateOrder, 4);  // listed Z X Y: yxz
    EXPECT_EQ((*s.nodes[static_cast<std::size_t>(arm)].translate)[1], 100.0);
    int curves = 0;
    for (const auto& n : s.nodes)
        if (n.curve) {
            ++curves;
            ASSERT_EQ(n.curve->keys.size(), 3u);
            EXPECT_EQ(n.curve->keys[2].time, 2 / 25.0);
            EXPECT_EQ(n.curve->keys[0].outType, 2);  // linear
        }
    EXPECT_EQ(curves, 9);  // hip: translate and rotate; arm: rotate
    ASSERT_TRUE(s.playback.maxTime);
    EXPECT_DOUBLE_EQ(*s.playback.maxTime, 2 / 25.0);
}

TEST_F(BvhConvert, BvhToMayaGivesEveryJointItsOwnName) {
    const std::string text = "HIERARCHY\nROOT 1hip\n{\nOFFSET 0 0 0\nJOINT hand\n{\nOFFSET 1 0 0\n}\n"
                             "JOINT hand\n{\nOFFSET -1 0 0\nJOINT hand1\n{\nOFFSET 0 1 0\n}\n}\n}\n"
                             "MOTION\nFrames: 0\nFrame Time: 1\n";
    std::ostringstream warn;
    qmf::formats::convert(write("dup.bvh", text), path("dup.ma"), options_, warn);
    EXPECT_NE(warn.str().find("2 names changed to valid Maya names: 1hip -> _1hip, hand -> hand_1\n"), std::string::npos) << warn.str();
    qmfhost::ma::Scene s = qmfhost::ma::readFile(path("dup.ma"));
    const int second = s.find("hand_1");
    ASSERT_GE(second, 0);
    EXPECT_EQ(s.nodes[static_cast<std::size_t>(s.find("hand1"))].parents, std::vector<int>{second});
    EXPECT_EQ(s.nodes[static_cast<std::size_t>(s.find("hand"))].parents, std::vector<int>{s.find("_1hip")});
}

TEST_F(BvhConvert, BvhToMayaKeepsAnglesContinuousAndPlacesOddRatesInSeconds) {
    // 179 -> -179 degrees is a 2 degree turn, not 358.
    std::string text = "HIERARCHY\nROOT a\n{\nOFFSET 0 0 0\nCHANNELS 3 Xrotation Yrotation Zrotation\n}\n"
                       "MOTION\nFrames: 3\nFrame Time: 0.0123\n170 0 0\n179 0 0\n-179 0 0\n";
    std::ostringstream warn;
    qmf::formats::convert(write("flip.bvh", text), path("flip.ma"), options_, warn);
    EXPECT_NE(warn.str().find("no time unit of 81.30081300813008 fps; keys are placed at their times in seconds on the nearest, 80fps"),
              std::string::npos)
        << warn.str();
    qmfhost::ma::Scene s = qmfhost::ma::readFile(path("flip.ma"));
    const qmfhost::ma::Curve* rx = nullptr;
    for (const auto& n : s.nodes)
        if (n.curve && n.name == "a_rotateX") rx = &*n.curve;
    ASSERT_NE(rx, nullptr) << std::ifstream(path("flip.ma")).rdbuf();
    EXPECT_NEAR(rx->keys[2].value * 180 / kPi, 181.0, 1e-9);
    EXPECT_NEAR(rx->keys[2].time, 2 * 0.0123, 1e-12);
}

struct Skeleton {
    std::vector<std::string> names;
    std::vector<SKL_JOINT_ID> parents;
    std::vector<coord3> offsets;
    std::vector<std::vector<POB_PRIMITIVE>> bodies;
};

Skeleton skeletonOf(const std::string& clip) {
    ANM_ANIMATION_HANDLE anm = qmf::openClip(clip);
    AnimGuard g{anm};
    SKL_SKELETON_HANDLE sk = fig_figure_get_skel(anm_animation_figure_get_by_index_f(anm, 0));
    Skeleton s;
    for (SKL_JOINT_ID j = 0; j < skl_skeleton_number_of_joints_get_f(sk); ++j) {
        char name[SKL_JOINT_NAME_CAPACITY];
        skl_skeleton_joint_name_get(sk, j, name);
        s.names.push_back(name);
        s.parents.push_back(skl_skeleton_parent_get_f(sk, j));
        coord3 o{};
        skl_skeleton_offset_get_f(sk, j, &o);
        s.offsets.push_back(o);
        POB_PART_OBJECT_HANDLE pob = skl_skeleton_part_object_get_f(sk, j);
        std::vector<POB_PRIMITIVE> prims(static_cast<std::size_t>(std::max(0, pob_part_object_number_of_primitives_get_f(pob))));
        for (std::size_t p = 0; p < prims.size(); ++p) pob_part_object_primitive_get_f(pob, static_cast<int32_t>(p), &prims[p]);
        s.bodies.push_back(prims);
    }
    return s;
}

TEST_F(BvhConvert, MayaSceneExportsTheSkeletonTheClipHolds) {
    std::vector<std::pair<std::string, std::string>> inputs = {{write("arm.bvh", kArm), "in"}};
    if (fs::exists(kCorpus)) inputs.emplace_back(kCorpus + "01_01.bvh", "cm");
    for (const auto& [in, unit] : inputs) {
        SCOPED_TRACE(in);
        std::ostringstream warn;
        qmf::formats::ConvertOptions o = options_;
        o.unitName = unit;
        o.unitToCm = qmf::bvhUnitToCm(unit);
        qmf::formats::convert(in, path("direct.qmf"), o, warn);
        qmf::formats::convert(in, path("scene.ma"), o, warn);
        const std::string cmd = std::string(QMF_EXE) + " export " + path("scene.ma") + " " + path("exported.qmf") +
                                " --plugin " + QMF_PLUGIN + " > " + path("log") + " 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << std::ifstream(path("log")).rdbuf();
        const Skeleton a = skeletonOf(path("direct.qmf")), b = skeletonOf(path("exported.qmf"));
        ASSERT_EQ(a.names.size(), b.names.size());
        for (std::size_t j = 0; j < a.names.size(); ++j) {
            // Maya names replace the '.' of arm.L.
            std::string name = a.names[j];
            std::replace(name.begin(), name.end(), '.', '_');
            EXPECT_EQ(name, b.names[j]);
            EXPECT_EQ(a.parents[j], b.parents[j]);
            if (a.parents[j] >= 0) {  // the export writes no root offset
                EXPECT_EQ(a.offsets[j].x, b.offsets[j].x) << j;
                EXPECT_EQ(a.offsets[j].y, b.offsets[j].y) << j;
                EXPECT_EQ(a.offsets[j].z, b.offsets[j].z) << j;
            }
            ASSERT_EQ(a.bodies[j].size(), b.bodies[j].size()) << j;
            for (std::size_t p = 0; p < a.bodies[j].size(); ++p) {
                EXPECT_EQ(a.bodies[j][p].kind, b.bodies[j][p].kind);
                EXPECT_EQ(a.bodies[j][p].radius, b.bodies[j][p].radius);
                EXPECT_EQ(a.bodies[j][p].length, b.bodies[j][p].length);
            }
        }
    }
}

TEST_F(BvhConvert, UnitsAndOrdersAreChecked) {
    EXPECT_EQ(qmf::bvhUnitToCm("ft"), 30.48);
    EXPECT_THROW(qmf::bvhUnitToCm("yd"), qmf::FormatError);
    EXPECT_EQ(qmf::bvhRotationOrder("YZX"), "yzx");
    EXPECT_THROW(qmf::bvhRotationOrder("xxy"), qmf::FormatError);
    EXPECT_THROW(qmf::bvhRotationOrder("xy"), qmf::FormatError);
}

}  // namespace
