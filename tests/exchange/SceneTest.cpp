// From a scene of the assimp library to the skeleton and take qmf reads:
// scenes made by hand with what real files hold.
#include "SceneBuilder.h"

#include "formats/assimp/AssimpScene.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace exchangetest;
using qmf::formats::assimp::fromScene;
using qmf::formats::assimp::Imported;
using qmf::formats::assimp::ImportedError;
using qmf::formats::assimp::Kind;
using qmf::formats::assimp::SceneOptions;

namespace {

const V3 kY{0, 1, 0}, kX{1, 0, 0}, kZ{0, 0, 1};

// Root "Hips" with a two-joint leg below and a mesh beside it.
ScenePlan leg() {
    ScenePlan s;
    s.nodes = {{"Scene"}, {"Hips", 0, {0, 90, 0}}, {"Knee", 1, {0, -45, 0}}, {"Foot", 2, {0, -40, 5}}, {"Body", 0, {}, {1, 0, 0, 0}, {1, 1, 1}, true}};
    s.bones = {"Hips", "Knee"};
    return s;
}

Imported read(const ScenePlan& plan, SceneOptions o = {}) {
    auto scene = build(plan);
    return fromScene(*scene, o);
}

// Joint j's rotation on frame f as (w, x, y, z).
Q4 rotation(const Imported& m, uint32_t f, int j) {
    const float* q = &m.rotations[(std::size_t(f) * m.joints.size() + static_cast<std::size_t>(j)) * 4];
    return {q[3], q[0], q[1], q[2]};
}

// The angle of b's turn from a, in degrees, exact for small ones.
double angleBetween(const Q4& a, const Q4& b) {
    // The vector part of conj(a) * b.
    const double x = a[0] * b[1] - a[1] * b[0] - a[2] * b[3] + a[3] * b[2];
    const double y = a[0] * b[2] + a[1] * b[3] - a[2] * b[0] - a[3] * b[1];
    const double z = a[0] * b[3] - a[1] * b[2] + a[2] * b[1] - a[3] * b[0];
    return 2 * std::asin(std::min(1.0, std::sqrt(x * x + y * y + z * z))) * 180 / 3.14159265358979323846;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

}  // namespace

TEST(Skeleton, BonesWithTheirAncestorsAndTheChainsBelowThemMeshesLeftOut) {
    const Imported m = read(leg());
    ASSERT_EQ(m.joints.size(), 3u);
    EXPECT_EQ(m.joints[0].name, "Hips");
    EXPECT_EQ(m.joints[1].name, "Knee");
    EXPECT_EQ(m.joints[2].name, "Foot");  // not a bone, but the end of the leg
    EXPECT_EQ(m.joints[2].parent, 1);
    EXPECT_EQ(m.joints[2].offset, (std::array<double, 3>{0, -40, 5}));
    EXPECT_EQ(m.frames, 1u) << "no take: the rest pose";
}

TEST(Skeleton, WithoutBonesTheAnimatedNodesAndWithoutEitherARefusal) {
    ScenePlan s = leg();
    s.bones.clear();
    s.nodes[4].mesh = false;
    try {
        read(s);
        ADD_FAILURE() << "read";
    } catch (const ImportedError& e) {
        EXPECT_EQ(e.what, "the file has no skeleton: no mesh names bones and no node is animated");
    }
    s.takes = {{"walk", 30, {{"Knee", {{0, turn(0, kX)}, {1, turn(10, kX)}}, {}, {}}}}};
    const Imported m = read(s);
    // Knee moves; the container above it (Hips, unanimated) is folded away.
    ASSERT_EQ(m.joints.size(), 2u);
    EXPECT_EQ(m.joints[0].name, "Knee");
    EXPECT_NEAR(m.joints[0].offset[1], 45, 1e-9);
}

TEST(Skeleton, AContainerAboveTheRootIsFoldedScaleAndTurnIncluded) {
    // Blender's armature: scale 100, a quarter turn about X (Z up to Y up).
    ScenePlan s;
    s.nodes = {{"RootNode"}, {"Armature", 0, {0, 0, 0}, turn(-90, kX), {100, 100, 100}}, {"Hips", 1, {0, 0, 0.9}},
               {"Spine", 2, {0, 0.1, 0}}};
    s.bones = {"Hips", "Spine"};
    s.takes = {{"t", 24, {{"Hips", {{0, turn(0, kZ)}}, {{0, {0, 0, 0.9}}}, {}}}}};
    const Imported m = read(s);
    ASSERT_EQ(m.joints.size(), 2u);
    EXPECT_EQ(m.joints[0].name, "Hips");
    EXPECT_NEAR(m.joints[0].offset[1], 90, 1e-4) << "0.9 up in Z, times 100, is 90 up in Y";
    EXPECT_NEAR(m.joints[1].offset[1], 10, 1e-4) << "offsets below take the scale above";
    EXPECT_NEAR(m.rootPosition[1], 90, 1e-4);
    EXPECT_NEAR(angleBetween(rotation(m, 0, 0), turn(-90, kX)), 0, 1e-3);
}

TEST(Skeleton, NamesAreMadeUniqueAndTheMeshNamedLikeABoneIsNotIt) {
    ScenePlan s;
    s.nodes = {{"Scene"}, {"Hips", 0, {0, 1, 0}}, {"", 1, {1, 0, 0}}, {"Arm", 1, {2, 0, 0}}, {"Arm", 1, {-2, 0, 0}},
               {"Hips", 0, {}, {1, 0, 0, 0}, {1, 1, 1}, true}};
    s.bones = {"Hips", "Arm"};
    const Imported m = read(s);
    std::vector<std::string> names;
    for (const auto& j : m.joints) names.push_back(j.name);
    // The unnamed node ends a chain below a bone: a joint, named by its place.
    EXPECT_EQ(names, (std::vector<std::string>{"Hips", "joint1", "Arm", "Arm_2"}));
    EXPECT_NE(joined(m.warnings).find("joints sharing a name are told apart by a number: Arm"), std::string::npos)
        << joined(m.warnings);
    EXPECT_EQ(m.joints[0].offset[1], 1) << "the bone, not the mesh node of its name";
}

TEST(Skeleton, OfTwoCopiesTheLargerIsReadAndTheOtherNamed) {
    ScenePlan s;
    s.nodes = {{"Scene"}, {"A:Hips", 0}, {"A:Spine", 1}, {"B:Hips", 0}, {"B:Spine", 3}, {"B:Head", 4}};
    s.bones = {"A:Hips", "A:Spine", "B:Hips", "B:Spine", "B:Head"};
    const Imported m = read(s);
    ASSERT_EQ(m.joints.size(), 3u);
    EXPECT_EQ(m.joints[0].name, "B:Hips");
    EXPECT_NE(joined(m.warnings).find("more than one skeleton; the largest is read, not A:Hips"), std::string::npos);
}

TEST(Units, EachFormatsUnitAndUpAxisAreAppliedAndSaid) {
    const struct {
        Kind kind;
        std::vector<std::pair<std::string, double>> metadata;
        double height;        // the root's height in cm, from 0.9 file units up the file's up axis
        const char* notes;    // as one line joins them
    } cases[] = {
        {Kind::Fbx, {}, 0.9, ""},
        {Kind::Fbx, {{"UnitScaleFactor", 100}}, 90, "metres → cm (×100)"},
        {Kind::Fbx, {{"UnitScaleFactor", 2.54}, {"UpAxis", 2}}, 0.9 * 2.54, "in → cm (×2.54), Z-up → Y-up"},
        {Kind::Gltf, {}, 90, "metres → cm (×100)"},
        {Kind::Other, {}, 0.9 * 30.48, ""},
    };
    for (const auto& c : cases) {
        const bool zUp = c.notes && std::string(c.notes).find("Z-up") != std::string::npos;
        ScenePlan s;
        s.nodes = {{"Scene"}, {"Hips", 0, zUp ? V3{0, 0, 0.9} : V3{0, 0.9, 0}}, {"Head", 1, zUp ? V3{0, 0, 0.5} : V3{0, 0.5, 0}}};
        s.bones = {"Hips", "Head"};
        s.metadata = c.metadata;
        SceneOptions o;
        o.kind = c.kind;
        o.unitToCm = 30.48;
        const Imported m = read(s, o);
        std::string notes;
        for (const auto& n : m.notes) notes += (notes.empty() ? "" : ", ") + n;
        EXPECT_EQ(notes, c.notes);
        EXPECT_NEAR(m.joints[0].offset[1], c.height, 1e-5 * c.height) << c.notes;
        EXPECT_NEAR(std::fabs(m.joints[0].offset[2]), 0, 1e-5) << c.notes;
        // The head above the hips stays above them: the turn is the root's.
        if (zUp) {
            EXPECT_NEAR(angleBetween(rotation(m, 0, 0), turn(-90, kX)), 0, 1e-3);
        }
    }
}

TEST(Takes, KeysOnAGridAreTheFramesAndTheRateIsTheOneTheyWereRoundedFrom) {
    // 30 fps keys in milliseconds, rounded as Collada exporters write them.
    ScenePlan s = leg();
    ChannelPlan knee{"Knee", {}, {}, {}};
    for (int f = 0; f <= 31; ++f) knee.rot.push_back({std::round(f * 33.333 * 1000) / 1000, turn(f, kX)});
    s.takes = {{"walk", 1000, {knee}}};
    const Imported m = read(s);
    EXPECT_EQ(m.frames, 32u);
    EXPECT_DOUBLE_EQ(m.frameTime, 1.0 / 30);
    for (uint32_t f = 0; f < m.frames; ++f) EXPECT_NEAR(angleBetween(rotation(m, f, 1), turn(f, kX)), 0, 1e-3) << f;
    EXPECT_TRUE(m.notes.empty());
}

TEST(Takes, ALongTakeInFloatMillisecondsKeepsItsGrid) {
    // As glTF's float seconds reach the library: in float milliseconds, whose
    // rounding near the end of 14 minutes is most of a hundredth of a frame.
    ScenePlan s = leg();
    ChannelPlan knee{"Knee", {}, {}, {}};
    const int frames = 100000;
    for (int f = 0; f < frames; ++f)
        knee.rot.push_back({static_cast<float>(static_cast<float>(f / 120.0) * 1000.0f), turn(f % 360, kX)});
    s.takes = {{"long", 1000, {knee}}};
    const Imported m = read(s);
    EXPECT_EQ(m.frames, static_cast<uint32_t>(frames));
    EXPECT_DOUBLE_EQ(m.frameTime, 1.0 / 120);
    EXPECT_TRUE(m.notes.empty()) << m.notes.front();
    for (uint32_t f : {1u, 50000u, 99998u, 99999u}) EXPECT_NEAR(angleBetween(rotation(m, f, 1), turn(f % 360, kX)), 0, 1e-4) << f;
}

TEST(Takes, KeysOffAGridAreSampledAtTheRateSlerpedAndHeldAtTheEnds) {
    ScenePlan s = leg();
    // Keys at 0, 0.1 and 0.25 s: no grid holds them.
    s.takes = {{"jump", 100, {{"Knee", {{0, turn(0, kY)}, {10, turn(90, kY)}, {25, turn(90, kY)}}, {}, {}}}}};
    for (const double rate : {0.0, 40.0}) {
        SceneOptions o;
        o.rate = rate;
        const Imported m = read(s, o);
        const double used = rate > 0 ? rate : 30;
        EXPECT_EQ(m.frames, static_cast<uint32_t>(std::ceil(0.25 * used - 1e-9)) + 1) << rate;
        EXPECT_DOUBLE_EQ(m.frameTime, 1 / used);
        for (uint32_t f = 0; f < m.frames; ++f) {
            const double t = f / used;
            const double expected = t >= 0.1 ? 90 : 900 * t;
            EXPECT_NEAR(angleBetween(rotation(m, f, 1), turn(expected, kY)), 0, 1e-3) << rate << " frame " << f;
        }
        EXPECT_EQ(m.notes, std::vector<std::string>{"keys sampled at " + std::string(rate > 0 ? "40" : "30") + " fps"});
    }
}

TEST(Takes, ChosenByNameNumberOrTheNameAfterTheBarTheFirstWithKeysByDefault) {
    ScenePlan s = leg();
    const auto take = [](const std::string& name, double start, double degrees) {
        return TakePlan{name, 10, {{"Knee", {{start, turn(degrees, kX)}, {start + 1, turn(degrees, kX)}}, {}, {}}}};
    };
    s.takes = {{"empty", 10, {}}, take("Armature|Walk", 0, 10), take("Run", 50, 20), take("Armature|Run", 0, 30)};
    const struct {
        const char* asked;
        int take;
        double degrees;
    } cases[] = {{"", 1, 10}, {"Walk", 1, 10}, {"Run", 2, 20}, {"4", 3, 30}, {"Armature|Run", 3, 30}};
    for (const auto& c : cases) {
        SceneOptions o;
        o.take = c.asked;
        const Imported m = read(s, o);
        EXPECT_EQ(m.take, c.take) << c.asked;
        ASSERT_EQ(m.frames, 2u) << c.asked << ": a take starting after 0 starts at its first key";
        EXPECT_NEAR(angleBetween(rotation(m, 0, 1), turn(c.degrees, kX)), 0, 1e-3) << c.asked;
    }
    ASSERT_EQ(read(s).takes.size(), 4u);
    EXPECT_EQ(read(s).takes[0].frames, 0u);
    SceneOptions o;
    o.take = "Swim";
    try {
        read(s, o);
        ADD_FAILURE();
    } catch (const ImportedError& e) {
        EXPECT_EQ(e.what, "--take Swim: no such take; the file holds 1 empty, 2 Armature|Walk, 3 Run, 4 Armature|Run");
    }
    o.take = "empty";
    const Imported rest = read(s, o);
    EXPECT_EQ(rest.frames, 1u);
    EXPECT_NE(joined(rest.warnings).find("take 'empty' has no keys; the rest pose is read"), std::string::npos);
}

TEST(Takes, WhatAClipCannotHoldIsNamedOnceAndHeldKeysAreNot) {
    ScenePlan s = leg();
    s.takes = {{"t", 10, {
        {"Hips", {}, {{0, {0, 90, 0}}, {1, {5, 90, 0}}}, {}},
        {"Knee", {}, {{0, {0, -45, 0}}, {1, {0, -45, 0}}}, {{0, {1, 1, 1}}, {1, {1, 1, 1}}}},  // held at rest: nothing to say
        {"Foot", {}, {{0, {0, -40, 5}}, {1, {0, -30, 5}}}, {{0, {1, 1, 1}}, {1, {2, 2, 2}}}},
    }}};
    const Imported m = read(s);
    const std::string w = joined(m.warnings);
    EXPECT_EQ(m.warnings.size(), 2u) << w;
    EXPECT_NE(w.find("a clip moves only its root; the position keys of Foot are not read (--root Foot keeps its motion)"), std::string::npos) << w;
    EXPECT_NE(w.find("a clip does not scale joints; the scale keys of Foot are not read"), std::string::npos) << w;
    EXPECT_NEAR(m.rootPosition[3], 5, 1e-6) << "the root's position keys are its translation";
}

TEST(Takes, ATakeTooLongToHoldIsRefusedBeforeAnythingIsMade) {
    ScenePlan s = leg();
    s.takes = {{"t", 1, {{"Knee", {{0, turn(0, kX)}, {0.5, turn(1, kX)}, {1e9, turn(2, kX)}}, {}, {}}}}};
    try {
        read(s);
        ADD_FAILURE();
    } catch (const ImportedError& e) {
        EXPECT_NE(e.what.find("take 't' lasts 1e+09 s"), std::string::npos) << e.what;
        EXPECT_NE(e.what.find("more than qmf reads (--rate sets fewer)"), std::string::npos) << e.what;
    }
}
