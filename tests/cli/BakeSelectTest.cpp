// The selections every route takes (--frames, --step, --start, --root,
// --resample) and what view shows of a scene and of long takes.
#include "BakeFixture.h"

namespace clitest {
namespace {

TEST_F(Bake, FramesAndStepChooseWhatViewShowsOfEveryFormat) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    ASSERT_EQ(run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")}).status, 0);
    for (const std::string& file : {path("chain.bvh"), path("clip.qmf"), path("animated.ma")}) {
        SCOPED_TRACE(file);
        // Frame 2 of frames 5, 10, 15, 20 is the file's frame 15.
        Result chosen = run({"view", "--positions", file, "--frames", "5:20", "--step", "5", "--frame", "2"});
        Result all = run({"view", "--positions", file, "--frame", "15"});
        ASSERT_EQ(chosen.status, 0) << chosen.err;
        ASSERT_EQ(all.status, 0) << all.err;
        EXPECT_EQ(chosen.out.substr(0, chosen.out.find('\n')), "# frame 2 of 4; joint index, world x y z (cm), name");
        EXPECT_EQ(positionsBody(chosen.out), positionsBody(all.out));
        Result past = run({"draw", file, "-o", path("d.svg"), "--frames", "5:20", "--step", "5", "--frame", "4"});
        EXPECT_EQ(past.status, 1);
        EXPECT_NE(past.err.find("frame 4 is past the last frame"), std::string::npos) << past.err;
    }
    Result outside = run({"plot", path("clip.qmf"), "-o", path("p.svg"), "--frames", "0:24"});
    EXPECT_EQ(outside.err, "qmf: plot: --frames 0:24 is outside the frames of " + path("clip.qmf") + ", 0 to 23\n");
    Result step = run({"view", "--positions", path("clip.qmf"), "--step", "0"});
    EXPECT_EQ(step.err, "qmf: view: --step needs a whole number of frames from 1, not '0'\n");
}

TEST_F(Bake, ATakeTooLongForOneViewShowsTheLongestRunThatFits) {
    // 2,100 joints x 1,000 frames: more joint-frames than a view holds.
    std::string t = "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
    for (int j = 1; j < 2100; ++j) t += "JOINT j" + std::to_string(j) + "\n{\nOFFSET 0 100 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n}\n";
    t += "}\nMOTION\nFrames: 1000\nFrame Time: 0.04\n";
    std::string line;
    for (int v = 0; v < 2100 * 3; ++v) line += v ? " 1" : "1";
    for (int f = 0; f < 1000; ++f) t += line + "\n";
    spit(path("long.bvh"), t);
    Result r = run({"view", "--positions", path("long.bvh"), "--frame", "997"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qmf: warning: " + path("long.bvh") +
                         ": 1000 frames of 2100 joints are more than one view holds; showing frames 0 to 997 (choose "
                         "others with --frames A:B or --step N)\n");
    r = run({"view", "--positions", path("long.bvh"), "--frames", "500:999", "--frame", "499"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // draw reads only the frame it draws: the last one of the take too.
    r = run({"draw", path("long.bvh"), "-o", path("d.svg"), "--frame", "999"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(slurp(path("d.svg")).find("long.bvh, frame 999 (frames 0 to 999)"), std::string::npos);
    r = run({"draw", path("long.bvh"), "-o", path("e.svg"), "--frame", "1000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: draw: frame 1000 is past the last frame of " + path("long.bvh") + " (999)\n");
    EXPECT_FALSE(fs::exists(path("e.svg")));
}

// Frames before --frames' first are passed over without being converted:
// a value no number reads on an earlier line does not stop the frames
// after it. On a line that is converted it is refused.
TEST_F(Bake, FramesBeforeTheRangeArePassedOverUnread) {
    std::string t = chainCapture();
    const std::size_t motion = t.find("Frame Time:");
    const std::size_t first = t.find('\n', motion) + 1;
    t.replace(first, t.find(' ', first) - first, "x");
    spit(path("chain.bvh"), t);
    Result r = run({"convert", path("chain.bvh"), path("out.qmf"), "--frames", "1:23"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(keysOf(path("out.qmf")).frames, 23);
    r = run({"draw", path("chain.bvh"), "-o", path("d.svg"), "--frame", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("chain.bvh"), path("all.qmf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 0: value 'x' is not a finite number"), std::string::npos) << r.err;
}


TEST_F(Bake, StartLandsTheClipsFirstFrameOnTheSceneFrameGiven) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    Result r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("late.ma"), "--start", "100"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("; playback 0 to 124 (ntsc frames)"), std::string::npos) << r.out;
    // Baked from frame 100 on, it is the clip again, key for key.
    r = run({"convert", path("late.ma"), path("back.qmf"), "--frames", "100:123"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameKeys(keysOf(path("clip.qmf")), keysOf(path("back.qmf")));
    // The same through convert's rig, and a start that is not a number.
    r = run({"convert", path("clip.qmf"), path("rig2.ma"), "--start", "7"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("rig2.ma"), path("back2.qmf"), "--frames", "7:30"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameKeys(keysOf(path("clip.qmf")), keysOf(path("back2.qmf")));
    r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("x.ma"), "--start", "soon"});
    EXPECT_EQ(r.err, "qmf: import: --start needs a number of frames, not 'soon'\n");
    EXPECT_FALSE(fs::exists(path("x.ma")));
}


// A still root turned and moved away from the origin, with the walk on the
// joint under it (as some research captures are laid out).
std::string stillRootCapture() {
    std::string t = "HIERARCHY\nROOT joint_Root\n{\n OFFSET 10 0 5\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                    " JOINT Hips\n {\n  OFFSET 0 90 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                    "  JOINT Spine\n  {\n   OFFSET 0 20 0\n   CHANNELS 3 Zrotation Xrotation Yrotation\n"
                    "   End Site\n   {\n    OFFSET 0 30 0\n   }\n  }\n }\n}\nMOTION\nFrames: 30\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < 30; ++f) {
        char line[256];
        std::snprintf(line, sizeof line, "3 0 -2 10 0 90 %g %g %g %g %g %g %g %g %g\n", 0.0, 90.0, 40.0 * f, 5.0 * std::sin(f),
                      10.0 * f, -3.0 * f, 20.0 * std::sin(0.3 * f), 15.0, -7.0);
        t += line;
    }
    return t;
}

TEST_F(Bake, RootKeepsAJointsHierarchyWhereItWasInTheWorld) {
    spit(path("walk.bvh"), stillRootCapture());
    // Without --root the walk is lost, and said so, with the way out.
    Result r = run({"convert", path("walk.bvh"), path("all.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "qmf: warning: a clip holds position channels for its first root only; dropped those of Hips\n"
              "qmf: warning: joint_Root stays still while Hips travels 11.60 m, and a clip keeps the first root's "
              "positions only; --root Hips keeps its motion\n");
    r = run({"convert", path("walk.bvh"), path("hips.qmf"), "--root", "Hips"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // Hips' own positions are the new root's
    ASSERT_EQ(run({"convert", path("hips.qmf"), path("hips.bvh"), "--root", "Hips"}).status, 0);
    // The world as the capture has it, worked out here from its channels
    // (Z X Y listed: Maya's yxz order), parents' rotation applied after.
    const auto turn = [](double z, double x, double y) {
        return MEulerRotation(x * M_PI / 180, y * M_PI / 180, z * M_PI / 180, MEulerRotation::kYXZ).asQuaternion();
    };
    for (const std::string& out : {path("hips.qmf"), path("hips.bvh")}) {
        for (int f : {0, 7, 29}) {
            SCOPED_TRACE(out + " frame " + std::to_string(f));
            const MQuaternion root = turn(10, 0, 90), hips = turn(5.0 * std::sin(f), 10.0 * f, -3.0 * f) * root;
            const MQuaternion spine = turn(20.0 * std::sin(0.3 * f), 15.0, -7.0) * hips;
            const MVector hipsAt = MVector(0, 90, 40.0 * f).rotateBy(root) + MVector(3, 0, -2);
            const MVector spineAt = MVector(0, 20, 0).rotateBy(hips) + hipsAt;
            const MVector endAt = MVector(0, 30, 0).rotateBy(spine) + spineAt;
            std::map<std::string, MVector> where = {{"Hips", hipsAt}, {"Spine", spineAt}, {"Spine_end", endAt}};
            Result kept = run({"view", "--positions", out, "--frame", std::to_string(f)});
            ASSERT_EQ(kept.status, 0) << kept.err;
            std::istringstream b(kept.out);
            std::string line;
            std::getline(b, line);
            int joints = 0;
            while (std::getline(b, line)) {
                std::istringstream w(line);
                int i;
                double p[3];
                std::string name;
                w >> i >> p[0] >> p[1] >> p[2] >> name;
                ASSERT_TRUE(where.count(name)) << name;
                for (unsigned c = 0; c < 3; ++c) EXPECT_NEAR(p[c], where[name][c], 1e-3) << name << " axis " << c;
                ++joints;
            }
            EXPECT_EQ(joints, 3);
        }
    }
    r = run({"convert", path("walk.bvh"), path("x.qmf"), "--root", "Knee"});
    EXPECT_EQ(r.err, "qmf: --root Knee is not a joint of " + path("walk.bvh") + "\n");
    EXPECT_FALSE(fs::exists(path("x.qmf")));
}


TEST_F(Bake, ResampleKeysAClipOfAnotherRateOnTheScenesWholeFrames) {
    // A 30 fps clip onto a film rig: keys at 0.8, 1.6... frames without it.
    spit(path("chain.bvh"), chainCapture());
    std::string rig = chainRig();
    rig.replace(rig.find("-t ntsc"), 7, "-t film");
    spit(path("rig.ma"), rig);
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    Result r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("film.ma"), "--resample"});
    ASSERT_EQ(r.status, 0) << r.err;
    // 24 frames at 30 fps last 23/30 s: film frames 0 to 18.
    EXPECT_NE(r.out.find(": 24 curves, 456 keys,"), std::string::npos) << r.out;  // 19 keys a curve
    const std::string scene = slurp(path("film.ma"));
    EXPECT_EQ(scene.find(" 0.8 "), std::string::npos) << "a key off the scene's frames";
    // Baked at film, every frame that fell on a clip frame (film 0, 4, 8... =
    // clip 0, 5, 10...) is the clip's key; the others lie between its keys.
    r = run({"convert", path("film.ma"), path("back.qmf"), "--frames", "0:18"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ClipKeys original = keysOf(path("clip.qmf")), baked = keysOf(path("back.qmf"));
    EXPECT_EQ(baked.rate, 24);
    EXPECT_EQ(baked.frames, 19);
    for (const auto& [name, keys] : original.orientations)
        for (int film = 0; film <= 18; film += 4) {
            const auto& a = keys[static_cast<std::size_t>(film * 5 / 4)];
            const auto& b = baked.orientations.at(name)[static_cast<std::size_t>(film)];
            const float sign = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0 ? -1.0f : 1.0f;
            for (int c = 0; c < 4; ++c) EXPECT_TRUE(ulpsApart(a[c], sign * b[c], 2)) << name << " film frame " << film;
        }
}


// A scene is viewed as Maya composes it: a group with scale between joints
// and a mirrored joint place what is under them where Maya does, and where
// a clip of the scene would differ one line says so.
TEST_F(Bake, ViewShowsAScenesTransformsAndScaleAsMayaDoes) {
    spit(path("mirror.ma"),
         "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t film;\n"
         "createNode joint -n \"root\";\n"
         "createNode transform -n \"grp\" -p \"root\";\n\tsetAttr \".t\" -type \"double3\" 10 0 0;\n"
         "\tsetAttr \".s\" -type \"double3\" 2 2 2;\n"
         "createNode joint -n \"a\" -p \"grp\";\n\tsetAttr \".t\" -type \"double3\" 1 0 0;\n"
         "createNode joint -n \"b\" -p \"root\";\n\tsetAttr \".t\" -type \"double3\" 0 5 0;\n"
         "\tsetAttr \".s\" -type \"double3\" -1 1 1;\n"
         "createNode joint -n \"c\" -p \"b\";\n\tsetAttr \".t\" -type \"double3\" 3 0 0;\n"
         "createNode joint -n \"d\" -p \"c\";\n\tsetAttr \".t\" -type \"double3\" 0 2 0;\n"
         "connectAttr \"b.s\" \"c.is\";\n");
    Result r = run({"view", path("mirror.ma"), "--positions"});
    ASSERT_EQ(r.status, 0) << r.err;
    // a: (1,0,0) scaled by the group and moved with it. c: b's mirror turns
    // its (3,0,0) to (-3,0,0). d: c divides b's scale out for its children
    // (segment scale compensation), so d is 2 above c.
    EXPECT_EQ(positionsBody(r.out), "0 0 0 0 root\n1 12 0 0 a\n2 0 5 0 b\n3 -3 5 0 c\n4 -3 7 0 d\n");
    EXPECT_EQ(r.err, "qmf: warning: " + path("mirror.ma") +
                         ": shown as Maya shows it; a clip of it would place a, c, d elsewhere (up to 11 cm: scale, or "
                         "transforms above or between joints, that a clip does not hold)\n");
    // A scene a clip holds as it is says nothing.
    spit(path("plain.ma"), "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncreateNode joint -n \"root\";\n"
                           "createNode joint -n \"a\" -p \"root\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3;\n");
    r = run({"view", path("plain.ma"), "--positions"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(positionsBody(r.out), "0 0 0 0 root\n1 1 2 3 a\n");
}


// Frames of a clip before --frames' first are passed over unread; the keys
// still in force from them are found again: a key some frames before the
// range holds into it, as it does when every frame is read.
TEST_F(Bake, KeysBeforeTheRangeOfASparseClipHoldIntoIt) {
    auto joint = [](const std::string& name, int parent) {
        return json{{"name", name}, {"parent", parent}, {"root", parent < 0}, {"offset", {0, 1, 0}},
                    {"orientation", {1, 0, 0, 0}}, {"body", nullptr}};
    };
    const double s = std::sqrt(0.5);
    json clip = {{"frameRate", 30},
                 {"frameCount", 10},
                 {"skeletons", {{{"name", "s"}, {"completed", false}, {"joints", {joint("r", -1), joint("c", 0)}}}}},
                 {"figures",
                  {{{"skeleton", 0},
                    {"channels", {{"1", {{0, 1.0}, {3, 2.0}}}, {"2", json::array()}, {"3", json::array()}}},
                    {"orientations", {{{"joint", 1}, {"keys", {{2, s, s, 0, 0}, {8, s, 0, s, 0}}}}}}}}}};
    spit(path("sparse.json"), clip.dump());
    ASSERT_EQ(run({"pack", path("sparse.json"), path("sparse.qmf")}).status, 0);
    auto frameLines = [this](const std::string& bvh) {
        const std::string text = slurp(path(bvh));
        std::istringstream in(text.substr(text.find("Frame Time:")));
        std::vector<std::string> lines;
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    };
    ASSERT_EQ(run({"convert", path("sparse.qmf"), path("all.bvh")}).status, 0);
    Result r = run({"convert", path("sparse.qmf"), path("late.bvh"), "--frames", "5:9"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto all = frameLines("all.bvh"), late = frameLines("late.bvh");
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(late, std::vector<std::string>(all.begin() + 5, all.end()));
    // Frame 5 holds frame 3's root X (2 m) and frame 2's quarter turn of c.
    EXPECT_EQ(late.front(), "200 100 -0 0 0 0 0 -90 0");
}

}  // namespace
}  // namespace clitest
