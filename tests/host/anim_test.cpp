// Animation curves, global tangents, playback settings and plug state.
#include <maya/MAnimControl.h>
#include <maya/MAnimCurveChange.h>
#include <maya/MFnAnimCurve.h>
#include <maya/MFnIkJoint.h>
#include <maya/MPlug.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

namespace {

class Anim : public testing::Test {
protected:
    void SetUp() override {
        qmfhost::resetScene();
        joint = qmfhost::createNode("joint", "spine");
    }

    MObject attr(const char* name) const { return MFnDependencyNode(joint).attribute(name); }

    MObject joint;
};

struct CurveTypeCase {
    const char* attribute;
    MFnAnimCurve::AnimCurveType type;
    MFn::Type api;
    const char* nodeType;
};

class CurveTypeByAttribute : public Anim, public testing::WithParamInterface<CurveTypeCase> {};

TEST_P(CurveTypeByAttribute, UntypedCreatePicksTheCurveForTheAttributesUnit) {
    const CurveTypeCase& c = GetParam();
    MFnAnimCurve fn;
    MStatus s;
    MObject curve = fn.create(joint, attr(c.attribute), nullptr, &s);
    ASSERT_TRUE(s);
    EXPECT_EQ(fn.animCurveType(), c.type);
    EXPECT_EQ(curve.apiType(), c.api);
    EXPECT_TRUE(curve.hasFn(MFn::kAnimCurve));
    EXPECT_EQ(qmfhost::typeName(curve), c.nodeType);
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, CurveTypeByAttribute,
    testing::Values(
        CurveTypeCase{"translateX", MFnAnimCurve::kAnimCurveTL, MFn::kAnimCurveTimeToDistance, "animCurveTL"},
        CurveTypeCase{"rotateY", MFnAnimCurve::kAnimCurveTA, MFn::kAnimCurveTimeToAngular, "animCurveTA"},
        CurveTypeCase{"jointOrientZ", MFnAnimCurve::kAnimCurveTA, MFn::kAnimCurveTimeToAngular, "animCurveTA"},
        CurveTypeCase{"scaleX", MFnAnimCurve::kAnimCurveTU, MFn::kAnimCurveTimeToUnitless, "animCurveTU"},
        CurveTypeCase{"visibility", MFnAnimCurve::kAnimCurveTU, MFn::kAnimCurveTimeToUnitless, "animCurveTU"}));

TEST_F(Anim, CreateConnectsTheCurveOutputToThePlug) {
    MFnAnimCurve fn;
    MObject curve = fn.create(joint, attr("rx"));
    MPlug rx(joint, attr("rotateX"));
    EXPECT_TRUE(rx.isDestination());
    EXPECT_EQ(rx.source().node(), curve);
    EXPECT_STREQ(rx.source().partialName().asChar(), "spine_rotateX.o");
    auto cs = qmfhost::connections();
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_EQ(cs[0].sourceNode, curve);
    EXPECT_EQ(cs[0].destinationNode, joint);
    EXPECT_EQ(qmfhost::longAttributeName(joint, cs[0].destinationAttribute), "rotateX");
    MStatus s;
    MFnAnimCurve driving(rx, &s);
    ASSERT_TRUE(s);
    EXPECT_EQ(driving.object(), curve);
}

// Every refusal leaves the scene as it was: no curve, no connection.
TEST_F(Anim, CreateIsRefusedOnMissingLockedOrDrivenPlugs) {
    MObject group = qmfhost::createNode("transform", "group");
    MObject conv = qmfhost::createNode("unitConversion", "unitConversion14");
    ASSERT_TRUE(qmfhost::connect(conv, "o", joint, "ry"));
    ASSERT_TRUE(MPlug(joint, attr("rz")).setLocked(true));
    ASSERT_TRUE(MPlug(joint, attr("jointOrient")).setLocked(true));
    ASSERT_TRUE(qmfhost::setLocked(joint, "translate", true));

    struct Case {
        const char* why;
        MObject node;
        MObject attribute;
    };
    const Case cases[] = {
        {"null node", MObject(), attr("rx")},
        {"null attribute", joint, MObject()},
        {"attribute the node lacks", group, attr("jointOrientX")},
        {"driven by another node", joint, attr("rotateY")},
        {"locked", joint, attr("rotateZ")},
        {"locked through its compound", joint, attr("jointOrientX")},
        {"locked compound, child asked by short name", joint, attr("ty")},
        {"compound", joint, attr("rotate")},
        {"message attribute", joint, attr("message")},
    };
    const size_t nodesBefore = qmfhost::allNodes().size();
    const size_t connectionsBefore = qmfhost::connections().size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        MFnAnimCurve fn;
        MStatus s;
        EXPECT_TRUE(fn.create(c.node, c.attribute, nullptr, &s).isNull());
        EXPECT_EQ(s, MStatus::kInvalidParameter);
        EXPECT_EQ(fn.numKeys(&s), 0u);
        EXPECT_EQ(s, MStatus::kFailure);   // left unattached
    }
    EXPECT_EQ(qmfhost::allNodes().size(), nodesBefore);
    EXPECT_EQ(qmfhost::connections().size(), connectionsBefore);

    // A second curve on an animated plug is refused too.
    MFnAnimCurve first;
    ASSERT_FALSE(first.create(joint, attr("rx")).isNull());
    MStatus s;
    MFnAnimCurve().create(joint, attr("rx"), nullptr, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
}

TEST_F(Anim, NewKeysTakeTheGlobalTangentTypesAtTheTimeTheyAreAdded) {
    ASSERT_TRUE(MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentLinear));
    ASSERT_TRUE(MAnimControl::setGlobalOutTangentType(MFnAnimCurve::kTangentStep));
    MFnAnimCurve fn;
    fn.create(joint, attr("tx"));
    ASSERT_TRUE(fn.addKeyframe(MTime(0.0, MTime::kSeconds), 1.0));
    ASSERT_TRUE(MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentFlat));
    ASSERT_TRUE(MAnimControl::setGlobalOutTangentType(MFnAnimCurve::kTangentFlat));
    ASSERT_TRUE(fn.addKeyframe(MTime(1.0, MTime::kSeconds), 2.0));
    ASSERT_EQ(fn.numKeys(), 2u);
    EXPECT_EQ(fn.inTangentType(0), MFnAnimCurve::kTangentLinear);
    EXPECT_EQ(fn.outTangentType(0), MFnAnimCurve::kTangentStep);
    EXPECT_EQ(fn.inTangentType(1), MFnAnimCurve::kTangentFlat);
    EXPECT_EQ(fn.outTangentType(1), MFnAnimCurve::kTangentFlat);
    // An explicit Global is resolved the same way.
    fn.addKey(MTime(2.0, MTime::kSeconds), 3.0, MFnAnimCurve::kTangentGlobal, MFnAnimCurve::kTangentSmooth);
    EXPECT_EQ(fn.inTangentType(2), MFnAnimCurve::kTangentFlat);
    EXPECT_EQ(fn.outTangentType(2), MFnAnimCurve::kTangentSmooth);
}

TEST_F(Anim, KeyAtAnExistingTimeReplacesItsValueAndKeysStaySorted) {
    MFnAnimCurve fn;
    fn.create(joint, attr("ry"));
    ASSERT_TRUE(fn.addKeyframe(MTime(2.0, MTime::kSeconds), 5.0));
    ASSERT_TRUE(fn.addKeyframe(MTime(1.0, MTime::kSeconds), 4.0));
    ASSERT_TRUE(fn.addKeyframe(MTime(48.0, MTime::kFilm), 7.0));   // the same instant as 2 s
    ASSERT_EQ(fn.numKeys(), 2u);
    EXPECT_DOUBLE_EQ(fn.time(0).as(MTime::kSeconds), 1.0);
    EXPECT_EQ(fn.value(0), 4.0);
    EXPECT_DOUBLE_EQ(fn.time(1).as(MTime::kSeconds), 2.0);
    EXPECT_EQ(fn.value(1), 7.0);
    unsigned index = 99;
    EXPECT_TRUE(fn.find(MTime(50.0, MTime::kPALFrame), index));
    EXPECT_EQ(index, 1u);
    MStatus s;
    fn.value(2, &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_EQ(fn.addKeyframe(MTime(1.0, MTime::kSeconds), std::nan("")), MStatus::kInvalidParameter);
    EXPECT_EQ(fn.numKeys(), 2u);
}

TEST_F(Anim, KeyEditsKeepTimesUniqueAndSettingsValid) {
    MFnAnimCurve fn;
    fn.create(joint, attr("tz"));
    for (int frame : {0, 12, 24}) ASSERT_TRUE(fn.addKeyframe(MTime(frame, MTime::kFilm), frame * 0.5));
    // Moving a key onto another's time would merge two keys: refused.
    EXPECT_EQ(fn.setTime(0, MTime(0.5, MTime::kSeconds)), MStatus::kFailure);
    // Moving it past the others re-sorts the keys.
    ASSERT_TRUE(fn.setTime(0, MTime(2.0, MTime::kSeconds)));
    EXPECT_DOUBLE_EQ(fn.time(2).as(MTime::kSeconds), 2.0);
    EXPECT_EQ(fn.value(2), 0.0);
    ASSERT_TRUE(fn.remove(0));
    EXPECT_EQ(fn.numKeys(), 2u);
    EXPECT_EQ(fn.findClosest(MTime(100.0, MTime::kFilm)), 1u);
    EXPECT_EQ(fn.setPreInfinityType(static_cast<MFnAnimCurve::InfinityType>(2)), MStatus::kInvalidParameter);
    ASSERT_TRUE(fn.setPostInfinityType(MFnAnimCurve::kCycleRelative));
    EXPECT_EQ(fn.postInfinityType(), MFnAnimCurve::kCycleRelative);
    EXPECT_EQ(fn.preInfinityType(), MFnAnimCurve::kConstant);
    EXPECT_EQ(fn.remove(5), MStatus::kInvalidParameter);
}

TEST_F(Anim, GlobalTangentSettersRefuseGlobalAndFixed) {
    const auto before = MAnimControl::globalInTangentType();
    EXPECT_NE(before, MFnAnimCurve::kTangentGlobal);
    for (auto bad : {MFnAnimCurve::kTangentGlobal, MFnAnimCurve::kTangentFixed,
                     static_cast<MFnAnimCurve::TangentType>(12)}) {
        EXPECT_EQ(MAnimControl::setGlobalInTangentType(bad), MStatus::kFailure);
        EXPECT_EQ(MAnimControl::setGlobalOutTangentType(bad), MStatus::kFailure);
    }
    EXPECT_EQ(MAnimControl::globalInTangentType(), before);
    EXPECT_EQ(MAnimControl::globalOutTangentType(), before);
    EXPECT_EQ(static_cast<int>(MFnAnimCurve::kTangentLinear), 2);
    ASSERT_TRUE(MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentLinear));
    EXPECT_EQ(MAnimControl::globalInTangentType(), MFnAnimCurve::kTangentLinear);
}

TEST_F(Anim, PlaybackAndAnimationRangesAreIndependent) {
    EXPECT_EQ(MAnimControl::minTime(), MTime(1.0, MTime::kFilm));
    EXPECT_EQ(MAnimControl::maxTime(), MTime(24.0, MTime::kFilm));
    const MTime endBefore = MAnimControl::animationEndTime();
    ASSERT_TRUE(MAnimControl::setMaxTime(MTime(10.0, MTime::kSeconds)));
    EXPECT_EQ(MAnimControl::maxTime().unit(), MTime::kSeconds);
    EXPECT_DOUBLE_EQ(MAnimControl::maxTime().as(MTime::kFilm), 240.0);
    EXPECT_EQ(MAnimControl::animationEndTime(), endBefore);
    EXPECT_EQ(MAnimControl::setMinMaxTime(MTime(5.0), MTime(2.0)), MStatus::kFailure);
    EXPECT_EQ(MAnimControl::minTime(), MTime(1.0, MTime::kFilm));
    qmfhost::resetScene();
    EXPECT_EQ(MAnimControl::maxTime(), MTime(24.0, MTime::kFilm));
}

TEST_F(Anim, PlugLockFlagsAndNames) {
    MPlug plug(joint, attr("rx"));
    EXPECT_STREQ(plug.name().asChar(), "spine.rotateX");
    EXPECT_FALSE(plug.isLocked());
    ASSERT_TRUE(plug.setLocked(true));
    EXPECT_TRUE(plug.isLocked());
    EXPECT_TRUE(qmfhost::isLocked(joint, "rotateX"));
    EXPECT_FALSE(MPlug(joint, attr("ry")).isLocked());
    MObject ry = attr("ry");
    ASSERT_TRUE(plug.setAttribute(ry));
    EXPECT_STREQ(plug.name().asChar(), "spine.rotateY");
    EXPECT_FALSE(plug.isLocked());
    MObject joAttr = attr("jointOrientX");
    MPlug onTransform(qmfhost::createNode("transform", "t"), joAttr);
    EXPECT_TRUE(onTransform.isNull());
    MStatus s;
    onTransform.isLocked(&s);
    EXPECT_EQ(s, MStatus::kFailure);
}

}  // namespace

// Many keys added out of order, replaced, removed and copied: the curve must
// always hold exactly what a sorted map of time to (value, tangent) holds,
// through the growth of its arrays and inserts and removals in the middle.
TEST_F(Anim, LongCurveEditedInEveryOrderMatchesASortedModel) {
    MFnAnimCurve fn;
    MObject curve = fn.create(joint, attr("rotateX"));
    std::map<long, std::pair<double, MFnAnimCurve::TangentType>> model;
    const MFnAnimCurve::TangentType tangents[] = {MFnAnimCurve::kTangentLinear, MFnAnimCurve::kTangentStep,
                                                  MFnAnimCurve::kTangentFlat};
    unsigned state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int step = 0; step < 6000; ++step) {
        const unsigned r = next();
        // Mostly appends (the import's case), then inserts at random frames.
        const long frame = step % 3 ? step : static_cast<long>((r >> 8) % 4000);
        const double value = static_cast<double>(r % 1000) - 500.0;
        if (step % 7 == 6 && !model.empty()) {
            const unsigned index = (r >> 4) % static_cast<unsigned>(model.size());
            ASSERT_TRUE(fn.remove(index));
            auto it = model.begin();
            std::advance(it, index);
            model.erase(it);
            continue;
        }
        const MFnAnimCurve::TangentType t = tangents[(r >> 12) % 3];
        ASSERT_TRUE(fn.addKeyframe(MTime(0.25 * static_cast<double>(frame), MTime::kSeconds), value, t, t));
        // A key at an existing time keeps its tangents and takes the value.
        auto found = model.find(frame);
        if (found != model.end())
            found->second.first = value;
        else
            model.emplace(frame, std::make_pair(value, t));
    }
    auto check = [&model](const MFnAnimCurve& c) {
        ASSERT_EQ(c.numKeys(), model.size());
        unsigned i = 0;
        for (const auto& [frame, key] : model) {
            ASSERT_EQ(c.time(i).as(MTime::kSeconds), 0.25 * static_cast<double>(frame)) << "key " << i;
            ASSERT_EQ(c.value(i), key.first) << "key " << i;
            ASSERT_EQ(c.inTangentType(i), key.second) << "key " << i;
            ASSERT_EQ(c.outTangentType(i), key.second) << "key " << i;
            ++i;
        }
    };
    check(fn);

    // An undoable edit keeps a copy of the keys and puts it back.
    MAnimCurveChange change;
    ASSERT_TRUE(fn.addKeyframe(MTime(-5.0, MTime::kSeconds), 1.0, &change));
    ASSERT_TRUE(fn.remove(fn.numKeys() - 1, &change));
    ASSERT_TRUE(change.undoIt());
    check(MFnAnimCurve(curve));
}

// Keys that all share their tangent types are held as one pair for the
// curve: every edit that makes one key differ must leave the others as
// they were.
TEST_F(Anim, OneKeysTangentChangeLeavesTheOthers) {
    MFnAnimCurve fn;
    fn.create(joint, attr("rotateX"));
    const auto linear = MFnAnimCurve::kTangentLinear, flat = MFnAnimCurve::kTangentFlat,
               step = MFnAnimCurve::kTangentStep;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(fn.addKeyframe(MTime(double(i), MTime::kSeconds), i, linear, linear));
    ASSERT_TRUE(fn.setInTangentType(3, flat));
    ASSERT_TRUE(fn.addKeyframe(MTime(2.5, MTime::kSeconds), 9, step, linear));   // becomes key 3
    ASSERT_TRUE(fn.remove(0));
    ASSERT_TRUE(fn.setOutTangentType(4, step));
    // Keys now at 1, 2, 2.5, 3, 4, 5.
    const struct {
        MFnAnimCurve::TangentType in, out;
    } expected[] = {{linear, linear}, {linear, linear}, {step, linear}, {flat, linear}, {linear, step}, {linear, linear}};
    ASSERT_EQ(fn.numKeys(), 6u);
    for (unsigned i = 0; i < 6; ++i) {
        EXPECT_EQ(fn.inTangentType(i), expected[i].in) << "key " << i;
        EXPECT_EQ(fn.outTangentType(i), expected[i].out) << "key " << i;
    }
}

// Key times are compared in whole ticks (1/141120000 s), rounded to the
// nearest, halves away from zero: within 0.4 of a tick is the same key, 0.6
// away is the next one, on either side of zero.
TEST_F(Anim, KeyTimesRoundToTheNearestTick) {
    const double tick = 1.0 / 141120000.0;
    for (double base : {1.0 / 24, -2.5, 0.0}) {
        qmfhost::resetScene();
        joint = qmfhost::createNode("joint", "spine");
        MFnAnimCurve fn;
        fn.create(joint, attr("rx"));
        const std::pair<double, double> keys[] = {
            {base, 1}, {base + 0.4 * tick, 2}, {base + 0.6 * tick, 3}, {base - 0.4 * tick, 4}, {base - 0.6 * tick, 5}};
        for (const auto& [seconds, value] : keys) ASSERT_TRUE(fn.addKeyframe(MTime(seconds, MTime::kSeconds), value));
        ASSERT_EQ(fn.numKeys(), 3u) << base;
        EXPECT_EQ(fn.value(0), 5.0) << base;
        EXPECT_EQ(fn.value(1), 4.0) << base;
        EXPECT_EQ(fn.value(2), 3.0) << base;
    }
}
