#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "kell_test_support.h"
#include "kell_testing.h"

using namespace kelltest;

namespace {

class Save : public testing::Test {
protected:
    void TearDown() override {
        kell_testing_fail_save_after(-1);
        kell_save_sync_set(1);
        kell_save_in_place_set(0);
    }
};

// In place, a save writes the file it names (the same inode, no temporary
// file beside it) with the same bytes; a failed one leaves that file cut
// short, for its maker to remove; a folder is still refused.
TEST_F(Save, InPlaceSavesWriteTheNamedFileItself) {
    TempDir dir;
    Sample shape;
    shape.frames = 300;
    ANM_ANIMATION_HANDLE clip = makeSample(shape);
    const std::vector<uint8_t> atomic = saveBytes(clip, dir.path("atomic.qmf"));
    ASSERT_FALSE(atomic.empty());
    {
        std::FILE* f = std::fopen(dir.path("longer.qmf").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::vector<uint8_t> junk(atomic.size() + 1000, 0x5a);
        ASSERT_EQ(std::fwrite(junk.data(), 1, junk.size(), f), junk.size());
        std::fclose(f);
    }
    struct stat before {};
    ASSERT_EQ(::stat(dir.path("longer.qmf").c_str(), &before), 0);
    kell_save_in_place_set(1);
    EXPECT_EQ(saveBytes(clip, dir.path("longer.qmf")), atomic) << "over a longer file";
    struct stat after {};
    ASSERT_EQ(::stat(dir.path("longer.qmf").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(saveBytes(clip, dir.path("new.qmf")), atomic) << "a new file";
    kell_testing_fail_save_after(100);
    FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("new.qmf"));
    EXPECT_FALSE(anm_animation_save_as_f(clip, &id, 0, nullptr));
    EXPECT_LT(readBytes(dir.path("new.qmf")).size(), atomic.size());
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"atomic.qmf", "longer.qmf", "new.qmf"}));
    kell_testing_fail_save_after(-1);
    std::filesystem::create_directory(dir.path("folder.qmf"));
    id = identifierFor(dir.path("folder.qmf"));
    EXPECT_FALSE(anm_animation_save_as_f(clip, &id, 0, nullptr));
    EXPECT_STREQ(kell_last_error_message(), "target exists and is not a regular file");
    anm_animation_dispose(clip);
}

// Without syncing, a save is the same file put in place the same way; a
// failed one still leaves the old file and nothing beside it.
TEST_F(Save, UnsyncedSavesWriteTheSameBytesAndStayAtomic) {
    TempDir dir;
    Sample shape;
    shape.frames = 300;
    ANM_ANIMATION_HANDLE clip = makeSample(shape);
    const std::vector<uint8_t> synced = saveBytes(clip, dir.path("synced.qmf"));
    ASSERT_FALSE(synced.empty());
    kell_save_sync_set(0);
    EXPECT_EQ(saveBytes(clip, dir.path("synced.qmf")), synced) << "replacing a file";
    EXPECT_EQ(saveBytes(clip, dir.path("new.qmf")), synced) << "a new file";
    kell_testing_fail_save_after(100);
    FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("new.qmf"));
    EXPECT_FALSE(anm_animation_save_as_f(clip, &id, 0, nullptr));
    EXPECT_EQ(readBytes(dir.path("new.qmf")), synced);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"new.qmf", "synced.qmf"}));
    anm_animation_dispose(clip);
}

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

    // A FIFO, directly or behind a link, stays what it was.
    ASSERT_EQ(mkfifo(dir.path("pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("pipe", dir.path("to-pipe").c_str()), 0);
    for (const char *name : {"pipe", "to-pipe"}) {
        FM_FILE_IDENTIFIER_TYPE fifo = identifierFor(dir.path(name));
        EXPECT_FALSE(anm_animation_save_as_f(a, &fifo, 0, nullptr)) << name;
        EXPECT_STREQ(kell_last_error_message(), "target exists and is not a regular file") << name;
    }
    struct stat st {};
    ASSERT_EQ(lstat(dir.path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder", "pipe", "to-pipe"}));
    anm_animation_dispose(a);
}

// The user's link to their file survives a save through it; the target is
// replaced in its own folder.
TEST_F(Save, SavingThroughASymlinkReplacesItsTargetAndKeepsTheLink) {
    TempDir dir;
    ANM_ANIMATION_HANDLE a = makeSample(Sample{});
    ASSERT_EQ(mkdir(dir.path("real").c_str(), 0755), 0);
    const std::vector<uint8_t> bytes = saveBytes(a, dir.path("real/clip.qmf"));
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(chmod(dir.path("real/clip.qmf").c_str(), 0600), 0);
    {
        std::FILE *f = std::fopen(dir.path("real/clip.qmf").c_str(), "wb");  // make the old contents differ
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    ASSERT_EQ(symlink("real/clip.qmf", dir.path("link.qmf").c_str()), 0);
    ASSERT_EQ(symlink("real/new.qmf", dir.path("dangling.qmf").c_str()), 0);
    for (const char *link : {"link.qmf", "dangling.qmf"}) {
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path(link));
        EXPECT_TRUE(anm_animation_save_as_f(a, &id, 0, nullptr)) << link << ": " << kell_last_error_message();
        struct stat st {};
        ASSERT_EQ(lstat(dir.path(link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ(readBytes(dir.path("real/clip.qmf")), bytes);
    EXPECT_EQ(readBytes(dir.path("real/new.qmf")), bytes);
    struct stat st {};
    ASSERT_EQ(stat(dir.path("real/clip.qmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"dangling.qmf", "link.qmf", "real"}));
    anm_animation_dispose(a);
}

TEST_F(Save, ReplacingAFileKeepsItsOwnerWherePermitted) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
    TempDir dir;
    ANM_ANIMATION_HANDLE a = makeSample(Sample{});
    ASSERT_FALSE(saveBytes(a, dir.path("clip.qmf")).empty());
    ASSERT_EQ(chown(dir.path("clip.qmf").c_str(), 4321, 8765), 0);
    ASSERT_FALSE(saveBytes(a, dir.path("clip.qmf")).empty());
    struct stat st {};
    ASSERT_EQ(stat(dir.path("clip.qmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
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
