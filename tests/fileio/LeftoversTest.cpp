// A job ended by a signal leaves no temporary file or folder behind; one
// whose owner finished leaves nothing listed.
#include "fileio/Leftovers.h"
#include "fileio/PrivateFolder.h"
#include "fileio/SafeFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Leftovers : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qmf_leftovers_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // What a child that made a private folder (with a file named through it
    // and one its library made beside it) and a temporary output, then got
    // `sig` with the handlers in place, left behind; and how it ended.
    int endedBy(int sig, bool install) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("TMPDIR", dir_.c_str(), 1);
            if (install) fileio::removeLeftoversOnSignals();
            fileio::PrivateFolder folder("qmf-view");
            std::ofstream(folder.file("motion.qmf")) << "clip";
            std::ofstream(folder.path() + "/motion.qmf.tmp123") << "half";
            fileio::TempFile out(fileio::checkOutput((dir_ / "out.ma").string()));
            out.write("partial");
            ::raise(sig);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }

    std::vector<std::string> left() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        return names;
    }

    fs::path dir_;
};

TEST_F(Leftovers, EachStopSignalRemovesWhatTheJobMadeAndEndsTheProcessByIt) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        EXPECT_EQ(endedBy(sig, true), sig) << strsignal(sig);
        EXPECT_EQ(left(), std::vector<std::string>{}) << strsignal(sig);
    }
}

TEST_F(Leftovers, WithoutTheHandlersTheyStayWhichIsWhatTheyRemove) {
    EXPECT_EQ(endedBy(SIGTERM, false), SIGTERM);
    const auto names = left();
    ASSERT_EQ(names.size(), 2u);
    bool folder = false, temp = false;
    for (const auto& n : names) {
        folder = folder || n.rfind("qmf-view-", 0) == 0;
        temp = temp || n.find("out.ma") != std::string::npos;
    }
    EXPECT_TRUE(folder && temp);
}

TEST_F(Leftovers, AnIgnoredSignalStaysIgnored) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGHUP, SIG_IGN);
        fileio::removeLeftoversOnSignals();
        ::raise(SIGHUP);
        ::_exit(7);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST_F(Leftovers, ASlotIsFreedByItsOwnerAndTheListIsBounded) {
    std::vector<int> slots;
    for (int i = 0; i < 40; ++i) slots.push_back(fileio::keepLeftover((dir_ / std::to_string(i)).string(), false));
    int taken = 0;
    for (int s : slots) taken += s >= 0;
    EXPECT_GT(taken, 0);
    EXPECT_LT(taken, 40) << "the list is fixed, so a handler never allocates";
    EXPECT_EQ(fileio::keepLeftover(std::string(5000, 'a'), false), -1);
    for (int s : slots) fileio::dropLeftover(s);
    EXPECT_GE(fileio::keepLeftover("x", false), 0) << "dropped slots are free again";
}

}  // namespace
