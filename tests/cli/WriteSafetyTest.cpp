// The command on hostile paths: non-regular inputs and outputs, outputs that
// are inputs, symlinks, modes, long names and a write that runs out of room.
// Every FIFO and device lives in the test's own folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kRig = std::string(QMF_EXAMPLES_DIR) + "/rig.ma";
const std::string kWalk = std::string(QMF_EXAMPLES_DIR) + "/walk.json";

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode;
}

struct Result {
    int status = -1;
    std::string err;
};

class WriteSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qmf_io_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        fs::create_directories(dir_ / "log");
        fs::copy_file(kRig, at("rig.ma"));
        fs::copy_file(kWalk, at("walk.json"));
        ASSERT_EQ(run({"pack", at("walk.json"), at("walk.qmf")}).status, 0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string at(const std::string& name) const { return (dir_ / name).string(); }

    // Runs qmf under a shell prefix (umask, ulimit); a command that blocks is
    // stopped after a while and shows as status 124.
    Result run(const std::vector<std::string>& args, const std::string& prefix = "") {
        std::string cmd = prefix + " timeout 60 " + quoted(QMF_EXE);
        for (const auto& a : args) cmd += " " + quoted(a);
        cmd += " >" + quoted((dir_ / "log" / "stdout").string()) + " 2>" + quoted((dir_ / "log" / "stderr").string()) +
               " </dev/null";
        int raw = std::system(("cd " + quoted(dir_.string()) + " && " + cmd).c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = slurp(dir_ / "log" / "stderr");
        return r;
    }

    // The names in the folder, so temporary leftovers show.
    std::vector<std::string> names(const std::string& sub = "") const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_ / sub)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    // One writing command per row: each writes to the output path given.
    struct Writer {
        const char* name;
        std::vector<std::string> (*args)(const WriteSafety&, const std::string& out);
    };
    static std::vector<Writer> writers() {
        return {
            {"export", [](const WriteSafety& t, const std::string& o) { return std::vector<std::string>{"export", t.at("rig.ma"), o}; }},
            {"pack", [](const WriteSafety& t, const std::string& o) { return std::vector<std::string>{"pack", t.at("walk.json"), o}; }},
            {"import", [](const WriteSafety& t, const std::string& o) {
                 return std::vector<std::string>{"import", t.at("walk.qmf"), t.at("rig.ma"), "-o", o};
             }},
        };
    }

    fs::path dir_;
};

TEST_F(WriteSafety, NonRegularInputsAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0600), 0);
    const std::string pipe = at("pipe");
    const struct {
        std::vector<std::string> args;
    } rows[] = {
        {{"export", pipe, at("out/x.qmf")}},
        {{"import", at("walk.qmf"), pipe, "-o", at("out/x.ma")}},
        {{"import", pipe, at("rig.ma"), "-o", at("out/x.ma")}},
        {{"pack", pipe, at("out/x.qmf")}},
        {{"identify", pipe}},
        {{"info", pipe}},
    };
    for (const auto& row : rows) {
        Result r = run(row.args);
        EXPECT_EQ(r.status, 1) << row.args[0] << " (124: it blocked)";
        EXPECT_EQ(r.err, "qmf: " + pipe + ": not a regular file\n") << row.args[0];
    }
    EXPECT_TRUE(names("out").empty());
}

TEST_F(WriteSafety, NonRegularOutputsAreRefusedAndLeftAsTheyWere) {
    ASSERT_EQ(::mkfifo(at("out/pipe").c_str(), 0600), 0);
    std::vector<std::string> targets = {at("out/pipe")};
    // A device node of our own (the null device's numbers), where allowed.
    if (::mknod(at("out/device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) targets.push_back(at("out/device"));
    else std::cerr << "no device node could be made here; only the FIFO is tried\n";
    fs::create_symlink("pipe", at("out/link-to-pipe"));
    targets.push_back(at("out/link-to-pipe"));
    const auto before = names("out");
    for (const auto& w : writers())
        for (const auto& target : targets) {
            Result r = run(w.args(*this, target));
            EXPECT_EQ(r.status, 1) << w.name << " " << target;
            EXPECT_EQ(r.err, "qmf: " + target + ": exists and is not a regular file; not replaced\n") << w.name;
        }
    EXPECT_TRUE(S_ISFIFO(modeOf(at("out/pipe"))));
    if (targets.size() == 3) {
        EXPECT_TRUE(S_ISCHR(modeOf(at("out/device"))));
    }
    EXPECT_EQ(names("out"), before);
}

TEST_F(WriteSafety, AnOutputThatIsAnInputIsRefused) {
    fs::create_hard_link(at("walk.qmf"), at("hard.qmf"));
    const std::string rig = slurp(at("rig.ma")), json = slurp(at("walk.json")), clip = slurp(at("walk.qmf"));
    const struct {
        std::vector<std::string> args;
        std::string output, input;
    } rows[] = {
        {{"export", "rig.ma", "rig.ma"}, "rig.ma", "rig.ma"},
        {{"export", "rig.ma", "./out/../rig.ma"}, "./out/../rig.ma", "rig.ma"},
        {{"pack", "walk.json", at("walk.json")}, at("walk.json"), "walk.json"},
        {{"import", "walk.qmf", "rig.ma", "-o", "walk.qmf"}, "walk.qmf", "walk.qmf"},
        {{"import", "hard.qmf", "rig.ma", "-o", "walk.qmf"}, "walk.qmf", "hard.qmf"},
    };
    for (const auto& row : rows) {
        Result r = run(row.args);
        EXPECT_EQ(r.status, 1) << row.args[0] << " " << row.output;
        EXPECT_EQ(r.err, "qmf: " + row.output + ": is the same file as the input " + row.input + "; not replaced\n");
    }
    EXPECT_EQ(slurp(at("rig.ma")), rig);
    EXPECT_EQ(slurp(at("walk.json")), json);
    EXPECT_EQ(slurp(at("walk.qmf")), clip);

    // The import's documented -o onto its own scene, even through a link.
    fs::create_symlink("rig.ma", at("rig-link.ma"));
    ASSERT_EQ(run({"import", "walk.qmf", "rig.ma", "-o", "rig-link.ma"}).status, 0);
    EXPECT_NE(slurp(at("rig.ma")), rig);
    EXPECT_TRUE(fs::is_symlink(at("rig-link.ma")));
}

TEST_F(WriteSafety, ReplacedOutputsKeepTheirModeAndNewOnesFollowTheUmask) {
    for (const auto& w : writers())
        for (mode_t mode : {0600, 0640, 0755}) {
            std::string out = at("out/" + std::string(w.name) + std::to_string(mode));
            std::ofstream(out) << "old";
            ASSERT_EQ(::chmod(out.c_str(), mode), 0);
            Result r = run(w.args(*this, out));
            ASSERT_EQ(r.status, 0) << w.name << ": " << r.err;
            EXPECT_NE(slurp(out), "old") << w.name;
            EXPECT_EQ(modeOf(out) & 07777, mode) << w.name << " " << std::oct << mode;
        }
    for (const auto& w : writers()) {
        std::string out = at("out/new-" + std::string(w.name));
        ASSERT_EQ(run(w.args(*this, out), "umask 027;").status, 0) << w.name;
        EXPECT_EQ(modeOf(out) & 07777, 0640u) << w.name;
    }
    EXPECT_EQ(names("out").size(), 12u) << "temporary files left behind";
}

TEST_F(WriteSafety, ASymlinkedOutputKeepsItsLinkAndItsTargetIsReplaced) {
    fs::create_directory(at("real"));
    for (const auto& w : writers()) {
        std::string target = at("real/" + std::string(w.name));
        std::ofstream(target) << "old";
        ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
        std::string link = at("out/" + std::string(w.name) + "-link");
        fs::create_symlink("../real/" + std::string(w.name), link);
        Result r = run(w.args(*this, link));
        ASSERT_EQ(r.status, 0) << w.name << ": " << r.err;
        EXPECT_TRUE(fs::is_symlink(link)) << w.name;
        EXPECT_NE(slurp(target), "old") << w.name;
        EXPECT_EQ(modeOf(target) & 07777, 0600u) << w.name;
    }
    EXPECT_EQ(names("real"), (std::vector<std::string>{"export", "import", "pack"}));
    EXPECT_EQ(names("out"), (std::vector<std::string>{"export-link", "import-link", "pack-link"}));
}

TEST_F(WriteSafety, OutputNamesUpToTheFileSystemLimitCanBeWritten) {
    for (const auto& w : writers())
        for (std::size_t n : {238u, 255u}) {
            std::string name(n, w.name[0]);
            Result r = run(w.args(*this, at("out/" + name)));
            EXPECT_EQ(r.status, 0) << w.name << " " << n << ": " << r.err;
            EXPECT_TRUE(fs::is_regular_file(at("out/" + name))) << w.name << " " << n;
        }
    EXPECT_EQ(names("out").size(), 6u);
}

// The file size limit stands in for a full disk: every writer must say why
// it failed, keep the old output and leave no temporary file.
TEST_F(WriteSafety, AFailedWriteSaysWhyAndKeepsTheOldOutput) {
    for (const auto& w : writers()) {
        std::string out = at("out/" + std::string(w.name));
        std::ofstream(out) << "old";
        // 512 bytes (one of dash's blocks): less than any of the outputs.
        Result r = run(w.args(*this, out), "trap '' XFSZ; ulimit -f 1;");
        EXPECT_EQ(r.status, 1) << w.name;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << w.name << ": " << r.err;
        EXPECT_EQ(slurp(out), "old") << w.name;
    }
    EXPECT_EQ(names("out"), (std::vector<std::string>{"export", "import", "pack"}));
}

// A rate the file format allows but whose frames the host cannot keep apart
// or hold fails the import before the scene changes; nothing is written.
TEST_F(WriteSafety, AClipWhoseFramesDoNotFitTheHostsTimeIsRefused) {
    const std::string walk = slurp(at("walk.json"));
    const std::string rateKey = "\"frameRate\": 30,";
    ASSERT_NE(walk.find(rateKey), std::string::npos);
    for (const char* rate : {"3.4e38", "1e-45"}) {
        std::string text = walk;
        text.replace(text.find(rateKey), rateKey.size(), "\"frameRate\": " + std::string(rate) + ",");
        std::ofstream(at("odd.json")) << text;
        ASSERT_EQ(run({"pack", at("odd.json"), at("odd.qmf")}).status, 0) << rate;
        Result r = run({"import", at("odd.qmf"), at("rig.ma"), "-o", at("out/odd.ma")});
        EXPECT_EQ(r.status, 1) << rate;
        EXPECT_NE(r.err.find("Failure reading Movantis frame rate"), std::string::npos) << rate << ": " << r.err;
        EXPECT_FALSE(fs::exists(at("out/odd.ma"))) << rate;
    }
}

}  // namespace
