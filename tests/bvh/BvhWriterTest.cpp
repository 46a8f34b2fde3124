#include "bvh/Reader.h"
#include "bvh/Writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>
#include <sys/stat.h>

namespace {

const std::string kCorpus = std::string(QMF_CORPUS_DIR) + "/bvh/";

void expectSame(const bvh::Document& a, const bvh::Document& b) {
    ASSERT_EQ(a.hierarchy.joints.size(), b.hierarchy.joints.size());
    for (std::size_t i = 0; i < a.hierarchy.joints.size(); ++i) {
        const auto& x = a.hierarchy.joints[i];
        const auto& y = b.hierarchy.joints[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.parent, y.parent);
        EXPECT_EQ(x.offset, y.offset);
        EXPECT_EQ(x.channels, y.channels);
        EXPECT_EQ(x.firstChannel, y.firstChannel);
        EXPECT_EQ(x.endSite, y.endSite);
    }
    EXPECT_EQ(a.frames, b.frames);
    EXPECT_EQ(a.frameTime, b.frameTime);
    EXPECT_EQ(a.values, b.values);  // bit for bit, -0 included through ==
}

TEST(BvhWriter, CorpusFilesRoundTripExactly) {
    struct stat st;
    if (::stat(kCorpus.c_str(), &st) != 0) GTEST_SKIP() << "no corpus at " << kCorpus;
    for (const char* name : {"01_01.bvh", "Boxing_Toes.bvh", "pfnn_hierarchy.bvh", "sinusoidal.bvh",
                             "test_mocapbank.bvh", "tpose.bvh", "walk1.bvh"}) {
        SCOPED_TRACE(name);
        bvh::Reader r = bvh::Reader::open(kCorpus + name);
        bvh::Document d = bvh::readDocument(r);
        std::string text = bvh::writeDocument(d);
        expectSame(bvh::readText(text), d);
        // Writing what was read back gives the same bytes.
        EXPECT_EQ(bvh::writeDocument(bvh::readText(text)), text);
    }
}

TEST(BvhWriter, NumbersReadBackAsTheSameDouble) {
    for (double v : {0.1, -0.0, 1e-300, 123456789.125, 1.0 / 3.0, -2.5e10, 5e-324}) {
        std::string s;
        bvh::appendNumber(s, v);
        EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
    }
    std::string s;
    EXPECT_THROW(bvh::appendNumber(s, std::numeric_limits<double>::quiet_NaN()), bvh::Error);
    EXPECT_THROW(bvh::appendNumber(s, 1e300, true), bvh::Error);  // no float holds it
    // A float's shortest text, not its double's seventeen digits.
    bvh::appendNumber(s, static_cast<double>(1.36306f) * 100 / 100, true);
    EXPECT_EQ(s, "1.36306");
}

bvh::Hierarchy oneJoint(const std::string& name) {
    bvh::Hierarchy h;
    bvh::Joint j;
    j.name = name;
    h.joints.push_back(j);
    return h;
}

TEST(BvhWriter, RefusesWhatWouldReadBackDifferently) {
    struct Case {
        const char* what;
        bvh::Hierarchy h;
        double frameTime;
    };
    bvh::Hierarchy badParent = oneJoint("a");
    badParent.joints[0].parent = 0;
    bvh::Hierarchy badChannels = oneJoint("a");
    badChannels.joints[0].channels = {bvh::Channel::Xrotation, bvh::Channel::Xrotation, bvh::Channel::Yrotation};
    badChannels.channelCount = 3;
    bvh::Hierarchy rootEndSite = oneJoint("");
    rootEndSite.joints[0].endSite = true;
    const Case cases[] = {
        {"empty name", oneJoint(""), 1},
        {"newline in name", oneJoint("a\nb"), 1},
        {"long name", oneJoint(std::string(128, 'a')), 1},
        {"trailing space", oneJoint("a "), 1},
        {"brace", oneJoint("a {"), 1},
        {"zero frame time", oneJoint("a"), 0},
        {"self parent", badParent, 1},
        {"repeated channel", badChannels, 1},
        {"End Site as root", rootEndSite, 1},
        {"no joints", bvh::Hierarchy{}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(bvh::writeHeader(c.h, 0, c.frameTime), bvh::Error);
    }
    // Names with spaces inside read back whole.
    bvh::Document d;
    d.hierarchy = oneJoint("left arm.R");
    d.frameTime = 0.5;
    EXPECT_EQ(bvh::readText(bvh::writeDocument(d)).hierarchy.joints[0].name, "left arm.R");
}

}  // namespace

namespace {

TEST(BvhWriter, DeepChainsStayLinearInSizeAndReadBack) {
    bvh::Document d;
    d.frameTime = 0.01;
    const int depth = 5000;
    for (int i = 0; i < depth; ++i) {
        bvh::Joint j;
        j.name = "j" + std::to_string(i);
        j.parent = i - 1;
        j.offset = {0, 1, 0};
        d.hierarchy.joints.push_back(j);
    }
    const std::string text = bvh::writeDocument(d);
    EXPECT_LT(text.size(), std::size_t(depth) * 400);  // unbounded tabs: 50 MB
    EXPECT_EQ(bvh::readText(text).hierarchy.joints.back().parent, depth - 2);
}

}  // namespace
