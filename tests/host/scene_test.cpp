// Host-only scene access as the scene-file reader uses it, file names, and
// undo of curve edits and graph edits.
#include <maya/MAnimCurveChange.h>
#include <maya/MDGModifier.h>
#include <maya/MFileObject.h>
#include <maya/MFnAnimCurve.h>
#include <maya/MPlug.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <unistd.h>

namespace {

class Scene : public testing::Test {
protected:
    void SetUp() override { qmfhost::resetScene(); }
};

TEST_F(Scene, ConnectionsKeepArbitraryAttributeNamesAndOneSourcePerDestination) {
    MObject conv = qmfhost::createNode("unitConversion", "unitConversion14");
    MObject neck = qmfhost::createNode("joint", "FBX_NeckRoll");
    MObject other = qmfhost::createNode("unitConversion", "unitConversion15");
    ASSERT_TRUE(qmfhost::connect(conv, "o", neck, "rx"));
    // rotateX is rx: the destination is taken.
    EXPECT_EQ(qmfhost::connect(other, "o", neck, "rotateX"), MStatus::kInvalidParameter);
    ASSERT_TRUE(qmfhost::connect(other, "customOut", neck, "someDynamicInput"));

    auto cs = qmfhost::connections();
    ASSERT_EQ(cs.size(), 2u);
    EXPECT_EQ(cs[0].sourceAttribute, "o");
    EXPECT_EQ(cs[0].destinationAttribute, "rx");
    EXPECT_EQ(cs[1].destinationAttribute, "someDynamicInput");
    // Names made up by a connection can be reached through the API.
    MStatus s;
    MObject dyn = MFnDependencyNode(neck).attribute("someDynamicInput", &s);
    ASSERT_TRUE(s);
    EXPECT_EQ(MPlug(neck, dyn).source().node(), other);

    qmfhost::Connection found;
    ASSERT_TRUE(qmfhost::sourceOf(neck, "rotateX", found));
    EXPECT_EQ(found.sourceNode, conv);
    // force replaces the existing connection.
    ASSERT_TRUE(qmfhost::connect(other, "o", neck, "rotateX", /*force=*/true));
    ASSERT_TRUE(qmfhost::sourceOf(neck, "rx", found));
    EXPECT_EQ(found.sourceNode, other);
    EXPECT_EQ(qmfhost::disconnect(conv, "o", neck, "rx"), MStatus::kNotFound);
    EXPECT_TRUE(qmfhost::disconnect(other, "output", neck, "rx"));
    EXPECT_FALSE(qmfhost::sourceOf(neck, "rx", found));
}

TEST_F(Scene, CurveDataRoundTripsSortedWithLaterKeysWinning) {
    MObject curve = qmfhost::createNode("animCurveTA", "joint1_rotateX");
    qmfhost::CurveData in;
    in.weighted = true;
    in.preInfinity = MFnAnimCurve::kCycle;
    in.postInfinity = MFnAnimCurve::kOscillate;
    in.keys = {{2.0, 0.5, MFnAnimCurve::kTangentLinear, MFnAnimCurve::kTangentLinear},
               {1.0, 0.1, MFnAnimCurve::kTangentAuto, MFnAnimCurve::kTangentStep},
               {2.0, 0.7, MFnAnimCurve::kTangentFlat, MFnAnimCurve::kTangentFlat}};
    ASSERT_TRUE(qmfhost::setCurve(curve, in));
    qmfhost::CurveData out;
    ASSERT_TRUE(qmfhost::getCurve(curve, out));
    EXPECT_EQ(out.type, MFnAnimCurve::kAnimCurveTA);
    EXPECT_TRUE(out.weighted);
    EXPECT_EQ(out.postInfinity, MFnAnimCurve::kOscillate);
    ASSERT_EQ(out.keys.size(), 2u);
    EXPECT_EQ(out.keys[0].time, 1.0);
    EXPECT_EQ(out.keys[0].outTangent, MFnAnimCurve::kTangentStep);
    EXPECT_EQ(out.keys[1].value, 0.7);
    EXPECT_EQ(out.keys[1].inTangent, MFnAnimCurve::kTangentFlat);

    // The API sees the same keys; a Global tangent cannot be stored.
    MFnAnimCurve fn(curve);
    EXPECT_EQ(fn.numKeys(), 2u);
    EXPECT_TRUE(fn.isWeighted());
    in.keys[0].inTangent = MFnAnimCurve::kTangentGlobal;
    EXPECT_EQ(qmfhost::setCurve(curve, in), MStatus::kInvalidParameter);
    EXPECT_EQ(qmfhost::getCurve(qmfhost::createNode("joint", "j"), out), MStatus::kInvalidParameter);
}

TEST_F(Scene, CurveColumnsStoreWhatSetCurveStoresWithTheSameKeys) {
    using T = MFnAnimCurve;
    const double nan = std::nan("");
    struct Case {
        const char* name;
        std::vector<double> times, values;
        T::TangentType in, out;
        T::InfinityType post;
    };
    const Case cases[] = {
        {"in order", {0.0, 0.5, 1.0, 1.5}, {1, 2, 3, 4}, T::kTangentLinear, T::kTangentStep, T::kCycle},
        {"out of order, a time twice", {1.0, 0.0, 1.0, 0.5}, {1, 2, 3, 4}, T::kTangentAuto, T::kTangentAuto, T::kConstant},
        // Within a tick of each other: one time to the host.
        {"same tick", {0.0, 1.0, 1.0 + 1e-12}, {1, 2, 3}, T::kTangentFlat, T::kTangentFlat, T::kConstant},
        {"fixed sides", {0.0, 1.0}, {1, 2}, T::kTangentFixed, T::kTangentLinear, T::kConstant},
        {"no keys", {}, {}, T::kTangentLinear, T::kTangentLinear, T::kLinear},
        {"not finite", {0.0, nan}, {1, 2}, T::kTangentLinear, T::kTangentLinear, T::kConstant},
        {"global tangent", {0.0, 1.0}, {1, 2}, T::kTangentGlobal, T::kTangentLinear, T::kConstant},
        {"bad infinity", {0.0}, {1}, T::kTangentLinear, T::kTangentLinear, static_cast<T::InfinityType>(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MObject byColumns = qmfhost::createNode("animCurveTL", "a");
        MObject byKeys = qmfhost::createNode("animCurveTL", "b");
        // Both start with a longer curve, which must go entirely.
        qmfhost::CurveData old;
        for (int k = 0; k < 8; ++k) old.keys.push_back({k * 1.0, 9.0, T::kTangentFixed, T::kTangentFixed, 1, 2, 3, 4});
        ASSERT_TRUE(qmfhost::setCurve(byColumns, old));
        ASSERT_TRUE(qmfhost::setCurve(byKeys, old));

        qmfhost::CurveColumns cols;
        cols.weighted = true;
        cols.postInfinity = c.post;
        cols.size = c.times.size();
        cols.times = c.times.data();
        cols.values = c.values.data();
        cols.inTangent = c.in;
        cols.outTangent = c.out;
        qmfhost::CurveData keys;
        keys.weighted = true;
        keys.postInfinity = c.post;
        for (std::size_t i = 0; i < c.times.size(); ++i) keys.keys.push_back({c.times[i], c.values[i], c.in, c.out});
        const MStatus a = qmfhost::setCurveColumns(byColumns, cols);
        const MStatus b = qmfhost::setCurve(byKeys, keys);
        EXPECT_EQ(a, b);

        qmfhost::CurveData x, y;
        ASSERT_TRUE(qmfhost::getCurve(byColumns, x));
        ASSERT_TRUE(qmfhost::getCurve(byKeys, y));
        EXPECT_EQ(x.weighted, y.weighted);
        EXPECT_EQ(x.postInfinity, y.postInfinity);
        ASSERT_EQ(x.keys.size(), y.keys.size());
        for (std::size_t i = 0; i < x.keys.size(); ++i) {
            const auto &p = x.keys[i], &q = y.keys[i];
            EXPECT_TRUE(p.time == q.time && p.value == q.value && p.inTangent == q.inTangent &&
                        p.outTangent == q.outTangent && p.inX == q.inX && p.outY == q.outY)
                << "key " << i;
        }
        qmfhost::CurveKeysView vx, vy;
        ASSERT_TRUE(qmfhost::viewCurveKeys(byColumns, vx));
        ASSERT_TRUE(qmfhost::viewCurveKeys(byKeys, vy));
        EXPECT_EQ(vx.tangentVectors, vy.tangentVectors);
    }
    EXPECT_EQ(qmfhost::setCurveColumns(qmfhost::createNode("joint", "j"), {}), MStatus::kInvalidParameter);
}

TEST_F(Scene, CreateRefusesNodesThatCannotBeWhereTheyAreAsked) {
    MObject joint = qmfhost::createNode("joint", "j");
    MObject dg = qmfhost::createNode("unitConversion", "u");
    MStatus s;
    qmfhost::createNode("animCurveTA", "c", joint, qmfhost::NodeClass::Auto, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);   // curves are not DAG nodes
    qmfhost::createNode("joint", "k", dg, qmfhost::NodeClass::Auto, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);   // parent outside the DAG
    qmfhost::createNode("joint", "k", MObject(), qmfhost::NodeClass::Dependency, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    // Unknown types go into the DAG when given a parent.
    MObject constraint = qmfhost::createNode("parentConstraint", "pc", joint);
    EXPECT_TRUE(qmfhost::isDag(constraint));
    EXPECT_EQ(qmfhost::parents(constraint), std::vector<MObject>{joint});
    EXPECT_EQ(qmfhost::setParent(joint, constraint), MStatus::kInvalidParameter);   // cycle
}

TEST_F(Scene, LockFlagsAndAnimationSettingsReadBackAsSet) {
    MObject j = qmfhost::createNode("joint", "j");
    ASSERT_TRUE(qmfhost::setLocked(j, "jox", true));
    ASSERT_TRUE(qmfhost::setLocked(j, "tx", true));
    ASSERT_TRUE(qmfhost::setLocked(j, "custom", true));
    ASSERT_TRUE(qmfhost::setLocked(j, "tx", false));
    EXPECT_EQ(qmfhost::lockedAttributes(j), (std::vector<std::string>{"jointOrientX", "custom"}));

    qmfhost::AnimControlState state;
    state.minTime = MTime(0.0, MTime::kNTSCFrame);
    state.maxTime = MTime(119.0, MTime::kNTSCFrame);
    state.globalInTangent = MFnAnimCurve::kTangentLinear;
    qmfhost::setAnimControlState(state);
    const qmfhost::AnimControlState back = qmfhost::animControlState();
    EXPECT_EQ(back.maxTime.unit(), MTime::kNTSCFrame);
    EXPECT_EQ(back.maxTime.value(), 119.0);
    EXPECT_EQ(back.globalInTangent, MFnAnimCurve::kTangentLinear);
}

TEST_F(Scene, CurveChangeUndoesAndRedoesKeyEdits) {
    MObject j = qmfhost::createNode("joint", "j");
    MFnAnimCurve fn;
    fn.create(j, MFnDependencyNode(j).attribute("rx"));
    fn.addKeyframe(MTime(1.0, MTime::kSeconds), 1.0);
    MAnimCurveChange change;
    fn.addKeyframe(MTime(2.0, MTime::kSeconds), 2.0, &change);
    fn.setValue(0, 5.0, &change);
    ASSERT_TRUE(change.undoIt());
    ASSERT_EQ(fn.numKeys(), 1u);
    EXPECT_EQ(fn.value(0), 1.0);
    ASSERT_TRUE(change.redoIt());
    ASSERT_EQ(fn.numKeys(), 2u);
    EXPECT_EQ(fn.value(0), 5.0);
}

TEST_F(Scene, ModifierCarriesOutQueuedEditsAndUndoesThem) {
    MObject j = qmfhost::createNode("joint", "j");
    MDGModifier mod;
    MObject conv = mod.createNode("unitConversion");
    ASSERT_TRUE(qmfhost::exists(conv));
    MFnDependencyNode fj(j), fc(conv);
    ASSERT_TRUE(mod.connect(conv, fc.attribute("message"), j, fj.attribute("ry")));
    ASSERT_TRUE(mod.renameNode(j, "renamed"));
    EXPECT_TRUE(qmfhost::connections().empty());   // queued, not done
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(qmfhost::connections().size(), 1u);
    EXPECT_EQ(qmfhost::nodeName(j), "renamed");
    ASSERT_TRUE(mod.undoIt());
    EXPECT_TRUE(qmfhost::connections().empty());
    EXPECT_EQ(qmfhost::nodeName(j), "j");
    EXPECT_FALSE(qmfhost::exists(conv));
}

struct FileCase {
    const char* raw;
    const char* path;
    const char* name;
    const char* full;
};

class FileNames : public testing::TestWithParam<FileCase> {};

TEST_P(FileNames, SplitAtTheLastSlash) {
    const FileCase& c = GetParam();
    MFileObject f;
    ASSERT_TRUE(f.setRawFullName(c.raw));
    EXPECT_STREQ(f.rawPath().asChar(), c.path);
    EXPECT_STREQ(f.name().asChar(), c.name);
    EXPECT_STREQ(f.fullName().asChar(), c.full);
}

INSTANTIATE_TEST_SUITE_P(Paths, FileNames,
                         testing::Values(FileCase{"/tmp/anim/walk.qmf", "/tmp/anim", "walk.qmf", "/tmp/anim/walk.qmf"},
                                         FileCase{"walk.qmf", ".", "walk.qmf", "./walk.qmf"},
                                         FileCase{"/walk.qmf", "", "walk.qmf", "/walk.qmf"},
                                         FileCase{"C:/anim/walk.qmf", "C:/anim", "walk.qmf", "C:/anim/walk.qmf"}));

TEST(FileObject, RelativeNamesResolveAgainstTheWorkingDirectoryAndVariablesExpand) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    MFileObject f;
    EXPECT_STREQ(f.resolvedFullName().asChar(), "");
    f.setRawFullName("sub/x.qmf");
    EXPECT_EQ(std::string(f.resolvedFullName().asChar()), std::string(cwd) + "/sub/x.qmf");
    setenv("QMF_HOST_TEST_DIR", "/data", 1);
    f.setRawFullName("$QMF_HOST_TEST_DIR/${QMF_HOST_TEST_DIR}.qmf");
    EXPECT_STREQ(f.expandedFullName().asChar(), "/data//data.qmf");
    EXPECT_STREQ(f.rawFullName().asChar(), "$QMF_HOST_TEST_DIR/${QMF_HOST_TEST_DIR}.qmf");
}

}  // namespace
