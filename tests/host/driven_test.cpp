// Channels driven by animation curves read the curve's value at the current
// time, through every read the translator uses; channels driven by anything
// else keep their stored value and are reported.
#include <maya/MAnimControl.h>
#include <maya/MDagPath.h>
#include <maya/MEulerRotation.h>
#include <maya/MFnAnimCurve.h>
#include <maya/MFnIkJoint.h>
#include <maya/MPlug.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>
#include <qmfhost/Animation.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

MTime frame(double f) { return MTime(f, MTime::kFilm); }

// A linear curve through (frame 1, a) and (frame 11, b).
MObject linearCurve(const std::string& type, const std::string& name, double a, double b) {
    MObject c = qmfhost::createNode(type, name);
    qmfhost::CurveData d;
    for (auto [f, v] : {std::pair<double, double>{1, a}, {11, b}}) {
        qmfhost::CurveKey k;
        k.time = f / 24.0;
        k.value = v;
        k.inTangent = k.outTangent = MFnAnimCurve::kTangentLinear;
        d.keys.push_back(k);
    }
    EXPECT_TRUE(qmfhost::setCurve(c, d));
    return c;
}

class Driven : public testing::Test {
protected:
    void SetUp() override {
        qmfhost::resetScene();
        root = qmfhost::createNode("joint", "root");
        child = qmfhost::createNode("joint", "child", root);
        qmfhost::TransformValues v;
        v.translate[0] = 7;   // stored, to be overridden by the curve
        v.rotate[1] = 0.5;
        ASSERT_TRUE(qmfhost::setTransformValues(root, v));
        ASSERT_TRUE(qmfhost::setTransformValues(child, v));
        ASSERT_TRUE(MAnimControl::setCurrentTime(frame(6)));   // halfway between the keys
    }

    double plug(const MObject& n, const char* attr) {
        MStatus s;
        MPlug p(n, MFnDependencyNode(n).attribute(attr, &s));
        EXPECT_TRUE(s) << attr;
        return p.asDouble(&s);
    }

    MObject root, child;
};

TEST_F(Driven, EveryReadSeesTheCurveAtTheCurrentTime) {
    ASSERT_TRUE(qmfhost::connect(linearCurve("animCurveTL", "tx", 0, 20), "output", root, "translateX"));
    ASSERT_TRUE(qmfhost::connect(linearCurve("animCurveTA", "ry", 0, 90 * kDeg), "output", root, "rotateY"));
    ASSERT_TRUE(qmfhost::connect(linearCurve("animCurveTU", "sz", 1, 3), "output", root, "scaleZ"));
    ASSERT_TRUE(qmfhost::connect(linearCurve("animCurveTA", "jox", 0, 40 * kDeg), "output", child, "jox"));

    MFnTransform fn(root);
    EXPECT_NEAR(fn.getTranslation(MSpace::kTransform).x, 10, 1e-12);
    MEulerRotation e;
    ASSERT_TRUE(fn.getRotation(e));
    EXPECT_NEAR(e.y, 45 * kDeg, 1e-12);
    MQuaternion q;
    ASSERT_TRUE(fn.getRotation(q, MSpace::kTransform));
    EXPECT_NEAR(q.y, std::sin(22.5 * kDeg), 1e-12);
    double s[3];
    ASSERT_TRUE(fn.getScale(s));
    EXPECT_NEAR(s[2], 2, 1e-12);
    EXPECT_NEAR(plug(root, "tx"), 10, 1e-12);
    EXPECT_NEAR(plug(root, "rotateY"), 45 * kDeg, 1e-12);
    std::vector<double> values;
    ASSERT_TRUE(qmfhost::getAttributeValue(root, "translate", values));
    EXPECT_NEAR(values[0], 10, 1e-12);

    MEulerRotation jo;
    ASSERT_TRUE(MFnIkJoint(child).getOrientation(jo));
    EXPECT_NEAR(jo.x, 20 * kDeg, 1e-12);

    // World space composes the evaluated values: the child sits at the
    // parent's evaluated translation, turned by its evaluated rotation.
    MDagPath path;
    ASSERT_TRUE(MDagPath::getAPathTo(child, path));
    MVector w = MFnTransform(path).getTranslation(MSpace::kWorld);
    EXPECT_NEAR(w.x, 10 + 7 * std::cos(45 * kDeg), 1e-9);
    EXPECT_NEAR(w.z, -7 * std::sin(45 * kDeg), 1e-9);

    // The stored values are untouched.
    qmfhost::TransformValues stored;
    ASSERT_TRUE(qmfhost::getTransformValues(root, stored));
    EXPECT_EQ(stored.translate[0], 7);
    EXPECT_TRUE(qmfhost::unevaluatedChannels(root).empty());
}

TEST_F(Driven, MovingTheCurrentTimeMovesThePose) {
    ASSERT_TRUE(qmfhost::connect(linearCurve("animCurveTL", "tx", 0, 20), "output", root, "translateX"));
    MFnTransform fn(root);
    const struct {
        double frame, x;
    } table[] = {{1, 0}, {3.5, 5}, {11, 20}, {30, 20}, {-4, 0}};
    for (const auto& row : table) {
        ASSERT_TRUE(MAnimControl::setCurrentTime(frame(row.frame)));
        EXPECT_NEAR(fn.getTranslation(MSpace::kTransform).x, row.x, 1e-12) << row.frame;
    }
}

TEST_F(Driven, UnitConversionScalesTheCurve) {
    // A unitless curve of degrees through a conversion node, as Maya wires a
    // TU curve to a rotation.
    MObject c = linearCurve("animCurveTU", "deg", 0, 90);
    MObject uc = qmfhost::createNode("unitConversion", "unitConversion1");
    ASSERT_TRUE(qmfhost::setAttributeValue(uc, "cf", {kDeg}));
    ASSERT_TRUE(qmfhost::connect(c, "output", uc, "input"));
    ASSERT_TRUE(qmfhost::connect(uc, "output", root, "rx"));
    EXPECT_NEAR(plug(root, "rotateX"), 45 * kDeg, 1e-12);
    // Chained conversions multiply.
    MObject uc2 = qmfhost::createNode("unitConversion", "unitConversion2");
    ASSERT_TRUE(qmfhost::setAttributeValue(uc2, "cf", {2.0}));
    ASSERT_TRUE(qmfhost::disconnect(c, "output", uc, "input"));
    ASSERT_TRUE(qmfhost::connect(c, "output", uc2, "input"));
    ASSERT_TRUE(qmfhost::connect(uc2, "output", uc, "input"));
    EXPECT_NEAR(plug(root, "rotateX"), 90 * kDeg, 1e-12);
}

TEST_F(Driven, CurvesFedByTheTimeNodeFollowTheSceneTime) {
    MObject c = linearCurve("animCurveTL", "tx", 0, 20);
    MObject time = qmfhost::createNode("time", "time1");
    ASSERT_TRUE(qmfhost::connect(time, "outTime", c, "input"));
    ASSERT_TRUE(qmfhost::connect(c, "output", root, "tx"));
    EXPECT_NEAR(plug(root, "tx"), 10, 1e-12);
}

TEST_F(Driven, OtherDriversKeepTheStoredValueAndAreReported) {
    // An expression through a conversion node, a constraint on a whole
    // compound, a curve whose input is another node's output, and a driven
    // key curve (unitless input).
    MObject expr = qmfhost::createNode("expression", "expr1");
    MObject uc = qmfhost::createNode("unitConversion", "unitConversion1");
    ASSERT_TRUE(qmfhost::connect(expr, "output[0]", uc, "input"));
    ASSERT_TRUE(qmfhost::connect(uc, "output", root, "rotateY"));
    MObject constraint = qmfhost::createNode("pointConstraint", "pc1");
    ASSERT_TRUE(qmfhost::connect(constraint, "constraintTranslate", child, "translate"));
    MObject warped = linearCurve("animCurveTL", "warped", 0, 20);
    ASSERT_TRUE(qmfhost::connect(constraint, "output", warped, "input"));
    ASSERT_TRUE(qmfhost::connect(warped, "output", root, "translateX"));
    MObject sdk = qmfhost::createNode("animCurveUA", "sdk");
    ASSERT_TRUE(qmfhost::connect(sdk, "output", child, "rotateZ"));

    EXPECT_NEAR(plug(root, "rotateY"), 0.5, 0);
    EXPECT_NEAR(plug(root, "translateX"), 7, 0);
    EXPECT_NEAR(MFnTransform(child).getTranslation(MSpace::kTransform).x, 7, 0);
    EXPECT_NEAR(plug(child, "rotateZ"), 0, 0);

    auto rootList = qmfhost::unevaluatedChannels(root);
    ASSERT_EQ(rootList.size(), 2u);
    EXPECT_EQ(rootList[0].attribute, "translateX");
    EXPECT_EQ(rootList[0].driverType, "animCurveTL");
    EXPECT_EQ(rootList[1].attribute, "rotateY");
    EXPECT_EQ(rootList[1].driverType, "expression");
    EXPECT_EQ(rootList[1].driverName, "expr1");
    auto childList = qmfhost::unevaluatedChannels(child);
    ASSERT_EQ(childList.size(), 2u) << "the compound once, then rotateZ";
    EXPECT_EQ(childList[0].attribute, "translate");
    EXPECT_EQ(childList[0].driverType, "pointConstraint");
    EXPECT_EQ(childList[1].attribute, "rotateZ");
    EXPECT_EQ(childList[1].driverType, "animCurveUA");
}

// Reads remember which curve drives each channel; every change that could
// change that must be seen by the next read.
TEST_F(Driven, ReadsFollowEveryChangeToWhatDrivesThem) {
    MObject a = linearCurve("animCurveTU", "a", 0, 20);   // 10 at frame 6
    MObject b = linearCurve("animCurveTL", "b", 0, 40);   // 20 at frame 6
    MObject uc = qmfhost::createNode("unitConversion", "uc");
    ASSERT_TRUE(qmfhost::setAttributeValue(uc, "cf", {2.0}));
    ASSERT_TRUE(qmfhost::connect(a, "output", uc, "input"));
    ASSERT_TRUE(qmfhost::connect(uc, "output", root, "tx"));
    EXPECT_NEAR(plug(root, "tx"), 20, 1e-12);
    ASSERT_TRUE(qmfhost::setAttributeValue(uc, "cf", {3.0}));
    EXPECT_NEAR(plug(root, "tx"), 30, 1e-12) << "a new conversion factor";
    ASSERT_TRUE(qmfhost::connect(b, "output", root, "tx", true));
    EXPECT_NEAR(plug(root, "tx"), 20, 1e-12) << "another curve forced in";
    ASSERT_TRUE(qmfhost::disconnect(b, "output", root, "tx"));
    EXPECT_NEAR(plug(root, "tx"), 7, 0) << "disconnected: the stored value";
    ASSERT_TRUE(qmfhost::connect(b, "output", root, "tx"));
    EXPECT_NEAR(plug(root, "tx"), 20, 1e-12);
    MObject expr = qmfhost::createNode("expression", "expr1");
    ASSERT_TRUE(qmfhost::connect(expr, "output[0]", b, "input"));
    EXPECT_NEAR(plug(root, "tx"), 7, 0) << "the curve's input taken from the time";
    ASSERT_TRUE(qmfhost::deleteNode(expr));
    EXPECT_NEAR(plug(root, "tx"), 20, 1e-12);
    ASSERT_TRUE(qmfhost::deleteNode(b));
    EXPECT_NEAR(plug(root, "tx"), 7, 0) << "the curve deleted";
    // A new scene: nodes made afresh, none reading what the old ones held.
    qmfhost::resetScene();
    MObject fresh = qmfhost::createNode("joint", "fresh");
    EXPECT_NEAR(plug(fresh, "tx"), 0, 0);
}

// Reads at any times in any order give what the curve's own evaluation
// gives, also after its keys are replaced by fewer.
TEST_F(Driven, ReadsInAnyOrderMatchTheCurveEvaluation) {
    MObject c = qmfhost::createNode("animCurveTA", "wave");
    qmfhost::CurveData d;
    for (int i = 0; i < 200; ++i) {
        qmfhost::CurveKey k;
        k.time = i / 24.0;
        k.value = std::sin(i * 0.3) + (i % 7 == 0 ? 1.0 : 0.0);
        k.inTangent = k.outTangent = i % 3 == 0 ? MFnAnimCurve::kTangentLinear : MFnAnimCurve::kTangentClamped;
        d.keys.push_back(k);
    }
    d.postInfinity = MFnAnimCurve::kCycle;
    ASSERT_TRUE(qmfhost::setCurve(c, d));
    ASSERT_TRUE(qmfhost::connect(c, "output", root, "rx"));
    const double frames[] = {0, 0.5, 1, 2.25, 199, 150.5, 3, 3, 42.7, 250.1, 199.99, 10, 11, 12, 600.3, -5};
    for (double f : frames) {
        ASSERT_TRUE(MAnimControl::setCurrentTime(frame(f)));
        EXPECT_EQ(plug(root, "rx"), qmfhost::evaluateCurve(d, MAnimControl::currentTime().as(MTime::kSeconds)))
            << "frame " << f;
    }
    d.keys.resize(2);
    ASSERT_TRUE(qmfhost::setCurve(c, d));
    for (double f : {150.0, 0.5, 1.5}) {
        ASSERT_TRUE(MAnimControl::setCurrentTime(frame(f)));
        EXPECT_EQ(plug(root, "rx"), qmfhost::evaluateCurve(d, MAnimControl::currentTime().as(MTime::kSeconds)))
            << "after new keys, frame " << f;
    }
}

TEST_F(Driven, ConversionLoopsEndAsUnevaluated) {
    MObject a = qmfhost::createNode("unitConversion", "ucA");
    MObject b = qmfhost::createNode("unitConversion", "ucB");
    ASSERT_TRUE(qmfhost::connect(a, "output", b, "input"));
    ASSERT_TRUE(qmfhost::connect(b, "output", a, "input"));
    ASSERT_TRUE(qmfhost::connect(b, "output", root, "tx"));
    EXPECT_NEAR(plug(root, "tx"), 7, 0);
    ASSERT_EQ(qmfhost::unevaluatedChannels(root).size(), 1u);
}

TEST(AnimCurveEvaluate, EvaluatesTimedCurvesAndRefusesDrivenKeys) {
    qmfhost::resetScene();
    MObject c = linearCurve("animCurveTA", "c", 0, 1);
    MFnAnimCurve fn(c);
    MStatus s;
    EXPECT_NEAR(fn.evaluate(frame(6), &s), 0.5, 1e-12);
    EXPECT_TRUE(s);
    double v = -1;
    ASSERT_TRUE(fn.evaluate(MTime(11.0 / 24.0, MTime::kSeconds), v));
    EXPECT_EQ(v, 1.0);
    float x = 0, y = 0;
    ASSERT_TRUE(fn.getTangent(0, x, y, false));
    EXPECT_NEAR(y / x, 2.4, 1e-6) << "1 radian over 10 frames at 24 fps, per second";
    EXPECT_FALSE(fn.getTangent(2, x, y, true));
    MFnAnimCurve sdk(qmfhost::createNode("animCurveUU", "sdk"));
    sdk.evaluate(frame(1), &s);
    EXPECT_EQ(s.statusCode(), MStatus::kInvalidParameter);
}

}  // namespace
