// qmf convert and export over many files with --out-dir: each file in a
// process of its own, through the built command.
#include "CliFixture.h"

#include <csignal>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace clitest {
namespace {

const std::string kCrashingPlugin = QMF_CRASHING_PLUGIN;

// A two-joint capture of `frames` frames, each line moving the root and the
// knee by `step`; `extraLines` frame lines past the count make the convert warn.
std::string capture(int frames, double step, int extraLines = 0) {
    std::string s =
        "HIERARCHY\nROOT Hips\n{\n\tOFFSET 0 90 0\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation "
        "Yrotation\n\tJOINT Knee\n\t{\n\t\tOFFSET 0 -45 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n"
        "\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 -45 0\n\t\t}\n\t}\n}\nMOTION\nFrames: " +
        std::to_string(frames) + "\nFrame Time: 0.0333333\n";
    for (int f = 0; f < frames + extraLines; ++f) {
        const std::string v = std::to_string(f * step);
        s += v + " 90 0 0 " + v + " 0 0 " + v + " 0\n";
    }
    return s;
}

// Every name in a folder, hidden ones included.
std::set<std::string> entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// stderr lines "qmf: INPUT: REASON" by input.
std::map<std::string, std::string> reasons(const Result& r) {
    std::map<std::string, std::string> out;
    for (const std::string& line : r.errLines()) {
        const std::size_t sep = line.find(": ", 5);
        if (line.rfind("qmf: ", 0) == 0 && sep != std::string::npos)
            out[line.substr(5, sep - 5)] = line.substr(sep + 2);
    }
    return out;
}

class BatchCli : public Cli {
protected:
    // The single-file command's output for one input, to compare a batch's with.
    std::string single(const std::vector<std::string>& args, const std::string& out) {
        std::vector<std::string> all = args;
        all.push_back(path(out));
        Result r = run(all);
        EXPECT_EQ(r.status, 0) << r.err;
        return slurp(path(out));
    }
};

TEST_F(BatchCli, GoodFilesConvertAndEachBadOneFailsAloneWithItsReason) {
    fs::create_directories(dir_ / "in");
    const std::string in = path("in") + "/", out = path("out");
    spit(in + "walk.bvh", capture(3, 10));
    spit(in + "run.bvh", capture(5, 20, 1));  // converts, with a warning
    spit(in + "trunc.bvh", capture(3, 10).substr(0, 120));
    ASSERT_EQ(::mkfifo((in + "fifo.bvh").c_str(), 0600), 0);
    spit(in + "crash_walk.bvh", capture(3, 10));  // the test module aborts after saving it
    spit(in + "loud_walk.bvh", capture(4, 5));    // and floods stderr before saving this one
    const std::vector<std::string> names = {"walk", "run", "trunc", "fifo", "missing", "crash_walk", "loud_walk"};
    std::vector<std::string> args = {"convert"};
    for (const auto& n : names) args.push_back(in + n + ".bvh");
    args.insert(args.end(), {"--out-dir", out, "--jobs", "3", "--plugin", kCrashingPlugin});

    Result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "converted 3 of 7 files into " + out + ", 4 failed\n");
    const auto why = reasons(r);
    EXPECT_EQ(why.size(), 5u) << r.err;
    EXPECT_EQ(why.at(in + "run.bvh"), "warning: Frames: declares 5 frames; the 1 frame line after them is ignored");
    EXPECT_NE(why.at(in + "trunc.bvh").find("line "), std::string::npos) << r.err;
    EXPECT_EQ(why.at(in + "fifo.bvh"), "not a regular file");
    EXPECT_EQ(why.at(in + "missing.bvh"), "No such file or directory");
    EXPECT_EQ(why.at(in + "crash_walk.bvh"), "crashed (signal 6: SIGABRT)");
    // Only the converted files: no output and no temporary file for a failed one.
    EXPECT_EQ(entries(out), (std::set<std::string>{"walk.qmf", "run.qmf", "loud_walk.qmf"}));
    for (const char* n : {"walk", "run", "loud_walk"})
        EXPECT_EQ(slurp(out + "/" + n + ".qmf"), single({"convert", in + n + ".bvh"}, "one.qmf")) << n;
    // Off a terminal there is no progress line.
    EXPECT_EQ(r.err.find("running"), std::string::npos);
}

TEST_F(BatchCli, OneJobAndThreeJobsWriteTheSameBytes) {
    fs::create_directories(dir_ / "in");
    std::vector<std::string> captures;
    for (int i = 0; i < 6; ++i) {
        captures.push_back(path("in") + "/take" + std::to_string(i) + ".bvh");
        spit(captures.back(), capture(2 + 7 * i, 1.5 * i));
    }
    const std::string corpus = std::string(QMF_CORPUS_DIR) + "/bvh";
    if (fs::exists(corpus))
        for (const char* f : {"sinusoidal.bvh", "walk1.bvh", "pfnn_hierarchy.bvh"}) captures.push_back(corpus + "/" + f);

    auto batch = [&](std::vector<std::string> inputs, const std::string& outDir, const char* jobs,
                     std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"--out-dir", path(outDir), "--jobs", jobs});
        args.insert(args.end(), extra.begin(), extra.end());
        Result r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::map<std::string, std::string> files;
        for (const std::string& name : entries(path(outDir))) files[name] = slurp(path(outDir) + "/" + name);
        return files;
    };
    // Captures to clips, clips to scenes (the default for a clip) and back to captures.
    const auto clips = batch(captures, "c1", "1");
    EXPECT_EQ(clips.size(), captures.size());
    EXPECT_EQ(batch(captures, "c3", "3"), clips);
    std::vector<std::string> clipFiles;
    for (const auto& [name, bytes] : clips) clipFiles.push_back(path("c1") + "/" + name);
    const auto scenes = batch(clipFiles, "s1", "1");
    EXPECT_EQ(scenes.size(), clips.size());
    EXPECT_EQ(scenes.count("take3.ma"), 1u);
    EXPECT_EQ(batch(clipFiles, "s3", "3"), scenes);
    const auto back = batch(clipFiles, "b3", "3", {"--to", "bvh", "--order", "xyz"});
    EXPECT_EQ(batch(clipFiles, "b1", "1", {"--to", "bvh", "--order", "xyz"}), back);
    EXPECT_EQ(back.at("take2.bvh"),
              single({"convert", path("c1") + "/take2.qmf", "--order", "xyz"}, "one.bvh"));
}

TEST_F(BatchCli, ConflictsAndBadOptionsAreRefusedBeforeAnythingRuns) {
    fs::create_directories(dir_ / "a");
    fs::create_directories(dir_ / "b");
    const std::string walk = path("a/walk.bvh");
    spit(walk, capture(3, 10));
    spit(path("b/walk.bvh"), capture(3, 10));
    spit(path("notes.txt"), "notes");
    spit(path("scene.ma"), slurp(kRig));
    spit(path("file"), "");
    const std::string out = path("out");
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"convert", walk, path("b/walk.bvh"), "--out-dir", out},
         "qmf: convert: " + walk + " and " + path("b/walk.bvh") + " would both write " + out +
             "/walk.qmf; nothing converted"},
        {{"convert", walk, walk, "--out-dir", out}, "would both write " + out + "/walk.qmf"},
        {{"export", path("scene.ma"), path("a/scene.ma"), "--out-dir", out}, "would both write " + out + "/scene.qmf"},
        {{"convert", walk, path("notes.txt"), "--out-dir", out}, "cannot tell the format of " + path("notes.txt")},
        {{"convert", walk, path("scene.ma"), "--out-dir", out, "--to", "ma"},
         "qmf: convert: Maya ASCII to Maya ASCII is not a conversion qmf makes (" + path("scene.ma") + ")"},
        {{"convert", walk, "--out-dir", out, "--rig-only"}, "--rig-only does not apply to BVH to Movantis clip"},
        {{"convert", walk, "--out-dir", out, "--to", "fbx"}, "--to must be qmf, ma, bvh or glb, not 'fbx'"},
        {{"convert", walk, "--out-dir", out, "--jobs", "0"}, "--jobs must be a whole number from 1 to 256, not '0'"},
        {{"convert", walk, "--out-dir", out, "--jobs", "257"}, "--jobs must be"},
        {{"export", path("scene.ma"), "--out-dir", out, "--jobs", "2x"}, "--jobs must be"},
        {{"convert", walk, path("x.qmf"), "--jobs", "2"}, "qmf: convert: --jobs and --to need --out-dir"},
        {{"export", walk, path("x.qmf"), "--jobs", "2"}, "qmf: export: --jobs needs --out-dir"},
        {{"convert", walk, "--out-dir", path("file")}, "--out-dir " + path("file") + " is not a folder"},
        {{"convert", walk, "--out-dir", path("no/such")},
         "cannot create the folder " + path("no/such") + ": No such file or directory"},
        {{"convert", "--out-dir", out}, "qmf: convert: --out-dir needs at least one input file"},
        {{"export", walk, "--out-dir", ""}, "qmf: export: --out-dir needs a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Result r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out));
    }

    // An output that is one of the inputs: walk.bvh would write a/walk.qmf.
    const std::string clip = path("a/walk.qmf");
    ASSERT_EQ(run({"convert", walk, clip}).status, 0);
    const std::string before = slurp(clip);
    Result r = run({"convert", walk, clip, "--out-dir", path("a")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: convert: " + walk + " would write " + path("a") + "/walk.qmf, which is the input " + clip +
                         "; nothing converted\n");
    EXPECT_EQ(slurp(clip), before);
    EXPECT_EQ(entries(path("a")), (std::set<std::string>{"walk.bvh", "walk.qmf"}));
}

TEST_F(BatchCli, ExportBatchWritesEachSceneAndListsTheFailures) {
    fs::create_directories(dir_ / "in");
    const std::string in = path("in") + "/", out = path("rigs");
    spit(in + "rig.ma", slurp(kRig));
    spit(in + "bad.ma", "hello\n");
    std::vector<std::string> args = {"export", in + "rig.ma", in + "bad.ma"};
    const std::string skel = std::string(QMF_CORPUS_DIR) + "/ma/skel.ma";
    const bool haveSkel = fs::exists(skel);
    if (haveSkel) args.push_back(skel);
    args.insert(args.end(), {"--out-dir", out, "--jobs", "2", "--time", "0"});
    Result r = run(args);
    EXPECT_EQ(r.status, 1);
    const std::string total = haveSkel ? "3" : "2", done = haveSkel ? "2" : "1";
    EXPECT_EQ(r.out, "exported " + done + " of " + total + " files into " + out + ", 1 failed\n");
    auto why = reasons(r);
    EXPECT_EQ(why[in + "bad.ma"], "not a Maya ASCII scene (it must begin with //Maya)");
    // The corpus rig drives a joint by an expression: a success with its first warning.
    if (haveSkel) {
        EXPECT_EQ(why[skel].rfind("warning: FBX_NeckRoll.rotateX is driven by", 0), 0u) << why[skel];
    }
    EXPECT_EQ(why.size(), haveSkel ? 2u : 1u);
    std::set<std::string> expected = {"rig.qmf"};
    if (haveSkel) expected.insert("skel.qmf");
    EXPECT_EQ(entries(out), expected);
    EXPECT_EQ(slurp(out + "/rig.qmf"), single({"export", in + "rig.ma"}, "one.qmf"));
    if (haveSkel) {
        EXPECT_EQ(slurp(out + "/skel.qmf"), single({"export", skel}, "one.qmf"));
    }

    // A scene the translator crashes on fails alone, leaving nothing behind.
    spit(in + "crash.ma", slurp(kRig));
    r = run({"export", in + "crash.ma", in + "rig.ma", "--out-dir", path("again"), "--plugin", kCrashingPlugin});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(reasons(r), (std::map<std::string, std::string>{{in + "crash.ma", "crashed (signal 6: SIGABRT)"}}));
    EXPECT_EQ(entries(path("again")), (std::set<std::string>{"rig.qmf"}));
}

TEST_F(BatchCli, TerminatedBatchStopsItsFilesAndLeavesNothing) {
    // Two captures large enough to be caught in the middle of their write.
    fs::create_directories(dir_ / "in");
    std::vector<std::string> args = {QMF_EXE, "convert"};
    const std::string big = capture(300000, 0.001);
    for (const char* n : {"big1", "big2", "small1", "small2"}) {
        args.push_back(path("in") + "/" + n + ".bvh");
        spit(args.back(), n[0] == 'b' ? big : capture(3, 1));
    }
    const std::string out = path("out");
    args.insert(args.end(), {"--out-dir", out, "--jobs", "2"});

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int o = ::open(path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(127);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(QMF_EXE, argv.data());
        ::_exit(127);
    }
    // Wait for a child's temporary file: the batch is then mid-write.
    bool writing = false;
    for (int i = 0; i < 60000 && !writing; ++i) {
        if (fs::exists(out))
            for (const std::string& name : entries(out)) writing = writing || name.rfind(".qmf-tmp-", 0) == 0;
        if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(writing);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(slurp(path("stdout")), "interrupted: converted 0 of 4 files into " + out + ", 4 not converted\n");
    EXPECT_EQ(slurp(path("stderr")), "");
    EXPECT_EQ(entries(out), std::set<std::string>{});
}

TEST_F(BatchCli, OnATerminalOneProgressLineIsRewrittenAndClearedBeforeTheSummary) {
    fs::create_directories(dir_ / "in");
    std::vector<std::string> args = {QMF_EXE, "convert"};
    for (const char* n : {"a", "b", "c"}) {
        args.push_back(path("in") + "/" + n + ".bvh");
        spit(args.back(), capture(3, 1));
    }
    args.insert(args.end(), {"--out-dir", path("out"), "--jobs", "2"});
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int tty = ::open(slave.c_str(), O_RDWR);
        const int o = ::open(path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (tty < 0 || o < 0 || ::dup2(o, 1) < 0 || ::dup2(tty, 2) < 0) ::_exit(127);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(QMF_EXE, argv.data());
        ::_exit(127);
    }
    std::string screen;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
        if (n > 0) screen.append(buf, static_cast<std::size_t>(n));  // ends with EIO once the child is gone
    ::close(master);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(slurp(path("stdout")), "converted 3 of 3 files into " + path("out") + "\n");
    // Each drawing starts at the line's start and erases what was left of the last.
    ASSERT_EQ(screen.rfind("\r[0/3] ", 0), 0u) << screen;
    EXPECT_NE(screen.find(" running, 0 failed  "), std::string::npos) << screen;
    EXPECT_EQ(screen.substr(screen.size() - 4), "\r\x1b[K") << screen;
    EXPECT_EQ(screen.find('\n'), std::string::npos) << screen;
}

}  // namespace
}  // namespace clitest
