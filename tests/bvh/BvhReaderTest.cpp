#include "bvh/Reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kCorpus = std::string(QMF_CORPUS_DIR) + "/bvh/";

bool exists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const char* const kTwoJoints =
    "HIERARCHY\n"
    "ROOT hip\n"
    "{\n"
    "  OFFSET 1 2 3\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "  JOINT knee\n"
    "  {\n"
    "    OFFSET 0 -4.5 0\n"
    "    CHANNELS 3 zROTATION yrotation XROTATION\n"
    "    End Site\n"
    "    {\n"
    "      OFFSET 0 -1 0\n"
    "    }\n"
    "  }\n"
    "}\n"
    "MOTION\n"
    "Frames: 2\n"
    "Frame Time: 0.04\n"
    "0 1 2 10 20 30 40 50 60\n"
    "\n"
    "+1 -1e1 .5 1E-3 -0 0.25 7 8 9\n";

TEST(BvhReader, ReadsHierarchyChannelsAndFrames) {
    bvh::Document d = bvh::readText(kTwoJoints);
    const auto& j = d.hierarchy.joints;
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0].name, "hip");
    EXPECT_EQ(j[0].parent, -1);
    EXPECT_EQ(j[0].offset, (std::array<double, 3>{1, 2, 3}));
    EXPECT_EQ(j[1].name, "knee");
    EXPECT_EQ(j[1].parent, 0);
    EXPECT_EQ(j[1].firstChannel, 6u);
    EXPECT_TRUE(j[2].endSite);
    EXPECT_EQ(j[2].parent, 1);
    EXPECT_TRUE(j[2].channels.empty());
    EXPECT_EQ(d.hierarchy.channelCount, 9u);
    // Listed Z X Y: Y turns first, so Maya's order is yxz.
    EXPECT_EQ(bvh::mayaRotateOrder(j[0]), "yxz");
    EXPECT_EQ(bvh::mayaRotateOrder(j[1]), "xyz");
    EXPECT_EQ(j[1].channels[0], bvh::Channel::Zrotation);
    EXPECT_DOUBLE_EQ(d.frameTime, 0.04);
    ASSERT_EQ(d.frames, 2u);
    EXPECT_EQ(d.frame(1)[0], 1.0);
    EXPECT_EQ(d.frame(1)[1], -10.0);
    EXPECT_EQ(d.frame(1)[3], 0.001);
    EXPECT_TRUE(std::signbit(d.frame(1)[4]));
    EXPECT_EQ(d.frame(1)[8], 9.0);
    EXPECT_EQ(d.ignoredLines, 0u);
}

std::string withMotion(const std::string& hierarchyBody, const std::string& motion) {
    return "HIERARCHY\n" + hierarchyBody + "MOTION\n" + motion;
}

const std::string kRoot = "ROOT a\n{\nOFFSET 0 0 0\nCHANNELS 3 Xrotation Yrotation Zrotation\n}\n";

struct Bad {
    const char* what;
    std::string text;
    const char* message;  // the whole line must contain this
};

TEST(BvhReader, RefusesBadInputNamingTheLine) {
    const std::string longName(128, 'n');
    const Bad cases[] = {
        {"empty", "", "line 0: missing HIERARCHY"},
        {"no hierarchy", "ROOT a\n", "line 1: missing HIERARCHY"},
        {"no motion", "HIERARCHY\n" + kRoot, "line 6: missing MOTION"},
        {"unclosed joint", "HIERARCHY\nROOT a\n{\nOFFSET 0 0 0\n", "joint 'a' (line 2) is closed (unbalanced braces)"},
        {"motion inside joint", withMotion("ROOT a\n{\nOFFSET 0 0 0\n", "Frames: 0\nFrame Time: 1\n"),
         "line 5: MOTION before joint 'a'"},
        {"extra close", withMotion(kRoot + "}\n", "Frames: 0\nFrame Time: 1\n"), "line 7: '}' without a matching '{'"},
        {"brace without joint", "HIERARCHY\n{\n", "line 2: '{' without a ROOT"},
        {"root inside root", "HIERARCHY\nROOT a\n{\nROOT b\n", "line 4: ROOT inside joint 'a'"},
        {"joint outside root", "HIERARCHY\nJOINT a\n", "line 2: JOINT outside any ROOT"},
        {"four channels", withMotion("ROOT a\n{\nCHANNELS 4 Xrotation Yrotation Zrotation Xposition\n}\n", ""),
         "line 4: CHANNELS count must be 0, 3 or 6"},
        {"count mismatch", withMotion("ROOT a\n{\nCHANNELS 3 Xrotation Yrotation\n}\n", ""), "CHANNELS 3 lists 2 channels"},
        {"unknown channel", withMotion("ROOT a\n{\nCHANNELS 3 Xrotation Yrotation Wrotation\n}\n", ""),
         "line 4: unknown channel 'Wrotation'"},
        {"repeated channel", withMotion("ROOT a\n{\nCHANNELS 3 Xrotation Xrotation Zrotation\n}\n", ""),
         "channel Xrotation listed twice"},
        {"mixed axes", withMotion("ROOT a\n{\nCHANNELS 3 Xrotation Yrotation Zposition\n}\n", ""),
         "channels must be all of X, Y and Z"},
        {"offset not a number", withMotion("ROOT a\n{\nOFFSET 0 nan 0\n}\n", ""), "line 4: OFFSET value 'nan' is not a finite"},
        {"offset overflow", withMotion("ROOT a\n{\nOFFSET 0 1e999 0\n}\n", ""), "OFFSET value '1e999'"},
        {"long name", "HIERARCHY\nROOT " + longName + "\n", "line 2: joint name '"},
        {"control in name", "HIERARCHY\nROOT a\x01b\n", "holds a control character"},
        {"no frames line", withMotion(kRoot, "Frame Time: 1\n"), "line 8: expected 'Frames:'"},
        {"fraction of frames", withMotion(kRoot, "Frames: 1.5\nFrame Time: 1\n"), "Frames: needs a whole number"},
        {"too many frames", withMotion(kRoot, "Frames: 99999999\nFrame Time: 1\n"), "more than the 16,777,216 frames"},
        {"zero frame time", withMotion(kRoot, "Frames: 0\nFrame Time: 0\n"), "line 9: Frame Time must be a positive finite"},
        {"inf frame time", withMotion(kRoot, "Frames: 0\nFrame Time: inf\n"), "Frame Time must be a positive finite"},
        {"too few values", withMotion(kRoot, "Frames: 1\nFrame Time: 1\n1 2\n"), "line 10: frame 0 has 2 values, expected 3 (too few)"},
        {"too many values", withMotion(kRoot, "Frames: 1\nFrame Time: 1\n1 2 3 4\n"), "has 4 values, expected 3 (too many)"},
        {"value not a number", withMotion(kRoot, "Frames: 1\nFrame Time: 1\n1 x 3\n"), "line 10: frame 0: value 'x' is not a finite"},
        {"value infinite", withMotion(kRoot, "Frames: 1\nFrame Time: 1\n1 -inf 3\n"), "value '-inf' is not a finite"},
        {"fewer lines", withMotion(kRoot, "Frames: 3\nFrame Time: 1\n1 2 3\n\n4 5 6\n"),
         "line 8: Frames: declares 3 frames, but 2 frame lines follow"},
        {"end site channels", withMotion("ROOT a\n{\nEnd Site\n{\nCHANNELS 3 Xrotation Yrotation Zrotation\n}\n}\n", ""),
         "line 6: an End Site has no channels"},
        {"motion without root", withMotion("", "Frames: 0\nFrame Time: 1\n"), "MOTION without a ROOT"},
        {"blank lines only", "\n  \n", "line 2: missing HIERARCHY (the file is empty)"},
        {"words after hierarchy", "HIERARCHY now\n", "line 1: missing HIERARCHY: the file starts with 'HIERARCHY now'"},
        {"joint before a brace", "HIERARCHY\nROOT a\nJOINT b\n", "line 3: expected '{' after joint 'a'"},
        {"close before a brace", "HIERARCHY\nROOT a\n{\nEnd Site\n}\n", "line 5: expected '{' after the End Site"},
        {"motion before a brace", "HIERARCHY\nROOT a\nMOTION\n", "line 3: expected '{' after joint 'a'"},
        {"end site outside root", "HIERARCHY\nEnd Site\n", "line 2: End Site outside any ROOT"},
        {"joint inside end site", "HIERARCHY\nROOT a\n{\nEnd Site\n{\nJOINT b\n", "line 6: an End Site cannot hold joints"},
        {"root without name", "HIERARCHY\nROOT {\n", "line 2: ROOT without a name"},
        {"joint without name", "HIERARCHY\nROOT a {\nJOINT\n", "line 3: JOINT without a name"},
        {"letters glued to end site", "HIERARCHY\nROOT a {\nEnd Sitex\n", "line 3: unexpected 'End' in the HIERARCHY"},
        {"words after open", "HIERARCHY\nROOT a\n{ x\n", "line 3: unexpected words after '{'"},
        {"words after close", "HIERARCHY\nROOT a {\n} x\n", "line 3: unexpected words after '}'"},
        {"offset outside joints", "HIERARCHY\nOFFSET 0 0 0\n", "line 2: OFFSET outside a joint's braces"},
        {"offset before a brace", "HIERARCHY\nROOT a\nOFFSET 0 0 0\n", "line 3: OFFSET outside a joint's braces"},
        {"second offset", "HIERARCHY\nROOT a {\nOFFSET 0 0 0\nOFFSET 0 0 0\n", "line 4: a second OFFSET for joint 'a'"},
        {"two offset values", "HIERARCHY\nROOT a {\nOFFSET 0 0\n", "line 3: OFFSET needs 3 numbers, got 2"},
        {"channels outside joints", "HIERARCHY\nCHANNELS 3 Xrotation Yrotation Zrotation\n",
         "line 2: CHANNELS outside a joint's braces"},
        {"second channels", "HIERARCHY\nROOT a {\n" + std::string("CHANNELS 3 Xrotation Yrotation Zrotation\n") +
                                "CHANNELS 3 Xrotation Yrotation Zrotation\n",
         "line 4: a second CHANNELS for joint 'a'"},
        {"channels without count", "HIERARCHY\nROOT a {\nCHANNELS\n", "line 3: CHANNELS count must be 0, 3 or 6, not ''"},
        {"words after motion", "HIERARCHY\n" + kRoot + "MOTION now\n", "line 7: unexpected words after MOTION"},
        {"unknown keyword", "HIERARCHY\nROOT a {\nSCALE 1\n", "line 3: unexpected 'SCALE' in the HIERARCHY"},
        {"nothing after motion", withMotion(kRoot, ""), "line 7: missing 'Frames:' after MOTION"},
        {"nothing after frames", withMotion(kRoot, "Frames: 0\n"), "line 8: missing 'Frame Time:' after Frames:"},
        {"frame time misspelt", withMotion(kRoot, "Frames: 0\nFrame Tim: 1\n"),
         "line 9: expected 'Frame Time:', found 'Frame Tim: 1'"},
        {"words after frames", withMotion(kRoot, "Frames: 1 2\nFrame Time: 1\n"), "line 8: Frames: needs a whole number"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            bvh::readText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const bvh::Error& e) {
            const std::string m = e.what();
            EXPECT_NE(m.find(c.message), std::string::npos) << m;
            EXPECT_EQ(m.find('\n'), std::string::npos) << m;
            EXPECT_EQ(m.rfind("line ", 0), 0u) << m;
        }
    }
}

TEST(BvhReader, AcceptsTheLayoutsWritersUse) {
    struct Layout {
        const char* what;
        std::string text;
        std::vector<std::string> names;  // End Sites as ""
        uint32_t frames;
        double frameTime;
    };
    const std::string motion = "MOTION\nFrames: 1\nFrame Time: 0.5\n";
    const Layout layouts[] = {
        {"braces on the declaring lines", "HIERARCHY\nROOT a {\nJOINT b {\nEnd Site {\n}\n}\n}\n" + motion,
         {"a", "b", ""}, 1, 0.5},
        {"names with spaces", "HIERARCHY\nROOT left  hip\n{\nJOINT knee 2 {\n}\n}\n" + motion,
         {"left  hip", "knee 2"}, 1, 0.5},
        {"keywords in any case", "hierarchy\nroot a\n{\noffset 1 2 3\nend site\n{\n}\n}\nmotion\nframes: 2\nframe time: 0.25\n",
         {"a", ""}, 2, 0.25},
        {"split and joined motion labels", "HIERARCHY\nROOT a {\n}\nMOTION\nFrames : 3\nFrameTime: 2\n", {"a"}, 3, 2},
        {"two roots", "HIERARCHY\nROOT a {\n}\nROOT b {\n}\n" + motion, {"a", "b"}, 1, 0.5},
        {"a byte order mark", "\xEF\xBB\xBFHIERARCHY\r\nROOT a {\r\n}\r\n" + motion, {"a"}, 1, 0.5},
        {"a byte order mark on its own", "\xEF\xBB\xBF HIERARCHY\nROOT a {\n}\n" + motion, {"a"}, 1, 0.5},
        // Dialects of real exporters: a joint with no channels, End Sites
        // with a name or a number after them.
        {"channels 0", "HIERARCHY\nROOT __0\n{\nCHANNELS 0\nJOINT b {\nCHANNELS 0\n}\n}\n" + motion, {"__0", "b"}, 1, 0.5},
        {"named end site", "HIERARCHY\nROOT a {\nEnd Site Head_end\n{\n}\n}\n" + motion, {"a", "Head_end"}, 1, 0.5},
        {"numbered end site", "HIERARCHY\nROOT a {\nEnd Site4\n{\n}\nEnd Site\t12 {\n}\n}\n" + motion, {"a", "", "12"}, 1, 0.5},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.what);
        bvh::Reader r = bvh::Reader::fromText(l.text);
        try {
            r.readHeader();
        } catch (const bvh::Error& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        std::vector<std::string> names;
        for (const bvh::Joint& j : r.hierarchy().joints) names.push_back(j.name);
        for (const bvh::Joint& j : r.hierarchy().joints) EXPECT_TRUE(j.channels.empty() || j.channels.size() == 3 || j.channels.size() == 6);
        EXPECT_EQ(names, l.names);
        EXPECT_EQ(r.declaredFrames(), l.frames);
        EXPECT_EQ(r.frameTime(), l.frameTime);
    }
}

// Every spelling of a number reads as the correctly rounded double the
// general parser (strtod) gives: plain decimals of every length around the
// fast path's edges, signs, leading and trailing zeros, exponents.
TEST(BvhReader, NumbersReadAsTheCorrectlyRoundedDouble) {
    std::vector<std::string> words = {"0", "-0", "0.0", "-0.000", ".5", "-.5", "5.", "007.250", "+3.25",
                                      "123456789012345", "1234567890123456", "12345678901234567",
                                      "0.000000000000000000001", "0.0000000000000000000001", "0.00000000000000000000001",
                                      "9007199254740993", "0.1", "0.3", "2.675", "1e22", "1e-5", "-4.9E-3"};
    uint64_t state = 88172645463325252ull;
    auto next = [&] { state ^= state << 13; state ^= state >> 7; state ^= state << 17; return state; };
    for (int i = 0; i < 3000; ++i) {
        const int length = 1 + static_cast<int>(next() % 19), point = static_cast<int>(next() % (length + 1));
        std::string w = next() % 2 ? "-" : "";
        for (int d = 0; d < length; ++d) {
            if (d == point) w += '.';
            w += static_cast<char>('0' + next() % 10);
        }
        words.push_back(w);
    }
    std::string text = "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 Xposition Yposition Zposition\n}\nMOTION\n";
    const std::size_t frames = (words.size() + 2) / 3;
    while (words.size() < frames * 3) words.push_back("1");
    text += "Frames: " + std::to_string(frames) + "\nFrame Time: 0.04\n";
    for (std::size_t f = 0; f < frames; ++f) text += words[3 * f] + " " + words[3 * f + 1] + " " + words[3 * f + 2] + "\n";
    const bvh::Document d = bvh::readText(text);
    ASSERT_EQ(d.values.size(), words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        const double want = std::strtod(words[i].c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&d.values[i], &want, sizeof want), 0) << words[i] << " read as " << d.values[i];
    }
}

TEST(BvhReader, JointLimitIsRefusedAtTheFirstJointPastIt) {
    // A chain of End Sites is not allowed, so 32,768 ROOTs make the count.
    std::string text = "HIERARCHY\n";
    for (int i = 0; i < 32768; ++i) text += "ROOT r" + std::to_string(i) + " {\n}\n";
    text += "MOTION\nFrames: 0\nFrame Time: 1\n";
    try {
        bvh::readText(text);
        FAIL() << "accepted";
    } catch (const bvh::Error& e) {
        EXPECT_NE(std::string(e.what()).find("line 65536: more than 32,767 joints"), std::string::npos) << e.what();
    }
}

TEST(BvhReader, DeepNestingNeedsNoRecursion) {
    std::string text = "HIERARCHY\nROOT j0\n{\n";
    const int depth = 30000;
    for (int i = 1; i < depth; ++i) text += "JOINT j" + std::to_string(i) + "\n{\nOFFSET 0 1 0\n";
    text += std::string(depth, '}') + "\n";  // one line of closing braces is refused...
    EXPECT_THROW(bvh::readText(text), bvh::Error);
    text.resize(text.size() - depth - 1);
    for (int i = 0; i < depth; ++i) text += "}\n";
    text += "MOTION\nFrames: 0\nFrame Time: 1\n";
    bvh::Document d = bvh::readText(text);
    ASSERT_EQ(d.hierarchy.joints.size(), std::size_t(depth));
    EXPECT_EQ(d.hierarchy.joints.back().parent, depth - 2);
}

TEST(BvhReader, ExtraFrameLinesAreCountedAndIgnored) {
    bvh::Document d = bvh::readText(withMotion(kRoot, "Frames: 1\nFrame Time: 0.5\n1 2 3\n4 5 6\n  \n7 8 9 10\n"));
    EXPECT_EQ(d.frames, 1u);
    EXPECT_EQ(d.values, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(d.ignoredLines, 2u);
}

TEST(BvhReader, HugeDeclaredFrameCountWithoutLinesIsRefusedBeforeReading) {
    const std::string text = withMotion(kRoot, "Frames: 16777216\nFrame Time: 1\n1 2 3\n");
    bvh::Reader r = bvh::Reader::fromText(text);
    r.readHeader();
    EXPECT_EQ(r.declaredFrames(), 16777216u);
    try {
        r.checkFrameLines();
        FAIL() << "accepted";
    } catch (const bvh::Error& e) {
        EXPECT_NE(std::string(e.what()).find("declares 16777216 frames, but 1 frame lines follow"), std::string::npos);
    }
}

TEST(BvhReader, FileAndMemoryReadTheSameAcrossWindowEdges) {
    // A frame line longer than the read window, then many short ones.
    std::string text = "HIERARCHY\nROOT a\n{\nOFFSET 0 0 0\nCHANNELS 3 Xrotation Yrotation Zrotation\n";
    const int joints = 20000;
    for (int i = 0; i < joints; ++i) text += "JOINT j" + std::to_string(i) + "\n{\nCHANNELS 6 Xposition Yposition Zposition Xrotation Yrotation Zrotation\n";
    for (int i = 0; i < joints; ++i) text += "}\r\n";
    text += "}\nMOTION\nFrames: 3\nFrame Time: 0.01\n";
    for (int f = 0; f < 3; ++f) {
        for (int v = 0; v < 3 + 6 * joints; ++v) text += std::to_string(f * 1000 + v % 997) + ".125 ";
        text += "\r\n";
    }
    char dir[] = "/tmp/bvh-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/long.bvh";
    { std::ofstream(path, std::ios::binary) << text; }
    bvh::Reader r = bvh::Reader::open(path);
    bvh::Document fromFile = bvh::readDocument(r);
    bvh::Document fromText = bvh::readText(text);
    EXPECT_EQ(fromFile.values, fromText.values);
    ASSERT_EQ(fromFile.values.size(), 3u * (3 + 6 * joints));
    EXPECT_EQ(fromFile.values.back(), 2000 + (2 + 6 * joints) % 997 + 0.125);
    std::remove(path.c_str());
    ::rmdir(dir);
}

TEST(BvhReader, OpenRefusesWhatIsNotARegularFile) {
    EXPECT_THROW(bvh::Reader::open("/tmp"), bvh::Error);
    EXPECT_THROW(bvh::Reader::open("/nonexistent/walk.bvh"), bvh::Error);
}

struct CorpusFile {
    const char* name;
    std::size_t joints;  // End Sites included
    uint32_t channels;
    uint32_t frames;
    uint64_t ignored;
};

TEST(BvhReader, ReadsEveryCorpusFile) {
    if (!exists(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    const CorpusFile files[] = {
        {"01_01.bvh", 38, 96, 2752, 0},          {"Boxing_Toes.bvh", 26, 66, 3069, 1},
        {"pfnn_hierarchy.bvh", 38, 96, 60, 0},   {"sinusoidal.bvh", 4, 15, 120, 0},
        {"test_mocapbank.bvh", 24, 60, 455, 0},  {"walk1.bvh", 91, 228, 14, 0},
        {"tpose.bvh", 222, 951, 1, 0},
    };
    for (const CorpusFile& c : files) {
        SCOPED_TRACE(c.name);
        bvh::Reader r = bvh::Reader::open(kCorpus + c.name);
        bvh::Document d = bvh::readDocument(r);
        EXPECT_EQ(d.hierarchy.joints.size(), c.joints);
        EXPECT_EQ(d.hierarchy.channelCount, c.channels);
        EXPECT_EQ(d.frames, c.frames);
        EXPECT_EQ(d.ignoredLines, c.ignored);
        EXPECT_EQ(d.values.size(), std::size_t(d.frames) * d.hierarchy.channelCount);
        // The same bytes from memory read the same.
        EXPECT_EQ(bvh::readText(slurp(kCorpus + c.name)).values, d.values);
    }
}

}  // namespace
