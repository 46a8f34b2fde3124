// Rotate curves on a joint: the name match through the library's traversal,
// rotations with the joint orientation removed, Euler orders, continuity from
// key to key, lock handling and the creation failures.
#include "ImportFixture.h"

#include <maya/MFnTransform.h>
#include <maya/MQuaternion.h>

#include <set>

namespace importtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr double kFloatTolerance = 2e-6;  // the file holds single precision

const char* const kRotateAttributes[] = {"rotateX", "rotateY", "rotateZ"};

std::set<std::string> lockedRotates(const MObject& node)
{
    std::set<std::string> locked;
    for (const char* attribute : kRotateAttributes)
        if (qmfhost::isLocked(node, attribute))
            locked.insert(attribute);
    return locked;
}

// The single key of each rotate curve, as (x, y, z).
std::vector<double> singleKeyAngles(const MObject& node)
{
    std::vector<double> angles;
    for (const char* attribute : kRotateAttributes) {
        qmfhost::CurveData data;
        qmfhost::Connection connection;
        if (!qmfhost::sourceOf(node, attribute, connection) ||
            !qmfhost::getCurve(connection.sourceNode, data) || data.keys.size() != 1) {
            ADD_FAILURE() << "expected one key on " << attribute;
            angles.push_back(NAN);
            continue;
        }
        angles.push_back(data.keys[0].value);
    }
    return angles;
}

MATCHER_P(NearAngles, expected, "")
{
    if (arg.size() != expected.size())
        return false;
    for (std::size_t i = 0; i < arg.size(); ++i)
        if (!(std::abs(arg[i] - expected[i]) < kFloatTolerance))
            return false;
    return true;
}

TEST_F(ImportTest, IdentityFileRotationOnIdentityOrientationKeysZero)
{
    kell().fileJoint("hip").orientationKey(0, 0, quaternion{-1.0f, 0.0f, 0.0f, 0.0f});
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);

    EXPECT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);
    EXPECT_THAT(printed(), IsEmpty());
    EXPECT_THAT(singleKeyAngles(hip), NearAngles(std::vector<double>{0.0, 0.0, 0.0}));
}

// The file holds R * O; with O = 90 degrees about Z and R = 30 degrees about
// X, R * O is (cos45 sin15, sin45 sin15, sin45 cos15, cos45 cos15). Removing
// O on the wrong side would give a rotation about Y instead.
TEST_F(ImportTest, JointOrientationIsRemovedFromTheFileRotation)
{
    const double c45 = std::cos(kPi / 4), s45 = std::sin(kPi / 4);
    const double c15 = std::cos(kPi / 12), s15 = std::sin(kPi / 12);
    kell().fileJoint("hip").orientationKey(
        0, 0, fileQuaternion(c45 * s15, s45 * s15, s45 * c15, c45 * c15));
    MObject hip = joint("hip");
    MFnIkJoint fn(hip);
    ASSERT_TRUE(fn.setOrientation(MQuaternion(0.0, 0.0, s45, c45)));
    auto importer = openedImporter();

    ASSERT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);
    EXPECT_THAT(singleKeyAngles(hip), NearAngles(std::vector<double>{kPi / 6, 0.0, 0.0}));
}

// Reference rotations computed outside this project: Euler angles in one
// order and the quaternion they make. Keyed in the joint's own order, the
// angles come back.
struct OrderRow {
    MTransformationMatrix::RotationOrder jointOrder;
    double angles[3];
    double q[4];  // x y z w
};

void PrintTo(const OrderRow& row, std::ostream* out)
{
    *out << "transform order " << static_cast<int>(row.jointOrder);
}

class RotationOrderKeys : public ImportTest, public ::testing::WithParamInterface<OrderRow> {};

TEST_P(RotationOrderKeys, KeysTheAnglesOfTheJointsOwnOrder)
{
    const OrderRow& row = GetParam();
    kell().fileJoint("hip").orientationKey(0, 0,
                                           fileQuaternion(row.q[0], row.q[1], row.q[2], row.q[3]));
    MObject hip = joint("hip");
    MFnIkJoint fn(hip);
    ASSERT_TRUE(fn.setRotationOrder(row.jointOrder, false));
    auto importer = openedImporter();

    ASSERT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);
    EXPECT_THAT(singleKeyAngles(hip), NearAngles(std::vector<double>(row.angles, row.angles + 3)));
}

INSTANTIATE_TEST_SUITE_P(
    Reference, RotationOrderKeys,
    ::testing::Values(
        OrderRow{MTransformationMatrix::kXYZ,
                 {0.61812823892981639, -0.073875447542627981, 1.0764208032059477},
                 {0.2790212263649926, 0.12560369793102322, 0.49762413358923052,
                  0.81162866384412236}},
        OrderRow{MTransformationMatrix::kZXY,
                 {-0.84506021430219436, -0.71339937852313007, -0.091438636637367843},
                 {-0.36930038336712534, -0.3357034633040557, -0.18210000922952696,
                  0.84720717549437874}},
        OrderRow{MTransformationMatrix::kXZY,
                 {-1.1396207268517413, 0.24009589054413283, 1.0251415607260999},
                 {-0.41730632801005935, -0.17478442762562904, 0.46626693477099646,
                  0.76019798605468647}},
        OrderRow{MTransformationMatrix::kYXZ,
                 {0.15743122415283883, 0.10026164304043839, -0.88560595530639352},
                 {0.092365400648526885, 0.011486316939779861, -0.42305008695022694,
                  0.90131310942291376}},
        OrderRow{MTransformationMatrix::kZYX,
                 {-0.23927562273269842, -0.67172082680685463, -0.50799444084066137},
                 {-0.026845025234561823, -0.34504164062225323, -0.1974653396466062,
                  0.91718757650499727}}));

TEST(ToEulerOrder, MapsEachTransformOrderAndFallsBackToXYZ)
{
    const std::pair<int, MEulerRotation::RotationOrder> rows[] = {
        {0, MEulerRotation::kXYZ},  // the invalid order
        {1, MEulerRotation::kXYZ}, {2, MEulerRotation::kYZX}, {3, MEulerRotation::kZXY},
        {4, MEulerRotation::kXZY}, {5, MEulerRotation::kYXZ}, {6, MEulerRotation::kZYX},
        {7, MEulerRotation::kXYZ},  // one past the last
    };
    for (const auto& row : rows)
        EXPECT_EQ(toEulerOrder(static_cast<MTransformationMatrix::RotationOrder>(row.first)),
                  row.second)
            << "transform order " << row.first;
}

// Each keyed rotation is the solution closest to the one keyed before, so a
// turn through +-180 degrees keys continuous angles instead of a jump.
TEST_F(ImportTest, SuccessiveKeysFollowTheClosestSolution)
{
    struct Row {
        std::vector<double> fileDegrees;
        std::vector<double> keyedDegrees;
    };
    const Row rows[] = {
        {{350.0, 10.0}, {-10.0, 10.0}},
        {{170.0, 190.0, 210.0}, {170.0, 190.0, 210.0}},
        {{-170.0, 170.0}, {-170.0, -190.0}},
        {{0.0, 100.0, 200.0, 300.0, 400.0, 500.0}, {0.0, 100.0, 200.0, 300.0, 400.0, 500.0}},
        {{190.0}, {-170.0}},  // the first key is closest to no rotation
    };
    for (const Row& row : rows) {
        qmfhost::resetScene();
        kell().reset();
        kell().fileJoint("hip").frameCount(static_cast<int32_t>(row.fileDegrees.size()) - 1);
        for (std::size_t f = 0; f < row.fileDegrees.size(); ++f)
            kell().orientationKey(static_cast<int32_t>(f), 0, fileRotationAboutX(row.fileDegrees[f]));
        MObject hip = joint("hip");
        MFnIkJoint fn(hip);
        auto importer = openedImporter();
        ASSERT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);

        std::vector<double> expected;
        for (double degrees : row.keyedDegrees)
            expected.push_back(radians(degrees));
        const std::vector<double> zeros(expected.size(), 0.0);
        EXPECT_THAT(values(keysOn(hip, "rotateX")), NearAngles(expected))
            << "file angles starting " << row.fileDegrees.front();
        EXPECT_THAT(values(keysOn(hip, "rotateY")), NearAngles(zeros));
        EXPECT_THAT(values(keysOn(hip, "rotateZ")), NearAngles(zeros));
    }
}

TEST_F(ImportTest, KeysOnlyTheFramesTheFileJointHasAcrossLastFramePlusOne)
{
    kell().frameRate(25.0f).frameCount(12).fileJoint("hip");
    kell().orientationKey(0, 0, fileRotationAboutX(170.0));
    kell().orientationKey(10, 0, fileRotationAboutX(190.0));
    MObject hip = joint("hip");
    MFnIkJoint fn(hip);
    auto importer = openedImporter();
    ASSERT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);

    const auto tests = kell().callsTo("fgf_frame_joint_orientation_key_f");
    ASSERT_EQ(tests.size(), 13u);
    for (std::size_t f = 0; f < tests.size(); ++f) {
        EXPECT_EQ(tests[f].handle(0), importer->figure());
        EXPECT_EQ(tests[f].integer(1), static_cast<int64_t>(f));
        EXPECT_EQ(tests[f].integer(2), 0) << "the matched joint's id";
        EXPECT_EQ(tests[f].integer(3), 0);
    }
    const auto reads = kell().callsTo("fgf_frame_joint_orientation_get");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].integer(1), 0);
    EXPECT_EQ(reads[1].integer(1), 10);
    EXPECT_EQ(reads[1].integer(4), 1);
    // The orientation is read again on each keyed frame.
    EXPECT_EQ(qmfhost::callCount("MFnIkJoint::getOrientation"), 2);

    for (const char* attribute : kRotateAttributes) {
        const auto keys = keysOn(hip, attribute);
        ASSERT_EQ(keys.size(), 2u) << attribute;
        EXPECT_NEAR(keys[0].time, 0.0, 1e-12);
        EXPECT_NEAR(keys[1].time, 0.4, 1e-12);
    }
    EXPECT_THAT(values(keysOn(hip, "rotateX")),
                NearAngles(std::vector<double>{radians(170.0), radians(190.0)}));
}

TEST_F(ImportTest, CountZeroExaminesOnlyFrameZeroOfTheJoint)
{
    kell().frameCount(0).fileJoint("hip");
    kell().orientationKey(0, 0, fileRotationAboutX(20.0)).orientationKey(1, 0, fileRotationAboutX(40.0));
    MObject hip = joint("hip");
    MFnIkJoint fn(hip);
    auto importer = openedImporter();
    ASSERT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);

    EXPECT_EQ(kell().count("fgf_frame_joint_orientation_key_f"), 1u);
    EXPECT_THAT(times(keysOn(hip, "rotateX")), ElementsAre(0.0));
}

// Locked channels are unlocked so their curves can be made (the host refuses
// a curve on a locked plug), and exactly those are locked again.
TEST_F(ImportTest, LockedRotateChannelsAreRelockedAndNoOthers)
{
    const std::set<std::string> rows[] = {
        {}, {"rotateY"}, {"rotateX", "rotateZ"}, {"rotateX", "rotateY", "rotateZ"}};
    for (const auto& locked : rows) {
        qmfhost::resetScene();
        kell().reset();
        kell().fileJoint("hip").orientationKey(0, 0, fileRotationAboutX(30.0));
        MObject hip = joint("hip");
        for (const auto& attribute : locked)
            ASSERT_TRUE(qmfhost::setLocked(hip, attribute, true));
        MFnIkJoint fn(hip);
        auto importer = openedImporter();

        EXPECT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);
        EXPECT_EQ(lockedRotates(hip), locked);
        for (const char* attribute : kRotateAttributes)
            EXPECT_EQ(keysOn(hip, attribute).size(), 1u) << attribute;
    }
}

TEST_F(ImportTest, FileJointWithoutKeysGetsEmptyCurvesAndItsLocksBack)
{
    kell().frameCount(4).fileJoint("hip");
    MObject hip = joint("hip");
    ASSERT_TRUE(qmfhost::setLocked(hip, "rotateZ", true));
    MFnIkJoint fn(hip);
    auto importer = openedImporter();

    EXPECT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);
    for (const char* attribute : kRotateAttributes)
        EXPECT_THAT(keysOn(hip, attribute), IsEmpty()) << attribute;
    EXPECT_EQ(lockedRotates(hip), std::set<std::string>{"rotateZ"});
}

TEST_F(ImportTest, NameDifferingInCaseIsNotFoundAndTouchesNothing)
{
    kell().fileJoint("hip").orientationKey(0, 0, fileRotationAboutX(30.0));
    MObject hip = joint("Hip");
    ASSERT_TRUE(qmfhost::setLocked(hip, "rotateX", true));
    MFnIkJoint fn(hip);
    auto importer = openedImporter();

    EXPECT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kFailure);
    EXPECT_THAT(printed(), ElementsAre(Printed{"Failure finding Movantis joint", MStatus::kSuccess},
                                       Printed{"Hip", MStatus::kSuccess}));
    const auto& traverse = kell().call("sk_skeleton_traverse");
    EXPECT_EQ(traverse.handle(0), importer->skeleton());
    EXPECT_EQ(kell().count("fgf_frame_joint_orientation_key_f"), 0u);
    EXPECT_EQ(animCurveCount(), 0u);
    EXPECT_EQ(lockedRotates(hip), std::set<std::string>{"rotateX"});
}

TEST_F(ImportTest, SeveralFileJointsOfTheNameLeaveTheLastMatch)
{
    kell().fileJoint("hip").fileJoint("spine", "hip").fileJoint("hip");
    kell().orientationKey(0, 0, fileRotationAboutX(60.0)).orientationKey(0, 2, fileRotationAboutX(30.0));
    MObject hip = joint("hip");
    MFnIkJoint fn(hip);
    auto importer = openedImporter();

    ASSERT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kSuccess);
    EXPECT_EQ(kell().call("fgf_frame_joint_orientation_key_f").integer(2), 2);
    EXPECT_THAT(values(keysOn(hip, "rotateX")), NearAngles(std::vector<double>{radians(30.0)}));
}

// Calls the callback the way the traversal does: a va_list positioned at the
// name and then the address of the id.
KL_BOOL visit(int visitKind, SKL_SKELETON_HANDLE skeleton, int joint, ...)
{
    va_list extra;
    va_start(extra, joint);
    const KL_BOOL result = matchJointName(static_cast<int16_t>(visitKind), skeleton,
                                          static_cast<SKL_JOINT_ID>(joint), extra);
    va_end(extra);
    return result;
}

TEST_F(ImportTest, MatchJointNameRecordsOnlyAnExactMatchOnEntry)
{
    struct Row {
        int visitKind;
        const char* target;
        KL_BOOL result;
    };
    // File joint 1 is "spine".
    const Row rows[] = {
        {SK_VISIT_ENTER, "spine", 1}, {SK_VISIT_LEAVE, "spine", 0}, {7, "spine", 0},
        {SK_VISIT_ENTER, "Spine", 0}, {SK_VISIT_ENTER, "spin", 0},  {SK_VISIT_ENTER, "spine2", 0},
        {SK_VISIT_ENTER, "spine ", 0}, {SK_VISIT_ENTER, "", 0},
    };
    for (const Row& row : rows) {
        kell().reset();
        kell().fileJoint("hip").fileJoint("spine", "hip");
        SKL_JOINT_ID id = SKL_NO_JOINT;
        int sentinel = 0x5a5a;
        SKL_SKELETON_HANDLE skeleton = reinterpret_cast<SKL_SKELETON_HANDLE>(&sentinel);

        EXPECT_EQ(visit(row.visitKind, skeleton, 1, row.target, &id), row.result)
            << "kind " << row.visitKind << " target '" << row.target << "'";
        EXPECT_EQ(id, row.result ? 1 : SKL_NO_JOINT) << "target '" << row.target << "'";
        if (row.visitKind != SK_VISIT_ENTER) {
            EXPECT_THAT(kell().calls(), IsEmpty()) << "a leave visit reads nothing";
        } else {
            ASSERT_EQ(kell().count("skl_skeleton_joint_name_get"), 1u);
            EXPECT_EQ(kell().call("skl_skeleton_joint_name_get").handle(0),
                      static_cast<const void*>(skeleton));
            EXPECT_EQ(kell().call("skl_skeleton_joint_name_get").integer(1), 1);
        }
    }
}

struct RotateCreationFailure {
    const char* attribute;
    const char* message;
    std::vector<std::string> curvesLeft;
    std::set<std::string> stillLocked;
};

void PrintTo(const RotateCreationFailure& row, std::ostream* out)
{
    *out << row.attribute;
}

class RotateCurveRefused : public ImportTest,
                           public ::testing::WithParamInterface<RotateCreationFailure> {};

// No relocking on the way out: what was unlocked stays unlocked, what was
// not reached keeps its lock, and the host's status is passed back.
TEST_P(RotateCurveRefused, ReturnsTheHostStatusAndLeavesReachedChannelsUnlocked)
{
    const RotateCreationFailure& row = GetParam();
    kell().fileJoint("hip").orientationKey(0, 0, fileRotationAboutX(30.0));
    MObject hip = joint("hip");
    for (const char* attribute : kRotateAttributes)
        ASSERT_TRUE(qmfhost::setLocked(hip, attribute, true));
    MFnIkJoint fn(hip);
    auto importer = openedImporter();
    ASSERT_TRUE(qmfhost::injectFaultFor("MFnAnimCurve::create", "hip", row.attribute,
                                        MStatus::kInvalidParameter));

    EXPECT_EQ(importer->mapJointRotation(fn).statusCode(), MStatus::kInvalidParameter);
    EXPECT_THAT(printed(), ElementsAre(Printed{row.message, MStatus::kInvalidParameter}));
    EXPECT_EQ(kell().count("fgf_frame_joint_orientation_key_f"), 0u);
    EXPECT_EQ(lockedRotates(hip), row.stillLocked);

    std::vector<std::string> curves;
    for (const char* attribute : kRotateAttributes) {
        qmfhost::CurveData data;
        if (curveOn(hip, attribute, &data)) {
            curves.push_back(attribute);
            EXPECT_THAT(data.keys, IsEmpty()) << attribute;
        }
    }
    EXPECT_EQ(curves, row.curvesLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, RotateCurveRefused,
    ::testing::Values(
        RotateCreationFailure{"rotateX", "Failure creating X rotation curve", {},
                              {"rotateY", "rotateZ"}},
        RotateCreationFailure{"rotateY", "Failure creating Y rotation curve", {"rotateX"},
                              {"rotateZ"}},
        RotateCreationFailure{"rotateZ", "Failure creating Z rotation curve",
                              {"rotateX", "rotateY"}, {}}),
    [](const ::testing::TestParamInfo<RotateCreationFailure>& info) {
        return std::string(info.param.attribute);
    });

}  // namespace
}  // namespace importtest
