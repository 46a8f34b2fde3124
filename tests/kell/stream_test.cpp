// The save streams the file through a bounded buffer, patching each section's
// checksum and length once its payload is out. These tests hold it to the
// bytes the whole-file encoder produced, whatever the buffer size, and to
// leaving the target alone when the disk refuses a write half way.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kell_test_support.h"
#include "kell_testing.h"

using namespace kelltest;

namespace {

uint64_t fnv1a(const std::vector<uint8_t> &bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

Sample with(void (*edit)(Sample &)) {
    Sample s;
    edit(s);
    return s;
}

// Sizes and FNV-1a hashes of the files the whole-file encoder wrote for these
// clips, recorded before the save streamed.
struct Expected {
    const char *name;
    Sample sample;
    uint64_t size;
    uint64_t hash;
};
const Expected kExpected[] = {
    {"dense", Sample{}, 998, 0xc1a88c731ebb214aull},
    {"bitmap_figures", with([](Sample &s) { s.figures = 3; s.keys = Keys::Bitmap; s.frames = 20; }), 3592, 0x10a7941f4395fb34ull},
    {"listed_keys", with([](Sample &s) { s.keys = Keys::List; s.frames = 400; }), 842, 0x71a8846ca24c8c3full},
    {"odd_floats", with([](Sample &s) { s.oddFloats = true; s.frames = 17; }), 1418, 0x73953ab76591aee0ull},
    {"shared_skeleton", with([](Sample &s) { s.figures = 2; s.shareSkeleton = true; }), 1626, 0xb04c94d4476d5b72ull},
    {"no_figures", with([](Sample &s) { s.figures = 0; }), 64, 0xc797574d387e9500ull},
    // Past one buffer: sections whose headers have already gone to disk.
    {"long_dense", with([](Sample &s) { s.joints = 31; s.frames = 3000; s.figures = 2; s.parts = false; }), 3050906, 0xa4cfc1907dedf344ull},
    {"long_bitmap", with([](Sample &s) { s.joints = 12; s.frames = 9000; s.figures = 2; s.keys = Keys::Bitmap; }),
     2484112, 0x1781b80c217f74c1ull},
};

class StreamedSave : public testing::Test {
protected:
    void TearDown() override { kell_testing_fail_save_after(-1); }
};

TEST_F(StreamedSave, WritesTheSameBytesAsTheWholeFileEncoder) {
    TempDir dir;
    for (const Expected &e : kExpected) {
        ANM_ANIMATION_HANDLE a = makeSample(e.sample);
        const std::vector<uint8_t> bytes = saveBytes(a, dir.path("clip.qmf"));
        ASSERT_FALSE(bytes.empty()) << e.name << ": " << kell_last_error_message();
        EXPECT_EQ(bytes.size(), e.size) << e.name;
        EXPECT_EQ(fnv1a(bytes), e.hash) << e.name;
        anm_animation_dispose(a);
    }
}

}  // namespace
