// The whole read operation through the translator's reader slot: playback
// settings, the depth-first walk, and every failure chain from the innermost
// message outwards, with what the scene keeps afterwards.
#include "ImportFixture.h"

#include <maya/MFileObject.h>

#include "plugin/AnimFileTranslator.h"

namespace importtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kMapping = "Failure mapping Movantis animation data to Maya scene graph";
constexpr const char* kReading = "Failure reading Movantis animation";

class ImportRun : public ImportTest {
protected:
    MStatus read(const char* options = "",
                 MPxFileTranslator::FileAccessMode mode = MPxFileTranslator::kImportAccessMode)
    {
        MFileObject file;
        file.setRawFullName("/anim/walk.qmf");
        AnimFileTranslator translator;
        return translator.reader(file, options, mode);
    }

    // Which of a joint's channels are driven by a curve, as "t" and "r" sets.
    static std::string animated(const MObject& node)
    {
        std::string out;
        const bool t = curveOn(node, "translateX") && curveOn(node, "translateY") &&
                       curveOn(node, "translateZ");
        const bool anyT = curveOn(node, "translateX") || curveOn(node, "translateY") ||
                          curveOn(node, "translateZ");
        const bool r = curveOn(node, "rotateX") && curveOn(node, "rotateY") &&
                       curveOn(node, "rotateZ");
        const bool anyR = curveOn(node, "rotateX") || curveOn(node, "rotateY") ||
                          curveOn(node, "rotateZ");
        if (t != anyT || r != anyR)
            return "partial";
        if (t)
            out += "t";
        if (r)
            out += "r";
        return out.empty() ? "-" : out;
    }

    // The file skeleton hip -> spine -> head, each keyed on frame 0.
    static void threeJointFile()
    {
        kell().fileJoint("hip").fileJoint("spine", "hip").fileJoint("head", "spine");
        for (SKL_JOINT_ID j = 0; j < 3; ++j)
            kell().orientationKey(0, j, fileRotationAboutX(10.0 * (j + 1)));
        kell().rootTranslation(0, 1.0f, 2.0f, 3.0f);
    }

    static bool settingsUntouched()
    {
        const qmfhost::AnimControlState now = qmfhost::animControlState();
        const qmfhost::AnimControlState fresh;
        return now.maxTime.as(MTime::kSeconds) == fresh.maxTime.as(MTime::kSeconds) &&
               now.minTime.as(MTime::kSeconds) == fresh.minTime.as(MTime::kSeconds) &&
               now.globalInTangent == fresh.globalInTangent &&
               now.globalOutTangent == fresh.globalOutTangent;
    }
};

TEST_F(ImportRun, TypicalChainAnimatesEveryJointWithJointChildren)
{
    threeJointFile();
    kell().frameRate(30.0f).frameCount(60);
    MObject hip = joint("hip");
    MObject spine = joint("spine", hip);
    MObject head = joint("head", spine);

    EXPECT_EQ(read().statusCode(), MStatus::kSuccess);
    EXPECT_THAT(printed(), IsEmpty());
    EXPECT_EQ(animated(hip), "tr");
    EXPECT_EQ(animated(spine), "r");
    EXPECT_EQ(animated(head), "-") << "a leaf gets no curves, even with keys in the file";

    const qmfhost::AnimControlState state = qmfhost::animControlState();
    EXPECT_DOUBLE_EQ(state.maxTime.as(MTime::kSeconds), 2.0);
    EXPECT_DOUBLE_EQ(state.minTime.as(MTime::kFilm), 1.0) << "the start is not changed";
    EXPECT_EQ(state.globalInTangent, MFnAnimCurve::kTangentLinear);
    EXPECT_EQ(state.globalOutTangent, MFnAnimCurve::kTangentLinear);

    // The keys took the linear global tangents.
    for (const char* attribute : {"translateY", "rotateX"}) {
        const auto keys = keysOn(hip, attribute);
        ASSERT_EQ(keys.size(), 1u) << attribute;
        EXPECT_EQ(keys[0].inTangent, MFnAnimCurve::kTangentLinear);
        EXPECT_EQ(keys[0].outTangent, MFnAnimCurve::kTangentLinear);
    }
    EXPECT_THAT(values(keysOn(spine, "rotateX")), ElementsAre(::testing::DoubleNear(radians(20.0), 2e-6)));

    // The animation lives as long as the read call, and no longer.
    ASSERT_EQ(kell().count("anm_animation_dispose"), 1u);
    EXPECT_EQ(kell().indexOf("anm_animation_dispose") + 1, static_cast<long>(kell().calls().size()));
}

TEST_F(ImportRun, PlaybackEndsAtLastFrameTimesSecondsPerFrame)
{
    struct Row {
        float rate;
        int32_t count;
        double seconds;
    };
    const Row rows[] = {{30.0f, 60, 2.0}, {25.0f, 0, 0.0}, {25.0f, 50, 2.0}, {24.0f, 1, 1.0 / 24.0}};
    for (const Row& row : rows) {
        qmfhost::resetScene();
        kell().reset();
        kell().frameRate(row.rate).frameCount(row.count).fileJoint("hip");
        joint("hip");
        ASSERT_EQ(read().statusCode(), MStatus::kSuccess);
        EXPECT_NEAR(qmfhost::animControlState().maxTime.as(MTime::kSeconds), row.seconds, 1e-12)
            << row.count << " frames at " << row.rate;
    }
}

TEST_F(ImportRun, TranslateCurvesOnlyOnTheFirstJointOfTheWholeWalk)
{
    // Three hierarchies: the first root's only joint child sits below a
    // plain group; a joint whose children are not joints; a lone joint.
    kell().fileJoints({"hip", "arm", "spine", "leg"});
    MObject hip = joint("hip");
    MObject group = transform("group", hip);
    MObject arm = joint("arm", group);
    MObject hand = joint("hand", arm);
    MObject spine = joint("spine");
    MObject tail = joint("tail", spine);
    transform("tailTip", tail);
    qmfhost::createNode("locator", "marker", tail);
    MObject leg = joint("leg");
    MObject foot = joint("foot", leg);
    MObject lone = joint("lone");

    EXPECT_EQ(read().statusCode(), MStatus::kSuccess);
    EXPECT_THAT(printed(), IsEmpty());
    EXPECT_EQ(animated(hip), "t") << "a joint below a group is not a joint child";
    EXPECT_EQ(animated(arm), "r");
    EXPECT_EQ(animated(hand), "-");
    EXPECT_EQ(animated(spine), "r") << "a later root gets rotate curves only";
    EXPECT_EQ(animated(tail), "-") << "children that are not joints do not count";
    EXPECT_EQ(animated(leg), "r");
    EXPECT_EQ(animated(foot), "-");
    EXPECT_EQ(animated(lone), "-");
}

TEST_F(ImportRun, SingleJointGetsTranslateCurvesOnly)
{
    kell().fileJoint("hip").orientationKey(0, 0, fileRotationAboutX(30.0));
    MObject hip = joint("hip");
    EXPECT_EQ(read().statusCode(), MStatus::kSuccess);
    EXPECT_EQ(animated(hip), "t");
    EXPECT_EQ(kell().count("sk_skeleton_traverse"), 0u);
}

TEST_F(ImportRun, FirstJointWithChildrenGetsRotateCurvesToo)
{
    kell().fileJoint("root").fileJoint("child", "root");
    MObject root = joint("root");
    joint("child", root);
    EXPECT_EQ(read().statusCode(), MStatus::kSuccess);
    EXPECT_EQ(animated(root), "tr");
    EXPECT_EQ(kell().count("sk_skeleton_traverse"), 1u);
}

TEST_F(ImportRun, MissingNameMidWalkStopsThereAndKeepsWhatWasMade)
{
    // The file lacks "chest"; everything before it keeps its curves.
    kell().fileJoint("hip").fileJoint("spine", "hip").fileJoint("neck", "spine");
    MObject hip = joint("hip");
    MObject spine = joint("spine", hip);
    MObject chest = joint("chest", spine);
    MObject neck = joint("neck", chest);
    joint("head", neck);
    ASSERT_TRUE(qmfhost::setLocked(chest, "rotateY", true));

    EXPECT_EQ(read().statusCode(), MStatus::kFailure);
    EXPECT_THAT(printed(), ElementsAre(Printed{"Failure finding Movantis joint", MStatus::kSuccess},
                                       Printed{"chest", MStatus::kSuccess},
                                       Printed{"Failure in mapping joint animation", MStatus::kSuccess},
                                       Printed{"chest", MStatus::kSuccess},
                                       Printed{kMapping, MStatus::kFailure}));
    EXPECT_EQ(animated(hip), "tr");
    EXPECT_EQ(animated(spine), "r");
    EXPECT_EQ(animated(chest), "-");
    EXPECT_EQ(animated(neck), "-") << "the walk stopped at chest";
    EXPECT_TRUE(qmfhost::isLocked(chest, "rotateY"));
    EXPECT_EQ(qmfhost::animControlState().globalInTangent, MFnAnimCurve::kTangentLinear);
    EXPECT_EQ(kell().count("sk_skeleton_traverse"), 3u);
    EXPECT_EQ(kell().count("anm_animation_dispose"), 1u);
}

TEST_F(ImportRun, RotateCurveRefusedOnTheSecondJointKeepsTheFirstJointsCurves)
{
    threeJointFile();
    MObject hip = joint("hip");
    MObject spine = joint("spine", hip);
    joint("head", spine);
    ASSERT_TRUE(qmfhost::setLocked(spine, "rotateX", true));
    ASSERT_TRUE(qmfhost::injectFaultFor("MFnAnimCurve::create", "spine", "rotateY",
                                        MStatus::kInvalidParameter));

    EXPECT_EQ(read().statusCode(), MStatus::kFailure);
    EXPECT_THAT(printed(),
                ElementsAre(Printed{"Failure creating Y rotation curve", MStatus::kInvalidParameter},
                            Printed{"Failure in mapping joint animation", MStatus::kSuccess},
                            Printed{"spine", MStatus::kSuccess},
                            Printed{kMapping, MStatus::kFailure}));
    EXPECT_EQ(animated(hip), "tr");
    EXPECT_FALSE(qmfhost::isLocked(spine, "rotateX")) << "left unlocked after the failure";
    EXPECT_TRUE(curveOn(spine, "rotateX"));
    EXPECT_FALSE(curveOn(spine, "rotateY"));
}

struct SceneStepFailure {
    const char* label;
    const char* call;
    const char* message;
    bool maxTimeChanged;
    bool inTangentChanged;
    bool outTangentChanged;
};

void PrintTo(const SceneStepFailure& row, std::ostream* out)
{
    *out << row.label;
}

class ImportRunHostRefusal : public ImportRun,
                             public ::testing::WithParamInterface<SceneStepFailure> {};

// The host's refusal carries the inner message on its own status; the slot
// adds its phase message; nothing made before is undone.
TEST_P(ImportRunHostRefusal, PrintsTheChainAndKeepsEarlierSettings)
{
    const SceneStepFailure& row = GetParam();
    threeJointFile();
    kell().frameCount(48);
    MObject hip = joint("hip");
    joint("spine", hip);
    ASSERT_TRUE(qmfhost::injectFault(row.call, MStatus::kInvalidParameter));

    EXPECT_EQ(read().statusCode(), MStatus::kFailure);
    EXPECT_THAT(printed(), ElementsAre(Printed{row.message, MStatus::kInvalidParameter},
                                       Printed{kMapping, MStatus::kFailure}));
    const qmfhost::AnimControlState state = qmfhost::animControlState();
    EXPECT_EQ(std::abs(state.maxTime.as(MTime::kSeconds) - 1.6) < 1e-12, row.maxTimeChanged);
    EXPECT_EQ(state.globalInTangent == MFnAnimCurve::kTangentLinear, row.inTangentChanged);
    EXPECT_EQ(state.globalOutTangent == MFnAnimCurve::kTangentLinear, row.outTangentChanged);
    EXPECT_EQ(animCurveCount(), 0u);
    EXPECT_EQ(kell().count("anm_animation_dispose"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ImportRunHostRefusal,
    ::testing::Values(
        SceneStepFailure{"MaxTime", "MAnimControl::setMaxTime", "Failure changing animation max-time",
                         false, false, false},
        SceneStepFailure{"InTangent", "MAnimControl::setGlobalInTangentType",
                         "Failure changing animation tangent type", true, false, false},
        SceneStepFailure{"OutTangent", "MAnimControl::setGlobalOutTangentType",
                         "Failure changing animation tangent type", true, true, false},
        SceneStepFailure{"DagIterator", "MItDag::MItDag", "Failure in DAG iterator setup", true,
                         true, true}),
    [](const ::testing::TestParamInfo<SceneStepFailure>& info) {
        return std::string(info.param.label);
    });

TEST_F(ImportRun, TranslationCurveRefusedEndsWithTheTranslationChain)
{
    threeJointFile();
    MObject hip = joint("hip");
    joint("spine", hip);
    ASSERT_TRUE(qmfhost::injectFaultFor("MFnAnimCurve::create", "hip", "translateZ",
                                        MStatus::kInvalidParameter));

    EXPECT_EQ(read().statusCode(), MStatus::kFailure);
    EXPECT_THAT(printed(),
                ElementsAre(Printed{"Failure creating Z translation curve", MStatus::kInvalidParameter},
                            Printed{"Failure in mapping translation data", MStatus::kSuccess},
                            Printed{kMapping, MStatus::kFailure}));
    EXPECT_EQ(animCurveCount(), 2u) << "X and Y stay, without keys";
    EXPECT_THAT(keysOn(hip, "translateX"), IsEmpty());
    EXPECT_FALSE(curveOn(hip, "rotateX")) << "the walk never began";
}

// A file that cannot be read changes nothing in the scene. The rate and count
// refusals are ours: the count one would otherwise never end the frame loops.
TEST_F(ImportRun, FileReadingFailureLeavesTheSceneUntouched)
{
    struct Row {
        void (*script)(kellrec::RecordingKell&);
        const char* inner;
        std::size_t disposals;
    };
    const Row rows[] = {
        {[](kellrec::RecordingKell& k) { k.failCall("fm_path_name_to_file_id_f", 1); },
         "Failure creating file identifier", 0},
        {[](kellrec::RecordingKell& k) { k.failCall("anm_animation_open_f", 1); },
         "Failure opening Movantis animation", 0},
        {[](kellrec::RecordingKell& k) { k.figureCount(0); }, "Failure getting Movantis figure", 1},
        {[](kellrec::RecordingKell& k) { k.failCall("fig_figure_get_skel", 1); },
         "Failure getting Movantis skeleton", 1},
        {[](kellrec::RecordingKell& k) { k.frameRate(0.0f); }, "Failure reading Movantis frame rate", 1},
        {[](kellrec::RecordingKell& k) { k.frameCount(-1); }, "Failure reading Movantis frame count", 1},
    };
    for (const Row& row : rows) {
        qmfhost::resetScene();
        kell().reset();
        capture.clear();
        kell().fileJoint("hip");
        MObject hip = joint("hip");
        row.script(kell());

        EXPECT_EQ(read().statusCode(), MStatus::kFailure);
        EXPECT_THAT(printed(), ElementsAre(Printed{row.inner, MStatus::kSuccess},
                                           Printed{kReading, MStatus::kFailure}));
        EXPECT_TRUE(settingsUntouched()) << row.inner;
        EXPECT_EQ(animCurveCount(), 0u) << row.inner;
        EXPECT_EQ(kell().count("anm_animation_dispose"), row.disposals) << row.inner;
    }
}

// Without a joint there is nothing to put the root translation on: a clear
// chain, and no curve made anywhere.
TEST_F(ImportRun, SceneWithoutJointsFailsWithoutCreatingAnything)
{
    kell().fileJoint("hip").rootTranslation(0, 1.0f, 2.0f, 3.0f);
    transform("group");
    qmfhost::createNode("locator", "marker");
    const std::size_t nodesBefore = qmfhost::allNodes().size();

    EXPECT_EQ(read().statusCode(), MStatus::kFailure);
    EXPECT_THAT(printed(), ElementsAre(Printed{"Failure finding Maya joints", MStatus::kSuccess},
                                       Printed{"Failure in mapping translation data", MStatus::kSuccess},
                                       Printed{kMapping, MStatus::kFailure}));
    EXPECT_EQ(qmfhost::allNodes().size(), nodesBefore);
    EXPECT_EQ(qmfhost::callCount("MFnAnimCurve::create"), 0);
    EXPECT_EQ(kell().count("fgf_frame_value_key_f"), 0u);
    EXPECT_EQ(kell().count("anm_animation_dispose"), 1u);
}

TEST_F(ImportRun, OptionsAndAccessModeChangeNothing)
{
    std::vector<std::vector<double>> results;
    for (auto mode : {MPxFileTranslator::kImportAccessMode, MPxFileTranslator::kOpenAccessMode,
                      MPxFileTranslator::kReferenceAccessMode}) {
        for (const char* options : {"", "anything=1;other"}) {
            qmfhost::resetScene();
            kell().reset();
            threeJointFile();
            MObject hip = joint("hip");
            joint("spine", hip);
            ASSERT_EQ(read(options, mode).statusCode(), MStatus::kSuccess);
            std::vector<double> keys = values(keysOn(hip, "translateZ"));
            const auto rotation = values(keysOn(hip, "rotateX"));
            keys.insert(keys.end(), rotation.begin(), rotation.end());
            results.push_back(keys);
        }
    }
    for (const auto& result : results)
        EXPECT_EQ(result, results.front());
    EXPECT_EQ(results.front().size(), 2u);
}

}  // namespace
}  // namespace importtest
