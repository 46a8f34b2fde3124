// qmf draw and qmf plot end to end: pictures of the bundled example and of
// corpus captures that a real XML parser reads and rsvg-convert renders, the
// joints where the scene puts them, and refusals that write nothing.
#include "CliFixture.h"
#include "XmlCheck.h"

namespace clitest {
namespace {

const std::string kBvhCorpus = std::string(QMF_CORPUS_DIR) + "/bvh/";

bool haveRsvg() { return std::system("rsvg-convert --version >/dev/null 2>&1") == 0; }

class Pictures : public Cli {
protected:
    std::string walkClip() {
        Result r = run({"pack", kWalk, path("walk.qmf")});
        EXPECT_EQ(r.status, 0) << r.err;
        return path("walk.qmf");
    }
    // The picture parses as XML and, where rsvg-convert is installed, renders to a PNG.
    void expectPicture(const std::string& svgPath) {
        SCOPED_TRACE(svgPath);
        const std::string text = slurp(svgPath);
        ASSERT_FALSE(text.empty());
        if (svgtest::havePython()) {
            svgtest::Parsed p = svgtest::parseXml(text);
            EXPECT_TRUE(p.ok) << p.error;
        }
        if (!haveRsvg()) return;
        const std::string png = path("render.png");
        fs::remove(png);
        const std::string cmd = "rsvg-convert " + shellQuote(svgPath) + " -o " + shellQuote(png) + " 2>" +
                                shellQuote(path(".rsvg-err"));
        EXPECT_EQ(std::system(cmd.c_str()), 0) << slurp(path(".rsvg-err"));
        const std::string bytes = slurp(png);
        EXPECT_EQ(bytes.substr(0, 4), "\x89PNG");
        EXPECT_GT(bytes.size(), 2000u);  // a blank page of this size compresses to far less
        fs::remove(png);
        fs::remove(path(".rsvg-err"));
    }
    // Temporary files of writes, which a finished command never leaves behind.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) {
            std::string n = e.path().filename().string();
            if (n.rfind(".qmf-tmp-", 0) == 0) out.push_back(n);
        }
        return out;
    }
    // Where each joint's dot is in a drawing, by the name in its tooltip.
    std::map<std::string, std::pair<double, double>> dots(const std::string& svgText) {
        std::map<std::string, std::pair<double, double>> found;
        auto attr = [&](std::size_t from, const std::string& name) {
            std::size_t at = svgText.find(" " + name + "=\"", from) + name.size() + 3;
            return std::stod(svgText.substr(at, svgText.find('"', at) - at));
        };
        for (std::size_t at = svgText.find("<circle "); at != std::string::npos; at = svgText.find("<circle ", at + 1)) {
            std::size_t title = svgText.find("<title>", at) + 7;
            found[svgText.substr(title, svgText.find("</title>", title) - title)] = {attr(at, "cx"), attr(at, "cy")};
        }
        return found;
    }
};

TEST_F(Pictures, ExampleAndCapturesDrawAndPlot) {
    struct Input {
        std::string file;
        const char* frame;
        const char* joints;
    };
    std::vector<Input> inputs = {{walkClip(), "8", "7 joints"}, {kRig, "0", "7 joints"}};
    const bool corpus = fs::exists(kBvhCorpus);
    if (corpus) {
        inputs.push_back({kBvhCorpus + "walk1.bvh", "13", "91 joints"});
        inputs.push_back({kBvhCorpus + "01_01.bvh", "2751", "38 joints"});
    }
    for (const Input& in : inputs) {
        SCOPED_TRACE(in.file);
        for (const char* view : {"front", "side", "top"}) {
            Result r = run({"draw", in.file, "-o", path("skeleton.svg"), "--frame", in.frame, "--view", view});
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out, "wrote " + path("skeleton.svg") + ": " + in.joints + " at frame " + in.frame + "\n");
            expectPicture(path("skeleton.svg"));
            EXPECT_NE(slurp(path("skeleton.svg")).find(std::string(view) + " view"), std::string::npos);
        }
        Result r = run({"plot", in.file, "-o", path("curves.svg")});
        ASSERT_EQ(r.status, 0) << r.err;
        expectPicture(path("curves.svg"));
    }
    EXPECT_TRUE(leftovers().empty());
    if (!corpus) GTEST_SKIP() << "no corpus at " << kBvhCorpus << ": only the example was drawn";
    if (!haveRsvg()) GTEST_SKIP() << "rsvg-convert is missing (Debian package librsvg2-bin): the pictures were parsed, not rendered";
}

TEST_F(Pictures, JointsLandWhereTheSceneHasThem) {
    // The example rig stands on the ground: hips at (0, 95, 0), the head above,
    // the leg 10 cm to +X and down to the foot at (10, 0, 0).
    Result r = run({"draw", kRig, "-o", path("front.svg")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto front = dots(slurp(path("front.svg")));
    ASSERT_EQ(front.size(), 7u);
    const double cm = (front["hips"].second - front["head"].second) / 55;  // picture units per cm
    EXPECT_GT(cm, 0);
    EXPECT_NEAR(front["leg_L"].first - front["hips"].first, 10 * cm, 0.05);
    EXPECT_NEAR(front["foot_L"].second - front["hips"].second, 95 * cm, 0.05);
    EXPECT_NEAR(front["spine"].first, front["hips"].first, 0.05);

    // Told that Z is up, the front camera looks along +Y onto the plane z = 0
    // the rig stands in: every joint at one height, X still to the right.
    ASSERT_EQ(run({"draw", kRig, "-o", path("zup.svg"), "--up", "z"}).status, 0);
    auto zup = dots(slurp(path("zup.svg")));
    EXPECT_NEAR(zup["head"].second, zup["hips"].second, 0.05);
    EXPECT_NEAR(zup["foot_L"].second, zup["hips"].second, 0.05);
    EXPECT_GT(zup["leg_L"].first, zup["hips"].first);

    // Seen from the side everything is in the plane z = 0, so the leg is behind the hips.
    ASSERT_EQ(run({"draw", kRig, "-o", path("side.svg"), "--view", "side"}).status, 0);
    auto side = dots(slurp(path("side.svg")));
    EXPECT_NEAR(side["leg_L"].first, side["hips"].first, 0.05);
    EXPECT_LT(side["head"].second, side["hips"].second);

    // The clip walks its root along +Z, which the side view shows to the left;
    // the picture is fitted to each pose, so measure the hips against the head.
    const std::string clip = walkClip();
    ASSERT_EQ(run({"draw", clip, "-o", path("f0.svg"), "--frame", "0", "--view", "side"}).status, 0);
    ASSERT_EQ(run({"draw", clip, "-o", path("f8.svg"), "--frame", "8", "--view", "side"}).status, 0);
    auto f0 = dots(slurp(path("f0.svg"))), f8 = dots(slurp(path("f8.svg")));
    ASSERT_EQ(f0.size(), 7u);
    EXPECT_NE(f0, f8);
    // The leg swings from under the hips (frame 0) to behind them, +Z being forward.
    EXPECT_NEAR(f0["leg_L"].first, f0["hips"].first, 0.05);
    EXPECT_GT(f8["foot_L"].first, f8["hips"].first);
}

TEST_F(Pictures, PlotChartsTheChosenJoints) {
    const std::string clip = walkClip();
    auto titles = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"plot", clip, "-o", path("c.svg")};
        args.insert(args.end(), extra.begin(), extra.end());
        Result r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string svg = slurp(path("c.svg")), key = "<text class=\"ct\"";
        std::vector<std::string> found;
        for (std::size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at + 1)) {
            std::size_t from = svg.find('>', at) + 1;
            found.push_back(svg.substr(from, svg.find('<', from) - from));
        }
        return found;
    };
    using V = std::vector<std::string>;
    // By default the joints import keys rotations on (those with children) and the root's translation.
    EXPECT_EQ(titles({}), (V{"hips", "hips translate", "spine", "head", "leg_L", "knee_L"}));
    EXPECT_EQ(titles({"--joint", "knee_L", "--joint=hips"}), (V{"knee_L", "hips", "hips translate"}));
    EXPECT_EQ(titles({"--joint", "foot_L"}), (V{"foot_L"}));
    const std::string svg = slurp(path("c.svg"));
    EXPECT_NE(svg.find(">degrees</text>"), std::string::npos);
    EXPECT_NE(svg.find(">frame</text>"), std::string::npos);
    EXPECT_NE(svg.find("16 frames at 30 fps"), std::string::npos);
}

TEST_F(Pictures, HostileJointNamesStayText) {
    spit(path("odd.bvh"),
         "HIERARCHY\nROOT A<b>&\"c'\n{\n\tOFFSET 0 90 0\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation "
         "Xrotation Yrotation\n\tJOINT ]]><x/>\n\t{\n\t\tOFFSET 0 -45 0\n\t\tCHANNELS 3 Zrotation Xrotation "
         "Yrotation\n\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 -45 0\n\t\t}\n\t}\n}\n"
         "MOTION\nFrames: 2\nFrame Time: 0.0333333\n0 90 0 0 10 0 0 20 0\n1 90 0 0 20 0 0 40 0\n");
    for (const char* cmd : {"draw", "plot"}) {
        Result r = run({cmd, path("odd.bvh"), "-o", path("odd.svg")});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string svg = slurp(path("odd.svg"));
        EXPECT_EQ(svg.find("<x/>"), std::string::npos);
        EXPECT_NE(svg.find("A&lt;b&gt;&amp;&quot;c&apos;"), std::string::npos);
        expectPicture(path("odd.svg"));
    }
}

TEST_F(Pictures, RefusalsSayWhyAndWriteNothing) {
    const std::string clip = walkClip();
    spit(path("junk.bvh"), "HIERARCHY\nROOT\n");
    fs::create_directories(path("folder"));
    struct Case {
        std::vector<std::string> args;
        std::string message;  // the one line on stderr, after "qmf: "
    } cases[] = {
        {{"draw", clip, "-o", path("out.svg"), "--frame", "16"},
         "draw: frame 16 is past the last frame of " + clip + " (15)"},
        {{"draw", clip, "-o", path("out.svg"), "--frame", "-1"}, "draw: --frame needs a frame number from 0, not '-1'"},
        {{"draw", clip, "-o", path("out.svg"), "--frame", "+3"}, "draw: --frame needs a frame number from 0, not '+3'"},
        {{"draw", clip, "-o", path("out.svg"), "--frame", "2x"}, "draw: --frame needs a frame number from 0, not '2x'"},
        {{"draw", clip, "-o", path("out.svg"), "--frame", "99999999999"},
         "draw: --frame needs a frame number from 0, not '99999999999'"},
        {{"draw", clip, "-o", path("out.svg"), "--view", "diagonal"}, "draw: --view is front, side or top, not 'diagonal'"},
        {{"draw", clip, "-o", path("out.svg"), "--up", "x"}, "draw: --up takes auto, y or z, not 'x'"},
        {{"plot", clip, "-o", path("out.svg"), "--up", "z"}, "plot: unknown option --up (see qmf plot --help)"},
        {{"draw", clip}, "draw: -o SKELETON.svg is needed"},
        {{"plot", clip}, "plot: -o CURVES.svg is needed"},
        {{"plot", clip, "-o", path("out.svg"), "--joint", "hips", "--joint", "elbow"},
         "plot: " + clip + " has no joint named 'elbow'"},
        {{"plot", clip, "-o", path("out.svg"), "--frame", "1"}, "plot: unknown option --frame (see qmf plot --help)"},
        {{"plot", clip, "-o", clip}, ""},  // an input is never an output
        {{"draw", path("folder"), "-o", path("out.svg")}, ""},
        {{"plot", path("junk.bvh"), "-o", path("out.svg")}, ""},
        {{"draw", path("missing.qmf"), "-o", path("out.svg")}, ""},
    };
    const std::string clipBytes = slurp(clip);
    for (bool existing : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.args[0] + " " + c.args.back() + (existing ? " over an existing file" : ""));
            if (existing) spit(path("out.svg"), "keep");
            Result r = run(c.args);
            EXPECT_EQ(r.status, 1);
            ASSERT_EQ(r.errLines().size(), 1u) << r.err;
            EXPECT_EQ(r.err.rfind("qmf: ", 0), 0u) << r.err;
            if (!c.message.empty()) {
                EXPECT_EQ(r.err, "qmf: " + c.message + "\n");
            }
            EXPECT_EQ(r.out, "");
            if (existing) {
                EXPECT_EQ(slurp(path("out.svg")), "keep");
            } else {
                EXPECT_FALSE(fs::exists(path("out.svg")));
            }
            EXPECT_EQ(slurp(clip), clipBytes);
        }
        fs::remove(path("out.svg"));
    }
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Pictures, ReadmePicturesAreWhatTheToolMakes) {
    const std::string docs = std::string(QMF_SOURCE_DIR) + "/docs/images/";
    ASSERT_EQ(run({"draw", kRig, "-o", path("example-skeleton.svg")}).status, 0);
    ASSERT_EQ(run({"plot", walkClip(), "-o", path("example-curves.svg")}).status, 0);
    for (const char* name : {"example-skeleton.svg", "example-curves.svg"}) {
        EXPECT_EQ(slurp(path(name)), slurp(docs + name)) << name << " is out of date: run scripts/make-pictures.sh";
        expectPicture(docs + name);
    }
}

TEST_F(Pictures, HelpForEachCommand) {
    for (const char* cmd : {"draw", "plot"}) {
        Result a = run({cmd, "--help"}), b = run({"help", cmd});
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.out.rfind(std::string("usage: qmf ") + cmd + " FILE -o ", 0), 0u) << a.out;
        EXPECT_EQ(a.out, b.out);
    }
    EXPECT_NE(run({"--help"}).out.find("draw FILE -o SKELETON.svg"), std::string::npos);
}

}  // namespace
}  // namespace clitest
