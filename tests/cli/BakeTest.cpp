// qmf convert SCENE.ma -> clip or BVH: a scene's animation baked. The keys
// are the exact inverse of import, so a clip laid onto a rig by the
// translator's reader and baked back gives every key again.
#include "CliFixture.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace clitest {
namespace {

constexpr int kFrames = 24;

// Keys of a clip as `qmf info --json` gives them, by joint name.
struct ClipKeys {
    double rate = 0;
    int frames = 0;
    std::map<std::string, std::vector<std::array<float, 4>>> orientations;
    std::array<std::vector<float>, 3> root;
};

// Two floats within n units in the last place (of the larger). A component
// that should be 0 comes out of double arithmetic as a residue of 1e-16 or
// so, either sign: that is equal too.
bool ulpsApart(float a, float b, int n) {
    if (a == b) return true;
    const float scale = std::max(std::fabs(a), std::fabs(b));
    const float ulp = std::nextafter(scale, INFINITY) - scale;
    return std::fabs(a - b) <= n * ulp || std::fabs(a - b) <= 1e-15f;
}

// A capture of a hip and a chain of six joints, with angles past +-180
// degrees and frames where the middle angle of an order is +-90 (gimbal
// lock), keyed on every frame at 30 fps.
std::string chainCapture() {
    std::string t = "HIERARCHY\nROOT hip\n{\n OFFSET 0 90 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    for (int j = 1; j <= 6; ++j)
        t += " JOINT j" + std::to_string(j) + "\n {\n OFFSET 0 " + std::to_string(5 + j) + " 1\n CHANNELS 3 Zrotation Xrotation Yrotation\n";
    t += " End Site\n {\n OFFSET 0 4 0\n }\n";
    for (int j = 1; j <= 6; ++j) t += " }\n";
    t += "}\nMOTION\nFrames: " + std::to_string(kFrames) + "\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < kFrames; ++f) {
        char line[128];
        std::snprintf(line, sizeof line, "%g %g %g %g %g %g", 0.5 * f, 90 + std::sin(f) * 3, -2.0 * f, 17.0 * f - 200,
                      f % 6 == 0 ? 90.0 : 11.0 * f, 250 - 13.0 * f);
        t += line;
        for (int j = 1; j <= 6; ++j) {
            const double lock = f % 5 == j % 5 ? (j % 2 ? 90.0 : -90.0) : 7.0 * f * j - 150;
            std::snprintf(line, sizeof line, " %g %g %g", 23.0 * j - 9.0 * f, lock, 190.0 - 31.0 * j + 5.0 * f);
            t += line;
        }
        t += "\n";
    }
    return t;
}

// The same hierarchy moving smoothly, so that keying its angles as curves
// (each the solution closest to the frame before) keeps them as they are.
std::string smoothCapture() {
    std::string t = chainCapture();
    t = t.substr(0, t.find("MOTION"));
    t += "MOTION\nFrames: " + std::to_string(kFrames) + "\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < kFrames; ++f) {
        char line[128];
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g", 0.5 * f, 90 + std::sin(f) * 3, -2.0 * f);
        t += line;
        for (int j = 0; j <= 6; ++j) {
            std::snprintf(line, sizeof line, " %.17g %.17g %.17g", 30 * std::sin(0.2 * f + j), 40 * std::cos(0.1 * f * j),
                          100 + 20 * std::sin(0.3 * f - j));
            t += line;
        }
        t += "\n";
    }
    return t;
}

// A rig for that chain whose joints take all six rotate orders, most with
// joint orients of their own, in a 30 fps scene whose playback starts at 0.
std::string chainRig() {
    std::string t = "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t ntsc;\n";
    t += "createNode joint -n \"hip\";\n\tsetAttr \".t\" -type \"double3\" 0 90 0;\n\tsetAttr \".ro\" 4;\n"
         "\tsetAttr \".jo\" -type \"double3\" 0 0 -12;\n";
    std::string names[7] = {"hip"};
    for (int j = 1; j <= 6; ++j) {
        names[j] = "j" + std::to_string(j);
        t += "createNode joint -n \"" + names[j] + "\" -p \"" + names[j - 1] + "\";\n";
        t += "\tsetAttr \".t\" -type \"double3\" 0 " + std::to_string(5 + j) + " 1;\n";
        t += "\tsetAttr \".ro\" " + std::to_string(j % 6) + ";\n";
        if (j != 3) t += "\tsetAttr \".jo\" -type \"double3\" " + std::to_string(10 * j) + " -35 " + std::to_string(170 - 20 * j) + ";\n";
    }
    t += "createNode joint -n \"j6_end\" -p \"j6\";\n\tsetAttr \".t\" -type \"double3\" 0 4 0;\n";
    t += "createNode script -n \"sceneConfigurationScriptNode\";\n\tsetAttr \".b\" -type \"string\" "
         "\"playbackOptions -min 0 -max 10 -ast 0 -aet 10 \";\n\tsetAttr \".st\" 6;\n";
    return t;
}

class Bake : public Cli {
protected:
    ClipKeys keysOf(const std::string& clip) {
        const json j = infoJson(clip);
        ClipKeys k;
        k.rate = j["frameRate"].get<double>();
        k.frames = j["frameCount"].get<int>();
        const json& joints = j["skeletons"][0]["joints"];
        const json& fig = j["figures"][0];
        for (const json& o : fig["orientations"]) {
            auto& keys = k.orientations[joints[o["joint"].get<std::size_t>()]["name"].get<std::string>()];
            for (const json& key : o["keys"]) {
                EXPECT_EQ(key[0].get<int>(), static_cast<int>(keys.size())) << "a key on every frame";
                keys.push_back({key[1].get<float>(), key[2].get<float>(), key[3].get<float>(), key[4].get<float>()});
            }
        }
        for (int c = 0; c < 3; ++c)
            for (const json& key : fig["channels"][std::to_string(c + 1)]) k.root[c].push_back(key[1].get<float>());
        return k;
    }

    // Every key of the original found again in the baked clip: rotations
    // equal up to sign within two float ulps a component, root translation
    // within two ulps, same rate and frame count.
    void expectSameKeys(const ClipKeys& original, const ClipKeys& baked) {
        EXPECT_EQ(baked.rate, original.rate);
        EXPECT_EQ(baked.frames, original.frames);
        for (const auto& [name, keys] : original.orientations) {
            SCOPED_TRACE(name);
            auto it = baked.orientations.find(name);
            ASSERT_NE(it, baked.orientations.end());
            ASSERT_EQ(it->second.size(), keys.size());
            for (std::size_t f = 0; f < keys.size(); ++f) {
                const auto& a = keys[f];
                const auto& b = it->second[f];
                const float sign = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0 ? -1.0f : 1.0f;
                for (int c = 0; c < 4; ++c)
                    EXPECT_TRUE(ulpsApart(a[c], sign * b[c], 2))
                        << "frame " << f << " component " << c << ": " << a[c] << " vs " << sign * b[c];
            }
        }
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(baked.root[c].size(), original.root[c].size());
            for (std::size_t f = 0; f < original.root[c].size(); ++f)
                EXPECT_TRUE(ulpsApart(original.root[c][f], baked.root[c][f], 2))
                    << "root channel " << c + 1 << " frame " << f << ": " << original.root[c][f] << " vs " << baked.root[c][f];
        }
    }
};

TEST_F(Bake, AClipImportedOntoARigOfEveryRotateOrderBakesBackToItsKeys) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    Result r = run({"convert", path("chain.bvh"), path("clip.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("animated.ma"), path("back.qmf"), "--frames", "0:" + std::to_string(kFrames - 1)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "converted " + path("animated.ma") + " to " + path("back.qmf") + ": 8 joints, 24 frames\n");
    const ClipKeys original = keysOf(path("clip.qmf")), baked = keysOf(path("back.qmf"));
    ASSERT_EQ(original.orientations.size(), 7u);
    expectSameKeys(original, baked);
    // Every joint is keyed, the leaf with its pose.
    EXPECT_EQ(baked.orientations.size(), 8u);
    EXPECT_EQ(baked.orientations.at("j6_end").size(), std::size_t(kFrames));
}

TEST_F(Bake, CorpusCapturesOntoTheRigsBuiltFromThemBakeBackToTheirKeys) {
    const std::string corpus = std::string(QMF_CORPUS_DIR) + "/bvh/";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const char* name : {"sinusoidal.bvh", "test_mocapbank.bvh", "pfnn_hierarchy.bvh"}) {
        SCOPED_TRACE(name);
        if (!fs::exists(corpus + name)) continue;
        Result r = run({"convert", corpus + name, path("clip.qmf")});
        ASSERT_EQ(r.status, 0) << r.err;
        const ClipKeys original = keysOf(path("clip.qmf"));
        r = run({"convert", path("clip.qmf"), path("rig.ma")});
        ASSERT_EQ(r.status, 0) << r.err;
        if (r.out.find("(film frames)") != std::string::npos && original.rate != 24) continue;  // no Maya unit for the rate
        r = run({"convert", path("rig.ma"), path("back.qmf"), "--frames", "0:" + std::to_string(original.frames - 1)});
        ASSERT_EQ(r.status, 0) << r.err;
        expectSameKeys(original, keysOf(path("back.qmf")));
    }
}

TEST_F(Bake, FramesAndStepChooseWhatIsBakedAndDivideTheRate) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    ASSERT_EQ(run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")}).status, 0);
    Result r = run({"convert", path("animated.ma"), path("every3.qmf"), "--frames", "2:20", "--step", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ClipKeys original = keysOf(path("clip.qmf")), every3 = keysOf(path("every3.qmf"));
    EXPECT_EQ(every3.frames, 7);  // 2, 5, ..., 20
    EXPECT_EQ(every3.rate, 10);
    for (int k = 0; k < 7; ++k)
        for (int c = 0; c < 4; ++c)
            EXPECT_TRUE(ulpsApart(std::fabs(every3.orientations.at("j2")[k][c]),
                                  std::fabs(original.orientations.at("j2")[2 + 3 * k][c]), 2));
    // The same selection of the clip itself, and of the capture.
    r = run({"convert", path("clip.qmf"), path("every3.bvh"), "--frames", "2:20", "--step", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(path("every3.bvh")).find("Frames: 7\nFrame Time: 0.1"), std::string::npos);
    r = run({"convert", path("chain.bvh"), path("every3c.qmf"), "--frames", "2:20", "--step", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameKeys(keysOf(path("every3c.qmf")), every3);
}

TEST_F(Bake, BvhOutWritesTheCurvesOwnAnglesInEachJointsOrder) {
    spit(path("chain.bvh"), smoothCapture());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("scene.ma")}).status, 0);
    Result r = run({"convert", path("scene.ma"), path("back.bvh"), "--frames", "0:" + std::to_string(kFrames - 1)});
    ASSERT_EQ(r.status, 0) << r.err;
    // The same hierarchy and channel orders, and on every frame the values
    // the curves were keyed with (no joint orient: nothing composed in).
    std::istringstream a(smoothCapture()), b(slurp(path("back.bvh")));
    std::string la, lb;
    bool motion = false;
    int lines = 0;
    while (std::getline(a, la) && std::getline(b, lb)) {
        if (la.rfind("Frame Time", 0) == 0) {
            motion = true;
            continue;
        }
        if (!motion) {
            auto words = [](const std::string& s) {
                std::istringstream in(s);
                std::vector<std::string> w;
                for (std::string x; in >> x;) w.push_back(x);
                return w;
            };
            if (la.find("CHANNELS") != std::string::npos || la.find("JOINT") != std::string::npos) {
                EXPECT_EQ(words(la), words(lb));
            }
            continue;
        }
        std::istringstream va(la), vb(lb);
        double x = 0, y = 0;
        int n = 0;
        while (va >> x && vb >> y) {
            EXPECT_NEAR(x, y, 1e-9 * std::max(1.0, std::fabs(x))) << "frame line " << lines << " value " << n;
            ++n;
        }
        EXPECT_EQ(n, 6 + 3 * 6);
        ++lines;
    }
    EXPECT_EQ(lines, kFrames);
}

TEST_F(Bake, JointOrientsComposedIntoBvhAnglesAreExactAsRotations) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    ASSERT_EQ(run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")}).status, 0);
    Result r = run({"convert", path("animated.ma"), path("back.bvh"), "--frames", "0:" + std::to_string(kFrames - 1)});
    ASSERT_EQ(r.status, 0) << r.err;
    // Import keyed R = Q * O^-1 in double; the capture's angles, read in each
    // joint's listed order, must give the clip's Q back to 1e-6 degrees,
    // gimbal-lock frames and angles past 180 included.
    const ClipKeys clip = keysOf(path("clip.qmf"));
    std::istringstream in(slurp(path("back.bvh")));
    struct Listed {
        std::string name;
        std::string axes;  // rotation axes as listed
        std::size_t column;
    };
    std::vector<Listed> joints;
    std::size_t columns = 0;
    std::string word, name;
    while (in >> word && word != "MOTION") {
        if (word == "ROOT" || word == "JOINT") in >> name;
        if (word != "CHANNELS") continue;
        int n = 0;
        in >> n;
        Listed l{name, "", columns};
        for (int c = 0; c < n; ++c) {
            in >> word;
            if (word.find("rotation") != std::string::npos) l.axes += char(std::tolower(word[0]));
            else ++l.column;
        }
        columns += static_cast<std::size_t>(n);
        joints.push_back(l);
    }
    std::string line;
    std::getline(in, line);
    std::getline(in, line);  // Frames:
    std::getline(in, line);  // Frame Time:
    ASSERT_EQ(joints.size(), 7u);
    const double limit = 1e-6 * M_PI / 180;
    for (int f = 0; f < kFrames; ++f) {
        ASSERT_TRUE(std::getline(in, line));
        std::istringstream values(line);
        std::vector<double> v(columns);
        for (double& x : v) values >> x;
        for (const Listed& j : joints) {
            double angle[3] = {0, 0, 0};
            for (std::size_t a = 0; a < 3; ++a) angle[j.axes[a] - 'x'] = v[j.column + a] * M_PI / 180;
            const std::string maya(j.axes.rbegin(), j.axes.rend());
            static const char* const kOrders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
            int order = 0;
            for (int o = 0; o < 6; ++o)
                if (maya == kOrders[o]) order = o;
            const MQuaternion got =
                MEulerRotation(angle[0], angle[1], angle[2], static_cast<MEulerRotation::RotationOrder>(order)).asQuaternion();
            const auto& q = clip.orientations.at(j.name)[static_cast<std::size_t>(f)];
            MQuaternion want(q[1], q[2], -double(q[3]), -double(q[0]));
            want = want.normal();  // a float quaternion's length is 1 to a float's precision only
            const double dot = got.x * want.x + got.y * want.y + got.z * want.z + got.w * want.w;
            const double s = dot < 0 ? -1 : 1;
            const double dx = got.x - s * want.x, dy = got.y - s * want.y, dz = got.z - s * want.z, dw = got.w - s * want.w;
            const double sx = got.x + s * want.x, sy = got.y + s * want.y, sz = got.z + s * want.z, sw = got.w + s * want.w;
            const double between = 2 * std::atan2(std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw),
                                                  std::sqrt(sx * sx + sy * sy + sz * sz + sw * sw));
            EXPECT_LT(between, limit) << j.name << " frame " << f << ": " << between * 180 / M_PI << " degrees apart";
        }
    }
}

TEST_F(Bake, RefusalsAreOneLineAndWriteNothing) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    spit(path("empty.ma"), "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncreateNode transform -n \"box\";\n");
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"convert", path("rig.ma"), path("out.qmf"), "--frames", "0:11"},
         "qmf: --frames 0:11 is outside the frames of " + path("rig.ma") + " (its playback range and keys), 0 to 10"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--frames", "5:2"}, "qmf: convert: --frames 5:2: the first frame comes after the last"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--frames", "x"}, "qmf: convert: --frames needs A:B, the first and last frame, not 'x'"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--step", "0"}, "qmf: convert: --step needs a whole number of frames from 1, not '0'"},
        {{"convert", path("empty.ma"), path("out.qmf")}, "qmf: " + path("empty.ma") + ": the scene has no joints"},
        {{"convert", path("chain.bvh"), path("out.qmf"), "--frames", "0:24"},
         "qmf: --frames 0:24 is outside the frames of " + path("chain.bvh") + ", 0 to 23"},
        {{"convert", path("chain.bvh"), path("out.qmf"), "--frames", "0.5:3"},
         "qmf: --frames 0.5:3: " + path("chain.bvh") + " has whole frames only"},
        {{"convert", path("rig.ma"), path("out.qmf"), "--order", "xyz"}, "qmf: convert: --order does not apply to Maya ASCII to Movantis clip"},
    };
    for (const auto& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(r.err, c.line + "\n");
        EXPECT_FALSE(fs::exists(path("out.qmf")));
    }
}

// Scenes a bake must bound: a hundred thousand curves, one of them driving
// a joint; keys at times far past any range a clip holds; a key time that
// does not fit a double.
TEST_F(Bake, ScenesOfManyCurvesAndFarKeysBakeOrRefuseInOneLine) {
    const std::string rig =
        "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t film;\n"
        "createNode joint -n \"hip\";\ncreateNode joint -n \"knee\" -p \"hip\";\n"
        "\tsetAttr \".t\" -type \"double3\" 0 -40 0;\ncreateNode script -n \"sceneConfigurationScriptNode\";\n"
        "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 5 -ast 1 -aet 5 \";\n";
    std::string many = rig;
    for (int i = 0; i < 100000; ++i)
        many += "createNode animCurveTA -n \"c" + std::to_string(i) + "\";\n\tsetAttr -s 2 \".ktv[0:1]\"  1 0 5 " +
                std::to_string(i % 90) + ";\n";
    many += "connectAttr \"c7.o\" \"knee.rx\";\n";
    spit(path("many.ma"), many);
    Result r = run({"convert", path("many.ma"), path("many.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const ClipKeys k = keysOf(path("many.qmf"));
    ASSERT_EQ(k.frames, 5);
    // knee.rx runs 0 to 7 degrees over frames 1 to 5: its last key is that
    // turn about X (the file quaternion's sign aside).
    const auto& last = k.orientations.at("knee").back();
    const double half = 3.5 * 3.14159265358979323846 / 180.0;
    EXPECT_NEAR(std::fabs(last[0]), std::cos(half), 1e-6);
    EXPECT_NEAR(std::fabs(last[1]), std::sin(half), 1e-6);

    const std::string curve = "createNode animCurveTA -n \"c\";\n\tsetAttr -s 2 \".ktv[0:1]\"  1 0 ";
    spit(path("far.ma"), rig + curve + "1e15 90;\nconnectAttr \"c.o\" \"knee.rx\";\n");
    spit(path("inf.ma"), rig + curve + "1e999 90;\nconnectAttr \"c.o\" \"knee.rx\";\n");
    r = run({"convert", path("far.ma"), path("out.qmf")});
    EXPECT_EQ(r.status, 0) << "the playback range is baked: " << r.err;
    EXPECT_EQ(keysOf(path("out.qmf")).frames, 5);
    fs::remove(path("out.qmf"));
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"convert", path("far.ma"), path("out.qmf"), "--frames", "1:1e9"},
         "qmf: --frames and --step choose 1e+09 frames of " + path("far.ma") + "; a clip holds at most 16777216"},
        {{"convert", path("far.ma"), path("out.qmf"), "--frames", "0:1e15"},
         "qmf: --frames 0:1e15 is outside the frames of " + path("far.ma") + " (its playback range and keys), 1 to 1e+15"},
        {{"convert", path("inf.ma"), path("out.qmf")}, "qmf: " + path("inf.ma") + ": line 10: expected a number, found '1e999'"},
    };
    for (const auto& c : cases) {
        r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_EQ(r.err, c.line + "\n");
        EXPECT_FALSE(fs::exists(path("out.qmf")));
    }
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

// The positions view prints for one frame, without its header line.
std::string positionsBody(const std::string& out) { return out.substr(out.find('\n') + 1); }

TEST_F(Bake, FramesAndStepChooseWhatViewShowsOfEveryFormat) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    ASSERT_EQ(run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("animated.ma")}).status, 0);
    for (const std::string& file : {path("chain.bvh"), path("clip.qmf"), path("animated.ma")}) {
        SCOPED_TRACE(file);
        // Frame 2 of frames 5, 10, 15, 20 is the file's frame 15.
        Result chosen = run({"view", "--positions", file, "--frames", "5:20", "--step", "5", "--frame", "2"});
        Result all = run({"view", "--positions", file, "--frame", "15"});
        ASSERT_EQ(chosen.status, 0) << chosen.err;
        ASSERT_EQ(all.status, 0) << all.err;
        EXPECT_EQ(chosen.out.substr(0, chosen.out.find('\n')), "# frame 2 of 4; joint index, world x y z (cm), name");
        EXPECT_EQ(positionsBody(chosen.out), positionsBody(all.out));
        Result past = run({"draw", file, "-o", path("d.svg"), "--frames", "5:20", "--step", "5", "--frame", "4"});
        EXPECT_EQ(past.status, 1);
        EXPECT_NE(past.err.find("frame 4 is past the last frame"), std::string::npos) << past.err;
    }
    Result outside = run({"plot", path("clip.qmf"), "-o", path("p.svg"), "--frames", "0:24"});
    EXPECT_EQ(outside.err, "qmf: plot: --frames 0:24 is outside the frames of " + path("clip.qmf") + ", 0 to 23\n");
    Result step = run({"view", "--positions", path("clip.qmf"), "--step", "0"});
    EXPECT_EQ(step.err, "qmf: view: --step needs a whole number of frames from 1, not '0'\n");
}

TEST_F(Bake, ATakeTooLongForOneViewShowsTheLongestRunThatFits) {
    // 2,100 joints x 1,000 frames: more joint-frames than a view holds.
    std::string t = "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
    for (int j = 1; j < 2100; ++j) t += "JOINT j" + std::to_string(j) + "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n}\n";
    t += "}\nMOTION\nFrames: 1000\nFrame Time: 0.04\n";
    std::string line;
    for (int v = 0; v < 2100 * 3; ++v) line += v ? " 1" : "1";
    for (int f = 0; f < 1000; ++f) t += line + "\n";
    spit(path("long.bvh"), t);
    Result r = run({"view", "--positions", path("long.bvh"), "--frame", "997"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qmf: warning: " + path("long.bvh") +
                         ": 1000 frames of 2100 joints are more than one view holds; showing frames 0 to 997 (choose "
                         "others with --frames A:B or --step N)\n");
    r = run({"view", "--positions", path("long.bvh"), "--frames", "500:999", "--frame", "499"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // draw reads only the frame it draws: the last one of the take too.
    r = run({"draw", path("long.bvh"), "-o", path("d.svg"), "--frame", "999"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(slurp(path("d.svg")).find("long.bvh, frame 999 (frames 0 to 999)"), std::string::npos);
    r = run({"draw", path("long.bvh"), "-o", path("e.svg"), "--frame", "1000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: draw: frame 1000 is past the last frame of " + path("long.bvh") + " (999)\n");
    EXPECT_FALSE(fs::exists(path("e.svg")));
}

// Frames before --frames' first are passed over without being converted:
// a value no number reads on an earlier line does not stop the frames
// after it. On a line that is converted it is refused.
TEST_F(Bake, FramesBeforeTheRangeArePassedOverUnread) {
    std::string t = chainCapture();
    const std::size_t motion = t.find("Frame Time:");
    const std::size_t first = t.find('\n', motion) + 1;
    t.replace(first, t.find(' ', first) - first, "x");
    spit(path("chain.bvh"), t);
    Result r = run({"convert", path("chain.bvh"), path("out.qmf"), "--frames", "1:23"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(keysOf(path("out.qmf")).frames, 23);
    r = run({"draw", path("chain.bvh"), "-o", path("d.svg"), "--frame", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("chain.bvh"), path("all.qmf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 0: value 'x' is not a finite number"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

TEST_F(Bake, StartLandsTheClipsFirstFrameOnTheSceneFrameGiven) {
    spit(path("chain.bvh"), chainCapture());
    spit(path("rig.ma"), chainRig());
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    Result r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("late.ma"), "--start", "100"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("; playback 0 to 124 (ntsc frames)"), std::string::npos) << r.out;
    // Baked from frame 100 on, it is the clip again, key for key.
    r = run({"convert", path("late.ma"), path("back.qmf"), "--frames", "100:123"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameKeys(keysOf(path("clip.qmf")), keysOf(path("back.qmf")));
    // The same through convert's rig, and a start that is not a number.
    r = run({"convert", path("clip.qmf"), path("rig2.ma"), "--start", "7"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("rig2.ma"), path("back2.qmf"), "--frames", "7:30"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameKeys(keysOf(path("clip.qmf")), keysOf(path("back2.qmf")));
    r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("x.ma"), "--start", "soon"});
    EXPECT_EQ(r.err, "qmf: import: --start needs a number of frames, not 'soon'\n");
    EXPECT_FALSE(fs::exists(path("x.ma")));
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

// A still root turned and moved away from the origin, with the walk on the
// joint under it (as some research captures are laid out).
std::string stillRootCapture() {
    std::string t = "HIERARCHY\nROOT joint_Root\n{\n OFFSET 10 0 5\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                    " JOINT Hips\n {\n  OFFSET 0 90 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                    "  JOINT Spine\n  {\n   OFFSET 0 20 0\n   CHANNELS 3 Zrotation Xrotation Yrotation\n"
                    "   End Site\n   {\n    OFFSET 0 30 0\n   }\n  }\n }\n}\nMOTION\nFrames: 30\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < 30; ++f) {
        char line[256];
        std::snprintf(line, sizeof line, "3 0 -2 10 0 90 %g %g %g %g %g %g %g %g %g\n", 0.0, 90.0, 40.0 * f, 5.0 * std::sin(f),
                      10.0 * f, -3.0 * f, 20.0 * std::sin(0.3 * f), 15.0, -7.0);
        t += line;
    }
    return t;
}

TEST_F(Bake, RootKeepsAJointsHierarchyWhereItWasInTheWorld) {
    spit(path("walk.bvh"), stillRootCapture());
    // Without --root the walk is lost, and said so, with the way out.
    Result r = run({"convert", path("walk.bvh"), path("all.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "qmf: warning: a clip holds position channels for its first root only; dropped those of Hips\n"
              "qmf: warning: joint_Root stays still while Hips travels 11.60 m, and a clip keeps the first root's "
              "positions only; --root Hips keeps its motion\n");
    r = run({"convert", path("walk.bvh"), path("hips.qmf"), "--root", "Hips"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // Hips' own positions are the new root's
    ASSERT_EQ(run({"convert", path("hips.qmf"), path("hips.bvh"), "--root", "Hips"}).status, 0);
    // The world as the capture has it, worked out here from its channels
    // (Z X Y listed: Maya's yxz order), parents' rotation applied after.
    const auto turn = [](double z, double x, double y) {
        return MEulerRotation(x * M_PI / 180, y * M_PI / 180, z * M_PI / 180, MEulerRotation::kYXZ).asQuaternion();
    };
    for (const std::string& out : {path("hips.qmf"), path("hips.bvh")}) {
        for (int f : {0, 7, 29}) {
            SCOPED_TRACE(out + " frame " + std::to_string(f));
            const MQuaternion root = turn(10, 0, 90), hips = turn(5.0 * std::sin(f), 10.0 * f, -3.0 * f) * root;
            const MQuaternion spine = turn(20.0 * std::sin(0.3 * f), 15.0, -7.0) * hips;
            const MVector hipsAt = MVector(0, 90, 40.0 * f).rotateBy(root) + MVector(3, 0, -2);
            const MVector spineAt = MVector(0, 20, 0).rotateBy(hips) + hipsAt;
            const MVector endAt = MVector(0, 30, 0).rotateBy(spine) + spineAt;
            std::map<std::string, MVector> where = {{"Hips", hipsAt}, {"Spine", spineAt}, {"Spine_end", endAt}};
            Result kept = run({"view", "--positions", out, "--frame", std::to_string(f)});
            ASSERT_EQ(kept.status, 0) << kept.err;
            std::istringstream b(kept.out);
            std::string line;
            std::getline(b, line);
            int joints = 0;
            while (std::getline(b, line)) {
                std::istringstream w(line);
                int i;
                double p[3];
                std::string name;
                w >> i >> p[0] >> p[1] >> p[2] >> name;
                ASSERT_TRUE(where.count(name)) << name;
                for (unsigned c = 0; c < 3; ++c) EXPECT_NEAR(p[c], where[name][c], 1e-3) << name << " axis " << c;
                ++joints;
            }
            EXPECT_EQ(joints, 3);
        }
    }
    r = run({"convert", path("walk.bvh"), path("x.qmf"), "--root", "Knee"});
    EXPECT_EQ(r.err, "qmf: --root Knee is not a joint of " + path("walk.bvh") + "\n");
    EXPECT_FALSE(fs::exists(path("x.qmf")));
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

TEST_F(Bake, ResampleKeysAClipOfAnotherRateOnTheScenesWholeFrames) {
    // A 30 fps clip onto a film rig: keys at 0.8, 1.6... frames without it.
    spit(path("chain.bvh"), chainCapture());
    std::string rig = chainRig();
    rig.replace(rig.find("-t ntsc"), 7, "-t film");
    spit(path("rig.ma"), rig);
    ASSERT_EQ(run({"convert", path("chain.bvh"), path("clip.qmf")}).status, 0);
    Result r = run({"import", path("clip.qmf"), path("rig.ma"), "-o", path("film.ma"), "--resample"});
    ASSERT_EQ(r.status, 0) << r.err;
    // 24 frames at 30 fps last 23/30 s: film frames 0 to 18.
    EXPECT_NE(r.out.find(": 24 curves, 456 keys,"), std::string::npos) << r.out;  // 19 keys a curve
    const std::string scene = slurp(path("film.ma"));
    EXPECT_EQ(scene.find(" 0.8 "), std::string::npos) << "a key off the scene's frames";
    // Baked at film, every frame that fell on a clip frame (film 0, 4, 8... =
    // clip 0, 5, 10...) is the clip's key; the others lie between its keys.
    r = run({"convert", path("film.ma"), path("back.qmf"), "--frames", "0:18"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ClipKeys original = keysOf(path("clip.qmf")), baked = keysOf(path("back.qmf"));
    EXPECT_EQ(baked.rate, 24);
    EXPECT_EQ(baked.frames, 19);
    for (const auto& [name, keys] : original.orientations)
        for (int film = 0; film <= 18; film += 4) {
            const auto& a = keys[static_cast<std::size_t>(film * 5 / 4)];
            const auto& b = baked.orientations.at(name)[static_cast<std::size_t>(film)];
            const float sign = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0 ? -1.0f : 1.0f;
            for (int c = 0; c < 4; ++c) EXPECT_TRUE(ulpsApart(a[c], sign * b[c], 2)) << name << " film frame " << film;
        }
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

// A scene is viewed as Maya composes it: a group with scale between joints
// and a mirrored joint place what is under them where Maya does, and where
// a clip of the scene would differ one line says so.
TEST_F(Bake, ViewShowsAScenesTransformsAndScaleAsMayaDoes) {
    spit(path("mirror.ma"),
         "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t film;\n"
         "createNode joint -n \"root\";\n"
         "createNode transform -n \"grp\" -p \"root\";\n\tsetAttr \".t\" -type \"double3\" 10 0 0;\n"
         "\tsetAttr \".s\" -type \"double3\" 2 2 2;\n"
         "createNode joint -n \"a\" -p \"grp\";\n\tsetAttr \".t\" -type \"double3\" 1 0 0;\n"
         "createNode joint -n \"b\" -p \"root\";\n\tsetAttr \".t\" -type \"double3\" 0 5 0;\n"
         "\tsetAttr \".s\" -type \"double3\" -1 1 1;\n"
         "createNode joint -n \"c\" -p \"b\";\n\tsetAttr \".t\" -type \"double3\" 3 0 0;\n"
         "createNode joint -n \"d\" -p \"c\";\n\tsetAttr \".t\" -type \"double3\" 0 2 0;\n"
         "connectAttr \"b.s\" \"c.is\";\n");
    Result r = run({"view", path("mirror.ma"), "--positions"});
    ASSERT_EQ(r.status, 0) << r.err;
    // a: (1,0,0) scaled by the group and moved with it. c: b's mirror turns
    // its (3,0,0) to (-3,0,0). d: c divides b's scale out for its children
    // (segment scale compensation), so d is 2 above c.
    EXPECT_EQ(positionsBody(r.out), "0 0 0 0 root\n1 12 0 0 a\n2 0 5 0 b\n3 -3 5 0 c\n4 -3 7 0 d\n");
    EXPECT_EQ(r.err, "qmf: warning: " + path("mirror.ma") +
                         ": shown as Maya shows it; a clip of it would place a, c, d elsewhere (up to 11 cm: scale, or "
                         "transforms above or between joints, that a clip does not hold)\n");
    // A scene a clip holds as it is says nothing.
    spit(path("plain.ma"), "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncreateNode joint -n \"root\";\n"
                           "createNode joint -n \"a\" -p \"root\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3;\n");
    r = run({"view", path("plain.ma"), "--positions"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(positionsBody(r.out), "0 0 0 0 root\n1 1 2 3 a\n");
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

// The world positions `qmf view --positions` prints at one frame, by joint name.
std::map<std::string, std::array<double, 3>> positionsByName(const std::string& out) {
    std::map<std::string, std::array<double, 3>> byName;
    std::istringstream in(positionsBody(out));
    std::size_t index;
    std::array<double, 3> p;
    std::string name;
    while (in >> index >> p[0] >> p[1] >> p[2] >> name) byName[name] = p;
    return byName;
}

// --root in a scene: the joint's hierarchy alone, moved to the top with the
// still transforms above it (a turned, moved group and a joint with an
// orient) folded in, so on every frame it stands where Maya shows it.
TEST_F(Bake, RootTakesAScenesHierarchyOutWhereMayaShowsIt) {
    spit(path("rig.ma"),
         "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t film;\n"
         "createNode transform -n \"grp\";\n\tsetAttr \".t\" -type \"double3\" 5 0 -3;\n"
         "\tsetAttr \".r\" -type \"double3\" 0 0 90;\n"
         "createNode joint -n \"hips\" -p \"grp\";\n\tsetAttr \".t\" -type \"double3\" 0 10 0;\n"
         "\tsetAttr \".jo\" -type \"double3\" 0 30 0;\n"
         "createNode joint -n \"spine\" -p \"hips\";\n\tsetAttr \".jo\" -type \"double3\" 10 0 0;\n\tsetAttr \".ro\" 2;\n"
         "createNode joint -n \"arm\" -p \"spine\";\n\tsetAttr \".t\" -type \"double3\" 3 1 0;\n\tsetAttr \".ro\" 4;\n"
         "createNode joint -n \"hand\" -p \"arm\";\n\tsetAttr \".t\" -type \"double3\" 2 0 0;\n"
         "createNode animCurveTA -n \"spine_rx\";\n\tsetAttr \".tan\" 2;\n\tsetAttr -s 2 \".ktv[0:1]\"  1 0 5 60;\n"
         "createNode animCurveTL -n \"spine_ty\";\n\tsetAttr \".tan\" 2;\n\tsetAttr -s 2 \".ktv[0:1]\"  1 4 5 6;\n"
         "createNode animCurveTA -n \"arm_ry\";\n\tsetAttr \".tan\" 2;\n\tsetAttr -s 2 \".ktv[0:1]\"  1 -20 5 200;\n"
         "createNode script -n \"sceneConfigurationScriptNode\";\n"
         "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 5 -ast 1 -aet 5 \";\n"
         "connectAttr \"spine_rx.o\" \"spine.rx\";\nconnectAttr \"spine_ty.o\" \"spine.ty\";\n"
         "connectAttr \"arm_ry.o\" \"arm.ry\";\n");
    for (const char* out : {"spine.qmf", "spine.bvh"}) {
        SCOPED_TRACE(out);
        Result r = run({"convert", path("rig.ma"), path(out), "--root", "spine"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (int f = 0; f < 5; ++f) {
            const auto scene = positionsByName(run({"view", path("rig.ma"), "--positions", "--frame", std::to_string(f)}).out);
            Result baked = run({"view", path(out), "--positions", "--frame", std::to_string(f)});
            ASSERT_EQ(baked.status, 0) << baked.err;
            const auto got = positionsByName(baked.out);
            ASSERT_EQ(got.size(), 3u) << baked.out;
            for (const auto& [name, p] : got) {
                // A BVH writes the leaf as its parent's End Site.
                const std::string joint = name == "arm_end" ? "hand" : name;
                ASSERT_EQ(scene.count(joint), 1u) << joint;
                for (int a = 0; a < 3; ++a)
                    EXPECT_NEAR(p[a], scene.at(joint)[a], 1e-4) << name << " frame " << f << " axis " << a;
            }
        }
    }
    // What moves above the joint is said, not baked; a name that is not a
    // joint is refused.
    Result r = run({"convert", path("rig.ma"), path("arm.qmf"), "--root", "arm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qmf: warning: --root arm: spine above it moves, which is not baked; its pose at the time read is\n");
    r = run({"convert", path("rig.ma"), path("x.qmf"), "--root", "grp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qmf: --root grp is not a joint of " + path("rig.ma") + "\n");
    EXPECT_FALSE(fs::exists(path("x.qmf")));
}

}  // namespace
}  // namespace clitest

namespace clitest {
namespace {

// Frames of a clip before --frames' first are passed over unread; the keys
// still in force from them are found again: a key some frames before the
// range holds into it, as it does when every frame is read.
TEST_F(Bake, KeysBeforeTheRangeOfASparseClipHoldIntoIt) {
    auto joint = [](const std::string& name, int parent) {
        return json{{"name", name}, {"parent", parent}, {"root", parent < 0}, {"offset", {0, 1, 0}},
                    {"orientation", {1, 0, 0, 0}}, {"body", nullptr}};
    };
    const double s = std::sqrt(0.5);
    json clip = {{"frameRate", 30},
                 {"frameCount", 10},
                 {"skeletons", {{{"name", "s"}, {"completed", false}, {"joints", {joint("r", -1), joint("c", 0)}}}}},
                 {"figures",
                  {{{"skeleton", 0},
                    {"channels", {{"1", {{0, 1.0}, {3, 2.0}}}, {"2", json::array()}, {"3", json::array()}}},
                    {"orientations", {{{"joint", 1}, {"keys", {{2, s, s, 0, 0}, {8, s, 0, s, 0}}}}}}}}}};
    spit(path("sparse.json"), clip.dump());
    ASSERT_EQ(run({"pack", path("sparse.json"), path("sparse.qmf")}).status, 0);
    auto frameLines = [this](const std::string& bvh) {
        const std::string text = slurp(path(bvh));
        std::istringstream in(text.substr(text.find("Frame Time:")));
        std::vector<std::string> lines;
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    };
    ASSERT_EQ(run({"convert", path("sparse.qmf"), path("all.bvh")}).status, 0);
    Result r = run({"convert", path("sparse.qmf"), path("late.bvh"), "--frames", "5:9"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto all = frameLines("all.bvh"), late = frameLines("late.bvh");
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(late, std::vector<std::string>(all.begin() + 5, all.end()));
    // Frame 5 holds frame 3's root X (2 m) and frame 2's quarter turn of c.
    EXPECT_EQ(late.front(), "200 100 -0 0 0 0 0 -90 0");
}

}  // namespace
}  // namespace clitest
