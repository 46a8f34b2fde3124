// What a scene says about animation evaluation: the current time, fixed
// tangent vectors and unitConversion factors, read, loaded into the host and
// written back.
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <maya/MFnIkJoint.h>
#include <maya/MPlug.h>

#include <gtest/gtest.h>

#include <string>

using namespace qmfhost::ma;

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

const char* const kHeader = "//Maya ASCII 2018 scene\ncurrentUnit -l centimeter -a degree -t film;\n";

// A joint whose tx follows a linear curve 0 cm at frame 1 to 20 cm at frame
// 11, and whose rx follows a unitless curve of degrees through a conversion.
const char* const kAnimated =
    "createNode joint -n \"j\";\n"
    "\tsetAttr \".t\" -type \"double3\" 7 0 0 ;\n"
    "createNode animCurveTL -n \"j_translateX\";\n"
    "\tsetAttr \".tan\" 2;\n"
    "\tsetAttr \".wgt\" no;\n"
    "\tsetAttr -s 2 \".ktv[0:1]\"  1 0 11 20;\n"
    "createNode animCurveTU -n \"deg\";\n"
    "\tsetAttr \".tan\" 2;\n"
    "\tsetAttr \".wgt\" no;\n"
    "\tsetAttr -s 2 \".ktv[0:1]\"  1 0 11 90;\n"
    "createNode unitConversion -n \"unitConversion1\";\n"
    "\tsetAttr \".cf\" 0.017453292519943295;\n"
    "createNode script -n \"sceneConfigurationScriptNode\";\n"
    "\tsetAttr \".b\" -type \"string\" \"playbackOptions -min 3.5 -max 30 -ast 1 -aet 40 \";\n"
    "\tsetAttr \".st\" 6;\n";
const char* const kConnections =
    "connectAttr \"j_translateX.o\" \"j.tx\";\n"
    "connectAttr \"deg.o\" \"unitConversion1.i\";\n"
    "connectAttr \"unitConversion1.o\" \"j.rx\";\n";

double plug(const char* nodeName, const char* attr) {
    MObject n = qmfhost::findNode(nodeName);
    return MPlug(n, MFnDependencyNode(n).attribute(attr)).asDouble();
}

}  // namespace

TEST(SceneTime, CurrentTimeFromEitherFormOfTime1) {
    const struct {
        const char* text;
        double seconds;
    } table[] = {
        {"select -ne :time1;\n\tsetAttr \".o\" 6;\n\tsetAttr \".unw\" 6;\n", 6.0 / 24},
        {"setAttr \":time1.o\" 0.8;\n", 0.8 / 24},
        {"select -ne :time1;\n\tsetAttr \".outTime\" 12;\n", 0.5},
        {"currentUnit -t ntsc;\nselect -ne :time1;\n\tsetAttr \".o\" 3;\n", 0.1},
    };
    for (const auto& row : table) {
        Scene s = readText(std::string(kHeader) + row.text);
        ASSERT_TRUE(s.currentTime.has_value()) << row.text;
        EXPECT_DOUBLE_EQ(*s.currentTime, row.seconds) << row.text;
    }
    EXPECT_FALSE(readText(std::string(kHeader) + "select -ne :time1;\n\tsetAttr -k on \".o\";\n").currentTime);
    EXPECT_THROW(readText(std::string(kHeader) + "select -ne :time1;\n\tsetAttr \".o\" 1 2;\n"), ParseError);
}

TEST(SceneTime, LoadedChannelsAreEvaluatedAtTheFilesTimeElseAtPlaybackStart) {
    // At :time1 = frame 6: halfway along both curves.
    Scene timed = readText(std::string(kHeader) + kAnimated + "select -ne :time1;\n\tsetAttr \".o\" 6;\n" + kConnections);
    Binding b = loadIntoHost(timed);
    EXPECT_TRUE(b.warnings.empty()) << b.warnings.front();
    EXPECT_DOUBLE_EQ(qmfhost::animControlState().currentTime.as(MTime::kSeconds), 0.25);
    EXPECT_NEAR(MFnTransform(qmfhost::findNode("j")).getTranslation(MSpace::kTransform).x, 10, 1e-12);
    EXPECT_NEAR(plug("j", "rx"), 45 * kDeg, 1e-12);
    std::vector<double> cf;
    ASSERT_TRUE(qmfhost::getAttributeValue(qmfhost::findNode("unitConversion1"), "cf", cf));
    EXPECT_DOUBLE_EQ(cf.at(0), 0.017453292519943295);

    // Without :time1 the playback start, frame 3.5, is the current time.
    Scene untimed = readText(std::string(kHeader) + kAnimated + kConnections);
    loadIntoHost(untimed);
    EXPECT_NEAR(plug("j", "tx"), 5, 1e-12);
    EXPECT_NEAR(plug("j", "rotateX"), 22.5 * kDeg, 1e-12);
}

TEST(SceneTime, FixedTangentVectorsAreReadLoadedAndWrittenBack) {
    // .kix/.kox are seconds and .kiy/.koy internal units whatever currentUnit
    // says: a slope of 0.5 rad/s on the first key's out side.
    Scene s = readText(std::string(kHeader) +
                       "createNode animCurveTA -n \"c\";\n"
                       "\tsetAttr \".wgt\" no;\n"
                       "\tsetAttr -s 2 \".ktv[0:1]\"  0 0 24 0;\n"
                       "\tsetAttr -s 2 \".kit[0:1]\"  1 3;\n"
                       "\tsetAttr -s 2 \".kot[0:1]\"  1 3;\n"
                       "\tsetAttr -s 2 \".kix[0:1]\"  0.5 1;\n"
                       "\tsetAttr -s 2 \".kiy[0:1]\"  0.25 0;\n"
                       "\tsetAttr -s 2 \".keyTanOutX[0:1]\"  0.8 1;\n"
                       "\tsetAttr -s 2 \".koy[0]\"  0.4;\n");
    const Curve& c = *s.nodes[static_cast<std::size_t>(s.find("c"))].curve;
    ASSERT_EQ(c.keys.size(), 2u);
    EXPECT_EQ(c.keys[0].inX, 0.5);
    EXPECT_EQ(c.keys[0].inY, 0.25);
    EXPECT_EQ(c.keys[0].outX, 0.8);
    EXPECT_EQ(c.keys[0].outY, 0.4);
    EXPECT_EQ(c.keys[1].outY, 0.0);

    loadIntoHost(s);
    MFnAnimCurve fn(qmfhost::findNode("c"));
    // Hermite from slope 0.5 to 0 over one second, at 0.5 s:
    // 0.25 + (0 - 1 * 1)/1 * 0.25 + (0.5 - 0)/1 * 0.125 = 0.0625.
    EXPECT_NEAR(fn.evaluate(MTime(12.0, MTime::kFilm)), 0.0625, 1e-12);

    // A new curve with fixed sides keeps its vectors through a write.
    Edits e;
    NewCurve nc;
    nc.name = "made";
    nc.type = "animCurveTL";
    nc.curve.kind = 'L';
    nc.curve.weighted = true;
    Key a{0.0, 1.0, 2, 1};
    a.outX = 0.125;
    a.outY = -3.5;
    Key z{1.0, 2.0, 1, 2};
    z.inX = 0.75;
    z.inY = 1e-300;
    nc.curve.keys = {a, z};
    e.newCurves.push_back(nc);
    Scene back = readText(writeScene(s, e));
    const Curve& m = *back.nodes[static_cast<std::size_t>(back.find("made"))].curve;
    ASSERT_EQ(m.keys.size(), 2u);
    EXPECT_EQ(m.keys[0].outType, 1);
    EXPECT_EQ(m.keys[0].outX, 0.125);
    EXPECT_EQ(m.keys[0].outY, -3.5);
    EXPECT_EQ(m.keys[1].inX, 0.75);
    EXPECT_EQ(m.keys[1].inY, 1e-300);
    // Curves without fixed sides get no vector lines.
    nc.curve.keys = {{0.0, 1.0, 2, 2}};
    e.newCurves = {nc};
    const std::string plain = writeScene(s, e);
    EXPECT_EQ(plain.find(".kix", plain.find("\"made\"")), std::string::npos);
}
