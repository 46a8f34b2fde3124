#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "kell_test_support.h"
#include "kell_testing.h"

using namespace kelltest;

namespace {

class Save : public testing::Test {
protected:
    void TearDown() override { kell_testing_fail_save_after(-1); }
};

// A save cut short at any point leaves the old file byte for byte and no
// temporary file next to it.
TEST_F(Save, InterruptedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    Sample small;
    ANM_ANIMATION_HANDLE oldClip = makeSample(small);
    const std::vector<uint8_t> oldBytes = saveBytes(oldClip, dir.path("clip.qmf"));
    ASSERT_FALSE(oldBytes.empty());
    Sample big;
    big.frames = 500;
    big.joints = 8;
    ANM_ANIMATION_HANDLE newClip = makeSample(big);
    const std::vector<uint8_t> newBytes = saveBytes(newClip, dir.path("reference.qmf"));
    ASSERT_EQ(std::remove(dir.path("reference.qmf").c_str()), 0);

    for (int64_t cut : {int64_t{0}, int64_t{1}, int64_t{32}, static_cast<int64_t>(newBytes.size() / 2),
                        static_cast<int64_t>(newBytes.size() - 1)}) {
        kell_testing_fail_save_after(cut);
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("clip.qmf"));
        EXPECT_FALSE(anm_animation_save_as_f(newClip, &id, 0, nullptr)) << cut;
        EXPECT_STRNE(kell_last_error_message(), "");
        EXPECT_EQ(readBytes(dir.path("clip.qmf")), oldBytes) << cut;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.qmf"}) << cut;

        // A new file that fails is not left behind half-written either.
        FM_FILE_IDENTIFIER_TYPE fresh = identifierFor(dir.path("fresh.qmf"));
        EXPECT_FALSE(anm_animation_save_as_f(newClip, &fresh, 0, nullptr)) << cut;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.qmf"}) << cut;
    }
    // Exactly the whole file may be written: then the save succeeds.
    kell_testing_fail_save_after(static_cast<int64_t>(newBytes.size()));
    EXPECT_EQ(saveBytes(newClip, dir.path("clip.qmf")), newBytes);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.qmf"});
    anm_animation_dispose(oldClip);
    anm_animation_dispose(newClip);
}

TEST_F(Save, RefusedTargetsChangeNothing) {
    TempDir dir;
    ANM_ANIMATION_HANDLE a = makeSample(Sample{});
    ASSERT_EQ(mkdir(dir.path("folder").c_str(), 0755), 0);
    const struct {
        const char *what;
        std::string path;
    } cases[] = {
        {"missing folder", dir.path("nowhere/clip.qmf")},
        {"a folder", dir.path("folder")},
    };
    for (const auto &c : cases) {
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(c.path);
        EXPECT_FALSE(anm_animation_save_as_f(a, &id, 0, nullptr)) << c.what;
    }
    FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("clip.qmf"));
    EXPECT_FALSE(anm_animation_save_as_f(a, &id, 1, nullptr)) << "flags other than 0";
    int reserved = 0;
    EXPECT_FALSE(anm_animation_save_as_f(a, &id, 0, &reserved)) << "a reserved argument";
    EXPECT_FALSE(anm_animation_save_as_f(a, nullptr, 0, nullptr));
    EXPECT_FALSE(anm_animation_save_as_f(ANM_INVALID_ANIMATION, &id, 0, nullptr));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"folder"});
    EXPECT_TRUE(std::filesystem::is_empty(dir.path("folder")));
    anm_animation_dispose(a);
}

TEST_F(Save, TheLongestFileNameCanBeSaved) {
    TempDir dir;
    ANM_ANIMATION_HANDLE a = makeSample(Sample{});
    const std::string name(255, 'n');  // the usual file-name limit; the temporary name is longer
    EXPECT_FALSE(saveBytes(a, dir.path(name)).empty()) << kell_last_error_message();
    EXPECT_EQ(dir.entries(), std::vector<std::string>{name});
    anm_animation_dispose(a);
}

TEST_F(Save, ReplacingAFileKeepsItsPermissions) {
    TempDir dir;
    ANM_ANIMATION_HANDLE a = makeSample(Sample{});
    ASSERT_FALSE(saveBytes(a, dir.path("clip.qmf")).empty());
    ASSERT_EQ(chmod(dir.path("clip.qmf").c_str(), 0640), 0);
    ASSERT_FALSE(saveBytes(a, dir.path("clip.qmf")).empty());
    struct stat st {};
    ASSERT_EQ(stat(dir.path("clip.qmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    anm_animation_dispose(a);
}

}  // namespace
