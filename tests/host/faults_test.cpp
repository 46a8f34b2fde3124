// Fault injection: a named host call fails exactly when and as asked.
#define MNoVersionString
#include <maya/MAnimControl.h>
#include <maya/MFnAnimCurve.h>
#include <maya/MFnPlugin.h>
#include <maya/MItDag.h>
#include <qmfhost/Faults.h>
#include <qmfhost/Loader.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

namespace {

class Faults : public testing::Test {
protected:
    void SetUp() override { qmfhost::resetScene(); }
    qmfhost::FaultScope scope;
};

TEST_F(Faults, OnceFailsTheNextCallOnlyAndChangesNothing) {
    ASSERT_TRUE(qmfhost::injectFault("MAnimControl::setMaxTime"));
    const MTime before = MAnimControl::maxTime();
    EXPECT_EQ(MAnimControl::setMaxTime(MTime(3.0, MTime::kSeconds)), MStatus::kFailure);
    EXPECT_EQ(MAnimControl::maxTime(), before);
    EXPECT_TRUE(MAnimControl::setMaxTime(MTime(3.0, MTime::kSeconds)));
    EXPECT_EQ(qmfhost::callCount("MAnimControl::setMaxTime"), 2);
    EXPECT_EQ(qmfhost::faultsFired("MAnimControl::setMaxTime"), 1);
}

TEST_F(Faults, NTimesWithAChosenCode) {
    ASSERT_TRUE(qmfhost::injectFault("MItDag::MItDag", MStatus::kInvalidParameter, 2));
    for (int i = 0; i < 2; ++i) {
        MStatus s;
        MItDag it(MItDag::kDepthFirst, MFn::kInvalid, &s);
        EXPECT_EQ(s, MStatus::kInvalidParameter);
        EXPECT_TRUE(it.isDone());
    }
    MStatus s;
    MItDag it(MItDag::kDepthFirst, MFn::kInvalid, &s);
    EXPECT_TRUE(s);
    EXPECT_FALSE(it.isDone());
}

TEST_F(Faults, SkipLetsCallsThroughFirstAndAlwaysNeverRunsOut) {
    ASSERT_TRUE(qmfhost::injectFault("MAnimControl::setGlobalInTangentType", MStatus::kFailure, qmfhost::kAlways, 1));
    EXPECT_TRUE(MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentLinear));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentFlat), MStatus::kFailure);
    EXPECT_EQ(MAnimControl::globalInTangentType(), MFnAnimCurve::kTangentLinear);
    // Other calls are not touched.
    EXPECT_TRUE(MAnimControl::setGlobalOutTangentType(MFnAnimCurve::kTangentFlat));
    qmfhost::clearFaults();
    EXPECT_TRUE(MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentFlat));
}

TEST_F(Faults, ForOneNodeAndAttributeByLongOrShortName) {
    MObject hip = qmfhost::createNode("joint", "hip");
    MObject spine = qmfhost::createNode("joint", "spine", hip);
    ASSERT_TRUE(qmfhost::injectFaultFor("MFnAnimCurve::create", "spine", "ry", MStatus::kNotImplemented));
    auto create = [](MObject node, const char* attr) {
        MStatus s;
        MFnAnimCurve().create(node, MFnDependencyNode(node).attribute(attr), nullptr, &s);
        return s;
    };
    EXPECT_TRUE(create(spine, "rotateX"));
    EXPECT_TRUE(create(hip, "rotateY"));
    EXPECT_EQ(create(spine, "rotateY"), MStatus::kNotImplemented);
    EXPECT_TRUE(create(spine, "rotateY"));   // used up
    EXPECT_EQ(qmfhost::faultsFired("MFnAnimCurve::create"), 1);

    // A node may also be named by its full path.
    ASSERT_TRUE(qmfhost::injectFaultFor("MFnAnimCurve::create", "|hip|spine", "", MStatus::kFailure, qmfhost::kAlways));
    EXPECT_EQ(create(spine, "translateX"), MStatus::kFailure);
    EXPECT_TRUE(create(hip, "translateX"));
}

TEST_F(Faults, RegistrationCallsCanFail) {
    MObject pluginObject = qmfhost::makePluginObject("faultPlugin");
    MFnPlugin plugin(pluginObject, "v", "1");
    auto creator = []() -> void* { return nullptr; };
    ASSERT_TRUE(qmfhost::injectFault("MFnPlugin::registerFileTranslator", MStatus::kInvalidParameter));
    EXPECT_EQ(plugin.registerFileTranslator("faulty", "", creator), MStatus::kInvalidParameter);
    ASSERT_TRUE(plugin.registerFileTranslator("faulty", "", creator));
    ASSERT_TRUE(qmfhost::injectFault("MFnPlugin::deregisterFileTranslator"));
    EXPECT_EQ(plugin.deregisterFileTranslator("faulty"), MStatus::kFailure);
    EXPECT_TRUE(plugin.deregisterFileTranslator("faulty"));
    qmfhost::releasePluginObject(pluginObject);
}

TEST_F(Faults, BadRequestsAreRefusedAndArmNothing) {
    EXPECT_EQ(qmfhost::injectFault("MAnimControl::setMaxTme"), MStatus::kInvalidParameter);
    EXPECT_EQ(qmfhost::injectFault("MAnimControl::setMaxTime", MStatus::kSuccess), MStatus::kInvalidParameter);
    EXPECT_EQ(qmfhost::injectFault("MAnimControl::setMaxTime", MStatus::kFailure, 0), MStatus::kInvalidParameter);
    EXPECT_EQ(qmfhost::injectFault("MAnimControl::setMaxTime", MStatus::kFailure, 1, -1), MStatus::kInvalidParameter);
    EXPECT_TRUE(MAnimControl::setMaxTime(MTime(2.0, MTime::kSeconds)));
    for (const char* needed : {"MFnAnimCurve::create", "MAnimControl::setMaxTime", "MAnimControl::setGlobalInTangentType",
                               "MAnimControl::setGlobalOutTangentType", "MItDag::MItDag",
                               "MFnPlugin::registerFileTranslator", "MFnPlugin::deregisterFileTranslator"}) {
        auto points = qmfhost::faultPoints();
        EXPECT_NE(std::find(points.begin(), points.end(), needed), points.end()) << needed;
    }
}

}  // namespace
