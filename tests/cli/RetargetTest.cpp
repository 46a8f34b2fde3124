// qmf retarget: a generated humanoid capture (T-pose rest, every rotation
// order, angles past +-180 degrees and gimbal-lock frames) onto rigs the
// tests write: itself, the same skeleton with other joint orients and rest
// rotations, a scaled copy, and an A-pose rig of other proportions.
#include "CliFixture.h"

#include "motion/Motion.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <cmath>
#include <sstream>

namespace clitest {
namespace {

constexpr int kFrames = 24;
constexpr double kDeg = 3.14159265358979323846 / 180.0;

struct Bone {
    const char* name;
    int parent;
    double offset[3];   // cm, from the parent, in the T-pose rest
    bool end;           // a BVH End Site
};

// CMU names; the ends are the BVH reader's <parent>_end.
const Bone kSkeleton[] = {
    {"Hips", -1, {0, 90, 0}, false},         {"Spine", 0, {0, 10, 0}, false},
    {"Neck", 1, {0, 40, 0}, false},          {"Head", 2, {0, 10, 0}, false},
    {"Head_end", 3, {0, 8, 0}, true},        {"LeftArm", 1, {15, 35, 0}, false},
    {"LeftForeArm", 5, {25, 0, 0}, false},   {"LeftHand", 6, {25, 0, 0}, false},
    {"LeftHand_end", 7, {10, 0, 0}, true},   {"RightArm", 1, {-15, 35, 0}, false},
    {"RightForeArm", 9, {-25, 0, 0}, false}, {"RightHand", 10, {-25, 0, 0}, false},
    {"RightHand_end", 11, {-10, 0, 0}, true}, {"LeftUpLeg", 0, {10, -5, 0}, false},
    {"LeftLeg", 13, {0, -40, 0}, false},     {"LeftFoot", 14, {0, -40, 0}, false},
    {"LeftFoot_end", 15, {0, -5, 10}, true}, {"RightUpLeg", 0, {-10, -5, 0}, false},
    {"RightLeg", 17, {0, -40, 0}, false},    {"RightFoot", 18, {0, -40, 0}, false},
    {"RightFoot_end", 19, {0, -5, 10}, true},
};
constexpr std::size_t kBones = sizeof kSkeleton / sizeof kSkeleton[0];

const char* const kOrders[] = {"Zrotation Xrotation Yrotation", "Xrotation Yrotation Zrotation",
                               "Yrotation Zrotation Xrotation", "Xrotation Zrotation Yrotation",
                               "Yrotation Xrotation Zrotation", "Zrotation Yrotation Xrotation"};

std::string capture() {
    std::ostringstream t;
    t.precision(17);
    std::vector<int> open;
    t << "HIERARCHY\n";
    for (std::size_t j = 0; j < kBones; ++j) {
        const Bone& b = kSkeleton[j];
        while (!open.empty() && open.back() != b.parent) {
            t << "}\n";
            open.pop_back();
        }
        t << (b.end ? "End Site" : b.parent < 0 ? std::string("ROOT ") + b.name : std::string("JOINT ") + b.name) << "\n{\n";
        t << "OFFSET " << b.offset[0] << " " << b.offset[1] << " " << b.offset[2] << "\n";
        if (!b.end)
            t << "CHANNELS " << (b.parent < 0 ? "6 Xposition Yposition Zposition " : "3 ") << kOrders[j % 6] << "\n";
        open.push_back(static_cast<int>(j));
    }
    while (!open.empty()) {
        t << "}\n";
        open.pop_back();
    }
    t << "MOTION\nFrames: " << kFrames << "\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < kFrames; ++f) {
        t << 2.0 * f << " " << 90 + 3 * std::sin(0.4 * f) << " " << -1.5 * f;
        for (std::size_t j = 0; j < kBones; ++j) {
            if (kSkeleton[j].end) continue;
            const double a = 35 * std::sin(0.3 * f + double(j)), c = 190 - 17.0 * f + double(j);
            // The middle angle of the order at +-90 now and then: gimbal lock.
            const double b = (f + int(j)) % 7 == 0 ? (j % 2 ? 90.0 : -90.0) : 25 * std::cos(0.2 * f * double(j));
            t << " " << a << " " << b << " " << c;
        }
        t << "\n";
    }
    return t.str();
}

// A rig of the same joints as Maya ASCII: each joint's rest rotation
// (degrees, in its order) and joint orient, placed so that the joints stand
// at the given world rest positions.
struct RigJoint {
    double rotate[3] = {0, 0, 0};
    int order = 0;
    double orient[3] = {0, 0, 0};
};

std::vector<Bone> skeleton() { return std::vector<Bone>(kSkeleton, kSkeleton + kBones); }

std::string rig(const std::vector<MVector>& world, const std::vector<RigJoint>& joints,
                const std::vector<Bone>& bones = skeleton()) {
    std::ostringstream t;
    t.precision(17);
    t << "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t ntsc;\n";
    std::vector<MQuaternion> worldRotation(bones.size());
    for (std::size_t j = 0; j < bones.size(); ++j) {
        const Bone& b = bones[j];
        const RigJoint& r = joints[j];
        const MQuaternion local =
            MEulerRotation(r.rotate[0] * kDeg, r.rotate[1] * kDeg, r.rotate[2] * kDeg,
                           static_cast<MEulerRotation::RotationOrder>(r.order)).asQuaternion() *
            MEulerRotation(r.orient[0] * kDeg, r.orient[1] * kDeg, r.orient[2] * kDeg).asQuaternion();
        MVector at = world[j];
        if (b.parent >= 0) {
            const auto p = static_cast<std::size_t>(b.parent);
            at = (world[j] - world[p]).rotateBy(worldRotation[p].conjugate());
            worldRotation[j] = local * worldRotation[p];
        } else {
            worldRotation[j] = local;
        }
        t << "createNode joint -n \"" << b.name << "\"";
        if (b.parent >= 0) t << " -p \"" << bones[static_cast<std::size_t>(b.parent)].name << "\"";
        t << ";\n\tsetAttr \".t\" -type \"double3\" " << at.x << " " << at.y << " " << at.z << ";\n";
        t << "\tsetAttr \".r\" -type \"double3\" " << r.rotate[0] << " " << r.rotate[1] << " " << r.rotate[2] << ";\n";
        t << "\tsetAttr \".ro\" " << r.order << ";\n";
        t << "\tsetAttr \".jo\" -type \"double3\" " << r.orient[0] << " " << r.orient[1] << " " << r.orient[2] << ";\n";
    }
    t << "createNode script -n \"sceneConfigurationScriptNode\";\n"
         "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 24 -ast 1 -aet 24 \";\n";
    return t.str();
}

// World rest positions of the capture's T-pose, each length times its
// factor (by joint).
std::vector<MVector> restPositions(const std::vector<double>& factor) {
    std::vector<MVector> p(kBones);
    for (std::size_t j = 0; j < kBones; ++j) {
        const Bone& b = kSkeleton[j];
        const MVector o = MVector(b.offset[0], b.offset[1], b.offset[2]) * factor[j];
        p[j] = b.parent < 0 ? o : p[static_cast<std::size_t>(b.parent)] + o;
    }
    return p;
}

class Retarget : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        spit(path("walk.bvh"), capture());
        ASSERT_EQ(run({"convert", path("walk.bvh"), path("walk.qmf")}).status, 0);
    }

    // Every frame's world positions of a clip, by joint name.
    std::vector<std::map<std::string, MVector>> positions(const std::string& clip) {
        std::ostringstream warn;
        const qmf::motion::Motion m = qmf::motion::loadMotion(path(clip), qmf::motion::LoadOptions{}, warn);
        std::vector<std::map<std::string, MVector>> out(m.frames);
        for (uint32_t f = 0; f < m.frames; ++f) {
            const auto p = qmf::motion::worldPositions(m, f);
            for (std::size_t j = 0; j < p.size(); ++j) out[f][m.joints[j].name] = MVector(p[j][0], p[j][1], p[j][2]);
        }
        return out;
    }

    Result retarget(const std::string& rigText, const std::string& out, std::vector<std::string> more = {}) {
        spit(path("rig.ma"), rigText);
        std::vector<std::string> args{"retarget", path("walk.qmf"), path("rig.ma"), "-o", path(out)};
        args.insert(args.end(), more.begin(), more.end());
        return run(args);
    }
};

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

// The angle in degrees between two directions.
double degreesBetween(const MVector& a, const MVector& b) {
    const double c = std::max(-1.0, std::min(1.0, a.normal() * b.normal()));
    return std::acos(c) / kDeg;
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

}  // namespace
}  // namespace clitest

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

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

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

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

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

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

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

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

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

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

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

namespace clitest {
namespace {

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
