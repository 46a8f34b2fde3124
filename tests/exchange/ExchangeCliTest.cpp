// qmf convert to and from glTF, FBX and Collada as a user runs it: round
// trips that must keep every rotation, the glb's own structure, and a
// reader that crashes, spins or eats memory ending in one line.
#include "CliFixture.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstring>

using namespace clitest;

namespace {

// A capture with an End Site, a second branch and turns up to ±170°.
std::string capture(int frames, double frameTime = 1.0 / 30) {
    std::string s =
        "HIERARCHY\nROOT Hips\n{\n OFFSET 0 90 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
        " JOINT Spine\n {\n  OFFSET 0 10 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n"
        "  JOINT Head\n  {\n   OFFSET 0 20 1\n   CHANNELS 3 Xrotation Yrotation Zrotation\n"
        "   End Site\n   {\n    OFFSET 0 8 0\n   }\n  }\n }\n"
        " JOINT Leg\n {\n  OFFSET 8 -5 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n"
        "  End Site\n  {\n   OFFSET 0 -40 0\n  }\n }\n}\nMOTION\n";
    s += "Frames: " + std::to_string(frames) + "\nFrame Time: " + std::to_string(frameTime) + "\n";
    for (int f = 0; f < frames; ++f) {
        char line[512];
        const double a = f * 0.37;
        std::snprintf(line, sizeof line, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n",
                      3 * std::sin(a), 90 + std::cos(a), 2.5 * f, 170 * std::sin(a), 40 * std::cos(a), -120 * std::sin(a / 2),
                      10 * std::sin(a), 5.0, -7 * std::cos(a), 30 * std::cos(a), 165 * std::sin(a), 2.0, 60 * std::sin(a), 0.0,
                      -20.0);
        s += line;
    }
    return s;
}

// Orientation keys by joint name, then frame: (q0..q3).
std::map<std::string, std::map<int, std::array<double, 4>>> orientations(const json& clip) {
    std::map<std::string, std::map<int, std::array<double, 4>>> out;
    const json& joints = clip["skeletons"][0]["joints"];
    for (const json& o : clip["figures"][0]["orientations"]) {
        const std::string name = joints[o["joint"].get<std::size_t>()]["name"];
        for (const json& k : o["keys"]) out[name][k[0].get<int>()] = {k[1], k[2], k[3], k[4]};
    }
    return out;
}

// Every orientation, offset and root key of b equals a's, orientations to a float's precision.
void expectSameMotion(const json& a, const json& b, const std::string& what) {
    const json& ja = a["skeletons"][0]["joints"];
    const json& jb = b["skeletons"][0]["joints"];
    ASSERT_EQ(ja.size(), jb.size()) << what;
    for (std::size_t i = 0; i < ja.size(); ++i) {
        EXPECT_EQ(ja[i]["name"], jb[i]["name"]) << what;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(ja[i]["offset"][c].get<double>(), jb[i]["offset"][c].get<double>(), 1e-6) << what;
    }
    EXPECT_EQ(a["frameCount"], b["frameCount"]) << what;
    const auto oa = orientations(a), ob = orientations(b);
    ASSERT_EQ(oa.size(), ob.size()) << what;
    for (const auto& [joint, keys] : oa) {
        ASSERT_EQ(ob.count(joint), 1u) << what << " " << joint;
        ASSERT_EQ(keys.size(), ob.at(joint).size()) << what << " " << joint;
        for (const auto& [frame, q] : keys) {
            const auto& r = ob.at(joint).at(frame);
            const double sign = q[0] * r[0] + q[1] * r[1] + q[2] * r[2] + q[3] * r[3] < 0 ? -1 : 1;
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(q[c], sign * r[c], 2.5e-7) << what << " " << joint << " frame " << frame;
        }
    }
    for (const char* ch : {"1", "2", "3"}) {
        const json& ca = a["figures"][0]["channels"][ch];
        const json& cb = b["figures"][0]["channels"][ch];
        ASSERT_EQ(ca.size(), cb.size()) << what;
        for (std::size_t k = 0; k < ca.size(); ++k) EXPECT_NEAR(ca[k][1].get<double>(), cb[k][1].get<double>(), 1e-6) << what;
    }
}

struct Glb {
    json gltf;
    std::string bin;
};

// The container as glTF 2.0 lays it out: header, JSON chunk, BIN chunk.
Glb readGlb(const std::string& bytes) {
    Glb g;
    uint32_t head[5];
    EXPECT_GE(bytes.size(), sizeof head);
    if (bytes.size() < sizeof head) return g;
    std::memcpy(head, bytes.data(), sizeof head);
    EXPECT_EQ(head[0], 0x46546C67u);
    EXPECT_EQ(head[1], 2u);
    EXPECT_EQ(head[2], bytes.size());
    EXPECT_EQ(head[4], 0x4E4F534Au);
    EXPECT_EQ(head[3] % 4, 0u);
    g.gltf = json::parse(bytes.substr(20, head[3]));
    const std::size_t bin = 20 + head[3];
    if (bin < bytes.size()) {
        uint32_t chunk[2];
        std::memcpy(chunk, bytes.data() + bin, sizeof chunk);
        EXPECT_EQ(chunk[1], 0x004E4942u);
        EXPECT_EQ(bin + 8 + chunk[0], bytes.size());
        g.bin = bytes.substr(bin + 8, chunk[0]);
    }
    return g;
}

// An accessor's floats.
std::vector<float> floats(const Glb& g, std::size_t accessor) {
    const json& a = g.gltf["accessors"][accessor];
    const json& v = g.gltf["bufferViews"][a["bufferView"].get<std::size_t>()];
    std::vector<float> out(v["byteLength"].get<std::size_t>() / 4);
    std::memcpy(out.data(), g.bin.data() + v["byteOffset"].get<std::size_t>(), out.size() * 4);
    return out;
}

class Exchange : public Cli {};

}  // namespace

TEST_F(Exchange, CaptureThroughGlbIsTheCaptureAndAClipThroughGlbIsTheClip) {
    spit(path("walk.bvh"), capture(25));
    ASSERT_EQ(run({"convert", path("walk.bvh"), path("direct.qmf")}).status, 0);
    for (const char* ext : {"glb", "gltf"}) {
        const std::string mid = path(std::string("walk.") + ext), back = path(std::string("back_") + ext + ".qmf");
        Result r = run({"convert", path("walk.bvh"), mid});
        ASSERT_EQ(r.status, 0) << r.err;
        r = run({"convert", mid, back});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("metres → cm (×100)"), std::string::npos) << r.err;
        expectSameMotion(infoJson(path("direct.qmf")), infoJson(back), std::string("BVH -> ") + ext + " -> clip");
    }
    ASSERT_EQ(run({"convert", path("direct.qmf"), path("clip.glb")}).status, 0);
    ASSERT_EQ(run({"convert", path("clip.glb"), path("clip_back.qmf")}).status, 0);
    expectSameMotion(infoJson(path("direct.qmf")), infoJson(path("clip_back.qmf")), "clip -> glb -> clip");
}

TEST_F(Exchange, TheGlbHoldsANodePerJointAndSamplersInSecondsAndMetres) {
    spit(path("walk.bvh"), capture(7, 0.04));
    ASSERT_EQ(run({"convert", path("walk.bvh"), path("walk.glb")}).status, 0);
    const Glb g = readGlb(slurp(path("walk.glb")));
    const json& nodes = g.gltf["nodes"];
    ASSERT_EQ(nodes.size(), 6u);  // Hips Spine Head Head_end Leg Leg_end
    EXPECT_EQ(g.gltf["scenes"][0]["nodes"], json::array({0}));
    EXPECT_NEAR(nodes[0]["translation"][1].get<double>(), 0.9, 1e-12);
    const json& anim = g.gltf["animations"][0];
    EXPECT_EQ(anim["name"], "walk");
    EXPECT_EQ(anim["channels"].size(), 5u) << "four turning joints and the root's translation";
    const std::vector<float> times = floats(g, anim["samplers"][0]["input"]);
    ASSERT_EQ(times.size(), 7u);
    for (std::size_t f = 0; f < times.size(); ++f) EXPECT_FLOAT_EQ(times[f], static_cast<float>(f * 0.04));
    // Against the library that reads glTF in the wild: the root's keys in metres.
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path("walk.glb"), 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumAnimations, 1u);
    const aiAnimation* a = scene->mAnimations[0];
    const aiNodeAnim* hips = nullptr;
    for (unsigned c = 0; c < a->mNumChannels; ++c)
        if (std::string(a->mChannels[c]->mNodeName.C_Str()) == "Hips") hips = a->mChannels[c];
    ASSERT_NE(hips, nullptr);
    ASSERT_EQ(hips->mNumPositionKeys, 7u);
    for (unsigned k = 0; k < 7; ++k) {
        const double f = k * 0.37;
        EXPECT_NEAR(hips->mPositionKeys[k].mValue.x, std::round(3 * std::sin(f) * 1e4) / 1e6, 1e-7);
        EXPECT_NEAR(hips->mPositionKeys[k].mValue.z, 2.5 * k / 100, 1e-7);
    }
}

TEST_F(Exchange, ImportTakesAnyMotionThroughAPrivateClip) {
    const std::string clip = path("walk.qmf");
    ASSERT_EQ(run({"pack", kWalk, clip}).status, 0);
    ASSERT_EQ(run({"convert", clip, path("walk.glb")}).status, 0);
    Result direct = run({"import", clip, kRig, "-o", path("direct.ma")});
    ASSERT_EQ(direct.status, 0) << direct.err;
    Result r = run({"import", path("walk.glb"), kRig, "-o", path("via.ma")});
    ASSERT_EQ(r.status, 0) << r.err;
    // The same curves and keys; the summary names the file given.
    EXPECT_EQ(r.out.substr(r.out.find(':')), direct.out.substr(direct.out.find(':')).replace(
        direct.out.find("direct.ma") - direct.out.find(':'), 9, "via.ma")) << r.out;
    EXPECT_EQ(r.out.rfind("imported " + path("walk.glb") + " onto ", 0), 0u) << r.out;
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
        if (e.path().filename().string().rfind("qmf-import-", 0) == 0) left.push_back(e.path());
    EXPECT_TRUE(left.empty()) << "the private clip is removed: " << left.front();
}

TEST_F(Exchange, InfoListsTheTakesAndTakeChoosesOne) {
    spit(path("walk.bvh"), capture(10));
    ASSERT_EQ(run({"convert", path("walk.bvh"), path("walk.glb")}).status, 0);
    Result r = run({"info", path("walk.glb")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("takes: 1 (--take NAME or N)\n  1  walk: 10 frames at 30 fps, 0.300 s\n"), std::string::npos) << r.out;
    EXPECT_EQ(run({"convert", path("walk.glb"), path("a.qmf"), "--take", "walk"}).status, 0);
    r = run({"convert", path("walk.glb"), path("b.qmf"), "--take", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errLines().back(), "qmf: " + path("walk.glb") + ": --take 2: no such take; the file holds 1 walk");
    EXPECT_FALSE(fs::exists(path("b.qmf")));
    r = run({"convert", path("walk.bvh"), path("c.qmf"), "--take", "walk"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--take does not apply to BVH to Movantis clip"), std::string::npos) << r.err;
}

TEST_F(Exchange, FilesTheReaderRefusesAreOneLineNamingWhy) {
    const struct {
        const char* name;
        std::string bytes;
        std::string line;  // after "qmf: PATH: "
    } cases[] = {
        {"old.fbx", "; FBX 6.1.0 project file\nFBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 6100\n}\n",
         "an FBX file older than version 7.1 (FBX 2011), which the FBX reader does not read; save it again as FBX 2011 or later"},
        {"empty.glb", "", "the glTF reader refused it: "},
        {"still.gltf", R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"name":"box"}]})",
         "the file has no skeleton: no mesh names bones and no node is animated"},
    };
    for (const auto& c : cases) {
        spit(path(c.name), c.bytes);
        const Result r = run({"convert", path(c.name), path("out.qmf")});
        EXPECT_EQ(r.status, 1) << c.name;
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_EQ(r.errLines()[0].rfind("qmf: " + path(c.name) + ": " + c.line, 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(path("out.qmf")));
    }
}

TEST_F(Exchange, AReaderThatCrashesSpinsWaitsOrEatsMemoryFailsInOneLine) {
    spit(path("walk.bvh"), capture(4));
    ASSERT_EQ(run({"convert", path("walk.bvh"), path("walk.glb")}).status, 0);
    const std::string failed = "qmf: " + path("walk.glb") + ": the glTF reader failed (";
    const struct {
        const char* fault;
        const char* seconds;
        const char* memory;
        std::string reason;
    } cases[] = {
        {"crash", "", "", "killed by signal 11)"},
        {"spin", "1", "", "it used its 1 s of processor time; QMF_READER_SECONDS sets more)"},
        {"module", "", "", "its module could not be loaded: libqmf-no-such-module.so: cannot open shared object file: "
                           "No such file or directory)"},
#if !defined(__SANITIZE_ADDRESS__)
        {"eat", "", "300", "it ran out of its 300 MB of memory; QMF_READER_MEMORY_MB sets more)"},
#endif
    };
    for (const auto& c : cases) {
        ::setenv("QMF_READER_FAULT", c.fault, 1);
        ::setenv("QMF_READER_SECONDS", c.seconds, 1);
        ::setenv("QMF_READER_MEMORY_MB", c.memory, 1);
        const Result r = run({"convert", path("walk.glb"), path("out.qmf")});
        EXPECT_EQ(r.status, 1) << c.fault;
        EXPECT_EQ(r.err, failed + c.reason + "\n") << c.fault;
        EXPECT_FALSE(fs::exists(path("out.qmf"))) << c.fault;
    }
    ::unsetenv("QMF_READER_FAULT");
    ::unsetenv("QMF_READER_SECONDS");
    ::unsetenv("QMF_READER_MEMORY_MB");
}

namespace {

// A figure recorded Z up: the head 80 cm above the hips along Z, the foot below.
std::string zUpCapture() {
    return "HIERARCHY\nROOT Hips\n{\n OFFSET 0 0 90\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
           " JOINT Head\n {\n  OFFSET 0 0 80\n  CHANNELS 3 Zrotation Xrotation Yrotation\n  End Site\n  {\n   OFFSET 0 0 10\n  }\n }\n"
           " JOINT LeftFoot\n {\n  OFFSET 10 0 -85\n  CHANNELS 3 Zrotation Xrotation Yrotation\n  End Site\n  {\n   OFFSET 0 10 0\n  }\n }\n}\n"
           "MOTION\nFrames: 3\nFrame Time: 0.033333\n"
           "5 7 90 30 0 0 0 0 0 0 0 0\n5 7 91 40 5 0 0 0 0 0 0 0\n5 7 92 50 10 0 10 0 0 0 0 0\n";
}

class UpAxisCli : public Cli {
protected:
    // World positions qmf view prints for a frame: joint name to (x, y, z) cm.
    std::map<std::string, std::array<double, 3>> positionsAt(const std::string& file, int frame) {
        std::map<std::string, std::array<double, 3>> out;
        const Result r = run({"view", file, "--positions", "--frame", std::to_string(frame)});
        EXPECT_EQ(r.status, 0) << r.err;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream l(line);
            std::size_t index;
            std::array<double, 3> p;
            std::string name;
            l >> index >> p[0] >> p[1] >> p[2] >> name;
            out[name] = p;
        }
        return out;
    }
};

}  // namespace

TEST_F(UpAxisCli, ZTurnsAFigureRecordedZUpToStandOnYAndAutoFindsItSo) {
    spit(path("z.bvh"), zUpCapture());
    Result r = run({"convert", path("z.bvh"), path("z.qmf"), "--up", "z"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"convert", path("z.bvh"), path("auto.qmf"), "--up", "auto"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("qmf: " + path("z.bvh") + ": Z up (from the feet to the head); turned to stand on Y\n"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(path("z.qmf")), slurp(path("auto.qmf")));
    ASSERT_EQ(run({"convert", path("z.bvh"), path("lying.qmf")}).status, 0);
    for (int frame = 0; frame < 3; ++frame) {
        auto lying = positionsAt(path("lying.qmf"), frame);
        auto standing = positionsAt(path("z.qmf"), frame);
        ASSERT_EQ(lying.size(), standing.size());
        for (const auto& [name, p] : lying) {
            // Turned -90 degrees about X: (x, y, z) becomes (x, z, -y).
            const auto& q = standing[name];
            EXPECT_NEAR(q[0], p[0], 1e-4) << name << " frame " << frame;
            EXPECT_NEAR(q[1], p[2], 1e-4) << name << " frame " << frame;
            EXPECT_NEAR(q[2], -p[1], 1e-4) << name << " frame " << frame;
        }
        EXPECT_GT(standing["Head"][1], standing["Hips"][1] + 70) << frame;
    }
    // Standing already: auto leaves it and says so, draw shows it on Y without a word.
    r = run({"convert", path("z.qmf"), path("again.glb"), "--up", "auto"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(": Y up (from the feet to the head)\n"), std::string::npos) << r.err;
    r = run({"draw", path("z.qmf"), "-o", path("z.svg")});
    EXPECT_EQ(r.err, "");
    r = run({"draw", path("lying.qmf"), "-o", path("lying.svg")});
    EXPECT_EQ(r.err, "qmf: " + path("lying.qmf") + ": Z up (from the feet to the head); shown so (--up y|z chooses)\n");
    r = run({"convert", kRig, path("rig.qmf"), "--up", "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--up does not apply to Maya ASCII to Movantis clip"), std::string::npos) << r.err;
}
