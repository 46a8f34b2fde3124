// What the retarget tests share: a generated humanoid capture (T-pose
// rest, every rotation order, angles past +-180 degrees and gimbal-lock
// frames), rigs written for its joints, and the world positions of clips.
#pragma once

#include "CliFixture.h"

#include "motion/Motion.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace clitest {

inline constexpr int kFrames = 24;
inline constexpr double kDeg = 3.14159265358979323846 / 180.0;

struct Bone {
    const char* name;
    int parent;
    double offset[3];   // cm, from the parent, in the T-pose rest
    bool end;           // a BVH End Site
};

// CMU names; the ends are the BVH reader's <parent>_end.
inline const Bone kSkeleton[] = {
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
inline constexpr std::size_t kBones = sizeof kSkeleton / sizeof kSkeleton[0];

inline const char* const kOrders[] = {"Zrotation Xrotation Yrotation", "Xrotation Yrotation Zrotation",
                               "Yrotation Zrotation Xrotation", "Xrotation Zrotation Yrotation",
                               "Yrotation Xrotation Zrotation", "Zrotation Yrotation Xrotation"};

inline std::string capture() {
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

inline std::vector<Bone> skeleton() { return std::vector<Bone>(kSkeleton, kSkeleton + kBones); }

inline std::string rig(const std::vector<MVector>& world, const std::vector<RigJoint>& joints,
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
inline std::vector<MVector> restPositions(const std::vector<double>& factor) {
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

// The angle in degrees between two directions.
inline double degreesBetween(const MVector& a, const MVector& b) {
    const double c = std::max(-1.0, std::min(1.0, a.normal() * b.normal()));
    return std::acos(c) / kDeg;
}

}  // namespace clitest
