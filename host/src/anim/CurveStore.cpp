#include "CurveStore.h"

#include "../HostState.h"

#include <algorithm>
#include <numeric>

namespace qmfhost {
namespace detail {

namespace {
bool hasVectors(const CurveKey& k) {
    return k.inTangent == MFnAnimCurve::kTangentFixed || k.outTangent == MFnAnimCurve::kTangentFixed || k.inX != 0 ||
           k.inY != 0 || k.outX != 0 || k.outY != 0;
}
}  // namespace

CurveKey CurveStore::key(std::size_t i) const {
    CurveKey k;
    k.time = times_[i];
    k.value = values_[i];
    k.inTangent = inType(i);
    k.outTangent = outType(i);
    if (!fixed_.empty()) {
        k.inX = fixed_[i].inX;
        k.inY = fixed_[i].inY;
        k.outX = fixed_[i].outX;
        k.outY = fixed_[i].outY;
    }
    return k;
}

long long CurveStore::lastTicks() const {
    if (!lastTicksKnown_) {
        lastTicks_ = timeTicks(times_.back());
        lastTicksKnown_ = true;
    }
    return lastTicks_;
}

void CurveStore::insert(std::size_t i, const CurveKey& k) {
    if (fixed_.empty() && hasVectors(k)) fixed_.resize(times_.size());
    lastTicksKnown_ = false;
    const std::size_t n = times_.size();
    inTypes_.insert(n, i, static_cast<std::uint8_t>(k.inTangent));
    outTypes_.insert(n, i, static_cast<std::uint8_t>(k.outTangent));
    if (i == n) {
        times_.push_back(k.time);
        values_.push_back(k.value);
        if (!fixed_.empty()) fixed_.push_back(FixedTangents{k.inX, k.inY, k.outX, k.outY});
        return;
    }
    times_.insert(i, k.time);
    values_.insert(i, k.value);
    if (!fixed_.empty())
        fixed_.insert(i, FixedTangents{k.inX, k.inY, k.outX, k.outY});
}

void CurveStore::erase(std::size_t i) {
    lastTicksKnown_ = false;
    times_.erase(i);
    values_.erase(i);
    inTypes_.erase(i);
    outTypes_.erase(i);
    if (!fixed_.empty()) fixed_.erase(i);
}

void CurveStore::sortByTime() {
    std::vector<std::size_t> order(size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return timeTicks(times_[a]) < timeTicks(times_[b]); });
    lastTicksKnown_ = false;
    CurveStore sorted;
    sorted.fixed_.reserve(fixed_.size());
    for (std::size_t i : order) {
        sorted.times_.push_back(times_[i]);
        sorted.values_.push_back(values_[i]);
        if (!fixed_.empty()) sorted.fixed_.push_back(fixed_[i]);
    }
    times_.swap(sorted.times_);
    values_.swap(sorted.values_);
    inTypes_.permute(order);
    outTypes_.permute(order);
    fixed_.swap(sorted.fixed_);
}

CurveData CurveStore::toData() const {
    CurveData d;
    d.type = type;
    d.weighted = weighted;
    d.preInfinity = preInfinity;
    d.postInfinity = postInfinity;
    d.keys.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) d.keys.push_back(key(i));
    return d;
}

void CurveStore::assign(const CurveData& data) {
    type = data.type;
    weighted = data.weighted;
    preInfinity = data.preInfinity;
    postInfinity = data.postInfinity;
    const std::size_t n = data.keys.size();
    times_.resize(n);
    values_.resize(n);
    fixed_.clear();
    lastTicksKnown_ = false;
    const bool vectors = std::any_of(data.keys.begin(), data.keys.end(), hasVectors);
    if (vectors) fixed_.resize(n);
    inTypes_.fill(n ? static_cast<std::uint8_t>(data.keys[0].inTangent) : 0);
    outTypes_.fill(n ? static_cast<std::uint8_t>(data.keys[0].outTangent) : 0);
    for (std::size_t i = 0; i < n; ++i) {
        const CurveKey& k = data.keys[i];
        times_[i] = k.time;
        values_[i] = k.value;
        inTypes_.set(n, i, static_cast<std::uint8_t>(k.inTangent));
        outTypes_.set(n, i, static_cast<std::uint8_t>(k.outTangent));
        if (vectors) fixed_[i] = FixedTangents{k.inX, k.inY, k.outX, k.outY};
    }
    // A later setCurve may shrink a curve a long import grew.
    times_.shrink_to_fit();
    values_.shrink_to_fit();
}

void CurveStore::assign(const CurveColumns& keys) {
    weighted = keys.weighted;
    preInfinity = keys.preInfinity;
    postInfinity = keys.postInfinity;
    const std::size_t n = keys.size;
    times_.clear();
    values_.clear();
    fixed_.clear();
    fixed_.shrink_to_fit();
    lastTicksKnown_ = false;
    times_.resize(n);
    values_.resize(n);
    if (n) {
        std::memcpy(times_.data(), keys.times, n * sizeof(double));
        std::memcpy(values_.data(), keys.values, n * sizeof(double));
    }
    inTypes_.fill(static_cast<std::uint8_t>(keys.inTangent));
    outTypes_.fill(static_cast<std::uint8_t>(keys.outTangent));
    times_.shrink_to_fit();
    values_.shrink_to_fit();
}

unsigned int insertKey(CurveStore& curve, const CurveKey& key) {
    const long long t = timeTicks(key.time);
    std::size_t n = curve.size();
    // Keys usually arrive in time order: check the end before searching.
    std::size_t at = n;
    if (n > 0 && curve.lastTicks() >= t) {
        std::size_t lo = 0, hi = n;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (timeTicks(curve.time(mid)) < t) lo = mid + 1;
            else hi = mid;
        }
        at = lo;
        if (timeTicks(curve.time(at)) == t) {
            curve.setValue(at, key.value);
            return static_cast<unsigned int>(at);
        }
    }
    curve.insert(at, key);
    if (at == n) curve.rememberLastTicks(t);
    return static_cast<unsigned int>(at);
}

}  // namespace detail
}  // namespace qmfhost
