// Large files are read in place through a mapping. Another process may cut
// the file short or rewrite it while it is open: reads must then go on
// without a crash, each giving either what the file held or nothing.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kell.h"
#include "kell_authoring.h"
#include "kell_test_support.h"
#include "kell_testing.h"

using namespace kelltest;

namespace {

// Above the size from which files are mapped rather than read (8 MB).
kelltest::Sample bigSample(Keys keys) {
    Sample shape;
    shape.joints = 24;
    shape.frames = 40000;
    shape.keys = keys;
    shape.parts = false;
    return shape;
}

struct Opened {
    std::string path;
    std::vector<uint8_t> bytes;
    ANM_ANIMATION_HANDLE animation = ANM_INVALID_ANIMATION;
};

Opened saveAndOpen(const TempDir &dir, Keys keys) {
    ANM_ANIMATION_HANDLE source = makeSample(bigSample(keys));
    Opened o;
    o.path = dir.path("big.qmf");
    o.bytes = saveBytes(source, o.path);
    anm_animation_dispose(source);
    o.animation = openPath(o.path);
    return o;
}

bool isZero(const quaternion &q) { return q.f0 == 0 && q.f1 == 0 && q.f2 == 0 && q.f3 == 0; }

// Every orientation read from `a` is the one `reference` holds, or none/zero.
void expectOriginalOrNothing(ANM_ANIMATION_HANDLE a, ANM_ANIMATION_HANDLE reference) {
    FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, 0);
    FIG_FIGURE_HANDLE r = anm_animation_figure_get_by_index_f(reference, 0);
    const int32_t frames = anm_animation_number_of_frames_get_f(reference);
    int differing = 0;
    for (SKL_JOINT_ID j = 0; j < 24; ++j) {
        for (int32_t frame = 0; frame <= frames; frame += 7) {
            quaternion got, want;
            const bool keyed = fgf_frame_joint_orientation_key_f(f, frame, j, 0) != 0;
            fgf_frame_joint_orientation_get(f, frame, j, &got, 1);
            fgf_frame_joint_orientation_get(r, frame, j, &want, 1);
            if (std::memcmp(&got, &want, sizeof got) == 0) continue;
            ++differing;
            ASSERT_TRUE(isZero(got)) << "joint " << j << " frame " << frame << " keyed " << keyed;
        }
    }
    // The cut is seen: not everything can still read as before.
    EXPECT_GT(differing, 0);
}

}  // namespace

TEST(MappedFile, ReadsTheSameValuesAsACopyInMemory) {
    TempDir dir;
    for (Keys keys : {Keys::Dense, Keys::Bitmap}) {
        Opened o = saveAndOpen(dir, keys);
        ASSERT_GT(o.bytes.size(), size_t{8} << 20);
        ASSERT_NE(o.animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
        ANM_ANIMATION_HANDLE copy = anm_animation_open_memory_f(o.bytes.data(), o.bytes.size());
        EXPECT_EQ(dump(o.animation), dump(copy));
        // The image is accounted for as before, whether mapped or copied.
        EXPECT_EQ(anm_animation_memory_size_get_f(o.animation), anm_animation_memory_size_get_f(copy));
        anm_animation_dispose(copy);
        anm_animation_dispose(o.animation);
    }
}

TEST(MappedFile, FileCutShortWhileOpenReadsAsNoKeysInsteadOfCrashing) {
    TempDir dir;
    for (Keys keys : {Keys::Dense, Keys::Bitmap}) {
        for (size_t keep : {size_t{0}, size_t{4} << 20}) {
            Opened o = saveAndOpen(dir, keys);
            ASSERT_NE(o.animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
            ANM_ANIMATION_HANDLE reference = anm_animation_open_memory_f(o.bytes.data(), o.bytes.size());
            FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(o.animation, 0);
            const uint32_t cutsBefore = kell_changed_files_count();
            ASSERT_EQ(::truncate(o.path.c_str(), static_cast<off_t>(keep)), 0);
            EXPECT_FALSE(anm_animation_file_changed_f(o.animation)) << "nothing read past the end yet";
            expectOriginalOrNothing(o.animation, reference);
            // From the first read past the end, the animation says so and
            // every read fails, the frames before the cut included.
            EXPECT_TRUE(anm_animation_file_changed_f(o.animation));
            EXPECT_EQ(kell_changed_files_count(), cutsBefore + 1);
            EXPECT_EQ(fgf_frame_joint_orientation_key_f(f, 0, 0, 0), 0);
            EXPECT_EQ(fgf_frame_value_key_f(f, 0, 1), 0);
            EXPECT_EQ(fgf_frame_joint_orientation_next_key_f(f, 0, 0), -1);
            EXPECT_EQ(fgf_frame_joint_orientation_key_count_f(f, 0), -1);
            EXPECT_EQ(anm_animation_figure_get_by_index_f(o.animation, 0), nullptr);
            EXPECT_EQ(anm_animation_frame_rate_get_f(o.animation), 0.0f);
            quaternion back{1, 1, 1, 1};
            fgf_frame_joint_orientation_get(f, 0, 0, &back, 1);
            EXPECT_TRUE(isZero(back));
            // Edits and saves of what is left fail too: it is not the file.
            const quaternion q{1, 2, 3, 4};
            EXPECT_FALSE(fgf_frame_joint_orientation_set_f(f, 5, 3, &q));
            FM_FILE_IDENTIFIER_TYPE id{};
            ASSERT_TRUE(fm_path_name_to_file_id_f(dir.path("resaved.qmf").c_str(), &id));
            EXPECT_FALSE(anm_animation_save_as_f(o.animation, &id, 0, nullptr));
            EXPECT_STREQ(kell_last_error_message(), "the file changed while it was being read");
            EXPECT_NE(::access(dir.path("resaved.qmf").c_str(), F_OK), 0);
            // The copy in memory is another animation, untouched.
            EXPECT_FALSE(anm_animation_file_changed_f(reference));
            anm_animation_dispose(reference);
            anm_animation_dispose(o.animation);
        }
    }
}

TEST(MappedFile, TheTestHookCutsAtTheChosenReadAndANewMappingStartsIntact) {
    TempDir dir;
    Opened o = saveAndOpen(dir, Keys::Dense);
    ASSERT_NE(o.animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
    FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(o.animation, 0);
    kell_testing_cut_file_at_read(3);
    quaternion q;
    fgf_frame_joint_orientation_get(f, 0, 0, &q, 1);
    fgf_frame_joint_orientation_get(f, 1, 0, &q, 1);
    EXPECT_EQ(::access(o.path.c_str(), F_OK), 0);
    EXPECT_EQ(std::filesystem::file_size(o.path), o.bytes.size()) << "not cut before the third read";
    fgf_frame_joint_orientation_get(f, 2, 0, &q, 1);
    EXPECT_EQ(std::filesystem::file_size(o.path), o.bytes.size() / 3);
    // The last joint's keys lie past the cut.
    fgf_frame_joint_orientation_get(f, 0, 23, &q, 1);
    EXPECT_TRUE(isZero(q));
    EXPECT_TRUE(anm_animation_file_changed_f(o.animation));
    anm_animation_dispose(o.animation);

    // The guard's slot is used again, its flag lowered.
    Opened again = saveAndOpen(dir, Keys::Dense);
    ASSERT_NE(again.animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
    FIG_FIGURE_HANDLE g = anm_animation_figure_get_by_index_f(again.animation, 0);
    fgf_frame_joint_orientation_get(g, 0, 23, &q, 1);
    EXPECT_FALSE(isZero(q));
    EXPECT_FALSE(anm_animation_file_changed_f(again.animation));
    anm_animation_dispose(again.animation);
}

TEST(MappedFile, FileRewrittenWhileOpenNeverReadsOutOfBounds) {
    TempDir dir;
    Opened o = saveAndOpen(dir, Keys::Bitmap);
    ASSERT_NE(o.animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
    // Every byte after the header set: every bitmap now claims every frame,
    // more keys than the values checked at open.
    std::vector<uint8_t> rewritten = o.bytes;
    std::memset(rewritten.data() + 32, 0xFF, rewritten.size() - 32);
    {
        FILE *f = std::fopen(o.path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(rewritten.data(), 1, rewritten.size(), f), rewritten.size());
        std::fclose(f);
    }
    FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(o.animation, 0);
    const int32_t frames = anm_animation_number_of_frames_get_f(o.animation);
    for (SKL_JOINT_ID j = 0; j < 24; ++j) {
        for (int32_t frame = frames - 64; frame <= frames; ++frame) {
            quaternion q;
            fgf_frame_joint_orientation_get(f, frame, j, &q, 1);
        }
    }
    // Turning a track editable walks every key it claims.
    const quaternion q{1, 2, 3, 4};
    EXPECT_TRUE(fgf_frame_joint_orientation_set_f(f, 0, 0, &q));
    anm_animation_dispose(o.animation);
}

TEST(MappedFileDeathTest, ABusErrorOutsideTheLibrarysMappingsStillEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    Opened o = saveAndOpen(dir, Keys::Dense);  // installs the guard
    ASSERT_NE(o.animation, ANM_INVALID_ANIMATION);
    // Ends by the signal, or by the report of a sanitizer's own handler.
    EXPECT_DEATH(::raise(SIGBUS), "");
    anm_animation_dispose(o.animation);
}
