// Private to the host library: how a curve node keeps its keys. Times and
// values sit in their own contiguous arrays and tangent types in one byte
// each, so a long motion-capture curve costs about 18 bytes a key; tangent
// vectors are only kept for curves where some key has a fixed side.
// CurveData (qmfhost/Scene.h) stays the form keys are handed in and out.
#ifndef QMFHOST_SRC_ANIM_CURVESTORE_H
#define QMFHOST_SRC_ANIM_CURVESTORE_H

#include <qmfhost/Animation.h>
#include <qmfhost/Scene.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qmfhost {
namespace detail {

struct FixedTangents {
    double inX = 0, inY = 0, outX = 0, outY = 0;
};

class CurveStore {
public:
    MFnAnimCurve::AnimCurveType type = MFnAnimCurve::kAnimCurveTU;
    bool weighted = false;
    MFnAnimCurve::InfinityType preInfinity = MFnAnimCurve::kConstant;
    MFnAnimCurve::InfinityType postInfinity = MFnAnimCurve::kConstant;

    std::size_t size() const { return times_.size(); }
    bool empty() const { return times_.empty(); }
    double time(std::size_t i) const { return times_[i]; }
    double value(std::size_t i) const { return values_[i]; }
    MFnAnimCurve::TangentType inType(std::size_t i) const { return static_cast<MFnAnimCurve::TangentType>(inTypes_[i]); }
    MFnAnimCurve::TangentType outType(std::size_t i) const { return static_cast<MFnAnimCurve::TangentType>(outTypes_[i]); }
    // Zero vectors when the curve keeps none.
    FixedTangents fixed(std::size_t i) const { return fixed_.empty() ? FixedTangents{} : fixed_[i]; }
    bool hasFixed() const { return !fixed_.empty(); }
    const double* timeData() const { return times_.data(); }
    const double* valueData() const { return values_.data(); }
    const std::uint8_t* inTypeData() const { return inTypes_.data(); }
    const std::uint8_t* outTypeData() const { return outTypes_.data(); }

    CurveKey key(std::size_t i) const;
    void setValue(std::size_t i, double v) { values_[i] = v; }
    void setTime(std::size_t i, double t) {
        times_[i] = t;
        lastTicksKnown_ = false;
    }
    void setInType(std::size_t i, MFnAnimCurve::TangentType t) { inTypes_[i] = static_cast<std::uint8_t>(t); }
    void setOutType(std::size_t i, MFnAnimCurve::TangentType t) { outTypes_[i] = static_cast<std::uint8_t>(t); }

    // The last key's time in ticks (the host's whole ticks), kept while keys
    // are only appended so a long import does not round it again per key.
    long long lastTicks() const;
    void rememberLastTicks(long long ticks) {
        lastTicks_ = ticks;
        lastTicksKnown_ = true;
    }
    void insert(std::size_t i, const CurveKey& k);
    void erase(std::size_t i);
    // Reorders keys by time, stably (after setTime).
    void sortByTime();

    CurveData toData() const;
    // Keys already in time order, one per time.
    void assign(const CurveData& data);

private:
    std::vector<double> times_;    // seconds
    std::vector<double> values_;   // internal units
    std::vector<std::uint8_t> inTypes_, outTypes_;
    std::vector<FixedTangents> fixed_;   // empty, or one per key
    mutable long long lastTicks_ = 0;
    mutable bool lastTicksKnown_ = false;
};

// Inserts or replaces by time; returns the key's index.
unsigned int insertKey(CurveStore& curve, const CurveKey& key);

// Evaluation of stored curves, by the same rules as the CurveData forms in
// qmfhost/Animation.h.
KeyTangents keyTangents(const CurveStore& curve, std::size_t index);
double evaluateCurve(const CurveStore& curve, double seconds);

}  // namespace detail
}  // namespace qmfhost

#endif
