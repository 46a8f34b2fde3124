// qmf convert SCENE.ma -> clip or BVH: a scene's animation baked. The keys
// are the exact inverse of import, so a clip laid onto a rig by the
// translator's reader and baked back gives every key again.
#include "BakeFixture.h"

namespace clitest {
namespace {

TEST_F(Bake, AClipImportedOntoARigOfEveryRotateOrderBakesBackToItsKeys) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    Result r = run({"convert", path("chain.bvh"), path("clip.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("animated.ma"), path("back.qmf"), "--frames", "0:" + std::to_string(kFrames - 1)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "converted " + path("animated.ma") + " to " + path("back.qmf") + ": 8 joints, 24 frames\n");
    const ClipKeys original = keysOf(path("clip.qmf")), baked = keysOf(path("back.qmf"));
    ASSERT_EQ(original.orientations.size(), 7u);
    expectSameKeys(original, baked);
    // Every joint is keyed, the leaf with its pose.
    EXPECT_EQ(baked.orientations.size(), 8u);
    EXPECT_EQ(baked.orientations.at("j6_end").size(), std::size_t(kFrames));
}

TEST_F(Bake, CorpusCapturesOntoTheRigsBuiltFromThemBakeBackToTheirKeys) {
    const std::string corpus = std::string(QMF_CORPUS_DIR) + "/bvh/";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const char* name : {"sinusoidal.bvh", "test_mocapbank.bvh", "pfnn_hierarchy.bvh"}) {
        SCOPED_TRACE(name);
        if (!fs::exists(corpus + name)) continue;
        Result r = run({"convert", corpus + name, path("clip.qmf")});
        ASSERT_EQ(r.status, 0) << r.err;
        const ClipKeys original = keysOf(path("clip.qmf"));
        r = run({"convert", path("clip.qmf"), path("rig.ma")});
        ASSERT_EQ(r.status, 0) << r.err;
        if (r.out.find("(film frames)") != std::string::npos && original.rate != 24) continue;  // no Maya unit for the rate
        r = run({"convert", path("rig.ma"), path("back.qmf"), "--frames", "0:" + std::to_string(original.frames - 1)});
        ASSERT_EQ(r.status, 0) << r.err;
        expectSameKeys(original, keysOf(path("back.qmf")));
    }
}

TEST_F(Bake, FramesAndStepChooseWhatIsBakedAndDivideTheRate) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    ASSERT_EQ(run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")}).status, 0);
    Result r = run({"convert", path("animated.ma"), path("every3.qmf"), "--frames", "2:20", "--step", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ClipKeys original = keysOf(path("clip.qmf")), every3 = keysOf(path("every3.qmf"));
    EXPECT_EQ(every3.frames, 7);  // 2, 5, ..., 20
    EXPECT_EQ(every3.rate, 10);
    for (int k = 0; k < 7; ++k)
        for (int c = 0; c < 4; ++c)
            EXPECT_TRUE(ulpsApart(std::fabs(every3.orientations.at("j2")[k][c]),
                                  std::fabs(original.orientations.at("j2")[2 + 3 * k][c]), 2));
    // The same selection of the clip itself, and of the capture.
    r = run({"convert", path("clip.qmf"), path("every3.bvh"), "--frames", "2:20", "--step", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(path("every3.bvh")).find("Frames: 7\nFrame Time: 0.1"), std::string::npos);
    r = run({"convert", path("chain.bvh"), path("every3c.qmf"), "--frames", "2:20", "--step", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameKeys(keysOf(path("every3c.qmf")), every3);
}

TEST_F(Bake, BvhOutWritesTheCurvesOwnAnglesInEachJointsOrder) {
    spit(path("chain.bvh"), smoothCapture());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("scene.ma")}).status, 0);
    Result r = run({"convert", path("scene.ma"), path("back.bvh"), "--frames", "0:" + std::to_string(kFrames - 1)});
    ASSERT_EQ(r.status, 0) << r.err;
    // The same hierarchy and channel orders, and on every frame the values
    // the curves were keyed with (no joint orient: nothing composed in).
    std::istringstream a(smoothCapture()), b(slurp(path("back.bvh")));
    std::string la, lb;
    bool motion = false;
    int lines = 0;
    while (std::getline(a, la) && std::getline(b, lb)) {
        if (la.rfind("Frame Time", 0) == 0) {
            motion = true;
            continue;
        }
        if (!motion) {
            auto words = [](const std::string& s) {
                std::istringstream in(s);
                std::vector<std::string> w;
                for (std::string x; in >> x;) w.push_back(x);
                return w;
            };
            if (la.find("CHANNELS") != std::string::npos || la.find("JOINT") != std::string::npos) {
                EXPECT_EQ(words(la), words(lb));
            }
            continue;
        }
        std::istringstream va(la), vb(lb);
        double x = 0, y = 0;
        int n = 0;
        while (va >> x && vb >> y) {
            EXPECT_NEAR(x, y, 1e-9 * std::max(1.0, std::fabs(x))) << "frame line " << lines << " value " << n;
            ++n;
        }
        EXPECT_EQ(n, 6 + 3 * 6);
        ++lines;
    }
    EXPECT_EQ(lines, kFrames);
}

TEST_F(Bake, JointOrientsComposedIntoBvhAnglesAreExactAsRotations) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    ASSERT_EQ(run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")}).status, 0);
    Result r = run({"convert", path("animated.ma"), path("back.bvh"), "--frames", "0:" + std::to_string(kFrames - 1)});
    ASSERT_EQ(r.status, 0) << r.err;
    // Import keyed R = Q * O^-1 in double; the capture's angles, read in each
    // joint's listed order, must give the clip's Q back to 1e-6 degrees,
    // gimbal-lock frames and angles past 180 included.
    const ClipKeys clip = keysOf(path("clip.qmf"));
    std::istringstream in(slurp(path("back.bvh")));
    struct Listed {
        std::string name;
        std::string axes;  // rotation axes as listed
        std::size_t column;
    };
    std::vector<Listed> joints;
    std::size_t columns = 0;
    std::string word, name;
    while (in >> word && word != "MOTION") {
        if (word == "ROOT" || word == "JOINT") in >> name;
        if (word != "CHANNELS") continue;
        int n = 0;
        in >> n;
        Listed l{name, "", columns};
        for (int c = 0; c < n; ++c) {
            in >> word;
            if (word.find("rotation") != std::string::npos) l.axes += char(std::tolower(word[0]));
            else ++l.column;
        }
        columns += static_cast<std::size_t>(n);
        joints.push_back(l);
    }
    std::string line;
    std::getline(in, line);
    std::getline(in, line);  // Frames:
    std::getline(in, line);  // Frame Time:
    ASSERT_EQ(joints.size(), 7u);
    const double limit = 1e-6 * M_PI / 180;
    for (int f = 0; f < kFrames; ++f) {
        ASSERT_TRUE(std::getline(in, line));
        std::istringstream values(line);
        std::vector<double> v(columns);
        for (double& x : v) values >> x;
        for (const Listed& j : joints) {
            double angle[3] = {0, 0, 0};
            for (std::size_t a = 0; a < 3; ++a) angle[j.axes[a] - 'x'] = v[j.column + a] * M_PI / 180;
            const std::string maya(j.axes.rbegin(), j.axes.rend());
            static const char* const kOrders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
            int order = 0;
            for (int o = 0; o < 6; ++o)
                if (maya == kOrders[o]) order = o;
            const MQuaternion got =
                MEulerRotation(angle[0], angle[1], angle[2], static_cast<MEulerRotation::RotationOrder>(order)).asQuaternion();
            const auto& q = clip.orientations.at(j.name)[static_cast<std::size_t>(f)];
            MQuaternion want(q[1], q[2], -double(q[3]), -double(q[0]));
            want = want.normal();  // a float quaternion's length is 1 to a float's precision only
            const double dot = got.x * want.x + got.y * want.y + got.z * want.z + got.w * want.w;
            const double s = dot < 0 ? -1 : 1;
            const double dx = got.x - s * want.x, dy = got.y - s * want.y, dz = got.z - s * want.z, dw = got.w - s * want.w;
            const double sx = got.x + s * want.x, sy = got.y + s * want.y, sz = got.z + s * want.z, sw = got.w + s * want.w;
            const double between = 2 * std::atan2(std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw),
                                                  std::sqrt(sx * sx + sy * sy + sz * sz + sw * sw));
            EXPECT_LT(between, limit) << j.name << " frame " << f << ": " << between * 180 / M_PI << " degrees apart";
        }
    }
}

TEST_F(Bake, RefusalsAreOneLineAndWriteNothing) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    spit(path("empty.ma"), "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncreateNode transform -n \"box\";\n");
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"convert", path("rig.ma"), path("out.qmf"), "--frames", "0:11"},
         "qmf: --frames 0:11 is outside the frames of " + path("rig.ma") + " (its playback range and keys), 0 to 10"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--frames", "5:2"}, "qmf: convert: --frames 5:2: the first frame comes after the last"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--frames", "x"}, "qmf: convert: --frames needs A:B, the first and last frame, not 'x'"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--step", "0"}, "qmf: convert: --step needs a whole number of frames from 1, not '0'"},
        {{"convert", path("empty.ma"), path("out.qmf")}, "qmf: " + path("empty.ma") + ": the scene has no joints"},
        {{"convert", path("chain.bvh"), path("out.qmf"), "--frames", "0:24"},
         "qmf: --frames 0:24 is outside the frames of " + path("chain.bvh") + ", 0 to 23"},
        {{"convert", path("chain.bvh"), path("out.qmf"), "--frames", "0.5:3"},
         "qmf: --frames 0.5:3: " + path("chain.bvh") + " has whole frames only"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--order", "xyz"}, "qmf: convert: --order does not apply to Maya ASCII to Movantis clip"},
    };
    for (const auto& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(r.err, c.line + "\n");
        EXPECT_FALSE(fs::exists(path("out.qmf")));
    }
}

// Scenes a bake must bound: a hundred thousand curves, one of them driving
// a joint; keys at times far past any range a clip holds; a key time that
// does not fit a double.
TEST_F(Bake, ScenesOfManyCurvesAndFarKeysBakeOrRefuseInOneLine) {
    const std::string rig =
        "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t film;\n"
        "createNode joint -n \"hip\";\ncreateNode joint -n \"knee\" -p \"hip\";\n"
        "\tsetAttr \".t\" -type \"double3\" 0 -40 0;\ncreateNode script -n \"sceneConfigurationScriptNode\";\n"
        "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 5 -ast 1 -aet 5 \";\n";
    std::string many = rig;
    for (int i = 0; i < 100000; ++i)
        many += "createNode animCurveTA -n \"c" + std::to_string(i) + "\";\n\tsetAttr -s 2 \".ktv[0:1]\"  1 0 5 " +
                std::to_string(i % 90) + ";\n";
    many += "connectAttr \"c7.o\" \"knee.rx\";\n";
    spit(path("many.ma"), many);
    Result r = run({"convert", path("many.ma"), path("many.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const ClipKeys k = keysOf(path("many.qmf"));
    ASSERT_EQ(k.frames, 5);
    // knee.rx runs 0 to 7 degrees over frames 1 to 5: its last key is that
    // turn about X (the file quaternion's sign aside).
    const auto& last = k.orientations.at("knee").back();
    const double half = 3.5 * 3.14159265358979323846 / 180.0;
    EXPECT_NEAR(std::fabs(last[0]), std::cos(half), 1e-6);
    EXPECT_NEAR(std::fabs(last[1]), std::sin(half), 1e-6);

    const std::string curve = "createNode animCurveTA -n \"c\";\n\tsetAttr -s 2 \".ktv[0:1]\"  1 0 ";
    spit(path("far.ma"), rig + curve + "1e15 90;\nconnectAttr \"c.o\" \"knee.rx\";\n");
    spit(path("inf.ma"), rig + curve + "1e999 90;\nconnectAttr \"c.o\" \"knee.rx\";\n");
    r = run({"convert", path("far.ma"), path("out.qmf")});
    EXPECT_EQ(r.status, 0) << "the playback range is baked: " << r.err;
    EXPECT_EQ(keysOf(path("out.qmf")).frames, 5);
    fs::remove(path("out.qmf"));
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"convert", path("far.ma"), path("out.qmf"), "--frames", "1:1e9"},
         "qmf: --frames and --step choose 1e+09 frames of " + path("far.ma") + "; a clip holds at most 16777216"},
        {{"convert", path("far.ma"), path("out.qmf"), "--frames", "0:1e15"},
         "qmf: --frames 0:1e15 is outside the frames of " + path("far.ma") + " (its playback range and keys), 1 to 1e+15"},
        {{"convert", path("inf.ma"), path("out.qmf")}, "qmf: " + path("inf.ma") + ": line 10: expected a number, found '1e999'"},
    };
    for (const auto& c : cases) {
        r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(r.err, c.line + "\n");
        EXPECT_FALSE(fs::exists(path("out.qmf")));
    }
}


// --root in a scene: the joint's hierarchy alone, moved to the top with the
// still transforms above it (a turned, moved group and a joint with an
// orient) folded in, so on every frame it stands where Maya shows it.
TEST_F(Bake, RootTakesAScenesHierarchyOutWhereMayaShowsIt) {
    spit(path("rig.ma"),
         "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t film;\n"
         "createNode transform -n \"grp\";\n\tsetAttr \".t\" -type \"double3\" 5 0 -3;\n"
         "\tsetAttr \".r\" -type \"double3\" 0 0 90;\n"
         "createNode joint -n \"hips\" -p \"grp\";\n\tsetAttr \".t\" -type \"double3\" 0 10 0;\n"
         "\tsetAttr \".jo\" -type \"double3\" 0 30 0;\n"
         "createNode joint -n \"spine\" -p \"hips\";\n\tsetAttr \".jo\" -type \"double3\" 10 0 0;\n\tsetAttr \".ro\" 2;\n"
         "createNode joint -n \"arm\" -p \"spine\";\n\tsetAttr \".t\" -type \"double3\" 3 1 0;\n\tsetAttr \".ro\" 4;\n"
         "createNode joint -n \"hand\" -p \"arm\";\n\tsetAttr \".t\" -type \"double3\" 2 0 0;\n"
         "createNode animCurveTA -n \"spine_rx\";\n\tsetAttr \".tan\" 2;\n\tsetAttr -s 2 \".ktv[0:1]\"  1 0 5 60;\n"
         "createNode animCurveTL -n \"spine_ty\";\n\tsetAttr \".tan\" 2;\n\tsetAttr -s 2 \".ktv[0:1]\"  1 4 5 6;\n"
         "createNode animCurveTA -n \"arm_ry\";\n\tsetAttr \".tan\" 2;\n\tsetAttr -s 2 \".ktv[0:1]\"  1 -20 5 200;\n"
         "createNode script -n \"sceneConfigurationScriptNode\";\n"
         "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 5 -ast 1 -aet 5 \";\n"
         "connectAttr \"spine_rx.o\" \"spine.rx\";\nconnectAttr \"spine_ty.o\" \"spine.ty\";\n"
         "connectAttr \"arm_ry.o\" \"arm.ry\";\n");
    for (const char* out : {"spine.qmf", "spine.bvh"}) {
        SCOPED_TRACE(out);
        Result r = run({"convert", path("rig.ma"), path(out), "--root", "spine"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (int f = 0; f < 5; ++f) {
            const auto scene = positionsByName(run({"view", path("rig.ma"), "--positions", "--frame", std::to_string(f)}).out);
            Result baked = run({"view", path(out), "--positions", "--frame", std::to_string(f)});
            ASSERT_EQ(baked.status, 0) << baked.err;
            const auto got = positionsByName(baked.out);
            ASSERT_EQ(got.size(), 3u) << baked.out;
            for (const auto& [name, p] : got) {
                // A BVH writes the leaf as its parent's End Site.
                const std::string joint = name == "arm_end" ? "hand" : name;
                ASSERT_EQ(scene.count(joint), 1u) << joint;
                for (int a = 0; a < 3; ++a)
                    EXPECT_NEAR(p[a], scene.at(joint)[a], 1e-4) << name << " frame " << f << " axis " << a;
            }
        }
    }
    // What moves above the joint is said, not baked; a name that is not a
    // joint is refused.
    Result r = run({"convert", path("rig.ma"), path("arm.qmf"), "--root", "arm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qmf: warning: --root arm: spine above it moves, which is not baked; its pose at the time read is\n");
    r = run({"convert", path("rig.ma"), path("x.qmf"), "--root", "grp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: --root grp is not a joint of " + path("rig.ma") + "\n");
    EXPECT_FALSE(fs::exists(path("x.qmf")));
}

}  // namespace
}  // namespace clitest
