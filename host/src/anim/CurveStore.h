// Private to the host library: how a curve node keeps its keys. Times and
// values sit in their own contiguous arrays and tangent types in one byte
// each (one for the curve while all keys share them), so a long
// motion-capture curve costs about 16 bytes a key; tangent
// vectors are only kept for curves where some key has a fixed side.
// CurveData (qmfhost/Scene.h) stays the form keys are handed in and out.
#ifndef QMFHOST_SRC_ANIM_CURVESTORE_H
#define QMFHOST_SRC_ANIM_CURVESTORE_H

#include <qmfhost/Animation.h>
#include <qmfhost/Scene.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace qmfhost {
namespace detail {

// A growable array of plain values that grows with realloc: a long curve's
// arrays are large blocks the C library can move by remapping pages, so
// growing them neither copies the keys nor touches their memory again.
template <class T>
class PodArray {
    static_assert(std::is_trivially_copyable<T>::value, "PodArray holds plain values only");

public:
    PodArray() = default;
    PodArray(const PodArray& o) { assignFrom(o.data_, o.size_); }
    PodArray(PodArray&& o) noexcept { swap(o); }
    PodArray& operator=(const PodArray& o) {
        if (this != &o) assignFrom(o.data_, o.size_);
        return *this;
    }
    PodArray& operator=(PodArray&& o) noexcept {
        swap(o);
        return *this;
    }
    ~PodArray() { std::free(data_); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    const T& back() const { return data_[size_ - 1]; }

    void push_back(const T& v) {
        if (size_ == capacity_) grow(size_ + 1);
        data_[size_++] = v;
    }
    void insert(std::size_t i, const T& v) {
        if (size_ == capacity_) grow(size_ + 1);
        std::memmove(data_ + i + 1, data_ + i, (size_ - i) * sizeof(T));
        data_[i] = v;
        ++size_;
    }
    void erase(std::size_t i) {
        std::memmove(data_ + i, data_ + i + 1, (size_ - i - 1) * sizeof(T));
        --size_;
    }
    // New elements are value-initialised, as std::vector's are.
    void resize(std::size_t n) {
        if (n > capacity_) reallocate(n);
        for (std::size_t i = size_; i < n; ++i) data_[i] = T();
        size_ = n;
    }
    void reserve(std::size_t n) {
        if (n > capacity_) reallocate(n);
    }
    void clear() { size_ = 0; }
    void shrink_to_fit() {
        if (size_ == 0) {
            std::free(data_);
            data_ = nullptr;
            capacity_ = 0;
        } else if (size_ < capacity_) {
            reallocate(size_);
        }
    }
    void swap(PodArray& o) noexcept {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
    }

private:
    void grow(std::size_t atLeast) {
        std::size_t n = capacity_ < 8 ? 8 : capacity_ * 2;
        if (n < atLeast) n = atLeast;
        reallocate(n);
    }
    void reallocate(std::size_t n) {
        if (n > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T)) throw std::bad_alloc();
        void* p = std::realloc(data_, n * sizeof(T));
        if (!p) throw std::bad_alloc();
        data_ = static_cast<T*>(p);
        capacity_ = n;
    }
    void assignFrom(const T* src, std::size_t n) {
        if (n > capacity_) reallocate(n);
        if (n) std::memcpy(data_, src, n * sizeof(T));
        size_ = n;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// One tangent type per key, held as a single value while every key has the
// same one: a long curve's keys nearly always do, and two bytes a key were a
// tenth of a long scene's memory.
class TypeColumn {
public:
    std::uint8_t at(std::size_t i) const { return each_.empty() ? all_ : each_[i]; }
    // Null while every key has the same type (all()).
    const std::uint8_t* data() const { return each_.empty() ? nullptr : each_.data(); }
    std::uint8_t all() const { return all_; }
    // For a column of n keys.
    void set(std::size_t n, std::size_t i, std::uint8_t t) {
        if (each_.empty()) {
            if (t == all_) return;
            spread(n);
        }
        each_[i] = t;
    }
    void insert(std::size_t n, std::size_t i, std::uint8_t t) {
        if (each_.empty()) {
            if (n == 0) all_ = t;
            if (t == all_) return;
            spread(n);
        }
        each_.insert(i, t);
    }
    void erase(std::size_t i) {
        if (!each_.empty()) each_.erase(i);
    }
    void fill(std::uint8_t t) {
        all_ = t;
        each_.clear();
        each_.shrink_to_fit();
    }
    // Key i becomes key order[i]'s.
    void permute(const std::vector<std::size_t>& order) {
        if (each_.empty()) return;
        PodArray<std::uint8_t> next;
        next.reserve(order.size());
        for (std::size_t i : order) next.push_back(each_[i]);
        each_.swap(next);
    }

private:
    void spread(std::size_t n) {
        each_.resize(n);
        if (n) std::memset(each_.data(), all_, n);
    }
    std::uint8_t all_ = 0;
    PodArray<std::uint8_t> each_;   // empty, or one per key
};

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
    MFnAnimCurve::TangentType inType(std::size_t i) const { return static_cast<MFnAnimCurve::TangentType>(inTypes_.at(i)); }
    MFnAnimCurve::TangentType outType(std::size_t i) const { return static_cast<MFnAnimCurve::TangentType>(outTypes_.at(i)); }
    // Zero vectors when the curve keeps none.
    FixedTangents fixed(std::size_t i) const { return fixed_.empty() ? FixedTangents{} : fixed_[i]; }
    bool hasFixed() const { return !fixed_.empty(); }
    const double* timeData() const { return times_.data(); }
    const double* valueData() const { return values_.data(); }
    // The types of every key, or null while all keys have inTypes().all().
    const TypeColumn& inTypes() const { return inTypes_; }
    const TypeColumn& outTypes() const { return outTypes_; }

    CurveKey key(std::size_t i) const;
    void setValue(std::size_t i, double v) { values_[i] = v; }
    void setTime(std::size_t i, double t) {
        times_[i] = t;
        lastTicksKnown_ = false;
    }
    void setInType(std::size_t i, MFnAnimCurve::TangentType t) { inTypes_.set(size(), i, static_cast<std::uint8_t>(t)); }
    void setOutType(std::size_t i, MFnAnimCurve::TangentType t) { outTypes_.set(size(), i, static_cast<std::uint8_t>(t)); }

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
    // The same, from columns with one pair of tangent types (not fixed).
    void assign(const CurveColumns& keys);

private:
    PodArray<double> times_;    // seconds
    PodArray<double> values_;   // internal units
    TypeColumn inTypes_, outTypes_;
    PodArray<FixedTangents> fixed_;   // empty, or one per key
    mutable long long lastTicks_ = 0;
    mutable bool lastTicksKnown_ = false;
};

// Inserts or replaces by time; returns the key's index.
unsigned int insertKey(CurveStore& curve, const CurveKey& key);

// Evaluation of stored curves, by the same rules as the CurveData forms in
// qmfhost/Animation.h.
KeyTangents keyTangents(const CurveStore& curve, std::size_t index);
double evaluateCurve(const CurveStore& curve, double seconds);
// The same, starting the search for the segment at `cursor` and leaving it
// where it ended: reads at rising times then take constant time.
double evaluateCurve(const CurveStore& curve, double seconds, std::size_t& cursor);

}  // namespace detail
}  // namespace qmfhost

#endif
