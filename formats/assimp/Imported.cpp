#include "Imported.h"

#include <cmath>
#include <cstring>

namespace qmf::formats::assimp {

namespace {

constexpr uint32_t kMagic = 0x31464D51;  // "QMF1"

class Out {
public:
    explicit Out(const std::function<void(const char*, std::size_t)>& sink) : sink_(sink) {}
    template <class T>
    void pod(const T& v) { sink_(reinterpret_cast<const char*>(&v), sizeof v); }
    void text(const std::string& t) {
        pod(static_cast<uint64_t>(t.size()));
        sink_(t.data(), t.size());
    }
    template <class T>
    void array(const std::vector<T>& v) {
        pod(static_cast<uint64_t>(v.size()));
        sink_(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
    }

private:
    const std::function<void(const char*, std::size_t)>& sink_;
};

class In {
public:
    In(const char* data, std::size_t size) : d_(data), n_(size) {}
    template <class T>
    T pod() {
        T v{};
        need(sizeof v);
        std::memcpy(&v, d_ + at_, sizeof v);
        at_ += sizeof v;
        return v;
    }
    // A count of items of `each` bytes, checked against what is left.
    std::size_t count(std::size_t each) {
        const uint64_t n = pod<uint64_t>();
        if (each && n > (n_ - at_) / each) fail();
        return static_cast<std::size_t>(n);
    }
    std::string text() {
        const std::size_t n = count(1);
        std::string t(d_ + at_, n);
        at_ += n;
        return t;
    }
    template <class T>
    std::vector<T> array() {
        const std::size_t n = count(sizeof(T));
        std::vector<T> v(n);
        if (n) std::memcpy(v.data(), d_ + at_, n * sizeof(T));
        at_ += n * sizeof(T);
        return v;
    }
    bool done() const { return at_ == n_; }
    [[noreturn]] static void fail() { throw ImportedError{"the reader's answer is damaged"}; }

private:
    void need(std::size_t n) const {
        if (n > n_ - at_) fail();
    }
    const char* d_;
    std::size_t n_;
    std::size_t at_ = 0;
};

}  // namespace

std::string encode(const Imported& m) {
    std::string s;
    s.reserve(encodedSize(m));
    encodeTo(m, [&](const char* d, std::size_t n) { s.append(d, n); });
    return s;
}

std::size_t encodedSize(const Imported& m) {
    std::size_t n = 0;
    encodeTo(m, [&](const char*, std::size_t k) { n += k; });
    return n;
}

void encodeTo(const Imported& m, const std::function<void(const char*, std::size_t)>& sink) {
    Out out(sink);
    out.pod(kMagic);
    out.pod(static_cast<uint64_t>(m.joints.size()));
    for (const ImportedJoint& j : m.joints) {
        out.text(j.name);
        out.pod(j.parent);
        out.pod(j.offset);
        out.pod(j.rest);
        out.pod(j.keyed);
    }
    out.pod(static_cast<uint64_t>(m.takes.size()));
    for (const Take& t : m.takes) {
        out.text(t.name);
        out.pod(t.seconds);
        out.pod(t.rate);
        out.pod(t.frames);
    }
    out.pod(m.take);
    out.pod(m.frameTime);
    out.pod(m.frames);
    out.array(m.rotations);
    out.array(m.rootPosition);
    for (const auto* lines : {&m.notes, &m.warnings}) {
        out.pod(static_cast<uint64_t>(lines->size()));
        for (const std::string& l : *lines) out.text(l);
    }
}

Imported decode(const std::string& bytes) { return decode(bytes.data(), bytes.size()); }

Imported decode(const char* data, std::size_t size) {
    In in(data, size);
    if (in.pod<uint32_t>() != kMagic) In::fail();
    Imported m;
    // A joint takes at least its name's size and 60 bytes of numbers.
    m.joints.resize(in.count(8 + 4 + 24 + 32 + 1));
    for (std::size_t i = 0; i < m.joints.size(); ++i) {
        ImportedJoint& j = m.joints[i];
        j.name = in.text();
        j.parent = in.pod<int32_t>();
        j.offset = in.pod<std::array<double, 3>>();
        j.rest = in.pod<std::array<double, 4>>();
        j.keyed = in.pod<uint8_t>();
        if (j.parent < -1 || j.parent >= static_cast<int32_t>(i) || (j.parent == -1) != (i == 0)) In::fail();
    }
    m.takes.resize(in.count(8 + 8 + 8 + 4));
    for (Take& t : m.takes) {
        t.name = in.text();
        t.seconds = in.pod<double>();
        t.rate = in.pod<double>();
        t.frames = in.pod<uint32_t>();
    }
    m.take = in.pod<int32_t>();
    m.frameTime = in.pod<double>();
    m.frames = in.pod<uint32_t>();
    m.rotations = in.array<float>();
    m.rootPosition = in.array<float>();
    for (auto* lines : {&m.notes, &m.warnings}) {
        lines->resize(in.count(8));
        for (std::string& l : *lines) l = in.text();
    }
    const std::size_t n = m.joints.size();
    if (!in.done() || n == 0 || m.take < -1 || m.take >= static_cast<int32_t>(m.takes.size()) ||
        m.rotations.size() % (n * 4) != 0 || m.rotations.size() / (n * 4) != m.frames ||
        m.rootPosition.size() != std::size_t(m.frames) * 3 ||
        !(m.frameTime > 0) || !std::isfinite(m.frameTime))
        In::fail();
    return m;
}

}  // namespace qmf::formats::assimp
