// `qmf view` as a user runs it: refusals, the positions it prints and the
// page it writes (the page's behaviour in a browser is tested in tests/viewer).
#include "../cli/CliFixture.h"

#include <cmath>

namespace {

using clitest::Cli;
using clitest::Result;

class View : public Cli {
protected:
    std::string walkClip() {
        const std::string clip = path("walk.qmf");
        Result r = run({"pack", clitest::kWalk, clip});
        EXPECT_EQ(r.status, 0) << r.err;
        return clip;
    }
};

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(View, RefusesBadArgumentsInOneLine) {
    const std::string clip = walkClip();
    clitest::spit(path("notes.txt"), "not a motion\n");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"view"}, "qmf: view: expected 1 file arguments, got 0 (see qmf view --help)\n"},
        {{"view", clip}, "qmf: view: give either -o PAGE.html or --positions\n"},
        {{"view", clip, "-o", path("p.html"), "--positions"}, "qmf: view: give either -o PAGE.html or --positions\n"},
        {{"view", clip, "-o", path("p.html"), "--frame", "2"}, "qmf: view: --frame goes with --positions\n"},
        {{"view", "--positions", clip, "--frame", "16"}, "qmf: view: frame 16 is past the last frame (15)\n"},
        {{"view", "--positions", clip, "--frame", "-1"}, "qmf: view: --frame needs a frame number from 0, not '-1'\n"},
        {{"view", "--positions", clip, "--frame", "2x"}, "qmf: view: --frame needs a frame number from 0, not '2x'\n"},
        {{"view", "--positions", path("notes.txt")},
         "qmf: " + path("notes.txt") + ": not a Movantis clip, a Maya ASCII scene, a BVH file, an FBX file, a glTF file, a Collada file or another "
                                  "3D file the assimp library reads\n"},
        {{"view", clip, "-o", clip}, "qmf: " + clip + ": is the same file as the input " + clip + "; not replaced\n"},
        {{"view", clip, "-o", path("p.html"), "--up", "x"}, "qmf: view: --up takes auto, y or z, not 'x'\n"},
    };
    for (const Case& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(View, PositionsAreTheClipsWorldPositions) {
    const std::string clip = walkClip();
    Result r = run({"view", "--positions", clip, "--frame", "15"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "# frame 15 of 16; joint index, world x y z (cm), name");
    std::vector<std::string> names;
    int index;
    double x, y, z;
    std::string name;
    double hipsX = NAN, hipsZ = NAN;
    while (in >> index >> x >> y >> z >> name) {
        EXPECT_EQ(index, static_cast<int>(names.size()));
        if (name == "hips") hipsX = x, hipsZ = z;
        names.push_back(name);
    }
    EXPECT_EQ(names.size(), 7u);
    EXPECT_EQ(names.front(), "hips");
    // The example's root walks 50/16 cm along +Z per frame (-Z in the file).
    EXPECT_NEAR(hipsX, 0, 1e-4);
    EXPECT_NEAR(hipsZ, 50.0 * 15 / 16, 1e-4);
}

TEST_F(View, PageIsWrittenWholeAndHostileNamesStayInTheirString) {
    // A joint named to end the script element and open a comment.
    clitest::json clip = clitest::json::parse(clitest::slurp(clitest::kWalk));
    clip["skeletons"][0]["joints"][1]["name"] = "</script><!--<script>";
    clitest::spit(path("hostile.json"), clip.dump());
    ASSERT_EQ(run({"pack", path("hostile.json"), path("hostile.qmf")}).status, 0);
    Result r = run({"view", path("hostile.qmf"), "-o", path("page.html")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote " + path("page.html") + ": 7 joints, 16 frames\n");
    const std::string page = clitest::slurp(path("page.html"));
    // The shell's own four script elements (two of them data) end, and nothing else does.
    EXPECT_EQ(count(page, "</script"), 4u);
    EXPECT_EQ(count(page, "<!--"), 0u);
    EXPECT_NE(page.find(R"(\u003c/script\u003e\u003c!--\u003cscript\u003e)"), std::string::npos);
    EXPECT_EQ(page.find("/*QMF_"), std::string::npos);  // every part filled in

    // A failed run leaves the page as it was and nothing beside it.
    clitest::spit(path("notes.txt"), "not a motion\n");
    EXPECT_EQ(run({"view", path("notes.txt"), "-o", path("page.html")}).status, 1);
    EXPECT_EQ(clitest::slurp(path("page.html")), page);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : clitest::fs::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 6u);  // hostile.json and .qmf, the page, notes.txt, .stdout, .stderr
}

// --up only says which axis the page shows vertical: the data says z, the
// positions stay as they are.
TEST_F(View, UpAxisIsTheUsersChoice) {
    const std::string clip = walkClip();
    for (const char* up : {"y", "z"}) {
        Result r = run({"view", clip, "-o", path("page.html"), "--up", up});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string page = clitest::slurp(path("page.html"));
        EXPECT_NE(page.find(std::string("\"upAxis\":\"") + up + "\""), std::string::npos) << up;
    }
    EXPECT_EQ(run({"view", "--positions", clip, "--up", "z"}).out, run({"view", "--positions", clip}).out);
}

TEST_F(View, HelpNamesEveryOption) {
    Result r = run({"view", "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"-o PAGE.html", "--positions", "--frame N", "--unit U", "--up auto|y|z", "--take T", "--rate R", "--plugin PATH"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

}  // namespace
