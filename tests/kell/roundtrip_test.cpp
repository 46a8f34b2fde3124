#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kell_test_support.h"

using namespace kelltest;

namespace {

struct RoundTripCase {
    const char *name;
    Sample sample;
};

Sample with(void (*edit)(Sample &)) {
    Sample s;
    edit(s);
    return s;
}

const RoundTripCase kCases[] = {
    {"dense", Sample{}},
    {"bitmap_keys", with([](Sample &s) { s.keys = Keys::Bitmap; s.frames = 50; })},
    {"listed_keys", with([](Sample &s) { s.keys = Keys::List; s.frames = 400; })},
    {"boundary_frames_only", with([](Sample &s) { s.keys = Keys::Boundary; s.frames = 1000; })},
    {"one_frame", with([](Sample &s) { s.frames = 1; })},
    {"no_keys", with([](Sample &s) { s.keys = Keys::None; })},
    {"zero_frames", with([](Sample &s) { s.frames = 0; s.keys = Keys::None; })},
    {"several_roots", with([](Sample &s) { s.joints = 9; s.roots = 3; })},
    {"several_figures", with([](Sample &s) { s.figures = 3; s.keys = Keys::Bitmap; s.frames = 20; })},
    {"shared_skeleton", with([](Sample &s) { s.figures = 2; s.shareSkeleton = true; })},
    {"odd_floats", with([](Sample &s) { s.oddFloats = true; s.frames = 17; })},
    {"empty_skeleton", with([](Sample &s) { s.joints = 0; s.roots = 0; s.skeletonName = ""; })},
    {"no_figures", with([](Sample &s) { s.figures = 0; })},
    {"no_parts", with([](Sample &s) { s.parts = false; })},
};

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

// Save, open, save again and rebuild through the interface: every value
// survives bit for bit and every save of the same content is the same bytes.
TEST_P(RoundTrip, PreservesEveryValueAndTheBytes) {
    TempDir dir;
    ANM_ANIMATION_HANDLE original = makeSample(GetParam().sample);
    const std::string expected = dump(original);
    const std::vector<uint8_t> first = saveBytes(original, dir.path("a.qmf"));
    ASSERT_FALSE(first.empty()) << kell_last_error_message();

    ANM_ANIMATION_HANDLE opened = openPath(dir.path("a.qmf"));
    ASSERT_NE(opened, ANM_INVALID_ANIMATION) << kell_last_error_message();
    EXPECT_EQ(dump(opened), expected);
    EXPECT_EQ(saveBytes(opened, dir.path("b.qmf")), first);

    ANM_ANIMATION_HANDLE rebuilt = rebuild(opened);
    EXPECT_EQ(dump(rebuilt), expected);
    EXPECT_EQ(saveBytes(rebuilt, dir.path("c.qmf")), first);

    ANM_ANIMATION_HANDLE fromMemory = anm_animation_open_memory_f(first.data(), first.size());
    ASSERT_NE(fromMemory, ANM_INVALID_ANIMATION);
    EXPECT_EQ(dump(fromMemory), expected);

    for (ANM_ANIMATION_HANDLE a : {original, opened, rebuilt, fromMemory}) anm_animation_dispose(a);
}

INSTANTIATE_TEST_SUITE_P(Kell, RoundTrip, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RoundTripCase> &i) { return std::string(i.param.name); });

TEST(RoundTrip, LongestNamesEmptySkeletonNameAndADifferentCompletionName) {
    TempDir dir;
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("");
    const std::string longest(KELL_MAX_JOINT_NAME, 'j');
    ASSERT_EQ(skl_skeleton_joint_create_f(s, longest.c_str()), 0);
    ASSERT_EQ(skl_skeleton_joint_create_f(s, "x"), 1);
    skl_skeleton_parent_set(s, 1, 0);
    const std::string longSkeleton(KELL_MAX_SKELETON_NAME, 'c');
    ASSERT_TRUE(skl_skeleton_skel_completed_f(s, longSkeleton.c_str()));
    ASSERT_NE(anm_animation_figure_add_f(a, s, 0), nullptr);
    const std::vector<uint8_t> bytes = saveBytes(a, dir.path("n.qmf"));
    ANM_ANIMATION_HANDLE b = openPath(dir.path("n.qmf"));
    ASSERT_NE(b, ANM_INVALID_ANIMATION) << kell_last_error_message();
    SKL_SKELETON_HANDLE t = fig_figure_get_skel(anm_animation_figure_get_by_index_f(b, 0));
    char name[SKL_JOINT_NAME_CAPACITY];
    skl_skeleton_joint_name_get(t, 0, name);
    EXPECT_EQ(std::string(name), longest);
    EXPECT_EQ(skl_skeleton_name_get_f(t, nullptr, 0), 0);
    std::string completion(KELL_MAX_SKELETON_NAME + 1, '\0');
    EXPECT_EQ(skl_skeleton_completed_name_get_f(t, &completion[0], completion.size()), KELL_MAX_SKELETON_NAME);
    EXPECT_EQ(completion.c_str(), longSkeleton);
    EXPECT_EQ(dump(b), dump(a));
    anm_animation_dispose(a);
    anm_animation_dispose(b);
}

// Editing an opened clip (whose tracks still point into the file) must give
// the same result as the same edits on the clip it was saved from, whatever
// presence encoding the file used for each track.
TEST(RoundTrip, EditsAfterOpeningMatchEditsBeforeSaving) {
    const Keys modes[] = {Keys::Dense, Keys::Bitmap, Keys::List, Keys::Boundary};
    for (Keys mode : modes) {
        SCOPED_TRACE(static_cast<int>(mode));
        TempDir dir;
        Sample shape;
        shape.keys = mode;
        shape.frames = 300;
        ANM_ANIMATION_HANDLE before = makeSample(shape);
        saveBytes(before, dir.path("e.qmf"));
        ANM_ANIMATION_HANDLE after = openPath(dir.path("e.qmf"));
        ASSERT_NE(after, ANM_INVALID_ANIMATION);
        for (ANM_ANIMATION_HANDLE a : {before, after}) {
            FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, 0);
            const quaternion q{1, 2, 3, 4};
            EXPECT_TRUE(fgf_frame_joint_orientation_set_f(f, 150, 1, &q));
            EXPECT_TRUE(fgf_frame_joint_orientation_clear_f(f, 0, 2));
            EXPECT_TRUE(fgf_frame_value_set_f(f, 299, 2, -0.0f));
            EXPECT_TRUE(fgf_frame_value_clear_f(f, 1, 1));
            EXPECT_TRUE(anm_animation_number_of_frames_set_f(a, 200));  // drops frames 200..299
            EXPECT_TRUE(anm_animation_number_of_frames_set_f(a, 260));  // and they stay gone
            EXPECT_FALSE(fgf_frame_value_key_f(f, 299, 2));
        }
        EXPECT_EQ(dump(after), dump(before));
        EXPECT_EQ(saveBytes(after, dir.path("f.qmf")), saveBytes(before, dir.path("g.qmf")));
        anm_animation_dispose(before);
        anm_animation_dispose(after);
    }
}

TEST(RoundTrip, EveryFrameKeyedCostsLittleMoreThanTheValues) {
    TempDir dir;
    Sample shape;
    shape.joints = 20;
    shape.frames = 5000;
    shape.parts = false;
    ANM_ANIMATION_HANDLE a = makeSample(shape);
    const size_t size = saveBytes(a, dir.path("d.qmf")).size();
    const size_t values = static_cast<size_t>(shape.frames) * (3 * 4 + shape.joints * 16);
    EXPECT_GE(size, values);
    EXPECT_LT(size, values + 2048) << "overhead beyond the keyed values";
    anm_animation_dispose(a);
}

TEST(RoundTrip, SparseKeysCostAboutTheirValues) {
    TempDir dir;
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    anm_animation_number_of_frames_set_f(a, 1000000);
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("s");
    skl_skeleton_joint_create_f(s, "j");
    FIG_FIGURE_HANDLE f = anm_animation_figure_add_f(a, s, 0);
    const quaternion q{1, 0, 0, 0};
    for (int32_t frame : {0, 500000, 999999}) fgf_frame_joint_orientation_set_f(f, frame, 0, &q);
    EXPECT_LT(saveBytes(a, dir.path("s.qmf")).size(), 300u);
    anm_animation_dispose(a);
}

}  // namespace
