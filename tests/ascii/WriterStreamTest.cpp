// The writer as `qmf import` uses it: numbers formatted from shortest
// round-trip digits must give the very text the earlier printf-and-read-back
// formatting gave, and a scene streamed from keys left in the host must be
// the scene written from copied keys, byte for byte.
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace qmfhost::ma;

namespace {

// The formatting the writer has always produced: the first of 15, 16, 17
// significant digits that reads back to the same double.
std::string printfText(double v) {
    if (v == 0) return std::signbit(v) ? "-0" : "0";
    char buf[40];
    for (int precision : {15, 16, 17}) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

TEST(NumberText, SameTextAsPrintfFormattingAndReadsBackExactly) {
    std::vector<double> values = {1.0,     -1.0,   0.1,      1.0 / 3,  24.0,    100000.0, 1e15,    1e16,
                                  1e17,    1e21,   1.5e300,  1e-4,     1e-5,    0.000123, 123456.0, 1234567890123456.0,
                                  5e-324,  2.2250738585072014e-308, 1.7976931348623157e308, 0.8, 3.2,
                                  -0.05,   99999.999999999985, 9.999999999999999e14, 1e-300};
    std::mt19937_64 rng(12);
    // Raw bit patterns reach every exponent; decimals and angles are what scenes hold.
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) values.push_back(d);
    }
    std::uniform_real_distribution<double> angle(-720.0, 720.0);
    for (int i = 0; i < 200000; ++i) values.push_back(angle(rng));
    for (int i = 0; i < 20000; ++i) values.push_back(i / 120.0 * 120.0);
    for (int i = 0; i < 20000; ++i) values.push_back(std::ldexp(1.0, i % 2000 - 1000) * (i % 3 - 1.5));
    for (double v : values) {
        const std::string text = formatNumber(v);
        ASSERT_EQ(text, printfText(v)) << std::hexfloat << v;
        ASSERT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    }
}

const char* const kScene =
    "//Maya ASCII 2018 scene\n"
    "currentUnit -l centimeter -a degree -t ntsc;\n"
    "createNode joint -n \"root\";\n"
    "createNode joint -n \"arm\" -p \"root\";\n"
    "createNode script -n \"sceneConfigurationScriptNode\";\n"
    "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 1 -max 30 \";\n"
    "connectAttr \"root.s\" \"arm.is\";\n";

// Two new curves, one of them with fixed tangents (read back in blocks), each
// longer than one block of keys.
void keyTheScene() {
    for (const char* attr : {"rotateX", "translateY"}) {
        const bool angle = attr[0] == 'r';
        MObject curve = qmfhost::createNode(angle ? "animCurveTA" : "animCurveTL", std::string("arm_") + attr);
        qmfhost::CurveData d;
        d.type = angle ? MFnAnimCurve::kAnimCurveTA : MFnAnimCurve::kAnimCurveTL;
        for (int i = 0; i < 9000; ++i) {
            qmfhost::CurveKey k;
            k.time = i / 30.0;
            k.value = std::sin(i * 0.01) * 4.0 + i * 1e-3;
            k.inTangent = k.outTangent = i % 7 == 0 ? MFnAnimCurve::kTangentStep : MFnAnimCurve::kTangentLinear;
            if (!angle && i % 5 == 0) {
                k.inTangent = MFnAnimCurve::kTangentFixed;
                k.inX = 0.25;
                k.inY = -i * 0.5;
            }
            d.keys.push_back(k);
        }
        ASSERT_TRUE(qmfhost::setCurve(curve, d));
        MStatus st;
        ASSERT_TRUE(qmfhost::connect(curve, "output", qmfhost::findNode("arm", &st), attr));
    }
}

TEST(StreamedWriter, KeysLeftInTheHostWriteTheSameSceneAsCopiedKeys) {
    Scene s = readText(kScene);
    Binding b = loadIntoHost(s);
    keyTheScene();
    Edits copied = collectEdits(s, b);
    Edits inHost = collectEdits(s, b, CurveKeys::KeysInHost);
    ASSERT_EQ(inHost.newCurves.size(), 2u);
    for (const auto& nc : inHost.newCurves) {
        EXPECT_TRUE(nc.curve.keys.empty());
        EXPECT_EQ(keyCount(nc), 9000u);
    }
    const std::string whole = writeScene(s, copied);
    // Streamed in pieces, and gathered again.
    std::string pieces;
    std::size_t calls = 0;
    writeScene(s, inHost, [&](const char* data, std::size_t size) {
        pieces.append(data, size);
        ++calls;
    });
    EXPECT_EQ(pieces, whole);
    EXPECT_GE(calls, 1u);
    EXPECT_NE(whole.find("\".kix[0:8999]\""), std::string::npos);
    // And what was written reads back as the keys that were made.
    Scene back = readText(whole);
    loadIntoHost(back);
    qmfhost::Connection c;
    MStatus st;
    ASSERT_TRUE(qmfhost::sourceOf(qmfhost::findNode("arm", &st), "translateY", c));
    qmfhost::CurveData r;
    ASSERT_TRUE(qmfhost::getCurve(c.sourceNode, r));
    ASSERT_EQ(r.keys.size(), 9000u);
    EXPECT_EQ(r.keys[4000].inTangent, MFnAnimCurve::kTangentFixed);
    EXPECT_EQ(r.keys[4000].inY, -2000.0);
    EXPECT_EQ(r.keys[4001].inTangent, MFnAnimCurve::kTangentLinear);
}

// What the reader would refuse is never written: a file past its size, a
// curve's key list past a statement's.
TEST(StreamedWriter, AScenePastWhatTheReaderTakesIsRefusedAndNothingIsLeft) {
    char pattern[] = "/tmp/qmf-limit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, out = dir + "/out.ma";
    { std::ofstream(out) << "old"; }
    Scene s = readText(kScene);
    Binding b = loadIntoHost(s);
    keyTheScene();
    Edits e = collectEdits(s, b, CurveKeys::KeysInHost);
    const std::size_t whole = writeScene(s, e).size();
    Limits fits;
    fits.maxFileBytes = whole;
    EXPECT_NO_THROW(writeSceneAtomically(out, s, e, fits)) << "exactly the limit is read back";
    Limits file, statement;
    file.maxFileBytes = whole - 1;
    statement.maxStatementBytes = 100000;  // 9,000 keys take more
    for (const Limits* l : {&file, &statement}) {
        { std::ofstream(out) << "old"; }
        try {
            writeSceneAtomically(out, s, e, *l);
            ADD_FAILURE() << "written past the limit";
        } catch (const std::runtime_error& err) {
            EXPECT_NE(std::string(err.what()).find("nothing was written"), std::string::npos) << err.what();
        }
        std::ifstream in(out);
        std::stringstream got;
        got << in.rdbuf();
        EXPECT_EQ(got.str(), "old");
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) entries += !entry.path().empty();
        EXPECT_EQ(entries, 1u) << "no temporary file left";
    }
    std::filesystem::remove_all(dir);
}

TEST(StreamedWriter, AtomicWriteKeepsTheModeAndLeavesNoTemporaryFile) {
    char pattern[] = "/tmp/qmf-stream-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, out = dir + "/out.ma";
    { std::ofstream(out) << "old"; }
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    Scene s = readText(kScene);
    Binding b = loadIntoHost(s);
    keyTheScene();
    Edits e = collectEdits(s, b, CurveKeys::KeysInHost);
    writeSceneAtomically(out, s, e);
    std::ifstream in(out);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), writeScene(s, e));
    struct stat st {};
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A folder in the way: refused, the old file untouched, nothing left behind.
    const std::string blocked = dir + "/blocked.ma";
    ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
    EXPECT_THROW(writeSceneAtomically(blocked, s, e), std::exception);
    std::size_t entries = 0;
    for (const auto& name : {"out.ma", "blocked.ma"}) {
        struct stat x {};
        entries += stat((dir + "/" + name).c_str(), &x) == 0;
    }
    EXPECT_EQ(entries, 2u);
    EXPECT_EQ(std::system(("test $(ls -A " + dir + " | wc -l) -eq 2").c_str()), 0);
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
