// Opening a Movantis animation: the library calls in their order, the fields
// they fill, each refusal with its message, and who disposes of what.
#include "ImportFixture.h"

#include <limits>

namespace importtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(ImportTest, ReadsFigureZeroItsSkeletonRateAndCountInThatOrder)
{
    kell().frameRate(25.0f).frameCount(60).figureCount(3);
    {
        AnimImporter importer(MString("/anim/walk.qmf"));
        EXPECT_THAT(kell().calls(), IsEmpty()) << "the constructor calls the library";

        ASSERT_EQ(importer.readFile().statusCode(), MStatus::kSuccess);
        EXPECT_THAT(printed(), IsEmpty());
        EXPECT_THAT(kell().names(),
                    ElementsAre("fm_path_name_to_file_id_f", "anm_animation_open_f",
                                "anm_animation_figure_get_by_index_f", "fig_figure_get_skel",
                                "anm_animation_frame_rate_get_f",
                                "anm_animation_number_of_frames_get_f"));

        EXPECT_EQ(kell().call("fm_path_name_to_file_id_f").text(0), "/anim/walk.qmf");
        const auto& open = kell().call("anm_animation_open_f");
        EXPECT_EQ(open.integer(1), 1);
        EXPECT_EQ(importer.animation(), open.handleResult());
        const auto& figure = kell().call("anm_animation_figure_get_by_index_f");
        EXPECT_EQ(figure.handle(0), open.handleResult());
        EXPECT_EQ(figure.integer(1), 0) << "only the first figure is imported";
        EXPECT_EQ(importer.figure(), figure.handleResult());
        EXPECT_EQ(kell().call("fig_figure_get_skel").handle(0), figure.handleResult());
        EXPECT_EQ(importer.skeleton(), kell().call("fig_figure_get_skel").handleResult());

        EXPECT_EQ(importer.secondsPerFrame(), 0.04);
        EXPECT_EQ(importer.lastFrame(), 60u);
    }
    // The importer gives back the animation it opened, once.
    ASSERT_EQ(kell().count("anm_animation_dispose"), 1u);
    EXPECT_EQ(kell().call("anm_animation_dispose").handle(0),
              kell().call("anm_animation_open_f").handleResult());
}

TEST_F(ImportTest, ImporterNeverAskedToReadMakesNoLibraryCall)
{
    { AnimImporter importer(MString("/anim/walk.qmf")); }
    EXPECT_THAT(kell().calls(), IsEmpty());
}

struct ReadFailure {
    const char* label;
    void (*script)(kellrec::RecordingKell&);
    const char* message;
    const char* lastCall;   // the last library call readFile makes
    bool opened;            // whether an animation is held (and so disposed of)
};

void PrintTo(const ReadFailure& row, std::ostream* out)
{
    *out << row.label;
}

class ReadFileFailure : public ImportTest, public ::testing::WithParamInterface<ReadFailure> {};

// Every refusal prints its one message on a status still holding success,
// returns kFailure, stops asking the library, and leaves the animation (if
// one was opened) to be disposed of exactly once by the importer.
TEST_P(ReadFileFailure, PrintsItsMessageAndStops)
{
    const ReadFailure& row = GetParam();
    row.script(kell());
    {
        AnimImporter importer(MString("/anim/walk.qmf"));
        EXPECT_EQ(importer.readFile().statusCode(), MStatus::kFailure);
        EXPECT_THAT(printed(), ElementsAre(Printed{row.message, MStatus::kSuccess}));
        EXPECT_EQ(kell().calls().back().name, row.lastCall);
        EXPECT_EQ(importer.animation() != ANM_INVALID_ANIMATION, row.opened);
        EXPECT_EQ(kell().count("anm_animation_dispose"), 0u) << "disposed before the importer went";
    }
    if (row.opened) {
        ASSERT_EQ(kell().count("anm_animation_dispose"), 1u);
        EXPECT_EQ(kell().call("anm_animation_dispose").handle(0),
                  kell().call("anm_animation_open_f").handleResult());
    } else {
        EXPECT_EQ(kell().count("anm_animation_dispose"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadFileFailure,
    ::testing::Values(
        ReadFailure{"NoIdentifier",
                    [](kellrec::RecordingKell& k) { k.failCall("fm_path_name_to_file_id_f", 1); },
                    "Failure creating file identifier", "fm_path_name_to_file_id_f", false},
        ReadFailure{"OpenRefused",
                    [](kellrec::RecordingKell& k) { k.failCall("anm_animation_open_f", 1); },
                    "Failure opening Movantis animation", "anm_animation_open_f", false},
        ReadFailure{"NoFigure", [](kellrec::RecordingKell& k) { k.figureCount(0); },
                    "Failure getting Movantis figure", "anm_animation_figure_get_by_index_f", true},
        ReadFailure{"NoSkeleton",
                    [](kellrec::RecordingKell& k) { k.failCall("fig_figure_get_skel", 1); },
                    "Failure getting Movantis skeleton", "fig_figure_get_skel", true},
        ReadFailure{"ZeroRate", [](kellrec::RecordingKell& k) { k.frameRate(0.0f); },
                    "Failure reading Movantis frame rate", "anm_animation_frame_rate_get_f", true},
        ReadFailure{"NegativeRate", [](kellrec::RecordingKell& k) { k.frameRate(-25.0f); },
                    "Failure reading Movantis frame rate", "anm_animation_frame_rate_get_f", true},
        ReadFailure{"NegativeZeroRate", [](kellrec::RecordingKell& k) { k.frameRate(-0.0f); },
                    "Failure reading Movantis frame rate", "anm_animation_frame_rate_get_f", true},
        ReadFailure{"NaNRate",
                    [](kellrec::RecordingKell& k) {
                        k.frameRate(std::numeric_limits<float>::quiet_NaN());
                    },
                    "Failure reading Movantis frame rate", "anm_animation_frame_rate_get_f", true},
        ReadFailure{"InfiniteRate",
                    [](kellrec::RecordingKell& k) {
                        k.frameRate(std::numeric_limits<float>::infinity());
                    },
                    "Failure reading Movantis frame rate", "anm_animation_frame_rate_get_f", true},
        // Valid rates for the file, but the frames do not fit the host's time:
        // they would share ticks, or end beyond the range. Refused once the
        // count is known, with the rate's message.
        ReadFailure{"RateSoHighFramesShareATick",
                    [](kellrec::RecordingKell& k) { k.frameRate(3.4e38f).frameCount(288); },
                    "Failure reading Movantis frame rate", "anm_animation_number_of_frames_get_f", true},
        ReadFailure{"RateJustAboveOneTickPerFrame",
                    [](kellrec::RecordingKell& k) { k.frameRate(2.0e8f).frameCount(2); },
                    "Failure reading Movantis frame rate", "anm_animation_number_of_frames_get_f", true},
        ReadFailure{"RateSoLowTheSecondFrameLeavesTheRange",
                    [](kellrec::RecordingKell& k) { k.frameRate(1e-45f).frameCount(288); },
                    "Failure reading Movantis frame rate", "anm_animation_number_of_frames_get_f", true},
        ReadFailure{"LongClipAtALowRateLeavesTheRange",
                    [](kellrec::RecordingKell& k) { k.frameRate(1e-4f).frameCount(10000000); },
                    "Failure reading Movantis frame rate", "anm_animation_number_of_frames_get_f", true},
        ReadFailure{"CountMinusOne", [](kellrec::RecordingKell& k) { k.frameCount(-1); },
                    "Failure reading Movantis frame count", "anm_animation_number_of_frames_get_f",
                    true},
        ReadFailure{"CountMostNegative",
                    [](kellrec::RecordingKell& k) {
                        k.frameCount(std::numeric_limits<int32_t>::min());
                    },
                    "Failure reading Movantis frame count", "anm_animation_number_of_frames_get_f",
                    true}),
    [](const ::testing::TestParamInfo<ReadFailure>& info) { return std::string(info.param.label); });

// The extremes that still fit: every frame on its own tick, the last one
// inside the host's time range. A lone frame 0 fits at any positive rate.
TEST_F(ImportTest, RatesWhoseFramesFitTheHostsTimeAreAccepted)
{
    const struct {
        float rate;
        int32_t count;
    } rows[] = {
        {48000.0f, 16777216},   // the host's highest standard rate, the most frames a file holds
        {7.0e7f, 1000},         // two ticks per frame
        {1e-3f, 1000},          // a million seconds
        {1e-9f, 16},            // the last frame near 1.6e10 s
        {3.4e38f, 0},
        {1e-45f, 0},
    };
    for (const auto& row : rows) {
        kell().reset();
        kell().frameRate(row.rate).frameCount(row.count);
        AnimImporter importer(MString("/anim/walk.qmf"));
        EXPECT_EQ(importer.readFile().statusCode(), MStatus::kSuccess) << row.rate << " fps, " << row.count;
        EXPECT_THAT(printed(), IsEmpty()) << row.rate;
    }
}

// The float the library returns is widened before it divides 1.0: 29.97 is
// not 29.97 as a float, and the result must show it.
TEST_F(ImportTest, SecondsPerFrameComesFromTheWidenedFloatRate)
{
    struct Row {
        float rate;
        double expected;
    };
    const Row rows[] = {
        {25.0f, 0.04},
        {30.0f, 1.0 / 30.0},
        {29.97f, 1.0 / 29.9699993133544921875},  // the float nearest 29.97
        {0.5f, 2.0},
    };
    for (const Row& row : rows) {
        kell().reset();
        kell().frameRate(row.rate);
        auto importer = openedImporter();
        EXPECT_EQ(importer->secondsPerFrame(), row.expected) << "rate " << row.rate;
    }
    kell().reset();
    kell().frameRate(29.97f);
    EXPECT_NE(openedImporter()->secondsPerFrame(), 1.0 / 29.97) << "rate used as a double literal";
}

TEST_F(ImportTest, FrameCountIsStoredUnchangedFromZeroToTheLargest)
{
    for (int32_t count : {0, 1, 12, std::numeric_limits<int32_t>::max()}) {
        kell().reset();
        kell().frameCount(count);
        auto importer = openedImporter();
        EXPECT_EQ(importer->lastFrame(), static_cast<uint32_t>(count));
    }
    EXPECT_THAT(printed(), IsEmpty());
}

}  // namespace
}  // namespace importtest
