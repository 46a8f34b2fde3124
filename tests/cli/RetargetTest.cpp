// qmf retarget: the generated capture onto rigs the tests write: itself,
// the same skeleton with other joint orients and rest rotations, a scaled
// copy, an A-pose rig of other proportions and back, chains of other
// lengths; the match table, refusals, every output format.
#include "RetargetFixture.h"

namespace clitest {
namespace {

TEST_F(Retarget, OntoItsOwnSkeletonAMotionIsItself) {
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    Result r = retarget(rig(world, std::vector<RigJoint>(kBones)), "out.qmf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("21 of 21 rig joints matched, 24 frames, root position scale 1 (hip heights 90 cm / 90 cm)"),
              std::string::npos) << r.out;
    const json a = infoJson(path("walk.qmf")), b = infoJson(path("out.qmf"));
    const json& ja = a["skeletons"][0]["joints"];
    const json& jb = b["skeletons"][0]["joints"];
    std::map<std::string, json> keysB;
    for (const json& o : b["figures"][0]["orientations"]) keysB[jb[o["joint"].get<std::size_t>()]["name"]] = o["keys"];
    int compared = 0;
    for (const json& o : a["figures"][0]["orientations"]) {
        const std::string name = ja[o["joint"].get<std::size_t>()]["name"];
        const json& kb = keysB.at(name);
        ASSERT_EQ(o["keys"].size(), kb.size()) << name;
        for (std::size_t f = 0; f < kb.size(); ++f) {
            double dot = 0;
            for (int c = 1; c <= 4; ++c) dot += o["keys"][f][c].get<double>() * kb[f][c].get<double>();
            const double sign = dot < 0 ? -1 : 1;
            for (int c = 1; c <= 4; ++c)
                EXPECT_NEAR(o["keys"][f][c].get<double>(), sign * kb[f][c].get<double>(), 3e-7) << name << " frame " << f;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 16 * kFrames);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(a["figures"][0]["channels"][std::to_string(c + 1)], b["figures"][0]["channels"][std::to_string(c + 1)]);
}

TEST_F(Retarget, OtherJointOrientsAndRestRotationsGiveTheSamePositions) {
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    std::vector<RigJoint> joints(kBones);
    for (std::size_t j = 0; j < kBones; ++j) {
        const double k = double(j);
        joints[j] = {{20 * std::sin(k), 170 - 13 * k, -35 + 7 * k}, int(j % 6), {-40 + 9 * k, 25 * std::cos(k), 100 - 11 * k}};
    }
    Result r = retarget(rig(world, joints), "out.qmf");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto want = positions("walk.qmf"), got = positions("out.qmf");
    ASSERT_EQ(got.size(), want.size());
    const double height = 190;
    for (std::size_t f = 0; f < want.size(); ++f)
        for (const auto& [name, p] : want[f])
            EXPECT_LT((got[f].at(name) - p).length(), 1e-6 * height) << name << " frame " << f;
}

TEST_F(Retarget, OntoAScaledCopyPositionsScale) {
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 0.5));
    Result r = retarget(rig(world, std::vector<RigJoint>(kBones)), "out.qmf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("root position scale 0.5 (hip heights 45 cm / 90 cm)"), std::string::npos) << r.out;
    const auto want = positions("walk.qmf"), got = positions("out.qmf");
    for (std::size_t f = 0; f < want.size(); ++f)
        for (const auto& [name, p] : want[f])
            EXPECT_LT((got[f].at(name) - p * 0.5).length(), 1e-6 * 190) << name << " frame " << f;
}


TEST_F(Retarget, ATPoseCaptureDrivesAnAPoseRigOfOtherProportions) {
    std::vector<double> factor(kBones, 1.0);
    for (std::size_t j = 0; j < kBones; ++j) {
        const std::string n = kSkeleton[j].name;
        if (n.find("Leg") != std::string::npos || n.find("Foot") != std::string::npos) factor[j] = 1.2;
        if (n.find("ForeArm") != std::string::npos || n.find("Hand") != std::string::npos) factor[j] = 0.8;
    }
    // Arms down 45 degrees at rest: the A-pose.
    std::vector<MVector> world = restPositions(factor);
    std::vector<RigJoint> joints(kBones);
    for (std::size_t j = 0; j < kBones; ++j) joints[j].order = int((j + 3) % 6);
    const MQuaternion down(-45 * kDeg, MVector(0, 0, 1)), up(45 * kDeg, MVector(0, 0, 1));
    for (std::size_t j = 6; j <= 12; ++j) {
        const bool left = j <= 8;
        const std::size_t shoulder = left ? 5 : 9;
        if (j == 9) continue;
        world[j] = world[shoulder] + (world[j] - world[shoulder]).rotateBy(left ? down : up);
    }
    Result r = retarget(rig(world, joints), "out.qmf");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto want = positions("walk.qmf"), got = positions("out.qmf");
    // Bones whose joint leads to one matched joint point as the source's do.
    const std::pair<const char*, const char*> bones[] = {
        {"LeftArm", "LeftForeArm"},   {"LeftForeArm", "LeftHand"}, {"RightArm", "RightForeArm"},
        {"RightForeArm", "RightHand"}, {"LeftUpLeg", "LeftLeg"},    {"LeftLeg", "LeftFoot"},
        {"Neck", "Head"},             {"RightLeg", "RightFoot"},   {"Head", "Head_end"}};
    for (std::size_t f = 0; f < want.size(); ++f)
        for (const auto& [from, to] : bones) {
            const MVector a = want[f].at(to) - want[f].at(from), b = got[f].at(to) - got[f].at(from);
            EXPECT_LT(degreesBetween(a, b), 1e-4) << from << " frame " << f;
        }
    // And back: the A-pose clip (it rests as the rig does) onto a T-pose rig.
    spit(path("trig.ma"), rig(restPositions(std::vector<double>(kBones, 1.0)), std::vector<RigJoint>(kBones)));
    r = run({"retarget", path("out.qmf"), path("trig.ma"), "-o", path("back.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto back = positions("back.qmf");
    for (std::size_t f = 0; f < want.size(); ++f)
        for (const auto& [from, to] : bones) {
            const MVector a = want[f].at(to) - want[f].at(from), b = back[f].at(to) - back[f].at(from);
            EXPECT_LT(degreesBetween(a, b), 1e-4) << "A onto T: " << from << " frame " << f;
        }
}

TEST_F(Retarget, DryRunPrintsTheMatchTableAcrossNamingSchemes) {
    std::string text = rig(restPositions(std::vector<double>(kBones, 1.0)), std::vector<RigJoint>(kBones));
    // Game-engine and Mixamo names on the rig.
    const std::pair<std::string, std::string> renames[] = {
        {"\"Hips\"", "\"pelvis\""}, {"\"LeftUpLeg\"", "\"thigh_l\""}, {"\"LeftLeg\"", "\"calf_l\""},
        {"\"RightArm\"", "\"mixamorig:RightArm\""}, {"\"Head_end\"", "\"tip\""}};
    for (const auto& [from, to] : renames)
        for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
    spit(path("rig.ma"), text);
    Result r = run({"retarget", path("walk.qmf"), path("rig.ma"), "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"Hips -> pelvis (body part: hips)\n", "LeftUpLeg -> thigh_l (body part: left_upleg)\n",
                             "LeftLeg -> calf_l (body part: left_leg)\n",
                             "RightArm -> mixamorig:RightArm (without namespace)\n", "Spine -> Spine (name)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    EXPECT_NE(r.out.find("unmatched in " + path("walk.qmf") + ": Head_end\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("unmatched in " + path("rig.ma") + ": tip\n"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(path("out.qmf")));
    // A map pairs the rest.
    spit(path("map.txt"), "Head_end tip\n");
    r = run({"retarget", path("walk.qmf"), path("rig.ma"), "--dry-run", "--map", path("map.txt")});
    EXPECT_NE(r.out.find("Head_end -> tip (map)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("unmatched in " + path("rig.ma") + ": none\n"), std::string::npos) << r.out;
}

TEST_F(Retarget, RefusalsAreOneLineAndWriteNothing) {
    spit(path("other.ma"), "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncreateNode joint -n \"alpha\";\n"
                           "createNode joint -n \"beta\" -p \"alpha\";\n\tsetAttr \".t\" -type \"double3\" 0 5 0;\n");
    spit(path("empty.ma"), "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncreateNode transform -n \"box\";\n");
    spit(path("bad.txt"), "Hips nowhere\n");
    spit(path("rig.ma"), rig(restPositions(std::vector<double>(kBones, 1.0)), std::vector<RigJoint>(kBones)));
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"retarget", path("walk.qmf"), path("other.ma"), "-o", path("out.qmf")},
         "qmf: no joint of " + path("walk.qmf") + " matches one of " + path("other.ma") +
             " (Hips, Spine, Neck, Head ...; alpha, beta); pair them with --map FILE"},
        {{"retarget", path("walk.qmf"), path("empty.ma"), "-o", path("out.qmf")},
         "qmf: " + path("empty.ma") + ": the scene has no joints"},
        {{"retarget", path("walk.qmf"), path("rig.ma"), "-o", path("out.qmf"), "--map", path("bad.txt")},
         "qmf: " + path("bad.txt") + ":1: the rig has no joint nowhere"},
        {{"retarget", path("walk.qmf"), path("rig.ma"), "-o", path("out.qmf"), "--scale", "0"},
         "qmf: retarget: --scale is auto or a number above 0, not '0'"},
        {{"retarget", path("walk.qmf"), path("rig.ma")}, "qmf: retarget: -o OUT.ma|OUT.qmf|OUT.bvh is needed (or --dry-run)"},
    };
    for (const auto& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(r.err, c.line + "\n");
        EXPECT_FALSE(fs::exists(path("out.qmf")));
    }
}

TEST_F(Retarget, ToAScenesAndCapturesTheRigKeysTheSameMotion) {
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    std::vector<RigJoint> joints(kBones);
    for (std::size_t j = 0; j < kBones; ++j) joints[j].orient[2] = 10.0 * double(j % 4);
    spit(path("rig.ma"), rig(world, joints));
    for (const char* out : {"out.qmf", "out.bvh", "out.ma"}) {
        Result r = run({"retarget", path("walk.bvh"), path("rig.ma"), "-o", path(out)});
        ASSERT_EQ(r.status, 0) << out << ": " << r.err;
    }
    // The scene bakes back to the clip, and the capture converts to it.
    ASSERT_EQ(run({"convert", path("out.ma"), path("baked.qmf"), "--frames", "0:23"}).status, 0);
    ASSERT_EQ(run({"convert", path("out.bvh"), path("fromBvh.qmf")}).status, 0);
    const auto want = positions("out.qmf");
    for (const char* other : {"baked.qmf", "fromBvh.qmf"}) {
        const auto got = positions(other);
        ASSERT_EQ(got.size(), want.size()) << other;
        for (std::size_t f = 0; f < want.size(); ++f)
            for (const auto& [name, p] : want[f])
                EXPECT_LT((got[f].at(name) - p).length(), 1e-4) << other << " " << name << " frame " << f;
    }
}


// Chains of other lengths: a rig with a joint more in the neck, and one
// with none, each chain's end turning as the source's does.
TEST_F(Retarget, TheEndsOfChainsOfOtherLengthsPointAsTheSourcesDo) {
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    // Longer: "NeckBase" between Spine and Neck, halfway up.
    std::vector<Bone> longer;
    std::vector<MVector> longerWorld;
    std::vector<int> index(kBones);
    for (std::size_t j = 0; j < kBones; ++j) {
        Bone b = kSkeleton[j];
        if (std::string(b.name) == "Neck") {
            longer.push_back({"NeckBase", index[1], {0, 0, 0}, false});
            longerWorld.push_back((world[1] + world[j]) * 0.5);
            b.parent = static_cast<int>(longer.size()) - 1;
        } else if (b.parent >= 0) {
            b.parent = index[static_cast<std::size_t>(b.parent)];
        }
        index[j] = static_cast<int>(longer.size());
        longer.push_back(b);
        longerWorld.push_back(world[j]);
    }
    // Shorter: no Neck, the Head straight on the Spine.
    std::vector<Bone> shorter;
    std::vector<MVector> shorterWorld;
    for (std::size_t j = 0; j < kBones; ++j) {
        Bone b = kSkeleton[j];
        if (std::string(b.name) == "Neck") {
            index[j] = index[1];
            continue;
        }
        if (b.parent >= 0) b.parent = index[static_cast<std::size_t>(b.parent)];
        index[j] = static_cast<int>(shorter.size());
        shorter.push_back(b);
        shorterWorld.push_back(world[j]);
    }
    const auto want = positions("walk.qmf");
    const struct {
        const char* label;
        const std::vector<Bone>& bones;
        const std::vector<MVector>& world;
    } rigs[] = {{"longer", longer, longerWorld}, {"shorter", shorter, shorterWorld}};
    for (const auto& c : rigs) {
        SCOPED_TRACE(c.label);
        Result r = retarget(rig(c.world, std::vector<RigJoint>(c.bones.size()), c.bones), "out.qmf");
        ASSERT_EQ(r.status, 0) << r.err;
        const auto got = positions("out.qmf");
        for (std::size_t f = 0; f < want.size(); ++f) {
            const MVector a = want[f].at("Head_end") - want[f].at("Head"), b = got[f].at("Head_end") - got[f].at("Head");
            EXPECT_LT(degreesBetween(a, b), 1e-4) << "frame " << f;
        }
        if (std::string(c.label) != "longer") continue;
        // The source neck's turn is shared evenly by NeckBase and Neck.
        auto turns = [this](const std::string& clip, const std::string& joint) {
            const json j = infoJson(path(clip));
            std::size_t id = 0;
            for (; id < j["skeletons"][0]["joints"].size(); ++id)
                if (j["skeletons"][0]["joints"][id]["name"] == joint) break;
            std::vector<double> angles;
            for (const json& o : j["figures"][0]["orientations"])
                if (o["joint"] == id)
                    for (const json& k : o["keys"]) angles.push_back(2 * std::acos(std::min(1.0, std::fabs(k[1].get<double>()))));
            return angles;
        };
        const auto source = turns("walk.qmf", "Neck"), base = turns("out.qmf", "NeckBase"), neck = turns("out.qmf", "Neck");
        ASSERT_EQ(base.size(), source.size());
        ASSERT_EQ(neck.size(), source.size());
        for (std::size_t f = 0; f < source.size(); ++f) {
            EXPECT_NEAR(base[f], source[f] / 2, 1e-5) << "frame " << f;
            EXPECT_NEAR(neck[f], source[f] / 2, 1e-5) << "frame " << f;
        }
    }
}


// --source-rest F: the source's frame F is its rest, so on frame F the rig
// stands in its rest with its bones swung onto that frame's; --frames A:B
// makes the result's frame i the source's A + i.
TEST_F(Retarget, ASourceFrameAsRestAndAFrameRange) {
    const std::vector<MVector> world = restPositions(std::vector<double>(kBones, 1.0));
    spit(path("rig.ma"), rig(world, std::vector<RigJoint>(kBones)));
    Result r = run({"retarget", path("walk.qmf"), path("rig.ma"), "-o", path("rest5.qmf"), "--source-rest", "5",
                    "--frames", "2:9"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto want = positions("walk.qmf"), got = positions("rest5.qmf");
    ASSERT_EQ(got.size(), 8u);
    const std::pair<const char*, const char*> bones[] = {
        {"LeftArm", "LeftForeArm"}, {"LeftForeArm", "LeftHand"}, {"LeftUpLeg", "LeftLeg"}, {"Neck", "Head"}};
    for (std::size_t i = 0; i < got.size(); ++i)
        for (const auto& [from, to] : bones) {
            const MVector a = want[2 + i].at(to) - want[2 + i].at(from), b = got[i].at(to) - got[i].at(from);
            EXPECT_LT(degreesBetween(a, b), 1e-4) << from << " result frame " << i;
        }
    r = run({"retarget", path("walk.qmf"), path("rig.ma"), "-o", path("x.qmf"), "--source-rest", "24"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: --source-rest 24 is past the last frame of the source (23)\n");
}

}  // namespace
}  // namespace clitest
