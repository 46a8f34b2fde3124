// The qmf command's subcommands end to end: help, refusals, the JSON form,
// export and import on the example rig and on the shared corpus.
#include "CliFixture.h"

#include "qmfhost/MaScene.h"

#include "../support/CorpusScenes.h"

#include <map>
#include <set>

using namespace clitest;
using qmfhost::ma::Scene;

namespace {

std::vector<int> joints(const Scene& s) {
    std::vector<int> out;
    for (std::size_t i = 0; i < s.nodes.size(); ++i)
        if (s.nodes[i].type == "joint") out.push_back(static_cast<int>(i));
    return out;
}

// The joint parent as the exporter sees it: the first DAG parent when it is a
// joint; a joint under anything else is a root.
int jointParent(const Scene& s, int n) {
    const auto& parents = s.nodes[static_cast<std::size_t>(n)].parents;
    for (int p : parents)
        if (s.nodes[static_cast<std::size_t>(p)].type == "joint") return p;
    return -1;
}

// The time a loaded scene is posed at: :time1, else the playback start,
// else frame 1.
double sceneTime(const Scene& s) {
    return s.currentTime.value_or(s.playback.minTime.value_or(1.0 / s.units.framesPerSecond));
}

// A joint's translation as Maya shows it at a time: a channel driven by a
// curve has the value of the curve's key at that time; others the stored
// value. Only key times can be worked out without evaluating curves.
qmfhost::ma::Vec3 poseTranslation(const Scene& s, int joint, double seconds, const std::string& label) {
    const auto& node = s.nodes[static_cast<std::size_t>(joint)];
    qmfhost::ma::Vec3 t = node.translate.value_or(qmfhost::ma::Vec3{0, 0, 0});
    for (const auto& c : s.connections) {
        if (c.dst.node != joint || c.src.node < 0) continue;
        const std::string attr = qmfhost::ma::canonicalAttr(c.dst.attr);
        if (attr != "tx" && attr != "ty" && attr != "tz") continue;
        const auto& curve = s.nodes[static_cast<std::size_t>(c.src.node)].curve;
        if (!curve) continue;
        bool hit = false;
        for (const auto& k : curve->keys)
            if (std::fabs(k.time - seconds) < 1e-9) {
                t[static_cast<std::size_t>(attr[1] - 'x')] = k.value;
                hit = true;
            }
        if (!hit) ADD_FAILURE() << label << ": " << node.name << "." << attr << " has no key at " << seconds << " s";
    }
    return t;
}

// The exported skeleton has the scene's joints, parents and offsets (the
// pose at the given time, by default the scene's).
void expectSkeletonMatches(const Scene& scene, const json& info, const std::string& label, double seconds = -1) {
    if (seconds < 0) seconds = sceneTime(scene);
    ASSERT_EQ(info["skeletons"].size(), 1u) << label;
    const json& js = info["skeletons"][0]["joints"];
    auto sj = joints(scene);
    ASSERT_EQ(js.size(), sj.size()) << label;
    std::map<std::string, int> byName;
    for (int j : sj) byName[scene.nodes[static_cast<std::size_t>(j)].name] = j;
    for (std::size_t i = 0; i < js.size(); ++i) {
        std::string name = js[i]["name"];
        ASSERT_TRUE(byName.count(name)) << label << ": unknown joint " << name;
        int p = jointParent(scene, byName[name]);
        long long fp = js[i]["parent"];
        if (p < 0) {
            EXPECT_EQ(fp, -1) << label << " " << name;
        } else {
            ASSERT_GE(fp, 0) << label << " " << name;
            EXPECT_EQ(js[static_cast<std::size_t>(fp)]["name"], scene.nodes[static_cast<std::size_t>(p)].name) << label;
        }
        // A root's own translation is not written.
        qmfhost::ma::Vec3 t = p < 0 ? qmfhost::ma::Vec3{0, 0, 0} : poseTranslation(scene, byName[name], seconds, label);
        const double want[3] = {t[0] / 100, t[1] / 100, -t[2] / 100};
        for (int k = 0; k < 3; ++k) {
            double got = js[i]["offset"][static_cast<std::size_t>(k)].get<double>();
            EXPECT_NEAR(got, want[k], 1e-6 * std::max(1.0, std::fabs(want[k]))) << label << " " << name << " axis " << k;
        }
    }
}

bool isChannel(const std::string& attr) {
    const std::string a = qmfhost::ma::canonicalAttr(attr);
    return a == "t" || a == "r" || a == "tx" || a == "ty" || a == "tz" || a == "rx" || a == "ry" || a == "rz";
}

// Whether some joint's translate or rotate channel is driven by anything but
// an animation curve (directly or through a unitConversion).
bool hasForeignDriver(const Scene& s) {
    std::map<int, int> feeder;  // unitConversion -> what feeds it
    for (const auto& c : s.connections)
        if (c.dst.node >= 0 && s.nodes[static_cast<std::size_t>(c.dst.node)].type == "unitConversion") feeder[c.dst.node] = c.src.node;
    for (const auto& c : s.connections) {
        if (c.src.node < 0 || c.dst.node < 0 || s.nodes[static_cast<std::size_t>(c.dst.node)].type != "joint" ||
            !isChannel(c.dst.attr))
            continue;
        int src = c.src.node;
        if (s.nodes[static_cast<std::size_t>(src)].type == "unitConversion" && feeder.count(src)) src = feeder[src];
        if (src < 0 || !s.nodes[static_cast<std::size_t>(src)].curve) return true;
    }
    return false;
}

}  // namespace

TEST_F(Cli, HelpOnEverySubcommand) {
    for (std::string cmd : {"export", "import", "identify", "info", "pack"}) {
        Result r = run({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_EQ(r.out.rfind("usage: qmf " + cmd, 0), 0u) << r.out;
    }
    Result top = run({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("Commands:"), std::string::npos);
    Result bad = run({"frobnicate"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.errLines().size(), 1u);
}

TEST_F(Cli, RefusalsAreOneLineAndLeaveOutputAlone) {
    const std::string clip = path("walk.qmf");
    ASSERT_EQ(run({"pack", kWalk, clip}).status, 0);
    spit(path("binary.ma"), std::string("FOR4\0\0\0\x40" "CRE", 11));
    spit(path("text.ma"), "createNode joint -n \"a\";\n");
    spit(path("broken.ma"), "//Maya ASCII\ncreateNode joint -n \"a\";\n\tsetAttr \".t\" -type \"double3\" 1 2 \"x\";\n");
    std::string bytes = slurp(clip);
    spit(path("damaged.qmf"), bytes.substr(0, bytes.size() / 2));
    spit(path("bad.json"), "{\"frameRate\": 30, ");
    spit(path("wrong.json"), "{\"frameRate\": 30, \"frameCount\": 2, \"skeletons\": [{\"name\": 3}], \"figures\": []}");
    const std::string sentinel = "existing output\n";
    const std::string out = path("existing.out");
    const std::string noDir = path("no/such/dir/out");

    struct Case {
        std::vector<std::string> args;
        const char* words;  // expected in the last line
        bool onlyLine;      // the translator may print its own lines first
    };
    const std::vector<Case> cases = {
        {{"export", path("missing.ma"), out}, "missing.ma", true},
        {{"export", path("binary.ma"), out}, "binary Maya scene", true},
        {{"export", path("text.ma"), out}, "not a Maya ASCII", true},
        {{"export", path("broken.ma"), out}, "line 3", true},
        {{"export", kRig, noDir}, "no such folder", true},
        {{"export", kRig, out, "--plugin", path("missing.so")}, "not found", true},
        {{"import", path("missing.qmf"), kRig, "-o", out}, "missing.qmf", true},
        {{"import", clip, kRig}, "-o", true},
        {{"import", kRig, kRig, "-o", out}, "not a Movantis", true},
        {{"import", path("damaged.qmf"), kRig, "-o", out}, "damaged", false},
        {{"import", clip, path("binary.ma"), "-o", out}, "binary", true},
        {{"import", clip, kRig, "-o", noDir}, "no such folder", true},
        {{"import", clip, kRig, "-o", out, "--bogus"}, "unknown option", true},
        {{"info", path("missing.qmf")}, "missing.qmf", true},
        {{"info", kRig, "--json"}, "--json describes Movantis files", true},
        {{"info", path("damaged.qmf")}, "damaged", true},
        {{"pack", path("bad.json"), out}, "bad JSON", true},
        {{"pack", path("wrong.json"), out}, "skeletons[0].name must be a string", true},
        {{"pack", kWalk, noDir}, "no such folder", true},
        {{"identify", path("missing.qmf")}, "missing.qmf", true},
    };
    for (const auto& c : cases) {
        spit(out, sentinel);
        Result r = run(c.args);
        std::string label = c.args[0] + " " + c.args[1];
        EXPECT_NE(r.status, 0) << label;
        auto lines = r.errLines();
        ASSERT_FALSE(lines.empty()) << label;
        if (c.onlyLine) {
            EXPECT_EQ(lines.size(), 1u) << label << "\n" << r.err;
        }
        EXPECT_EQ(lines.back().rfind("qmf: ", 0), 0u) << lines.back();
        EXPECT_NE(lines.back().find(c.words), std::string::npos) << label << ": " << lines.back();
        EXPECT_EQ(slurp(out), sentinel) << label;
    }
    // No temporary files are left behind either.
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_NE(e.path().filename().string().rfind(".existing", 0), 0u) << e.path();
}

TEST_F(Cli, InfoJsonAndPackAreExactInverses) {
    // Values chosen to catch lossy float printing: -0, a denormal, the largest
    // float, and a value %.6g would round.
    json j = json::parse(slurp(kWalk));
    json& joint = j["skeletons"][0]["joints"][1];
    joint["offset"] = {-0.0, 1.40129846e-45, 3.40282347e38};
    joint["orientation"] = {0.1, -0.123456791, 1.0 / 3.0, -0.0};
    joint["body"] = {{"primitives", {{{"kind", "bone"}, {"length", 0.2}, {"direction", {1, 0, 0}}}}},
                     {"bounds", {{"min", {-1, -2, -3}}, {"max", {1, 2, 3}}}}};
    // Joint names may repeat in a skeleton (here in two branches).
    j["skeletons"][0]["joints"][2]["name"] = "bone";
    j["skeletons"][0]["joints"][5]["name"] = "bone";
    spit(path("a.json"), j.dump());
    ASSERT_EQ(run({"pack", path("a.json"), path("a.qmf")}).status, 0);
    json first = infoJson(path("a.qmf"));
    spit(path("b.json"), first.dump(2));
    ASSERT_EQ(run({"pack", path("b.json"), path("b.qmf")}).status, 0);
    json second = infoJson(path("b.qmf"));
    EXPECT_EQ(first, second);
    EXPECT_EQ(slurp(path("a.qmf")), slurp(path("b.qmf")));
    const json& o = first["skeletons"][0]["joints"][1]["offset"];
    EXPECT_TRUE(std::signbit(o[0].get<double>()));
    EXPECT_EQ(static_cast<float>(o[1].get<double>()), 1.40129846e-45f);
    EXPECT_EQ(first["skeletons"][0]["joints"][1]["body"]["bounds"]["max"][2].get<double>(), 3.0);
    EXPECT_EQ(first["figures"][0]["orientations"].size(), j["figures"][0]["orientations"].size());
    EXPECT_EQ(first["skeletons"][0]["joints"][2]["name"], "bone");
    EXPECT_EQ(first["skeletons"][0]["joints"][5]["name"], "bone");

    Result text = run({"info", path("a.qmf")});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("frames: 16"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("head_end"), std::string::npos);
}

TEST_F(Cli, ExampleExportImportAndReadBack) {
    Result ex = run({"export", kRig, path("rig.qmf")});
    ASSERT_EQ(ex.status, 0) << ex.err;
    EXPECT_NE(ex.out.find("exported 7 joints"), std::string::npos) << ex.out;
    Scene rig = qmfhost::ma::readFile(kRig);
    expectSkeletonMatches(rig, infoJson(path("rig.qmf")), "rig.ma");

    Result id = run({"identify", path("rig.qmf"), kRig});
    EXPECT_EQ(id.status, 0) << id.err;
    EXPECT_NE(id.out.find("rig.qmf: 0 (is mine)"), std::string::npos) << id.out;
    EXPECT_NE(id.out.find("rig.ma: 2 (not mine)"), std::string::npos) << id.out;

    ASSERT_EQ(run({"pack", kWalk, path("walk.qmf")}).status, 0);
    Result im = run({"import", path("walk.qmf"), kRig, "-o", path("out.ma")});
    ASSERT_EQ(im.status, 0) << im.err;
    Scene out = qmfhost::ma::readFile(path("out.ma"));

    // Nothing of the rig is lost: its statements are all there, in order.
    std::string written = slurp(path("out.ma"));
    std::size_t at = 0;
    for (std::size_t i = 0; i < rig.chunks.size(); ++i) {
        if (static_cast<int>(i) == rig.playbackChunk) continue;  // rewritten with the new range
        const auto& c = rig.chunks[i];
        std::size_t found = written.find(c.text, at);
        ASSERT_NE(found, std::string::npos) << "lost: " << c.text;
        at = found + c.text.size();
    }
    // Translate curves on the first joint, rotate curves on the four joints
    // with joint children; a key for every frame of the clip.
    std::map<std::string, std::size_t> driven;
    for (const auto& c : out.connections) {
        if (c.src.node < 0) continue;
        const auto& src = out.nodes[static_cast<std::size_t>(c.src.node)];
        if (!src.curve) continue;
        driven[c.dst.nodeName.substr(c.dst.nodeName.rfind('|') + 1) + "." + qmfhost::ma::canonicalAttr(c.dst.attr)] =
            src.curve->keys.size();
    }
    std::set<std::string> want;
    for (const char* a : {"tx", "ty", "tz"}) want.insert(std::string("hips.") + a);
    for (const char* j : {"hips", "spine", "head", "leg_L", "knee_L"})
        for (const char* a : {"rx", "ry", "rz"}) want.insert(std::string(j) + "." + a);
    std::set<std::string> got;
    for (const auto& [k, n] : driven) {
        got.insert(k);
        EXPECT_GE(n, 16u) << k;
    }
    EXPECT_EQ(got, want);
    // The locked rotate channels are locked again; the playback range ends
    // with the clip (frame 16 at 30 fps = 12.8 film frames).
    EXPECT_EQ(out.nodes[static_cast<std::size_t>(out.find("head"))].locked.count("rz"), 1u);
    EXPECT_EQ(out.nodes[static_cast<std::size_t>(out.find("knee_L"))].locked.count("ry"), 1u);
    ASSERT_TRUE(out.playback.maxTime.has_value());
    EXPECT_NEAR(*out.playback.maxTime, 16.0 / 30.0, 1e-12);
    EXPECT_NE(im.out.find("18 curves"), std::string::npos) << im.out;

    // A second import onto the animated scene meets driven channels: it fails
    // and writes nothing, unless --replace clears them first.
    spit(path("again.ma"), "sentinel");
    Result again = run({"import", path("walk.qmf"), path("out.ma"), "-o", path("again.ma")});
    EXPECT_NE(again.status, 0);
    EXPECT_EQ(slurp(path("again.ma")), "sentinel");
    Result replace = run({"import", path("walk.qmf"), path("out.ma"), "-o", path("again.ma"), "--replace"});
    ASSERT_EQ(replace.status, 0) << replace.err;
    Scene twice = qmfhost::ma::readFile(path("again.ma"));
    auto curves = [](const Scene& s) {
        return std::count_if(s.nodes.begin(), s.nodes.end(), [](const auto& n) { return n.curve.has_value(); });
    };
    EXPECT_EQ(curves(twice), curves(out));
    EXPECT_EQ(twice.connections.size(), out.connections.size());
}

TEST_F(Cli, CorpusScenesExportWithTheirSkeletons) {
    auto scenes = corpusScenes();
    if (scenes.empty()) GTEST_SKIP() << "corpus folder not found: " << QMF_CORPUS_DIR;
    for (const auto& p : scenes) {
        Scene scene = qmfhost::ma::readFile(p.string());
        std::string out = path(p.stem().string() + ".qmf");
        Result r = run({"export", p.string(), out});
        ASSERT_EQ(r.status, 0) << p << "\n" << r.err;  // a scene without joints gives an empty skeleton
        json info = infoJson(out);
        expectSkeletonMatches(scene, info, p.filename().string());
        // Maya saves nodes in the order of its depth-first walk, children in
        // the order they became children: the export meets the joints in
        // the order the file makes them.
        std::vector<std::string> inFile, exported;
        for (int j : joints(scene)) inFile.push_back(scene.nodes[static_cast<std::size_t>(j)].name);
        for (const auto& j : info["skeletons"][0]["joints"]) exported.push_back(j["name"]);
        EXPECT_EQ(exported, inFile) << p;
    }
}

TEST_F(Cli, CurveDrivenCorpusSceneExportsItsPoseAtTheCurrentTime) {
    const fs::path p = fs::path(QMF_CORPUS_DIR) / "ma" / "UsdExportSkeleton.ma";
    if (!fs::exists(p)) GTEST_SKIP() << "corpus scene not found: " << p;
    Scene scene = qmfhost::ma::readFile(p.string());
    // Its joints store no translation; curves keyed at frames 1 to 3 hold the
    // pose, and :time1 is frame 1.
    for (const auto& [frames, args] : std::vector<std::pair<double, std::vector<std::string>>>{
             {1, {}}, {2, {"--time", "2"}}, {2.0, {"--time=2.0"}}}) {
        std::vector<std::string> cmd = {"export", p.string(), path("skel.qmf")};
        cmd.insert(cmd.end(), args.begin(), args.end());
        Result r = run(cmd);
        ASSERT_EQ(r.status, 0) << r.err;
        // Every channel is curve-driven, so nothing is read stored; the mirrored
        // right side's scale of -1 is said.
        EXPECT_EQ(r.err,
                  "qmf: warning: negative or non-uniform scale on REye, RShldr, RLeg moves their children as Maya "
                  "shows them and the exported skeleton cannot\n");
        json info = infoJson(path("skel.qmf"));
        expectSkeletonMatches(scene, info, "UsdExportSkeleton.ma at frame " + std::to_string(frames), frames / 24.0);
        // Only Torso sits on its parent (its keys are all within 1e-13 cm of 0).
        std::vector<std::string> collapsed;
        for (const auto& j : info["skeletons"][0]["joints"])
            if (j["parent"].get<long long>() >= 0 && std::hypot(j["offset"][0].get<double>(), j["offset"][1].get<double>(),
                                                                j["offset"][2].get<double>()) < 1e-6)
                collapsed.push_back(j["name"]);
        EXPECT_EQ(collapsed, std::vector<std::string>{"Torso"}) << "frame " << frames;
    }
    // Between keys the pose moves: frame 1.5 differs from both neighbours.
    ASSERT_EQ(run({"export", p.string(), path("a.qmf"), "--time", "1.5"}).status, 0);
    ASSERT_EQ(run({"export", p.string(), path("b.qmf"), "--time", "1"}).status, 0);
    EXPECT_NE(infoJson(path("a.qmf"))["skeletons"], infoJson(path("b.qmf"))["skeletons"]);
}

TEST_F(Cli, ExportWarnsOncePerChannelItCannotEvaluate) {
    spit(path("driven.ma"),
         "//Maya ASCII 2018 scene\n"
         "currentUnit -l centimeter -a degree -t film;\n"
         "createNode transform -n \"rig\";\n"
         "createNode joint -n \"root\" -p \"rig\";\n"
         "createNode joint -n \"arm\" -p \"root\";\n"
         "\tsetAttr \".t\" -type \"double3\" 3 0 0 ;\n"
         "createNode transform -n \"elsewhere\";\n"
         "createNode expression -n \"roll\";\n"
         "createNode unitConversion -n \"unitConversion1\";\n"
         "\tsetAttr \".cf\" 0.017453292519943295;\n"
         "createNode pointConstraint -n \"pc\";\n"
         "connectAttr \"roll.out[0]\" \"unitConversion1.i\";\n"
         "connectAttr \"unitConversion1.o\" \"arm.rx\";\n"
         "connectAttr \"pc.ct\" \"rig.t\";\n"
         "connectAttr \"roll.out[1]\" \"elsewhere.ty\";\n");
    Result r = run({"export", path("driven.ma"), path("driven.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> want = {
        "qmf: warning: rig.translate is driven by pc (pointConstraint), which the host does not evaluate; its "
        "stored value is exported",
        "qmf: warning: arm.rotateX is driven by roll (expression), which the host does not evaluate; its stored "
        "value is exported"};
    EXPECT_EQ(r.errLines(), want) << "transforms away from the skeleton are not mentioned";
    EXPECT_NEAR(infoJson(path("driven.qmf"))["skeletons"][0]["joints"][1]["offset"][0].get<double>(), 0.03, 1e-9);

    // The pictures of the scene say the same of what they show.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"view", "--positions", path("driven.ma")},
          std::vector<std::string>{"draw", path("driven.ma"), "-o", path("driven.svg")}}) {
        Result shown = run(args);
        ASSERT_EQ(shown.status, 0) << shown.err;
        std::vector<std::string> said = want;
        for (std::string& line : said) line.replace(line.rfind("exported"), 8, "shown");
        EXPECT_EQ(shown.errLines(), said) << args[0];
    }

    Result bad = run({"export", path("driven.ma"), path("x.qmf"), "--time", "soon"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.errLines(), std::vector<std::string>{"qmf: export: --time needs a number of frames, not 'soon'"});
    EXPECT_FALSE(fs::exists(path("x.qmf")));
}

// One joint more than a Movantis skeleton holds is refused before the
// translator runs, leaving an existing output as it was; the limit itself
// exports.
TEST_F(Cli, ExportRefusesAtOnceASceneOverTheLibrarysJointLimit) {
    for (const int joints : {32767, 32768}) {
        std::string text = "//Maya ASCII 2018 scene\ncreateNode transform -n \"rig\";\n";
        for (int i = 0; i < joints; ++i) text += "createNode joint -n \"j" + std::to_string(i) + "\" -p \"rig\";\n";
        const std::string scene = path("big" + std::to_string(joints) + ".ma");
        spit(scene, text);
        spit(path("out.qmf"), "kept");
        Result r = run({"export", scene, path("out.qmf")});
        if (joints == 32767) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(infoJson(path("out.qmf"))["skeletons"][0]["joints"].size(), 32767u);
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.errLines(), std::vector<std::string>{"qmf: export failed: " + scene +
                                                             " has 32768 joints; a Movantis skeleton holds at most 32767"});
            EXPECT_EQ(slurp(path("out.qmf")), "kept");
        }
    }
}

TEST_F(Cli, CorpusScenesKeepEverythingThroughAnImport) {
    auto scenes = corpusScenes();
    if (scenes.empty()) GTEST_SKIP() << "corpus folder not found: " << QMF_CORPUS_DIR;
    for (const auto& p : scenes) {
        Scene scene = qmfhost::ma::readFile(p.string());
        if (joints(scene).empty()) continue;
        std::string exported = path("skeleton.qmf");
        ASSERT_EQ(run({"export", p.string(), exported}).status, 0) << p;
        std::string clip = clipFor(exported, 4);
        std::string outPath = path("out.ma");
        fs::remove(outPath);
        Result r = run({"import", clip, p.string(), "-o", outPath, "--replace"});
        if (r.status != 0) {
            // Only a channel driven by something other than a curve stops it,
            // and qmf names that driver before the failure line.
            EXPECT_TRUE(hasForeignDriver(scene)) << p << "\n" << r.err;
            auto lines = r.errLines();
            ASSERT_GE(lines.size(), 2u) << p;
            EXPECT_NE(lines[lines.size() - 2].find("remove it first"), std::string::npos) << p << "\n" << r.err;
            EXPECT_FALSE(fs::exists(outPath)) << p;
            continue;
        }
        Scene out = qmfhost::ma::readFile(outPath);

        // --replace may remove only curves (and unit conversions) that drive
        // a joint's translate or rotate channels; everything else survives.
        std::set<std::string> removed;
        for (const auto& c : scene.connections) {
            if (c.src.node < 0 || c.dst.node < 0) continue;
            const auto& dst = scene.nodes[static_cast<std::size_t>(c.dst.node)];
            if (dst.type != "joint" || !isChannel(c.dst.attr)) continue;
            const auto& src = scene.nodes[static_cast<std::size_t>(c.src.node)];
            if (src.curve || src.type == "unitConversion") removed.insert(src.name);
        }
        for (const auto& c : scene.connections)  // curves feeding removable unit conversions
            if (c.dst.node >= 0 && removed.count(c.dst.nodeName) && c.src.node >= 0 &&
                scene.nodes[static_cast<std::size_t>(c.src.node)].curve)
                removed.insert(c.src.nodeName);
        std::set<std::string> outNodes;
        for (const auto& n : out.nodes) outNodes.insert(n.name);
        for (const auto& n : scene.nodes) {
            if (!removed.count(n.name)) {
                EXPECT_TRUE(outNodes.count(n.name)) << p << ": lost node " << n.name;
            }
        }
        std::multiset<std::string> outConnections;
        for (const auto& c : out.connections) outConnections.insert(c.src.nodeName + "." + c.src.attr + ">" + c.dst.nodeName + "." + c.dst.attr);
        for (const auto& c : scene.connections) {
            if (removed.count(c.src.nodeName) || removed.count(c.dst.nodeName)) continue;
            EXPECT_EQ(outConnections.count(c.src.nodeName + "." + c.src.attr + ">" + c.dst.nodeName + "." + c.dst.attr), 1u)
                << p << ": lost connection " << c.src.nodeName << "." << c.src.attr << " -> " << c.dst.nodeName;
        }
        // Every attribute statement of a kept node is still there.
        std::string written = slurp(outPath);
        for (std::size_t i = 0; i < scene.chunks.size(); ++i) {
            if (static_cast<int>(i) == scene.playbackChunk) continue;  // rewritten with the new range
            int n = scene.chunkNode[i];
            if (n >= 0 && removed.count(scene.nodes[static_cast<std::size_t>(n)].name)) continue;
            if (scene.chunkConnection[i] >= 0) continue;  // checked above
            EXPECT_NE(written.find(scene.chunks[i].text), std::string::npos) << p << ": lost " << scene.chunks[i].text;
        }
        // Each channel is driven once: new curves replaced old ones.
        std::map<std::string, int> drivers;
        for (const auto& c : out.connections)
            if (c.dst.node >= 0 && out.nodes[static_cast<std::size_t>(c.dst.node)].type == "joint")
                drivers[out.fullPath(c.dst.node) + "." + qmfhost::ma::canonicalAttr(c.dst.attr)]++;
        for (const auto& [plug, n] : drivers) EXPECT_EQ(n, 1) << p << ": " << plug << " driven " << n << " times";
        EXPECT_GT(out.nodes.size(), scene.nodes.size() - removed.size()) << p << ": no curves added";
    }
}
