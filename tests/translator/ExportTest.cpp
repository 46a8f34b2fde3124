// The export run against the recording library: which library calls the
// scene's joints turn into, with which values, and what a failure prints.
#include <cmath>
#include <functional>
#include <sstream>

#include "TranslatorFixture.h"
#include "interfaces/AnimLibrary.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Pair;

namespace {

using Code = MStatus::MStatusCode;

const char* const kConvertFailed = "Failure converting Maya scene graph to Movantis animation";
const char* const kWriteFailed = "Failure writing Movantis file";

class ExportTest : public TranslatorTest
{
protected:
    // hip -> spine -> head, as in a typical character.
    void buildChain()
    {
        const double s = std::sqrt(0.5);
        hip = joint("hip", MObject::kNullObj, MVector(0, 90, 0));
        spine = joint("spine", hip, MVector(100, 200, 300));
        head = joint("head", spine, MVector(0, 0, 250));
        // The spine turns a quarter about X and is oriented a quarter about Y.
        MFnIkJoint spineFn(spine);
        spineFn.setRotation(MQuaternion(s, 0, 0, s), MSpace::kTransform);
        spineFn.setOrientation(MQuaternion(0, s, 0, s));
    }

    MObject hip, spine, head;
};

void expectCoord(const coord3& actual, float x, float y, float z)
{
    EXPECT_EQ(actual.x, x);
    EXPECT_EQ(actual.y, y);
    EXPECT_EQ(actual.z, z);
    // A negated zero stays negated: the library receives exactly this.
    EXPECT_EQ(std::signbit(actual.z), std::signbit(z));
}

TEST_F(ExportTest, TypicalChainBecomesOneSkeletonSavedAtThePath)
{
    buildChain();
    qmfhost::PerrorCapture capture;

    EXPECT_EQ(exportTo("/anim/walk.qmf").statusCode(), MStatus::kSuccess);
    EXPECT_TRUE(capture.lines().empty());

    EXPECT_THAT(kell().names(),
                ElementsAre("anm_animation_create_f", "skl_skeleton_skel_create_f",
                            // hip: root, sphere towards its child, bone to spine
                            "skl_skeleton_joint_create_f", "skl_skeleton_root_set",
                            "skl_skeleton_joint_orientation_set", "pob_part_object_obj_create_f",
                            "pob_part_object_sphere_add", "pob_part_object_bone_add",
                            "skl_skeleton_part_object_attach_f", "pob_part_object_bounds_calc",
                            // spine: parent, offset, bone to head
                            "skl_skeleton_joint_create_f", "skl_skeleton_parent_set",
                            "skl_skeleton_offset_set", "skl_skeleton_joint_orientation_set",
                            "pob_part_object_obj_create_f", "pob_part_object_bone_add",
                            "skl_skeleton_part_object_attach_f", "pob_part_object_bounds_calc",
                            // head: a leaf
                            "skl_skeleton_joint_create_f", "skl_skeleton_parent_set",
                            "skl_skeleton_offset_set", "skl_skeleton_joint_orientation_set",
                            "pob_part_object_obj_create_f", "pob_part_object_sphere_add",
                            "skl_skeleton_part_object_attach_f", "pob_part_object_bounds_calc",
                            "skl_skeleton_skel_completed_f", "anm_animation_figure_add_f",
                            "fm_path_name_to_file_id_f", "anm_animation_save_as_f",
                            "anm_animation_dispose"));

    const void* animation = kell().call("anm_animation_create_f").handleResult();
    const auto& skelCreate = kell().call("skl_skeleton_skel_create_f");
    const void* skeleton = skelCreate.handleResult();
    // Named after the walk's root, the world, which a joint set cannot name.
    EXPECT_EQ(skelCreate.text(0), "");

    const SKL_JOINT_ID hipId = kell().createdJoint("hip");
    const SKL_JOINT_ID spineId = kell().createdJoint("spine");
    const SKL_JOINT_ID headId = kell().createdJoint("head");
    for (const auto& c : kell().callsTo("skl_skeleton_joint_create_f"))
        EXPECT_EQ(c.handle(0), skeleton);

    // hip is the root and has no offset.
    EXPECT_EQ(kell().call("skl_skeleton_root_set").integer(1), hipId);
    EXPECT_EQ(kell().count("skl_skeleton_root_set"), 1u);

    const auto spineCalls = callsFor("spine");
    EXPECT_EQ(spineCalls.to("skl_skeleton_parent_set").at(0).integer(1), spineId);
    EXPECT_EQ(spineCalls.to("skl_skeleton_parent_set").at(0).integer(2), hipId);
    expectCoord(spineCalls.to("skl_skeleton_offset_set").at(0).vector(2), 1.0f, 2.0f, -3.0f);

    const auto headCalls = callsFor("head");
    EXPECT_EQ(headCalls.to("skl_skeleton_parent_set").at(0).integer(1), headId);
    EXPECT_EQ(headCalls.to("skl_skeleton_parent_set").at(0).integer(2), spineId);
    expectCoord(headCalls.to("skl_skeleton_offset_set").at(0).vector(2), 0.0f, 0.0f, -2.5f);

    // Every joint gets an orientation: identity for hip and head, R * O for spine.
    const quaternion identity{-1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(callsFor("hip").to("skl_skeleton_joint_orientation_set").at(0).rotation(2), identity);
    EXPECT_EQ(headCalls.to("skl_skeleton_joint_orientation_set").at(0).rotation(2), identity);
    const quaternion spineRotation =
        spineCalls.to("skl_skeleton_joint_orientation_set").at(0).rotation(2);
    EXPECT_NEAR(spineRotation.f0, -0.5f, 1e-6);
    EXPECT_NEAR(spineRotation.f1, 0.5f, 1e-6);
    EXPECT_NEAR(spineRotation.f2, 0.5f, 1e-6);
    EXPECT_NEAR(spineRotation.f3, 0.5f, 1e-6);

    // Body volumes: hip's root sphere is a third of its longest child offset.
    const double spineLength = std::sqrt(14.0);
    const auto hipCalls = callsFor("hip");
    EXPECT_EQ(hipCalls.to("pob_part_object_sphere_add").at(0).real(1),
              static_cast<float>(spineLength * (1.0 / 3.0)));
    const auto hipBone = hipCalls.to("pob_part_object_bone_add").at(0);
    EXPECT_EQ(hipBone.real(1), static_cast<float>(spineLength));
    EXPECT_FLOAT_EQ(hipBone.vector(2).x, static_cast<float>(1 / spineLength));
    EXPECT_FLOAT_EQ(hipBone.vector(2).y, static_cast<float>(2 / spineLength));
    EXPECT_FLOAT_EQ(hipBone.vector(2).z, -static_cast<float>(3 / spineLength));
    const auto spineBone = spineCalls.to("pob_part_object_bone_add").at(0);
    EXPECT_EQ(spineBone.real(1), 2.5f);
    expectCoord(spineBone.vector(2), 0.0f, 0.0f, -1.0f);
    EXPECT_EQ(headCalls.to("pob_part_object_sphere_add").at(0).real(1), 0.25f);

    // Each part object is attached to its own joint, then bounded.
    for (const char* name : {"hip", "spine", "head"}) {
        const auto calls = callsFor(name);
        const void* part = calls.to("pob_part_object_obj_create_f").at(0).handleResult();
        const auto attach = calls.to("skl_skeleton_part_object_attach_f").at(0);
        EXPECT_EQ(attach.handle(0), skeleton);
        EXPECT_EQ(attach.integer(1), kell().createdJoint(name));
        EXPECT_EQ(attach.handle(2), part);
        EXPECT_EQ(calls.to("pob_part_object_bounds_calc").at(0).handle(0), part);
        for (const auto& c : calls.to("pob_part_object_sphere_add"))
            EXPECT_EQ(c.integer(2), 0);
    }

    const auto& completed = kell().call("skl_skeleton_skel_completed_f");
    EXPECT_EQ(completed.handle(0), skeleton);
    EXPECT_EQ(completed.text(1), "");

    const auto& figureAdd = kell().call("anm_animation_figure_add_f");
    EXPECT_EQ(figureAdd.handle(0), animation);
    EXPECT_EQ(figureAdd.handle(1), skeleton);
    EXPECT_EQ(figureAdd.integer(2), 0);

    EXPECT_EQ(kell().call("fm_path_name_to_file_id_f").text(0), "/anim/walk.qmf");
    const auto& save = kell().call("anm_animation_save_as_f");
    EXPECT_EQ(save.handle(0), animation);
    EXPECT_EQ(save.text(1), "/anim/walk.qmf");
    EXPECT_EQ(save.integer(2), 0);
    EXPECT_EQ(save.handle(3), nullptr);

    // The exporter releases what it made, once, after the save.
    EXPECT_EQ(kell().call("anm_animation_dispose").handle(0), animation);
}

// Spheres and bones per joint, from the shapes of the hierarchy.
struct Primitive {
    bool bone;
    float size;  // radius or length
    coord3 direction;
};

Primitive sphere(float radius) { return {false, radius, {}}; }
Primitive bone(float length, float x, float y, float z) { return {true, length, {x, y, z}}; }

std::vector<Primitive> primitivesOf(const std::vector<kellrec::Call>& calls)
{
    std::vector<Primitive> result;
    for (const auto& c : calls) {
        if (c.name == "pob_part_object_sphere_add")
            result.push_back(sphere(c.real(1)));
        else if (c.name == "pob_part_object_bone_add")
            result.push_back({true, c.real(1), c.vector(2)});
    }
    return result;
}

struct BodyCase {
    const char* what;
    std::function<void()> build;
    const char* joint;
    std::vector<Primitive> expected;
};

TEST_F(ExportTest, PrimitivesFollowTheJointsPlaceInTheHierarchy)
{
    const std::vector<BodyCase> cases = {
        {"root with two children: a third of the longest, then one bone each",
         [] {
             MObject root = joint("root");
             joint("a", root, MVector(300, 0, 0));
             joint("b", root, MVector(0, 400, 0));
         },
         "root",
         {sphere(1.3333334f), bone(3.0f, 1, 0, -0.0f), bone(4.0f, 0, 1, -0.0f)}},
        {"child straight along Z",
         [] {
             MObject root = joint("root");
             MObject mid = joint("mid", root, MVector(10, 0, 0));
             joint("tip", mid, MVector(0, 0, 100));
         },
         "mid",
         {bone(1.0f, 0, 0, -1.0f)}},
        {"child at (300, 400, 0)",
         [] {
             MObject root = joint("root");
             MObject mid = joint("mid", root);
             joint("tip", mid, MVector(300, 400, 0));
         },
         "mid",
         {bone(5.0f, 0.6f, 0.8f, -0.0f)}},
        {"lone root: an empty sphere, then a tenth of its own offset",
         [] { joint("alone", MObject::kNullObj, MVector(0, 0, 500)); },
         "alone",
         {sphere(0.0f), sphere(0.5f)}},
        {"leaf under a joint: a tenth of its offset, no bones",
         [] {
             MObject root = joint("root");
             joint("tip", root, MVector(0, 0, 250));
         },
         "tip",
         {sphere(0.25f)}},
        {"only non-joint children: a leaf",
         [] {
             MObject root = joint("root");
             MObject hand = joint("hand", root, MVector(0, 0, 250));
             group("prop", hand, MVector(0, 0, 900));
             MFnDagNode dag;
             dag.create("locator", "marker", hand);
         },
         "hand",
         {sphere(0.25f)}},
        {"a child at the joint's own position: zero bone, zero direction",
         [] {
             MObject root = joint("root");
             MObject mid = joint("mid", root);
             joint("tip", mid);
         },
         "mid",
         {bone(0.0f, 0, 0, -0.0f)}},
        {"under a group under a joint: a root again",
         [] {
             MObject top = joint("top");
             MObject grp = group("grp", top, MVector(0, 0, 600));
             MObject arm = joint("arm", grp, MVector(50, 0, 0));
             joint("hand", arm, MVector(0, 600, 0));
         },
         "arm",
         {sphere(2.0f), bone(6.0f, 0, 1, -0.0f)}},
    };

    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.what);
        qmfhost::resetScene();
        kell().reset();
        c.build();
        ASSERT_EQ(exportTo("/tmp/body.qmf").statusCode(), MStatus::kSuccess);
        const auto got = primitivesOf(callsFor(c.joint).calls);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].bone, c.expected[i].bone) << i;
            EXPECT_EQ(got[i].size, c.expected[i].size) << i;
            if (got[i].bone)
                expectCoord(got[i].direction, c.expected[i].direction.x,
                            c.expected[i].direction.y, c.expected[i].direction.z);
        }
    }
}

TEST_F(ExportTest, JointUnderAGroupUnderAJointIsARootWithoutOffset)
{
    MObject top = joint("top");
    MObject grp = group("grp", top, MVector(0, 0, 600));
    joint("arm", grp, MVector(50, 0, 0));
    ASSERT_TRUE(exportTo("/tmp/g.qmf"));

    const auto arm = callsFor("arm");
    EXPECT_THAT(arm.names(), ElementsAre("skl_skeleton_joint_create_f", "skl_skeleton_root_set",
                                         "skl_skeleton_joint_orientation_set",
                                         "pob_part_object_obj_create_f", "pob_part_object_sphere_add",
                                         "pob_part_object_sphere_add",
                                         "skl_skeleton_part_object_attach_f",
                                         "pob_part_object_bounds_calc"));
    // top's only child is the group: top is a leaf as well as a root.
    EXPECT_EQ(primitivesOf(callsFor("top").calls).size(), 2u);
    EXPECT_EQ(kell().count("skl_skeleton_root_set"), 2u);
}

TEST_F(ExportTest, TwoHierarchiesGiveTwoRootsInOneSkeleton)
{
    MObject a = joint("a");
    joint("a1", a, MVector(1, 0, 0));
    MObject b = joint("b");
    joint("b1", b, MVector(0, 1, 0));
    ASSERT_TRUE(exportTo("/tmp/two.qmf"));

    EXPECT_EQ(kell().count("skl_skeleton_skel_create_f"), 1u);
    const auto roots = kell().callsTo("skl_skeleton_root_set");
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].integer(1), kell().createdJoint("a"));
    EXPECT_EQ(roots[1].integer(1), kell().createdJoint("b"));
    EXPECT_EQ(roots[0].handle(0), roots[1].handle(0));
    EXPECT_EQ(callsFor("b1").to("skl_skeleton_parent_set").at(0).integer(2),
              kell().createdJoint("b"));
}

TEST_F(ExportTest, InstancedJointLinksToTheFirstJointParentAlreadyEntered)
{
    // elbow's parents, in the host's order: b, then a. The walk meets it
    // under a first, when only a is in the table, then again under b.
    MObject a = joint("a");
    MObject b = joint("b");
    MObject elbow = joint("elbow", b, MVector(0, 100, 0));
    ASSERT_TRUE(qmfhost::addParent(elbow, a));

    ASSERT_TRUE(exportTo("/tmp/inst.qmf"));
    const SKL_JOINT_ID aId = kell().createdJoint("a");
    const SKL_JOINT_ID bId = kell().createdJoint("b");
    ASSERT_EQ(kell().count("skl_skeleton_joint_create_f"), 4u);
    EXPECT_EQ(callsFor("elbow", 1).to("skl_skeleton_parent_set").at(0).integer(2), aId);
    EXPECT_EQ(callsFor("elbow", 2).to("skl_skeleton_parent_set").at(0).integer(2), bId);
}

TEST_F(ExportTest, InstancedJointMetThroughAGroupFirstGetsNoParentButItsOffset)
{
    MObject grp = group("grp");
    MObject b = joint("b");
    MObject elbow = joint("elbow", grp, MVector(0, 100, 0));
    ASSERT_TRUE(qmfhost::addParent(elbow, b));

    ASSERT_TRUE(exportTo("/tmp/inst.qmf"));
    const auto first = callsFor("elbow", 1);
    EXPECT_EQ(first.to("skl_skeleton_root_set").size(), 0u);
    EXPECT_EQ(first.to("skl_skeleton_parent_set").at(0).integer(2), SKL_NO_JOINT);
    expectCoord(first.to("skl_skeleton_offset_set").at(0).vector(2), 0.0f, 1.0f, -0.0f);
}

TEST_F(ExportTest, JointNamedLikeItsParentLinksToTheParentNotItself)
{
    MObject arm = joint("arm");
    MObject inner = sameNameJoint("arm", arm, MVector(10, 0, 0));
    sameNameJoint("arm", inner, MVector(20, 0, 0));
    ASSERT_TRUE(exportTo("/tmp/same.qmf"));

    const auto creates = kell().callsTo("skl_skeleton_joint_create_f");
    const auto parents = kell().callsTo("skl_skeleton_parent_set");
    ASSERT_EQ(creates.size(), 3u);
    ASSERT_EQ(parents.size(), 2u);
    for (std::size_t i = 0; i < parents.size(); ++i) {
        EXPECT_EQ(parents[i].integer(1), creates[i + 1].integerResult());
        EXPECT_EQ(parents[i].integer(2), creates[i].integerResult());
        EXPECT_NE(parents[i].integer(1), parents[i].integer(2));
    }
}

TEST_F(ExportTest, SceneWithoutJointsSavesAnEmptySkeleton)
{
    group("grp");
    qmfhost::PerrorCapture capture;
    EXPECT_EQ(exportTo("/tmp/empty.qmf").statusCode(), MStatus::kSuccess);
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_THAT(kell().names(),
                ElementsAre("anm_animation_create_f", "skl_skeleton_skel_create_f",
                            "skl_skeleton_skel_completed_f", "anm_animation_figure_add_f",
                            "fm_path_name_to_file_id_f", "anm_animation_save_as_f",
                            "anm_animation_dispose"));
}

// Everything but handles, which differ from run to run.
std::vector<std::string> describe(const std::vector<kellrec::Call>& calls)
{
    std::vector<std::string> result;
    for (kellrec::Call c : calls) {
        for (auto& arg : c.args)
            if (std::holds_alternative<kellrec::Handle>(arg))
                arg = std::monostate{};
        if (std::holds_alternative<kellrec::Handle>(c.result))
            c.result = std::monostate{};
        std::ostringstream text;
        text << c;
        result.push_back(text.str());
    }
    return result;
}

TEST_F(ExportTest, ExportsAreIndependentAndIgnoreOptionsAndMode)
{
    // A scene whose result would change if the name table outlived a run:
    // elbow is first met through a group, before its joint parent is entered.
    MObject grp = group("grp");
    MObject b = joint("b");
    MObject elbow = joint("elbow", grp, MVector(0, 100, 0));
    ASSERT_TRUE(qmfhost::addParent(elbow, b));

    ASSERT_TRUE(exportTo("/tmp/one.qmf"));
    const auto first = describe(kell().calls());

    const std::vector<std::pair<std::string, MPxFileTranslator::FileAccessMode>> runs = {
        {"", MPxFileTranslator::kExportAccessMode},
        {"", MPxFileTranslator::kExportActiveAccessMode},
        {"selectedOnly=1;frames=0-10", MPxFileTranslator::kSaveAccessMode},
    };
    for (const auto& run : runs) {
        kell().reset();
        ASSERT_TRUE(exportTo("/tmp/one.qmf", run.first, run.second));
        EXPECT_EQ(describe(kell().calls()), first) << run.first << " mode " << run.second;
    }
}

// --- failures ---------------------------------------------------------

struct FailureRow {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::pair<std::string, Code>> printed;
    bool animationCreated;
    std::function<void()> alsoCheck = [] {};
};

TEST_F(ExportTest, EachFaultPrintsItsChainAndFails)
{
    auto libraryFails = [](const char* function, unsigned nth = 1) {
        return [=] { kell().failCall(function, nth); };
    };
    const Code ok = MStatus::kSuccess;
    const Code failed = MStatus::kFailure;
    const std::vector<std::pair<std::string, Code>> jointChain = {
        {"Failure in creating joint", ok}, {"hip", ok}, {"Failure creating skeleton", ok},
        {kConvertFailed, failed}};

    const std::vector<FailureRow> rows = {
        {"animation", libraryFails("anm_animation_create_f"),
         {{"Failure creating animation", ok}, {kConvertFailed, failed}}, false,
         [] { EXPECT_THAT(kell().names(), ElementsAre("anm_animation_create_f")); }},
        {"iterator",
         [] { qmfhost::injectFault("MItDag::MItDag", MStatus::kInvalidParameter); },
         {{"Failure in DAG iterator setup", MStatus::kInvalidParameter},
          {"Failure creating skeleton", ok},
          {kConvertFailed, failed}},
         true},
        {"skeleton", libraryFails("skl_skeleton_skel_create_f"),
         {{"Failure creating skeleton", ok}, {kConvertFailed, failed}}, true},
        {"joint", libraryFails("skl_skeleton_joint_create_f"), jointChain, true},
        {"part object", libraryFails("pob_part_object_obj_create_f"), jointChain, true},
        {"root sphere", libraryFails("pob_part_object_sphere_add"), jointChain, true},
        {"bone", libraryFails("pob_part_object_bone_add"), jointChain, true},
        {"attach", libraryFails("skl_skeleton_part_object_attach_f"), jointChain, true,
         [] { EXPECT_EQ(kell().count("pob_part_object_bounds_calc"), 0u); }},
        {"figure", libraryFails("anm_animation_figure_add_f"),
         {{"Failure creating figure", ok}, {kConvertFailed, failed}}, true},
        {"identifier", libraryFails("fm_path_name_to_file_id_f"),
         {{"Failure creating file identifier", ok}, {kWriteFailed, failed}}, true},
        {"save", libraryFails("anm_animation_save_as_f"),
         {{"Failure saving Movantis file", ok}, {kWriteFailed, failed}}, true},
    };

    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.what);
        qmfhost::resetScene();
        qmfhost::clearFaults();
        kell().reset();
        buildChain();
        row.arrange();

        qmfhost::PerrorCapture capture;
        const MStatus status = exportTo("/tmp/fail.qmf");
        EXPECT_EQ(status.statusCode(), MStatus::kFailure);
        EXPECT_EQ(printed(capture), row.printed);

        const bool conversionFailed = row.printed.back().first == kConvertFailed;
        if (conversionFailed) {
            // Nothing reaches the file.
            EXPECT_EQ(kell().count("fm_path_name_to_file_id_f"), 0u);
            EXPECT_EQ(kell().count("anm_animation_save_as_f"), 0u);
        }
        // What was made is released once, and last.
        if (row.animationCreated) {
            ASSERT_EQ(kell().count("anm_animation_dispose"), 1u);
            EXPECT_EQ(kell().call("anm_animation_dispose").handle(0),
                      kell().call("anm_animation_create_f").handleResult());
            EXPECT_EQ(kell().names().back(), "anm_animation_dispose");
        } else {
            EXPECT_EQ(kell().count("anm_animation_dispose"), 0u);
        }
        row.alsoCheck();
    }
}

TEST_F(ExportTest, ThirdJointRefusedStopsTheWalkThere)
{
    buildChain();
    joint("tail", hip, MVector(0, -10, 0));  // would be visited after head
    kell().failCall("skl_skeleton_joint_create_f", 3);
    qmfhost::PerrorCapture capture;

    EXPECT_FALSE(exportTo("/tmp/x.qmf"));
    EXPECT_THAT(capture.texts(), ElementsAre("Failure in creating joint", "head",
                                             "Failure creating skeleton", kConvertFailed));
    // hip and spine are complete; head got nothing past its creation; tail
    // was never reached and the skeleton never completed.
    EXPECT_EQ(kell().count("skl_skeleton_joint_create_f"), 3u);
    EXPECT_EQ(kell().count("skl_skeleton_part_object_attach_f"), 2u);
    EXPECT_THAT(callsFor("head").names(), ElementsAre("skl_skeleton_joint_create_f"));
    EXPECT_EQ(kell().count("skl_skeleton_skel_completed_f"), 0u);
    EXPECT_EQ(kell().count("anm_animation_figure_add_f"), 0u);
}

TEST_F(ExportTest, SecondOfThreeBonesRefusedAttachesNothing)
{
    MObject root = joint("root");
    joint("a", root, MVector(1, 0, 0));
    joint("b", root, MVector(0, 1, 0));
    joint("c", root, MVector(0, 0, 1));
    kell().failCall("pob_part_object_bone_add", 2);
    qmfhost::PerrorCapture capture;

    EXPECT_FALSE(exportTo("/tmp/x.qmf"));
    EXPECT_THAT(capture.texts(), ElementsAre("Failure in creating joint", "root",
                                             "Failure creating skeleton", kConvertFailed));
    EXPECT_EQ(kell().count("pob_part_object_bone_add"), 2u);
    EXPECT_EQ(kell().count("skl_skeleton_part_object_attach_f"), 0u);
    EXPECT_EQ(kell().count("pob_part_object_bounds_calc"), 0u);
}

TEST_F(ExportTest, NameTooLongForTheLibraryEndsTheExport)
{
    const std::string longest(::kell::kMaxJointNameLength, 'n');
    const std::string tooLong(::kell::kMaxJointNameLength + 1, 'n');

    MObject root = joint("root");
    joint(longest, root);
    {
        qmfhost::PerrorCapture capture;
        EXPECT_TRUE(exportTo("/tmp/x.qmf"));
        EXPECT_EQ(kell().createdJoint(longest), 1);
    }

    qmfhost::resetScene();
    kell().reset();
    root = joint("root");
    joint(tooLong, root);
    qmfhost::PerrorCapture capture;
    EXPECT_FALSE(exportTo("/tmp/x.qmf"));
    EXPECT_THAT(capture.texts(), ElementsAre("Failure in creating joint", tooLong,
                                             "Failure creating skeleton", kConvertFailed));
    EXPECT_EQ(kell().count("anm_animation_save_as_f"), 0u);
}

}  // namespace
