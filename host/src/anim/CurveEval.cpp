// Curve evaluation: tangents from key types and neighbours, Hermite segments
// for non-weighted curves, Bezier segments in time and value for weighted
// ones, and the pre/post infinities. Pure functions of the curve data.
#include <qmfhost/Animation.h>

#include "CurveStore.h"

#include <algorithm>
#include <cmath>

namespace qmfhost {

namespace {

using TT = MFnAnimCurve::TangentType;

// The steepest slope Maya gives a tangent (tan of 89.99999 degrees).
constexpr double kMaxTan = 5729577.9485;
// Neighbours closer than this make the spline slope vertical.
constexpr double kMinSplineSpan = 1.0e-4;
// Clamped tangents go flat when a neighbour's value is this close (absolute,
// internal units).
constexpr double kClampNear = 0.05;
// Times within half a tick (1/141120000 s) are the same time: a key time and
// a current time reached by different unit conversions still hit the key.
constexpr double kHalfTick = 0.5 / 141120000.0;

// The two ways keys are held, read alike: CurveData (handed in and out) and
// the store a curve node keeps.
struct DataKeys {
    const CurveData& c;
    std::size_t size() const { return c.keys.size(); }
    double time(std::size_t i) const { return c.keys[i].time; }
    double value(std::size_t i) const { return c.keys[i].value; }
    TT inType(std::size_t i) const { return c.keys[i].inTangent; }
    TT outType(std::size_t i) const { return c.keys[i].outTangent; }
    TangentVector fixedSide(std::size_t i, bool in) const {
        const CurveKey& k = c.keys[i];
        return in ? TangentVector{k.inX, k.inY} : TangentVector{k.outX, k.outY};
    }
    bool weighted() const { return c.weighted; }
    MFnAnimCurve::InfinityType preInfinity() const { return c.preInfinity; }
    MFnAnimCurve::InfinityType postInfinity() const { return c.postInfinity; }
};

struct StoreKeys {
    const detail::CurveStore& c;
    std::size_t size() const { return c.size(); }
    double time(std::size_t i) const { return c.time(i); }
    double value(std::size_t i) const { return c.value(i); }
    TT inType(std::size_t i) const { return c.inType(i); }
    TT outType(std::size_t i) const { return c.outType(i); }
    TangentVector fixedSide(std::size_t i, bool in) const {
        const detail::FixedTangents f = c.fixed(i);
        return in ? TangentVector{f.inX, f.inY} : TangentVector{f.outX, f.outY};
    }
    bool weighted() const { return c.weighted; }
    MFnAnimCurve::InfinityType preInfinity() const { return c.preInfinity; }
    MFnAnimCurve::InfinityType postInfinity() const { return c.postInfinity; }
};

struct Ctx {
    std::size_t i;
    bool prev, next;
    double t, v, dtp, dtn, vp, vn;
    template <typename Keys>
    Ctx(const Keys& keys, std::size_t index) : i(index) {
        prev = i > 0;
        next = i + 1 < keys.size();
        t = keys.time(i);
        v = keys.value(i);
        dtp = prev ? t - keys.time(i - 1) : 0;
        dtn = next ? keys.time(i + 1) - t : 0;
        vp = prev ? keys.value(i - 1) : v;
        vn = next ? keys.value(i + 1) : v;
    }
    double span(bool in) const { return in ? dtp : dtn; }
};

TangentVector vec(double x, double y) { return TangentVector{x, y}; }

// Maya >= 2.0 smooth tangent: inner keys take the slope between their
// neighbours; end keys point at their only neighbour.
TangentVector spline(const Ctx& c, bool in) {
    if (c.prev && c.next) {
        const double range = c.dtp + c.dtn;
        double s;
        if (range < kMinSplineSpan)
            s = c.vn == c.vp ? 0.0 : std::copysign(kMaxTan, c.vn - c.vp);
        else
            s = (c.vn - c.vp) / range;
        return vec(c.span(in), s * c.span(in));
    }
    if (c.next) return vec(c.dtn, c.vn - c.v);
    if (c.prev) return vec(c.dtp, c.v - c.vp);
    return vec(1, 0);
}

TangentVector flat(const Ctx& c, bool in) {
    const bool near = in ? c.prev : c.next;
    const bool far = in ? c.next : c.prev;
    if (near) return vec(c.span(in), 0);
    if (far) return vec(c.span(!in), 0);
    return vec(0, 0);
}

TangentVector linear(const Ctx& c, bool in) {
    if (in) return c.prev ? vec(c.dtp, c.v - c.vp) : vec(1, 0);
    return c.next ? vec(c.dtn, c.vn - c.v) : vec(1, 0);
}

TangentVector clamped(const Ctx& c, bool in) {
    const bool near = in ? c.prev : c.next;
    if (!near) return spline(c, in);
    const double a = std::fabs((in ? c.vp : c.vn) - c.v);
    const bool far = in ? c.next : c.prev;
    const double b = far ? std::fabs((in ? c.vn : c.vp) - c.v) : a;
    return (a <= kClampNear || b <= kClampNear) ? flat(c, in) : spline(c, in);
}

// Plateau and auto share one bound: the slope whose third-length handles
// stay within both neighbours' values.
TangentVector plateauOrAuto(const Ctx& c, bool in, bool autoType) {
    if (!c.prev || !c.next) return flat(c, in);
    const double py = c.vp - c.v, ny = c.vn - c.v;
    if (py * ny >= 0) return vec(c.span(in), 0);
    const double bound = 3.0 * std::min(std::fabs(py) / c.dtp, std::fabs(ny) / c.dtn);
    double s = spline(c, in).y / c.span(in);
    if (std::fabs(s) > bound) s = autoType ? std::copysign(bound, s) : 0.0;
    return vec(c.span(in), s * c.span(in));
}

template <typename Keys>
TangentVector rawSide(const Keys& keys, std::size_t i, bool in) {
    const Ctx c(keys, i);
    switch (in ? keys.inType(i) : keys.outType(i)) {
    case MFnAnimCurve::kTangentFixed: return keys.fixedSide(i, in);
    case MFnAnimCurve::kTangentLinear:
    case MFnAnimCurve::kTangentSlow:
    case MFnAnimCurve::kTangentFast: return linear(c, in);
    case MFnAnimCurve::kTangentFlat: return flat(c, in);
    case MFnAnimCurve::kTangentStep:
    case MFnAnimCurve::kTangentStepNext: return vec(0, 0);   // step-next is flagged separately
    case MFnAnimCurve::kTangentPlateau: return plateauOrAuto(c, in, false);
    case MFnAnimCurve::kTangentAuto: return plateauOrAuto(c, in, true);
    case MFnAnimCurve::kTangentGlobal:   // never kept on a key; Maya's factory global is clamped
    case MFnAnimCurve::kTangentClamped: return clamped(c, in);
    case MFnAnimCurve::kTangentSmooth:
    default: return spline(c, in);
    }
}

// Weighted: only negative x is refused. Non-weighted: unit length, and a
// vertical tangent becomes the steepest representable one.
TangentVector validate(TangentVector t, bool weighted) {
    if (!std::isfinite(t.x) || !std::isfinite(t.y)) return vec(0, 0);
    if (t.x < 0) t.x = 0;
    if (weighted) return t;
    if (t.x == 0) {
        if (t.y == 0) return t;
        return vec(1.0e-4, std::copysign(1.0e-4 * kMaxTan, t.y));
    }
    const double len = std::hypot(t.x, t.y);
    return vec(t.x / len, t.y / len);
}

template <typename Keys>
TangentVector side(const Keys& c, std::size_t i, bool in) {
    return validate(rawSide(c, i, in), c.weighted());
}

double slope(const TangentVector& t) { return t.x > 0 ? t.y / t.x : 0.0; }

bool sameTime(double a, double b) { return std::fabs(a - b) <= kHalfTick; }

// The unique u in [0, 1] with x(u) = s for a monotonic Bezier x with
// handles a and b; bisection, as x is single-valued after the repair.
double solveBezierParameter(double a, double b, double s) {
    const double c3 = 1 + 3 * a - 3 * b, c2 = 3 * b - 6 * a, c1 = 3 * a;
    double lo = 0, hi = 1;
    for (int it = 0; it < 64; ++it) {
        const double mid = 0.5 * (lo + hi);
        const double x = ((c3 * mid + c2) * mid + c1) * mid;
        if (x < s)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

double weightedSegment(double t0, double y0, const TangentVector& out, double t3, double y3,
                       const TangentVector& in, double T) {
    const double h = t3 - t0;
    const double s = (T - t0) / h;
    double y1 = y0 + out.y / 3, y2 = y3 - in.y / 3;
    double a = out.x / (3 * h), b = 1 - in.x / (3 * h);
    // Keep x(u) single-valued: pull handles that overshoot back inside the
    // region where the cubic in time is monotonic, along their own direction.
    const double aOld = a, bOld = b;
    a = std::max(a, 0.0);
    b = std::min(b, 1.0);
    double p = a, q = 1 - b;
    constexpr double eps = 1.0e-9;
    if ((p > 1 || q > 1) && p * p + q * q + p * q - 2 * (p + q) + 1 > -eps) {
        if (p < 4.0 / 3.0) {
            const double disc = std::max(0.0, (p - 2) * (p - 2) - 4 * (p - 1) * (p - 1));
            const double rPlus = ((2 - p) + std::sqrt(disc)) / 2, rMinus = ((2 - p) - std::sqrt(disc)) / 2;
            if (q + eps > rPlus)
                q = rPlus - eps;
            else if (q < rMinus + eps)
                q = rMinus + eps;
        } else {
            p = 4.0 / 3.0 - eps;
            q = 1.0 / 3.0 - eps;
        }
        a = p;
        b = 1 - q;
    }
    if (aOld > 0 && a != aOld) y1 = y0 + (y1 - y0) * a / aOld;
    if (1 - bOld > 0 && b != bOld) y2 = y3 - (y3 - y2) * (1 - b) / (1 - bOld);
    const double u = (a == 1.0 / 3.0 && b == 2.0 / 3.0) ? s : solveBezierParameter(a, b, s);
    const double w = 1 - u;
    return w * w * w * y0 + 3 * w * w * u * y1 + 3 * w * u * u * y2 + u * u * u * y3;
}

// Whether r is the first key later than T.
template <typename Keys>
bool firstLater(const Keys& c, std::size_t r, double T) {
    return r <= c.size() && (r == 0 || !(T < c.time(r - 1))) && (r == c.size() || T < c.time(r));
}

// The first key later than T: at the cursor or the key after it when reads
// come in rising times, else by bisection. The cursor is left on it.
template <typename Keys>
std::size_t firstKeyLater(const Keys& c, double T, std::size_t& cursor) {
    if (firstLater(c, cursor, T)) return cursor;
    if (firstLater(c, cursor + 1, T)) return ++cursor;
    std::size_t lo = 0, hi = c.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (T < c.time(mid)) hi = mid;
        else lo = mid + 1;
    }
    return cursor = lo;
}

// Inside [t0, tN].
template <typename Keys>
double evaluateInRange(const Keys& c, double T, std::size_t& cursor) {
    const std::size_t r = firstKeyLater(c, T, cursor);
    if (r < c.size() && sameTime(c.time(r), T)) return c.value(r);
    if (r == 0) return c.value(0);
    const std::size_t l = r - 1;
    if (sameTime(c.time(l), T) || r == c.size()) return c.value(l);
    const double Lt = c.time(l), Lv = c.value(l), Rt = c.time(r), Rv = c.value(r);
    if (c.outType(l) == MFnAnimCurve::kTangentStepNext) return Rv;
    const TangentVector out = side(c, l, false);
    if (out.x == 0 && out.y == 0) return Lv;   // step, or a zero fixed tangent
    const TangentVector in = side(c, r, true);
    if (c.weighted()) return weightedSegment(Lt, Lv, out, Rt, Rv, in, T);
    const double h = Rt - Lt, d = Rv - Lv, u = T - Lt;
    const double m1 = slope(out), m2 = slope(in);
    return Lv + m1 * u + (3 * d - h * (2 * m1 + m2)) / (h * h) * u * u +
           (h * (m1 + m2) - 2 * d) / (h * h * h) * u * u * u;
}

template <typename Keys>
double clampToRange(const Keys& c, double T) {
    return std::min(std::max(T, c.time(0)), c.time(c.size() - 1));
}

template <typename Keys>
KeyTangents tangentsOf(const Keys& curve, std::size_t index) {
    KeyTangents k;
    if (index >= curve.size()) return k;
    k.in = side(curve, index, true);
    k.out = side(curve, index, false);
    k.stepNextOut = curve.outType(index) == MFnAnimCurve::kTangentStepNext;
    return k;
}

template <typename Keys>
double evaluate(const Keys& c, double T, std::size_t& cursor) {
    if (c.size() == 0) return 0.0;
    const double t0 = c.time(0), tN = c.time(c.size() - 1);
    const double v0 = c.value(0), vN = c.value(c.size() - 1);
    if (!std::isfinite(T)) return T < 0 ? v0 : vN;
    const bool before = T < t0 && !sameTime(T, t0);
    const bool after = T > tN && !sameTime(T, tN);
    if (!before && !after) return evaluateInRange(c, clampToRange(c, T), cursor);

    const MFnAnimCurve::InfinityType mode = before ? c.preInfinity() : c.postInfinity();
    if (mode == MFnAnimCurve::kConstant) return before ? v0 : vN;
    if (mode == MFnAnimCurve::kLinear) {
        const TangentVector t = before ? side(c, 0, true) : side(c, c.size() - 1, false);
        if (t.x <= 0) return before ? v0 : vN;
        return before ? v0 - (t0 - T) * t.y / t.x : vN + (T - tN) * t.y / t.x;
    }
    const double R = tN - t0;
    if (R <= 0) return v0;
    const double D = vN - v0;
    const double q = before ? (T - t0) / R : (T - tN) / R;
    const double whole = std::trunc(q);
    const double f = std::fabs(q - whole);
    const double n = std::fabs(whole) + 1;
    const double forward = evaluateInRange(c, clampToRange(c, t0 + f * R), cursor);
    const double backward = evaluateInRange(c, clampToRange(c, tN - f * R), cursor);
    const bool odd = std::fmod(n, 2.0) == 1.0;
    switch (mode) {
    case MFnAnimCurve::kCycle: return before ? backward : forward;
    case MFnAnimCurve::kCycleRelative: return before ? backward - n * D : forward + n * D;
    case MFnAnimCurve::kOscillate: return before ? (odd ? forward : backward) : (odd ? backward : forward);
    default: return before ? v0 : vN;
    }
}

}  // namespace

KeyTangents keyTangents(const CurveData& curve, std::size_t index) { return tangentsOf(DataKeys{curve}, index); }
double evaluateCurve(const CurveData& c, double T) {
    std::size_t cursor = 0;
    return evaluate(DataKeys{c}, T, cursor);
}

namespace detail {
KeyTangents keyTangents(const CurveStore& curve, std::size_t index) { return tangentsOf(StoreKeys{curve}, index); }
double evaluateCurve(const CurveStore& c, double T) {
    std::size_t cursor = 0;
    return evaluate(StoreKeys{c}, T, cursor);
}
double evaluateCurve(const CurveStore& c, double T, std::size_t& cursor) { return evaluate(StoreKeys{c}, T, cursor); }
}  // namespace detail

}  // namespace qmfhost
