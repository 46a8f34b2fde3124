// qmf import onto rigs whose joints are named otherwise than the clip's:
// --map, --strip-namespaces, --maya-names, their refusals and the hint that
// lists what the clip lacks.
#include "ConvertFixture.h"

using namespace clitest;

namespace {

class JointMap : public ConvertCli {
protected:
    void SetUp() override {
        ConvertCli::SetUp();
        rig_ = makeRig("rig.ma", {{"Hips", ""}, {"thigh_L", "Hips"}, {"shin_L", "thigh_L"}, {"foot_L", "shin_L"}});
        clip_ = makeClip("clip.qmf", {{"mixamorig:Hips", -1},
                                      {"mixamorig:LeftUpLeg", 0, {0.1, 0, 0}},
                                      {"mixamorig:LeftLeg", 1, {0.4, 0, 0}},
                                      {"mixamorig:LeftFoot", 2, {0.4, 0, 0}}});
        clipBytes_ = slurp(clip_);
    }
    void TearDown() override {
        EXPECT_EQ(slurp(clip_), clipBytes_) << "the clip itself must never change";
        EXPECT_TRUE(leftovers().empty());
        ConvertCli::TearDown();
    }
    Result import(const std::string& map, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"import", clip_, rig_, "-o", path("out.ma")};
        if (!map.empty()) {
            spit(path("map.txt"), map);
            args.insert(args.end(), {"--map", path("map.txt")});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }
    std::string rig_, clip_, clipBytes_;
};

TEST_F(JointMap, MapWithNamespacesStrippedKeysEveryJoint) {
    Result r = import("# mixamo legs onto our rig\n"
                      "\n"
                      "mixamorig:LeftUpLeg   thigh_L   # upper leg\r\n"
                      "\"mixamorig:LeftLeg\"\tshin_L\n"
                      "  mixamorig:LeftFoot foot_L",
                      {"--strip-namespaces"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(": 12 curves, 48 keys"), std::string::npos) << r.out;
    const std::string scene = slurp(path("out.ma"));
    for (const char* plug : {"\"Hips.translateX\"", "\"Hips.rotateX\"", "\"thigh_L.rotateY\"", "\"shin_L.rotateZ\""})
        EXPECT_NE(scene.find(plug), std::string::npos) << plug;
}

TEST_F(JointMap, NamespacesAreStrippedOnTheScenesSideToo) {
    rig_ = makeRig("ns.ma", {{"char:Hips", ""}, {"char:LeftUpLeg", "char:Hips"}, {"char:LeftLeg", "char:LeftUpLeg"},
                             {"char:LeftFoot", "char:LeftLeg"}});
    Result r = import("", {"--strip-namespaces"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(path("out.ma")).find("\"char:LeftUpLeg.rotateX\""), std::string::npos);
}

TEST_F(JointMap, BadMapsAreRefusedWithOneLineNamingTheFault) {
    const std::string map = path("map.txt");
    const struct {
        std::string map;
        std::vector<std::string> extra;
        std::string message;
    } cases[] = {
        {"Nope thigh_L\n", {}, map + ":1: the clip has no joint named Nope"},
        {"# ok\nmixamorig:LeftUpLeg thigh\n", {}, map + ":2: the scene has no joint named thigh"},
        {"mixamorig:LeftUpLeg thigh_L\nmixamorig:LeftLeg thigh_L\n", {},
         "clip joints mixamorig:LeftUpLeg and mixamorig:LeftLeg would both be named thigh_L"},
        // Stripping gives LeftUpLeg's Hips-free name to no one, but the map's
        // target collides with a stripped name.
        {"mixamorig:LeftUpLeg Hips\n", {"--strip-namespaces"},
         "clip joints mixamorig:Hips and mixamorig:LeftUpLeg would both be named Hips"},
        {"mixamorig:LeftUpLeg thigh_L\nmixamorig:LeftUpLeg shin_L\n", {},
         map + ":2: mixamorig:LeftUpLeg is mapped twice (first on line 1)"},
        {"mixamorig:LeftUpLeg\n", {}, map + ":1: expected two names, clipName sceneName (found 1)"},
        {"a b c\n", {}, map + ":1: expected two names, clipName sceneName (found 3)"},
        {"\"mixamorig:LeftUpLeg thigh_L\n", {}, map + ":1: a quoted name has no closing quote"},
        {"\"\" thigh_L\n", {}, map + ":1: a name is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.map);
        Result r = import(c.map, c.extra);
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_EQ(r.errLines()[0].substr(0, c.message.size() + 5), "qmf: " + c.message);
        EXPECT_FALSE(fs::exists(path("out.ma")));
    }
}

TEST_F(JointMap, AmbiguousNamespaceFreeNameIsRefused) {
    rig_ = makeRig("two.ma", {{"a:Hips", ""}, {"b:Hips", ""}});
    Result r = import("", {"--strip-namespaces"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_EQ(r.errLines()[0], "qmf: --strip-namespaces: clip joint mixamorig:Hips could be any of the scene joints "
                               "a:Hips, b:Hips; name it in a --map file");
}

TEST_F(JointMap, MissingJointsAreListedClosestFirst) {
    // In the scene's order tail and knee come first, but LeftLegs is one edit
    // from a clip joint and they are four; Hips differs only by namespace.
    rig_ = makeRig("rig2.ma", {{"Hips", ""}, {"tail", "Hips"}, {"tail_end", "tail"}, {"knee", "Hips"},
                               {"LeftLegs", "knee"}, {"toe", "LeftLegs"}});
    Result r = import("");
    EXPECT_EQ(r.status, 1);
    std::string hint;
    for (const auto& l : r.errLines())
        if (l.find("which the import needs") != std::string::npos) hint = l;
    EXPECT_EQ(hint, "qmf: the clip names none of these scene joints, which the import needs (closest first): "
                    "Hips (clip has mixamorig:Hips), LeftLegs (clip has mixamorig:LeftLeg), "
                    "tail (clip has mixamorig:Hips), knee (clip has mixamorig:Hips); "
                    "see --map and --strip-namespaces")
        << r.err;
    EXPECT_NE(r.errLines().back().find("nothing written"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("out.ma")));

    // Against the renamed copy the hint names what is still missing, and the
    // copy is gone afterwards (checked on tear-down).
    r = import("", {"--strip-namespaces"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(closest first): LeftLegs (clip has mixamorig:LeftLeg), tail (clip has mixamorig:LeftLeg), "
                         "knee (clip has mixamorig:LeftLeg);"),
              std::string::npos)
        << r.err;
}

TEST_F(JointMap, MayaNamesLetAClipWithDottedNamesFindItsJoints) {
    clip_ = makeClip("dotted.qmf", {{"root", -1}, {"pelvis.R", 0, {0.1, 0, 0}}, {"knee.R", 1, {0.4, 0, 0}}});
    clipBytes_ = slurp(clip_);
    rig_ = makeRig("dotted.ma", {{"root", ""}, {"pelvis_R", "root"}, {"knee_R", "pelvis_R"}});
    Result plain = import("");
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.err.find("(closest first): pelvis_R (clip has pelvis.R)"), std::string::npos) << plain.err;

    Result r = import("", {"--maya-names"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_EQ(r.errLines()[0], "qmf: warning: 2 names changed to valid Maya names: pelvis.R -> pelvis_R, knee.R -> knee_R");
    EXPECT_NE(slurp(path("out.ma")).find("\"pelvis_R.rotateX\""), std::string::npos);
}

}  // namespace
