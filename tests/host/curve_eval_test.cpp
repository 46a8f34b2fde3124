// Curve evaluation against values worked out by hand from the rules in
// docs/curve-evaluation.md. Times are in seconds; the rules do not depend on
// the unit except through the clamped threshold (0.05) and the steepest slope.
//
// Non-weighted segments are the Hermite cubic
//   v(u) = v0 + m1 u + (3d - h(2 m1 + m2))/h^2 u^2 + (h(m1 + m2) - 2d)/h^3 u^3
// with h the segment length, d its rise, m1/m2 the slopes leaving the left
// key and arriving at the right one. The comments give m1, m2 and the sum.
#include <qmfhost/Animation.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using TT = MFnAnimCurve::TangentType;
using IT = MFnAnimCurve::InfinityType;
using qmfhost::CurveData;
using qmfhost::CurveKey;

CurveKey key(double t, double v, TT in, TT out) {
    CurveKey k;
    k.time = t;
    k.value = v;
    k.inTangent = in;
    k.outTangent = out;
    return k;
}

CurveData curve(std::vector<std::pair<double, double>> points, TT type, bool weighted = false) {
    CurveData c;
    c.weighted = weighted;
    for (const auto& p : points) c.keys.push_back(key(p.first, p.second, type, type));
    return c;
}

const std::vector<std::pair<double, double>> kPeak = {{0, 0}, {10, 10}, {20, 0}};

struct SegmentCase {
    const char* name;
    CurveData curve;
    double time;
    double expected;
};

class TangentTypes : public testing::TestWithParam<SegmentCase> {};

TEST_P(TangentTypes, SegmentValueMatchesTheHandComputation) {
    const SegmentCase& c = GetParam();
    // The handle repair moves handles by a tiny margin; 1e-7 still tells
    // every rule apart.
    EXPECT_NEAR(qmfhost::evaluateCurve(c.curve, c.time), c.expected, 1e-7) << c.name;
}

CurveData clampedNearNeighbour() {
    // The right key's next neighbour is 0.01 away: its in side goes flat.
    return curve({{0, 0}, {10, 10}, {20, 10.01}}, MFnAnimCurve::kTangentClamped);
}
CurveData splineNearNeighbour() { return curve({{0, 0}, {10, 10}, {20, 10.01}}, MFnAnimCurve::kTangentSmooth); }
CurveData overshooting(TT type) { return curve({{0, 0}, {10, 1}, {20, 10}}, type); }

CurveData fixedCurve(double ox, double oy, double ix, double iy, bool weighted) {
    CurveData c = curve({{0, 0}, {10, 10}}, MFnAnimCurve::kTangentFixed, weighted);
    c.keys[0].outX = ox;
    c.keys[0].outY = oy;
    c.keys[1].inX = ix;
    c.keys[1].inY = iy;
    return c;
}

CurveData withOut(CurveData c, std::size_t i, TT out) {
    c.keys[i].outTangent = out;
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Evaluation, TangentTypes,
    testing::Values(
        // Linear both sides: the straight line.
        SegmentCase{"linear", curve(kPeak, MFnAnimCurve::kTangentLinear), 2.5, 2.5},
        SegmentCase{"linear falling", curve(kPeak, MFnAnimCurve::kTangentLinear), 12.5, 7.5},
        // Spline: first key points at the next (m1 = 1), the peak has the
        // neighbours' slope (0): 2.5 + 0.625 - 0.15625.
        SegmentCase{"spline", curve(kPeak, MFnAnimCurve::kTangentSmooth), 2.5, 2.96875},
        SegmentCase{"spline midpoint", curve(kPeak, MFnAnimCurve::kTangentSmooth), 5, 6.25},
        // Last key points back at the previous (m2 = -1), the peak 0: mirror image.
        SegmentCase{"spline last segment", curve(kPeak, MFnAnimCurve::kTangentSmooth), 15, 6.25},
        // Flat: m1 = m2 = 0: 0.3 * 6.25 - 0.02 * 15.625.
        SegmentCase{"flat", curve(kPeak, MFnAnimCurve::kTangentFlat), 2.5, 1.5625},
        // Step holds the left value up to the next key, step-next shows the next.
        SegmentCase{"step", curve(kPeak, MFnAnimCurve::kTangentStep), 9.9, 0},
        SegmentCase{"step next", withOut(curve(kPeak, MFnAnimCurve::kTangentLinear), 0, MFnAnimCurve::kTangentStepNext),
                    0.1, 10},
        // Slow and fast are obsolete and behave as linear.
        SegmentCase{"slow", curve(kPeak, MFnAnimCurve::kTangentSlow), 2.5, 2.5},
        SegmentCase{"fast", curve(kPeak, MFnAnimCurve::kTangentFast), 12.5, 7.5},
        // Clamped far from neighbours is spline (the peak's slope is 0 anyway).
        SegmentCase{"clamped like spline", curve(kPeak, MFnAnimCurve::kTangentClamped), 2.5, 2.96875},
        // Clamped with a neighbour within 0.05: the middle key is flat (m2 = 0),
        // m1 = 1: 2.96875; spline would use m2 = 10.01/20 = 0.5005:
        // 2.5 + 0.0004995 * 625 - 0.000004995 * 15625 = 2.734140625.
        SegmentCase{"clamped near neighbour", clampedNearNeighbour(), 2.5, 2.96875},
        SegmentCase{"spline near neighbour", splineNearNeighbour(), 2.5, 2.734140625},
        // Plateau/auto: end keys flat. Middle key (10, 1) between 0 and 10:
        // spline slope 0.5 exceeds the bound 3 * min(1/10, 9/10) = 0.3, so
        // plateau goes flat (m2 = 0): 0.03 * 6.25 - 0.002 * 15.625 = 0.15625,
        // and auto takes the bound (m2 = 0.3): 0 + 0.001 * 15.625 = 0.015625.
        SegmentCase{"plateau overshoot", overshooting(MFnAnimCurve::kTangentPlateau), 2.5, 0.15625},
        SegmentCase{"auto overshoot", overshooting(MFnAnimCurve::kTangentAuto), 2.5, 0.015625},
        // Spline on the same keys: m1 = 0.1, m2 = 0.5: 0.25 - 0.25 + 0.0625.
        SegmentCase{"spline overshoot", overshooting(MFnAnimCurve::kTangentSmooth), 2.5, 0.0625},
        // An extremum is flat for plateau and auto alike: m1 = m2 = 0.
        SegmentCase{"plateau extremum", curve(kPeak, MFnAnimCurve::kTangentPlateau), 2.5, 1.5625},
        SegmentCase{"auto extremum", curve(kPeak, MFnAnimCurve::kTangentAuto), 2.5, 1.5625},
        // Auto within the bound keeps the spline slope: (0,0) (10,5) (20,10):
        // m1 = 0 (end key), m2 = 0.5: 0.1 * 6.25 - 0.005 * 15.625 = 0.546875.
        SegmentCase{"auto within bound", curve({{0, 0}, {10, 5}, {20, 10}}, MFnAnimCurve::kTangentAuto), 2.5, 0.546875},
        // Fixed: the stored vectors, only their slopes count when not weighted:
        // m1 = 2, m2 = 0: 5 - 0.1 * 6.25 + 0.
        SegmentCase{"fixed", fixedCurve(1, 2, 1, 0, false), 2.5, 4.375},
        SegmentCase{"fixed long vectors", fixedCurve(0.5, 1, 7, 0, false), 2.5, 4.375},
        // A zero fixed out vector holds the value like a step.
        SegmentCase{"fixed zero", fixedCurve(0, 0, 1, 0, false), 9.9, 0},
        // Weighted linear: handles at thirds on the line: the line.
        SegmentCase{"weighted linear", curve(kPeak, MFnAnimCurve::kTangentLinear, true), 2.5, 2.5},
        // Weighted, flat handles reaching the far key's time (a = 1, b = 0):
        // x(u) = ((2u - 1)^3 + 1)/2 and v(u) = 10 u^2 (3 - 2u). At T = 4.375,
        // x = 0.4375 gives 2u - 1 = -0.5, u = 0.25: v = 10 * 0.0625 * 2.5.
        SegmentCase{"weighted long handles", fixedCurve(30, 0, 30, 0, true), 4.375, 1.5625},
        // The same vectors unweighted are flat slopes: 0.3 * 4.375^2 - 0.02 * 4.375^3.
        SegmentCase{"unweighted long handles", fixedCurve(30, 0, 30, 0, false), 4.375, 4.0673828125},
        // Weighted, the out handle past the next key (a = 2) is pulled back to
        // a = 4/3, b = 2/3 (q = 1/3), its value scaled along: y1 = 20 * (4/3)/2.
        // x(u) = 3u^3 - 6u^2 + 4u; u = 1/3 at x = 7/9 (T = 70/9);
        // v = 3(4/9)(1/3)(40/3) + 3(2/3)(1/9)10 + (1/27)10 = 230/27.
        SegmentCase{"weighted overshooting handle", fixedCurve(60, 60, 3, 0, true), 70.0 / 9.0, 230.0 / 27.0}));

// Keys hit exactly give the key's value whatever the tangents, also when the
// time was reached through a different unit conversion (within half a tick).
TEST(CurveEvaluation, KeyTimesGiveKeyValues) {
    const TT types[] = {MFnAnimCurve::kTangentLinear, MFnAnimCurve::kTangentSmooth, MFnAnimCurve::kTangentStep,
                        MFnAnimCurve::kTangentStepNext, MFnAnimCurve::kTangentAuto, MFnAnimCurve::kTangentFlat};
    for (TT t : types) {
        CurveData c = curve({{1.0 / 24, 3}, {2.0 / 24, -4}, {3.0 / 24, 7}}, t);
        EXPECT_EQ(qmfhost::evaluateCurve(c, 2 * (1.0 / 24)), -4) << t;
        EXPECT_EQ(qmfhost::evaluateCurve(c, 2.0 / 24 + 1e-12), -4) << t;
        EXPECT_EQ(qmfhost::evaluateCurve(c, 3.0 / 24 - 1e-12), 7) << t;
        EXPECT_EQ(qmfhost::evaluateCurve(c, 1.0 / 24), 3) << t;
    }
}

TEST(CurveEvaluation, EmptyAndSingleKeyCurves) {
    CurveData empty;
    EXPECT_EQ(qmfhost::evaluateCurve(empty, 1.0), 0.0);
    CurveData one = curve({{2, 5}}, MFnAnimCurve::kTangentSmooth);
    one.preInfinity = MFnAnimCurve::kLinear;
    one.postInfinity = MFnAnimCurve::kCycleRelative;
    for (double t : {-100.0, 0.0, 2.0, 3.0, 1e9}) EXPECT_EQ(qmfhost::evaluateCurve(one, t), 5.0) << t;
}

struct InfinityCase {
    const char* name;
    TT tangents;
    IT pre, post;
    double time;
    double expected;
};

class Infinities : public testing::TestWithParam<InfinityCase> {};

// Keys (0,0) (10,10): range 10, rise 10.
TEST_P(Infinities, ValuesOutsideTheKeys) {
    const InfinityCase& c = GetParam();
    CurveData cv = curve({{0, 0}, {10, 10}}, c.tangents);
    cv.preInfinity = c.pre;
    cv.postInfinity = c.post;
    EXPECT_NEAR(qmfhost::evaluateCurve(cv, c.time), c.expected, 1e-9) << c.name;
}

constexpr TT kLin = MFnAnimCurve::kTangentLinear;
constexpr TT kSpl = MFnAnimCurve::kTangentSmooth;
constexpr IT kConst = MFnAnimCurve::kConstant;

INSTANTIATE_TEST_SUITE_P(
    Evaluation, Infinities,
    testing::Values(
        InfinityCase{"pre constant", kLin, kConst, kConst, -5, 0},
        InfinityCase{"post constant", kLin, kConst, kConst, 15, 10},
        // Linear tangents leave the curve flat: the end sides are (1, 0).
        InfinityCase{"pre linear, linear tangents", kLin, MFnAnimCurve::kLinear, kConst, -5, 0},
        InfinityCase{"post linear, linear tangents", kLin, kConst, MFnAnimCurve::kLinear, 15, 10},
        // Spline end sides point along the curve: slope 1.
        InfinityCase{"pre linear, spline", kSpl, MFnAnimCurve::kLinear, kConst, -5, -5},
        InfinityCase{"post linear, spline", kSpl, kConst, MFnAnimCurve::kLinear, 15, 15},
        InfinityCase{"post cycle", kLin, kConst, MFnAnimCurve::kCycle, 15, 5},
        InfinityCase{"post cycle whole period", kLin, kConst, MFnAnimCurve::kCycle, 20, 0},
        InfinityCase{"post cycle second period", kLin, kConst, MFnAnimCurve::kCycle, 27.5, 7.5},
        InfinityCase{"pre cycle", kLin, MFnAnimCurve::kCycle, kConst, -2, 8},
        InfinityCase{"pre cycle whole period", kLin, MFnAnimCurve::kCycle, kConst, -10, 10},
        InfinityCase{"post cycle with offset", kLin, kConst, MFnAnimCurve::kCycleRelative, 15, 15},
        InfinityCase{"post cycle with offset, second", kLin, kConst, MFnAnimCurve::kCycleRelative, 25, 25},
        InfinityCase{"pre cycle with offset", kLin, MFnAnimCurve::kCycleRelative, kConst, -5, -5},
        InfinityCase{"pre cycle with offset, second", kLin, MFnAnimCurve::kCycleRelative, kConst, -12, -12},
        InfinityCase{"post oscillate, first", kLin, kConst, MFnAnimCurve::kOscillate, 12, 8},
        InfinityCase{"post oscillate, second", kLin, kConst, MFnAnimCurve::kOscillate, 22, 2},
        InfinityCase{"pre oscillate, first", kLin, MFnAnimCurve::kOscillate, kConst, -2, 2},
        InfinityCase{"pre oscillate, second", kLin, MFnAnimCurve::kOscillate, kConst, -12, 8}));

// Cycling repeats the curve's shape, not a line: the spline peak (0,0)
// (10,10) (20,0) cycled one period on at 22.5 is its value at 2.5.
TEST(CurveEvaluation, CyclesRepeatTheCurvedSegments) {
    CurveData c = curve(kPeak, MFnAnimCurve::kTangentSmooth);
    c.postInfinity = MFnAnimCurve::kCycle;
    c.preInfinity = MFnAnimCurve::kOscillate;
    EXPECT_NEAR(qmfhost::evaluateCurve(c, 22.5), 2.96875, 1e-9);
    // Oscillating back from the first key mirrors: -2.5 reads 2.5.
    EXPECT_NEAR(qmfhost::evaluateCurve(c, -2.5), 2.96875, 1e-9);
}

TEST(CurveEvaluation, TangentVectorsAsGetTangentReportsThem) {
    // Auto key stored by Maya 2018 (film, degrees): (85f, -19.666 deg) between
    // (56f, -24.208 deg) and (100f, 34.938 deg) was saved as the unit vector
    // (0.98117527, 0.19311934) in seconds and radians. The inputs are rounded
    // to 3 decimals, hence the tolerance.
    const double deg = 3.14159265358979323846 / 180.0;
    CurveData c = curve({{56.0 / 24, -24.208 * deg}, {85.0 / 24, -19.666 * deg}, {100.0 / 24, 34.938 * deg}},
                        MFnAnimCurve::kTangentAuto);
    const qmfhost::KeyTangents t = qmfhost::keyTangents(c, 1);
    EXPECT_NEAR(t.out.x, 0.98117527, 5e-5);
    EXPECT_NEAR(t.out.y, 0.19311934, 5e-5);
    EXPECT_NEAR(t.in.x, t.out.x, 1e-12);
    EXPECT_NEAR(t.in.y, t.out.y, 1e-12);
    // The extremes of that curve are flat: (1, 0).
    const qmfhost::KeyTangents first = qmfhost::keyTangents(c, 0);
    EXPECT_EQ(first.out.x, 1.0);
    EXPECT_EQ(first.out.y, 0.0);

    // A vertical fixed tangent on a non-weighted curve becomes the steepest
    // slope; on a weighted curve a backwards x is cut to 0 and y kept.
    CurveData v = fixedCurve(0, 3, -2, 5, false);
    EXPECT_NEAR(qmfhost::keyTangents(v, 0).out.y / qmfhost::keyTangents(v, 0).out.x, 5729577.9485, 1e-3);
    v.weighted = true;
    EXPECT_EQ(qmfhost::keyTangents(v, 1).in.x, 0.0);
    EXPECT_EQ(qmfhost::keyTangents(v, 1).in.y, 5.0);
    EXPECT_TRUE(qmfhost::keyTangents(withOut(v, 0, MFnAnimCurve::kTangentStepNext), 0).stepNextOut);
    EXPECT_EQ(qmfhost::keyTangents(v, 7).out.x, 0.0);
}

TEST(CurveEvaluation, ExtremeHandlesAndTimesStayFinite) {
    // Handles far beyond the segment on both sides, weighted: the repair keeps
    // time single-valued, so values stay between what the handles allow.
    CurveData c = fixedCurve(1e6, 1e6, 1e6, -1e6, true);
    for (double t = 0; t <= 10; t += 0.25) EXPECT_TRUE(std::isfinite(qmfhost::evaluateCurve(c, t))) << t;
    c.postInfinity = MFnAnimCurve::kCycleRelative;
    EXPECT_TRUE(std::isfinite(qmfhost::evaluateCurve(c, 1e12)));
    EXPECT_EQ(qmfhost::evaluateCurve(c, INFINITY), 10.0);
    EXPECT_EQ(qmfhost::evaluateCurve(c, -INFINITY), 0.0);
}

}  // namespace
