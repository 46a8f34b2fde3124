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
    void TearDown() override {
        kell_testing_fail_save_after(-1);
        kell_testing_save_chunk(0);
    }
};

// Whatever the piece size, so that sections, their headers, bitmaps and key
// values all fall across piece boundaries somewhere (0 is the usual size).
TEST_F(StreamedSave, WritesTheSameBytesAsTheWholeFileEncoder) {
    TempDir dir;
    for (const Expected &e : kExpected) {
        ANM_ANIMATION_HANDLE a = makeSample(e.sample);
        for (size_t chunk : {size_t{0}, size_t{1}, size_t{13}, size_t{512}, size_t{4096}}) {
            if (chunk != 0 && chunk < 512 && e.size > 65536) continue;  // a write call per byte: too slow
            kell_testing_save_chunk(chunk);
            const std::vector<uint8_t> bytes = saveBytes(a, dir.path("clip.qmf"));
            ASSERT_FALSE(bytes.empty()) << e.name << " in pieces of " << chunk << ": " << kell_last_error_message();
            EXPECT_EQ(bytes.size(), e.size) << e.name << " in pieces of " << chunk;
            EXPECT_EQ(fnv1a(bytes), e.hash) << e.name << " in pieces of " << chunk;
        }
        anm_animation_dispose(a);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.qmf"});
}

// Failures after some pieces, and section headers patched, are on disk.
TEST_F(StreamedSave, AFailureAfterSomePiecesKeepsTheOldFile) {
    TempDir dir;
    ANM_ANIMATION_HANDLE oldClip = makeSample(Sample{});
    const std::vector<uint8_t> oldBytes = saveBytes(oldClip, dir.path("clip.qmf"));
    ASSERT_FALSE(oldBytes.empty());
    ANM_ANIMATION_HANDLE a = makeSample(kExpected[6].sample);  // long_dense, 3 MB
    kell_testing_save_chunk(4096);
    const int64_t size = static_cast<int64_t>(kExpected[6].size);
    for (int64_t cut : {int64_t{4096}, int64_t{4097}, int64_t{3 * 4096 + 5}, size / 2, size - 1}) {
        kell_testing_fail_save_after(cut);
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("clip.qmf"));
        EXPECT_FALSE(anm_animation_save_as_f(a, &id, 0, nullptr)) << cut;
        EXPECT_STREQ(kell_last_error_message(), "cannot save, writing failed: No space left on device") << cut;
        EXPECT_EQ(readBytes(dir.path("clip.qmf")), oldBytes) << cut;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.qmf"}) << cut;
    }
    anm_animation_dispose(a);
    anm_animation_dispose(oldClip);
}

// A real write refusal from the kernel half way through the file: the size
// limit of the process, set in a child so the test runner keeps its own.
TEST_F(StreamedSave, AFileSizeLimitHalfWayKeepsTheOldFile) {
    TempDir dir;
    ANM_ANIMATION_HANDLE oldClip = makeSample(Sample{});
    const std::vector<uint8_t> oldBytes = saveBytes(oldClip, dir.path("clip.qmf"));
    ASSERT_FALSE(oldBytes.empty());
    ANM_ANIMATION_HANDLE a = makeSample(kExpected[6].sample);  // 3 MB: three pieces and a bit
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing the process
        const struct rlimit limit = {3 << 19, 3 << 19};  // 1.5 MiB
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("clip.qmf"));
        const bool saved = anm_animation_save_as_f(a, &id, 0, nullptr);
        const std::string why = kell_last_error_message();
        const bool sent = write(pipeFds[1], why.data(), why.size()) == static_cast<ssize_t>(why.size());
        _exit(saved ? 1 : sent ? 0 : 2);
    }
    close(pipeFds[1]);
    std::string why;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) why.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 2: no message, 3: no limit";
    EXPECT_EQ(why, "cannot save, writing failed: File too large");
    EXPECT_EQ(readBytes(dir.path("clip.qmf")), oldBytes);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.qmf"});

    // Without the limit the same save goes through.
    EXPECT_EQ(saveBytes(a, dir.path("clip.qmf")).size(), kExpected[6].size) << kell_last_error_message();
    anm_animation_dispose(a);
    anm_animation_dispose(oldClip);
}

}  // namespace
