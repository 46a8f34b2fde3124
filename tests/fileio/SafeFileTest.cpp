// Reading only regular files, and replacing outputs without losing what the
// user had: modes, owners, links, non-regular files and inputs.
#include "fileio/SafeFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

mode_t modeOf(const fs::path& p) {
    struct stat st;
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode;
}

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qmf_fileio_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path at(const std::string& name) const { return dir_ / name; }
    fs::path fifo(const std::string& name) const {
        fs::path p = at(name);
        EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0);
        return p;
    }
    // Every name in the folder, so leftovers show.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path dir_;
};

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const fileio::Error& e) {
        return e.what();
    }
    return "";
}

TEST_F(SafeFile, ReadsARegularFileWhole) {
    spit(at("a"), std::string("x\0y", 3));
    fileio::InputFile f(at("a").string());
    EXPECT_EQ(f.size(), 3u);
    EXPECT_EQ(f.readAll(3), std::string("x\0y", 3));
    fileio::InputFile g(at("a").string());
    EXPECT_EQ(errorOf([&] { g.readAll(2); }), at("a").string() + ": larger than the limit of 2 bytes");
}

// Refused before any open that could block: a FIFO with no writer would
// otherwise hang the test here.
TEST_F(SafeFile, RefusesEverythingButARegularFileAsInput) {
    fs::path pipe = fifo("pipe");
    fs::create_directory(at("folder"));
    fs::create_symlink("pipe", at("link-to-pipe"));
    struct Row {
        fs::path path;
        std::string message;
    } rows[] = {
        {pipe, ": not a regular file"},
        {at("link-to-pipe"), ": not a regular file"},
        {at("folder"), ": is a folder"},
        {at("missing"), ": No such file or directory"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(errorOf([&] { fileio::requireRegularFile(r.path.string()); }), r.path.string() + r.message);
        EXPECT_EQ(errorOf([&] { fileio::InputFile f(r.path.string()); }), r.path.string() + r.message);
    }
}

TEST_F(SafeFile, RefusesADeviceAsInputAndOutput) {
    fs::path dev = at("null");
    // The same device as the system's null device, but a node of our own.
    if (::mknod(dev.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make a device node here";
    EXPECT_EQ(errorOf([&] { fileio::InputFile f(dev.string()); }), dev.string() + ": not a regular file");
    EXPECT_EQ(errorOf([&] { fileio::writeFileAtomically(dev.string(), "x"); }),
              dev.string() + ": exists and is not a regular file; not replaced");
    EXPECT_TRUE(S_ISCHR(modeOf(dev)));
}

TEST_F(SafeFile, ResolvesLinkChainsRelativeToEachLinksFolder) {
    fs::create_directories(at("a/b"));
    fs::create_symlink("b/real", at("a/first"));          // relative to a/
    fs::create_symlink(at("a/first"), at("second"));      // absolute
    fs::create_symlink("second", at("third"));            // relative to dir_
    EXPECT_EQ(fileio::resolveLinks(at("third").string()), (dir_ / "a" / "b" / "real").string());
    EXPECT_EQ(fileio::resolveLinks(at("plain").string()), at("plain").string());

    fs::create_symlink("loop2", at("loop1"));
    fs::create_symlink("loop1", at("loop2"));
    EXPECT_EQ(errorOf([&] { fileio::resolveLinks(at("loop1").string()); }),
              at("loop1").string() + ": too many levels of symbolic links");
}

TEST_F(SafeFile, ReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    for (mode_t mode : {0600, 0640, 0755, 0444}) {
        fs::path p = at("m" + std::to_string(mode));
        spit(p, "old");
        ASSERT_EQ(::chmod(p.c_str(), mode), 0);
        if (mode == 0444 && ::geteuid() != 0) continue;  // only root may replace a read-only file here
        fileio::writeFileAtomically(p.string(), "new");
        EXPECT_EQ(slurp(p), "new");
        EXPECT_EQ(modeOf(p) & 07777, mode) << std::oct << mode;
    }
    mode_t old = ::umask(027);
    fileio::writeFileAtomically(at("fresh").string(), "x");
    ::umask(old);
    EXPECT_EQ(modeOf(at("fresh")) & 07777, 0640u);
}

TEST_F(SafeFile, ReplacedFileKeepsItsOwnerWherePermitted) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
    spit(at("owned"), "old");
    ASSERT_EQ(::chown(at("owned").c_str(), 4321, 8765), 0);
    fileio::writeFileAtomically(at("owned").string(), "new");
    struct stat st;
    ASSERT_EQ(::stat(at("owned").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
}

TEST_F(SafeFile, WriteThroughASymlinkReplacesItsTargetAndKeepsTheLink) {
    fs::create_directory(at("real"));
    spit(at("real/scene.ma"), "old");
    ASSERT_EQ(::chmod(at("real/scene.ma").c_str(), 0600), 0);
    fs::create_symlink("real/scene.ma", at("link.ma"));
    fs::create_symlink("real/new.ma", at("dangling.ma"));

    fileio::writeFileAtomically(at("link.ma").string(), "new");
    EXPECT_TRUE(fs::is_symlink(at("link.ma")));
    EXPECT_EQ(fs::read_symlink(at("link.ma")), "real/scene.ma");
    EXPECT_EQ(slurp(at("real/scene.ma")), "new");
    EXPECT_EQ(modeOf(at("real/scene.ma")) & 07777, 0600u);

    fileio::writeFileAtomically(at("dangling.ma").string(), "made");
    EXPECT_TRUE(fs::is_symlink(at("dangling.ma")));
    EXPECT_EQ(slurp(at("real/new.ma")), "made");
    // The temporary files lived beside the targets and are gone.
    EXPECT_EQ(names(), (std::vector<std::string>{"dangling.ma", "link.ma", "real"}));
    std::vector<std::string> inReal;
    for (const auto& e : fs::directory_iterator(at("real"))) inReal.push_back(e.path().filename().string());
    std::sort(inReal.begin(), inReal.end());
    EXPECT_EQ(inReal, (std::vector<std::string>{"new.ma", "scene.ma"}));
}

TEST_F(SafeFile, RefusesOutputsThatCannotBeReplacedAndChangesNothing) {
    fs::path pipe = fifo("pipe");
    fs::create_symlink("pipe", at("link-to-pipe"));
    fs::create_directory(at("folder"));
    struct Row {
        fs::path path;
        std::string message;
    } rows[] = {
        {pipe, ": exists and is not a regular file; not replaced"},
        {at("link-to-pipe"), ": exists and is not a regular file; not replaced"},
        {at("folder"), ": is a folder"},
        {at("nowhere/out"), ": no such folder " + at("nowhere").string()},
    };
    for (const auto& r : rows)
        EXPECT_EQ(errorOf([&] { fileio::writeFileAtomically(r.path.string(), "x"); }), r.path.string() + r.message);
    EXPECT_EQ(errorOf([] { fileio::checkOutput(""); }), "empty output path");
    EXPECT_TRUE(S_ISFIFO(modeOf(pipe)));
    EXPECT_TRUE(fs::is_symlink(at("link-to-pipe")));
    EXPECT_EQ(names(), (std::vector<std::string>{"folder", "link-to-pipe", "pipe"}));
}

TEST_F(SafeFile, NamesUpToTheFileSystemLimitCanBeWritten) {
    for (std::size_t n : {200u, 238u, 255u}) {
        fs::path p = at(std::string(n, 'n'));
        spit(p, "old");
        fileio::writeFileAtomically(p.string(), "new");
        EXPECT_EQ(slurp(p), "new") << n;
    }
    EXPECT_EQ(names().size(), 3u);
}

TEST_F(SafeFile, TemporaryNamesAreShortRecognisableAndCutOnACharacter) {
    std::string name = std::string(199, 'a') + "\xc3\xa9" + std::string(50, 'b');  // é across byte 200
    std::string t = fileio::temporaryTemplate("/some/dir/" + name);
    EXPECT_EQ(t, "/some/dir/" + std::string(fileio::kTempPrefix) + std::string(199, 'a') + ".XXXXXX");
    EXPECT_EQ(fileio::temporaryTemplate("out.qmf"), std::string(fileio::kTempPrefix) + "out.qmf.XXXXXX");
    EXPECT_EQ(fileio::temporaryTemplate("/out.qmf"), "/" + std::string(fileio::kTempPrefix) + "out.qmf.XXXXXX");
    // Room is left for a library that builds its own temporary name on ours.
    EXPECT_LE(fileio::temporaryTemplate(std::string(255, 'x')).size() + 12, 255u);
}

TEST_F(SafeFile, SameFileComparesDeviceAndInode) {
    spit(at("a"), "a");
    spit(at("b"), "a");
    fs::create_hard_link(at("a"), at("hard"));
    fs::create_symlink("a", at("soft"));
    fs::create_directory(at("sub"));
    std::string dotted = (dir_ / "sub" / ".." / "." / "a").string();
    EXPECT_TRUE(fileio::sameFile(at("a").string(), at("hard").string()));
    EXPECT_TRUE(fileio::sameFile(at("a").string(), at("soft").string()));
    EXPECT_TRUE(fileio::sameFile(at("a").string(), dotted));
    EXPECT_FALSE(fileio::sameFile(at("a").string(), at("b").string()));
    EXPECT_FALSE(fileio::sameFile(at("a").string(), at("missing").string()));

    fileio::Output out = fileio::checkOutput(at("soft").string());
    EXPECT_EQ(errorOf([&] { fileio::refuseSameFile(out, at("hard").string()); }),
              at("soft").string() + ": is the same file as the input " + at("hard").string() + "; not replaced");
    EXPECT_EQ(errorOf([&] { fileio::refuseSameFile(out, at("b").string()); }), "");
}

TEST_F(SafeFile, TempFileHandedToAnotherWriterIsCommittedOrRemoved) {
    spit(at("out"), "old");
    ASSERT_EQ(::chmod(at("out").c_str(), 0640), 0);
    {
        fileio::TempFile t(fileio::checkOutput(at("out").string()));
        EXPECT_EQ(fs::path(t.path()).filename().string().rfind(fileio::kTempPrefix, 0), 0u);
        // Another writer replaces the temporary file by name.
        spit(t.path() + ".other", "theirs");
        fs::rename(t.path() + ".other", t.path());
        t.commit();
    }
    EXPECT_EQ(slurp(at("out")), "theirs");
    EXPECT_EQ(modeOf(at("out")) & 07777, 0640u);
    {
        fileio::TempFile t(fileio::checkOutput(at("out").string()));
        t.write("abandoned");
    }
    EXPECT_EQ(slurp(at("out")), "theirs");
    EXPECT_EQ(names(), std::vector<std::string>{"out"});
}

// A write that fails half way (here at the file size limit) says why and
// leaves the old file and no temporary file.
TEST_F(SafeFile, FailedWriteSaysWhyAndKeepsTheOldFile) {
    spit(at("out"), "old");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        std::string msg = errorOf([&] { fileio::writeFileAtomically(at("out").string(), std::string(5000, 'x')); });
        (void)!::write(fds[1], msg.data(), msg.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string msg;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) msg.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(msg, "cannot write " + at("out").string() + ": File too large");
    EXPECT_EQ(slurp(at("out")), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"out"});
}

}  // namespace
