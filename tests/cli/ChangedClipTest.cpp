// A clip another program cuts short while qmf reads it: the library reads
// large clips in place, so the cut shows mid-read. Every command refuses in
// one line and writes nothing, instead of keying or writing zeros.
#include "CliFixture.h"

#include <cstdlib>

namespace clitest {
namespace {

// A chain of 30 joints turning on every one of 20,000 frames: a clip of
// about 10 MB, above the size from which the library maps files.
std::string longCapture() {
    constexpr int kJoints = 30, kFrames = 20000;
    std::string t = "HIERARCHY\nROOT j0\n{\n\tOFFSET 0 0 0\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    for (int j = 1; j < kJoints; ++j)
        t += "JOINT j" + std::to_string(j) + "\n{\n\tOFFSET 0 2 0\n\tCHANNELS 3 Zrotation Xrotation Yrotation\n";
    t += "End Site\n{\n\tOFFSET 0 2 0\n}\n";
    for (int j = 0; j < kJoints; ++j) t += "}\n";
    t += "MOTION\nFrames: " + std::to_string(kFrames) + "\nFrame Time: 0.008333\n";
    for (int f = 0; f < kFrames; ++f) {
        t += std::to_string(f % 50) + " 90 0";
        for (int j = 0; j < kJoints; ++j) t += " " + std::to_string(f % 7) + " 1 " + std::to_string(j % 5);
        t += "\n";
    }
    return t;
}

class ChangedClip : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        spit(path("long.bvh"), longCapture());
        Result r = run({"convert", path("long.bvh"), path("long.qmf")});
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_GT(fs::file_size(path("long.qmf")), std::uintmax_t{8} << 20);
        r = run({"convert", path("long.qmf"), path("rig.ma"), "--rig-only"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    void TearDown() override {
        ::unsetenv("KELL_TESTING_CUT_AT_READ");
        Cli::TearDown();
    }
};

TEST_F(ChangedClip, EveryCommandReadingItRefusesInOneLineAndWritesNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> args;  // "CLIP" and "OUT" stand for the paths
        const char* out;
    };
    const std::vector<Case> cases = {
        {"import", {"import", "CLIP", "RIG", "-o", "OUT"}, "out.ma"},
        {"import over its own scene", {"import", "CLIP", "RIG", "-o", "RIG"}, nullptr},
        {"convert to BVH", {"convert", "CLIP", "OUT"}, "out.bvh"},
        {"convert onto a rig", {"convert", "CLIP", "OUT"}, "out.ma"},
        {"convert to glTF", {"convert", "CLIP", "OUT"}, "out.glb"},
        {"info --json", {"info", "CLIP", "--json"}, nullptr},
        {"view --positions", {"view", "CLIP", "--positions"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A fresh clip and rig each time: the cut spoils them.
        fs::copy_file(path("long.qmf"), path("clip.qmf"), fs::copy_options::overwrite_existing);
        fs::copy_file(path("rig.ma"), path("rig2.ma"), fs::copy_options::overwrite_existing);
        const std::string rigBefore = slurp(path("rig2.ma"));
        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a == "CLIP" ? path("clip.qmf") : a == "RIG" ? path("rig2.ma") : a == "OUT" ? path(c.out) : a);
        ::setenv("KELL_TESTING_CUT_AT_READ", "1", 1);
        Result r = run(args);
        ::unsetenv("KELL_TESTING_CUT_AT_READ");
        EXPECT_NE(r.status, 0);
        EXPECT_LT(fs::file_size(path("clip.qmf")), fs::file_size(path("long.qmf"))) << "the hook cut the clip";
        const std::string line = "qmf: " + path("clip.qmf") + " changed while it was being read; nothing was written";
        const auto lines = r.errLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), line) << r.err;
        EXPECT_EQ(r.out.find("\"frameCount\""), std::string::npos) << "nothing printed of what was read";
        if (c.out) {
            EXPECT_FALSE(fs::exists(path(c.out)));
        }
        EXPECT_EQ(slurp(path("rig2.ma")), rigBefore);
        for (const auto& e : fs::directory_iterator(path("")))
            EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    }
}

TEST_F(ChangedClip, TheSameCommandsSucceedOnTheClipLeftAlone) {
    Result r = run({"import", path("long.qmf"), path("rig.ma"), "-o", path("out.ma")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(path("out.ma")).find("createNode animCurveTA -n \"j28_rotateZ\""), std::string::npos);
    r = run({"convert", path("long.qmf"), path("out.bvh")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(path("out.bvh")).find("Frames: 20000\n"), std::string::npos);
}

}  // namespace
}  // namespace clitest
