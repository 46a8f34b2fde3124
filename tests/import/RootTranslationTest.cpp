// Translate curves on the first joint: keys exactly where the file has them,
// values in centimetres with Z mirrored, and the creation failures.
#include "ImportFixture.h"

namespace importtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct KeyAt {
    double time;
    double value;
};

std::vector<KeyAt> keyed(const std::vector<qmfhost::CurveKey>& keys)
{
    std::vector<KeyAt> out;
    for (const auto& key : keys)
        out.push_back({key.time, key.value});
    return out;
}

MATCHER_P2(KeyIs, time, value, "")
{
    return std::abs(arg.time - time) < 1e-12 && arg.value == value;
}

TEST_F(ImportTest, TranslationKeysAtTheFileFramesInCentimetresWithZMirrored)
{
    // 25 frames per second: frame 10 at 0.4 s; 1.5 m becomes 150 cm.
    kell().frameRate(25.0f).frameCount(20);
    kell().rootKey(10, 1, 1.5f).rootKey(10, 3, 1.5f);
    kell().rootKey(0, 2, 0.25f).rootKey(20, 2, -2.0f);
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);

    EXPECT_EQ(importer->mapRootTranslation(fn).statusCode(), MStatus::kSuccess);
    EXPECT_THAT(printed(), IsEmpty());
    EXPECT_THAT(keyed(keysOn(hip, "translateX")), ElementsAre(KeyIs(0.4, 150.0)));
    EXPECT_THAT(keyed(keysOn(hip, "translateY")),
                ElementsAre(KeyIs(0.0, 25.0), KeyIs(20 * 0.04, -200.0)));
    EXPECT_THAT(keyed(keysOn(hip, "translateZ")), ElementsAre(KeyIs(0.4, -150.0)));
}

TEST_F(ImportTest, EveryFrameFromZeroThroughLastFrameIsExaminedOnEachChannel)
{
    // A sparse channel: only frames 0 and 12 of channel 2 are keyed.
    kell().frameRate(30.0f).frameCount(12).rootKey(0, 2, 1.0f).rootKey(12, 2, 2.0f);
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);
    ASSERT_EQ(importer->mapRootTranslation(fn).statusCode(), MStatus::kSuccess);

    const auto tests = kell().callsTo("fgf_frame_value_key_f");
    ASSERT_EQ(tests.size(), 13u * 3u);
    for (std::size_t i = 0; i < tests.size(); ++i) {
        EXPECT_EQ(tests[i].handle(0), importer->figure());
        EXPECT_EQ(tests[i].integer(1), static_cast<int64_t>(i / 3)) << "frames in increasing order";
        EXPECT_EQ(tests[i].integer(2), static_cast<int64_t>(i % 3 + 1)) << "channels 1, 2, 3";
    }
    // A value is read only where the key test said yes.
    const auto reads = kell().callsTo("fgf_frame_value_get_f");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].integer(1), 0);
    EXPECT_EQ(reads[1].integer(1), 12);

    EXPECT_THAT(keysOn(hip, "translateX"), IsEmpty());
    EXPECT_THAT(keyed(keysOn(hip, "translateY")),
                ElementsAre(KeyIs(0.0, 100.0), KeyIs(12.0 / 30.0, 200.0)));
    EXPECT_THAT(keysOn(hip, "translateZ"), IsEmpty());
}

TEST_F(ImportTest, CountZeroExaminesFrameZeroOnly)
{
    kell().frameCount(0).rootTranslation(0, 1.0f, 2.0f, 3.0f).rootTranslation(1, 9.0f, 9.0f, 9.0f);
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);
    ASSERT_EQ(importer->mapRootTranslation(fn).statusCode(), MStatus::kSuccess);

    EXPECT_EQ(kell().count("fgf_frame_value_key_f"), 3u);
    for (const auto& call : kell().callsTo("fgf_frame_value_key_f"))
        EXPECT_EQ(call.integer(1), 0);
    EXPECT_THAT(keyed(keysOn(hip, "translateX")), ElementsAre(KeyIs(0.0, 100.0)));
    EXPECT_THAT(keyed(keysOn(hip, "translateY")), ElementsAre(KeyIs(0.0, 200.0)));
    EXPECT_THAT(keyed(keysOn(hip, "translateZ")), ElementsAre(KeyIs(0.0, -300.0)));
}

TEST_F(ImportTest, FileWithoutRootKeysStillGetsThreeEmptyCurves)
{
    kell().frameCount(5);
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);
    EXPECT_EQ(importer->mapRootTranslation(fn).statusCode(), MStatus::kSuccess);
    for (const char* attribute : {"translateX", "translateY", "translateZ"})
        EXPECT_THAT(keysOn(hip, attribute), IsEmpty()) << attribute;
    EXPECT_EQ(animCurveCount(), 3u);
}

TEST_F(ImportTest, KeyRefusedByTheHostChangesNeitherTheOtherKeysNorTheResult)
{
    kell().frameCount(2).rootKey(0, 1, 1.0f).rootKey(1, 1, 2.0f).rootKey(2, 1, 3.0f);
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);
    // The second key added (frame 1) is refused.
    ASSERT_TRUE(qmfhost::injectFault("MFnAnimCurve::addKeyframe", MStatus::kFailure, 1, 1));

    EXPECT_EQ(importer->mapRootTranslation(fn).statusCode(), MStatus::kSuccess);
    EXPECT_EQ(qmfhost::faultsFired("MFnAnimCurve::addKeyframe"), 1);
    EXPECT_THAT(printed(), IsEmpty());
    EXPECT_THAT(keyed(keysOn(hip, "translateX")),
                ElementsAre(KeyIs(0.0, 100.0), KeyIs(2.0 / 30.0, 300.0)));
}

struct CreationFailure {
    const char* attribute;
    const char* message;
    std::vector<const char*> curvesLeft;
};

void PrintTo(const CreationFailure& row, std::ostream* out)
{
    *out << row.attribute;
}

class RootCurveRefused : public ImportTest, public ::testing::WithParamInterface<CreationFailure> {};

// The host's own status comes back unchanged and carries the message; the
// curves made before stay without keys, later axes are never made, and the
// file's frames are never read.
TEST_P(RootCurveRefused, ReturnsTheHostStatusAndKeepsEarlierCurvesEmpty)
{
    const CreationFailure& row = GetParam();
    kell().frameCount(3).rootTranslation(0, 1.0f, 1.0f, 1.0f);
    MObject hip = joint("hip");
    auto importer = openedImporter();
    MFnIkJoint fn(hip);
    ASSERT_TRUE(qmfhost::injectFaultFor("MFnAnimCurve::create", "hip", row.attribute,
                                        MStatus::kInvalidParameter));

    EXPECT_EQ(importer->mapRootTranslation(fn).statusCode(), MStatus::kInvalidParameter);
    EXPECT_THAT(printed(), ElementsAre(Printed{row.message, MStatus::kInvalidParameter}));
    EXPECT_EQ(kell().count("fgf_frame_value_key_f"), 0u);

    std::vector<std::string> expectedCurves(row.curvesLeft.begin(), row.curvesLeft.end());
    std::vector<std::string> curves;
    for (const char* attribute : {"translateX", "translateY", "translateZ"}) {
        qmfhost::CurveData data;
        if (curveOn(hip, attribute, &data)) {
            curves.push_back(attribute);
            EXPECT_THAT(data.keys, IsEmpty()) << attribute;
        }
    }
    EXPECT_EQ(curves, expectedCurves);
    EXPECT_EQ(animCurveCount(), expectedCurves.size());
}

INSTANTIATE_TEST_SUITE_P(
    Axes, RootCurveRefused,
    ::testing::Values(
        CreationFailure{"translateX", "Failure creating X translation curve", {}},
        CreationFailure{"translateY", "Failure creating Y translation curve", {"translateX"}},
        CreationFailure{"translateZ", "Failure creating Z translation curve",
                        {"translateX", "translateY"}}),
    [](const ::testing::TestParamInfo<CreationFailure>& info) {
        return std::string(info.param.attribute);
    });

}  // namespace
}  // namespace importtest
