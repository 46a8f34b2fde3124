// What real exporters write that the format's first description does not:
// joints without channels, End Sites with names or numbers, names at the
// length limit in UTF-8, angles unwound far past a turn; and a refused file
// that says only why.
#include "BvhConvertFixture.h"

#include "bvh/Writer.h"
#include "formats/bvh/BvhFormat.h"

namespace {

using namespace bvhtest;

std::vector<std::string> clipJointNames(const std::string& clip) {
    ANM_ANIMATION_HANDLE anm = qmf::openClip(clip);
    AnimGuard g{anm};
    SKL_SKELETON_HANDLE sk = fig_figure_get_skel(anm_animation_figure_get_by_index_f(anm, 0));
    std::vector<std::string> names;
    for (SKL_JOINT_ID j = 0; j < skl_skeleton_number_of_joints_get_f(sk); ++j) {
        char name[SKL_JOINT_NAME_CAPACITY] = {};
        skl_skeleton_joint_name_get(sk, j, name);
        names.push_back(name);
    }
    return names;
}

bool validUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

TEST_F(BvhConvert, JointsWithoutChannelsAndNamedEndSitesConvert) {
    const std::string in = write("godot.bvh",
                                 "HIERARCHY\nROOT __0\n{\n OFFSET 1 2 3\n CHANNELS 0\n JOINT Hips\n {\n  OFFSET 0 90 0\n"
                                 "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                                 "  JOINT Head\n  {\n   OFFSET 0 60 0\n   CHANNELS 0\n   End Site Head_end\n   {\n    OFFSET 0 10 0\n   }\n  }\n"
                                 "  End Site4\n  {\n   OFFSET 0 -90 0\n  }\n }\n}\n"
                                 "MOTION\nFrames: 2\nFrame Time: 0.5\n0 90 0 0 0 0\n5 90 0 90 0 0\n");
    std::ostringstream warn;
    qmf::formats::convert(in, path("godot.qmf"), options_, warn);
    EXPECT_EQ(clipJointNames(path("godot.qmf")), (std::vector<std::string>{"__0", "Hips", "Head", "Head_end", "Hips_end"}));
    // A name the file gives that another joint holds is not taken twice.
    const std::string clash = write("clash.bvh", "HIERARCHY\nROOT a\n{\n CHANNELS 3 Zrotation Xrotation Yrotation\n"
                                                 " End Site a\n {\n  OFFSET 0 1 0\n }\n}\nMOTION\nFrames: 1\nFrame Time: 1\n0 0 0\n");
    qmf::formats::convert(clash, path("clash.qmf"), options_, warn);
    EXPECT_EQ(clipJointNames(path("clash.qmf")), (std::vector<std::string>{"a", "a_end"}));
}

TEST(BvhNames, ThousandsOfEndSitesAreNamedOnceEachAndCutOnCharacters) {
    bvh::Hierarchy h;
    bvh::Joint root;
    root.name = "a";
    h.joints.push_back(root);
    const std::size_t ends = 32766;
    for (std::size_t i = 0; i < ends; ++i) {
        bvh::Joint e;
        e.endSite = true;
        e.parent = 0;
        h.joints.push_back(e);
    }
    const std::vector<std::string> names = qmf::formats::bvhnames::jointNames(h);
    EXPECT_EQ(names[1], "a_end");
    EXPECT_EQ(names[2], "a_end1");
    EXPECT_EQ(names.back(), "a_end" + std::to_string(ends - 1));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());

    // A parent's name at the limit in two-byte characters: the End Site's is
    // cut between characters, never inside one.
    for (std::size_t ascii = 110; ascii <= 127; ++ascii) {
        bvh::Hierarchy u;
        bvh::Joint p;
        p.name = std::string(ascii, 'x');
        while (p.name.size() + 2 <= bvh::kMaxNameBytes) p.name += "\xC3\xA9";  // é
        u.joints.push_back(p);
        bvh::Joint e;
        e.endSite = true;
        e.parent = 0;
        u.joints.push_back(e);
        u.joints.push_back(e);
        const auto got = qmf::formats::bvhnames::jointNames(u);
        for (std::size_t k = 1; k < 3; ++k) {
            EXPECT_TRUE(validUtf8(got[k])) << ascii << ": " << got[k];
            EXPECT_LE(got[k].size(), bvh::kMaxNameBytes);
        }
        EXPECT_NE(got[1], got[2]);
    }
}

TEST_F(BvhConvert, AnglesUnwoundFarPastATurnComeBackToTheClipsPrecision) {
    // Angles climbing to 5,000 degrees: a float's digits there are 2.4e-4 apart.
    std::string text = "HIERARCHY\nROOT r\n{\n OFFSET 0 0 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                       " End Site\n {\n  OFFSET 0 10 0\n }\n}\nMOTION\nFrames: 200\nFrame Time: 0.01\n";
    std::vector<double> z;
    for (int f = 0; f < 200; ++f) {
        z.push_back(f * 25.123456789);
        char line[128];
        std::snprintf(line, sizeof line, "0 0 0 %.9f 10 20\n", z.back());
        text += line;
    }
    const std::string in = write("spin.bvh", text);
    std::ostringstream warn;
    qmf::formats::ConvertOptions o = options_;
    qmf::formats::convert(in, path("spin.qmf"), o, warn);
    o.order = "zxy";
    qmf::formats::convert(path("spin.qmf"), path("back.bvh"), o, warn);
    bvh::Reader r = bvh::Reader::open(path("back.bvh"));
    const bvh::Document d = bvh::readDocument(r);
    double worst = 0;
    for (uint32_t f = 0; f < d.frames; ++f) worst = std::max(worst, std::fabs(d.frame(f)[3] - z[f]));
    // The clip's float quaternion holds a turn to about 1e-5 degrees; nothing more is lost on the way.
    EXPECT_LT(worst, 2e-5) << "the angles lost digits on the way back";
}

TEST_F(BvhConvert, ARefusedFrameLineIsTheOnlyThingSaid) {
    // Frames: 3 over four lines, the second one bad: the extra line would be
    // ignored, but the file is refused, and that is all that is said.
    const std::string in = write("tram.bvh", "HIERARCHY\nROOT a\n{\n OFFSET 0 0 0\n CHANNELS 3 Zrotation Xrotation Yrotation\n"
                                             " End Site\n {\n  OFFSET 0 100 0\n }\n}\nMOTION\nFrames: 3\nFrame Time: 0.5\n"
                                             "0 0 0\n0 0 0 1 2\n0 0 0\n0 0 0\n");
    for (const char* out : {"tram.qmf", "tram.ma"}) {
        std::ostringstream warn;
        EXPECT_THROW(qmf::formats::convert(in, path(out), options_, warn), qmf::FormatError) << out;
        EXPECT_EQ(warn.str(), "") << out;
        EXPECT_FALSE(fs::exists(path(out)));
    }
}

}  // namespace
