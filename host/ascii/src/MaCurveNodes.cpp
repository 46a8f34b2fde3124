// New animation curves as Maya writes them: .tan and .wgt, the key list,
// in and out tangent types where they differ from .tan, fixed tangents.
#include "MaOut.h"

#include "qmfhost/MaParser.h"
#include "qmfhost/Scene.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace qmfhost::ma {

namespace {

// What qmf writes it must read back: a statement (a curve's key list) no
// longer than the reader takes.
void checkStatement(const Out& out, std::size_t start, const std::string& curve, const Limits& limits) {
    const std::size_t limit = limits.maxStatementBytes;
    if (out.written() - start > limit)
        throw std::runtime_error("the keys of curve " + curve + " would make a statement of more than " +
                                 std::to_string(limit >> 20) + " MiB, more than a Maya ASCII file qmf reads may hold; "
                                 "nothing was written");
}

// A new curve's keys in pieces: those it holds, or those still in the host
// curve it came from, read a block at a time so no second copy of a long
// curve is ever made.
class KeyBlocks {
public:
    explicit KeyBlocks(const NewCurve& nc) : nc_(nc) {
        size_ = nc.column ? nc.column->size() : fromHost() ? curveKeyCount(nc.source) : nc.curve.keys.size();
    }
    std::size_t size() const { return size_; }
    // Every key has the curve's tangent type: nothing to look for in them.
    bool uniform() const { return nc_.column != nullptr; }
    // Calls f(key) for every key in order.
    template <typename F>
    void forEach(F&& f) const {
        if (nc_.column) {
            std::vector<double> times(std::min(size_, kBlock)), values(times.size());
            const int type = nc_.curve.tangentType;
            for (std::size_t first = 0; first < size_; first += kBlock) {
                const std::size_t n = std::min(kBlock, size_ - first);
                nc_.column->read(first, n, times.data(), values.data());
                for (std::size_t i = 0; i < n; ++i) f(Key{times[i], values[i], type, type, 0, 0, 0, 0});
            }
            return;
        }
        if (!fromHost()) {
            for (const Key& k : nc_.curve.keys) f(k);
            return;
        }
        CurveKeysView v;
        if (viewCurveKeys(nc_.source, v) && !v.tangentVectors) {
            // Where the host keeps them: no copy at all.
            for (std::size_t i = 0; i < v.size; ++i)
                f(Key{v.times[i], v.values[i], v.inTangents ? v.inTangents[i] : v.inTangent,
                      v.outTangents ? v.outTangents[i] : v.outTangent, 0, 0, 0, 0});
            return;
        }
        CurveData d;
        for (std::size_t first = 0; first < size_; first += kBlock) {
            getCurveKeys(nc_.source, first, kBlock, d);
            for (const CurveKey& c : d.keys) f(Key{c.time, c.value, c.inTangent, c.outTangent, c.inX, c.inY, c.outX, c.outY});
        }
    }

private:
    static constexpr std::size_t kBlock = 4096;
    bool fromHost() const { return nc_.curve.keys.empty() && !nc_.column && !nc_.source.isNull(); }
    const NewCurve& nc_;
    std::size_t size_ = 0;
};

// The curve-wide tangent type is the most common out type, as Maya writes it.
int curveTangentType(const NewCurve& nc, const KeyBlocks& keys) {
    if (!nc.curve.keys.empty() || nc.column || nc.source.isNull()) return nc.curve.tangentType;
    // Host tangent types are small numbers: count them in an array.
    std::size_t counts[32] = {};
    std::map<int, std::size_t> tally;
    keys.forEach([&](const Key& k) {
        if (k.outType >= 0 && k.outType < 32) ++counts[k.outType];
        else ++tally[k.outType];
    });
    for (int t = 0; t < 32; ++t)
        if (counts[t]) tally[t] += counts[t];
    int type = nc.curve.tangentType;
    std::size_t best = 0;
    for (const auto& [t, n] : tally)
        if (n > best) {
            best = n;
            type = t;
        }
    return type;
}

void setAttrHead(Out& out, std::size_t n, const char* attr) {
    out.put("\tsetAttr -s ");
    out.integer(static_cast<long long>(n));
    out.put(" \".");
    out.put(attr);
    out.put("[0:");
    out.integer(static_cast<long long>(n) - 1);
    out.put("]\" ");
}

// .kix .kiy .kox .koy for every key when any side is fixed: other types are
// worked out again from the keys. Written as held: seconds, internal units.
void writeFixedTangents(Out& out, const KeyBlocks& keys) {
    bool anyFixed = false;
    if (!keys.uniform()) keys.forEach([&](const Key& k) { anyFixed = anyFixed || k.inType == 1 || k.outType == 1; });
    if (!anyFixed) return;
    const struct {
        const char* attr;
        double Key::*part;
    } parts[] = {{"kix", &Key::inX}, {"kiy", &Key::inY}, {"kox", &Key::outX}, {"koy", &Key::outY}};
    for (const auto& p : parts) {
        setAttrHead(out, keys.size(), p.attr);
        keys.forEach([&](const Key& k) { out.number(k.*(p.part)); });
        out.put(";\n");
    }
}

}  // namespace

void writeCurveNode(Out& out, const NewCurve& nc, const std::string& name, const Units& units, const Limits& limits) {
    const Curve& cv = nc.curve;
    const KeyBlocks keys(nc);
    const double fps = units.framesPerSecond;
    const double factor = cv.kind == 'A' ? units.angleToRadians : cv.kind == 'L' ? units.linearToCm : cv.kind == 'T' ? 1.0 / fps : 1.0;
    out.put("createNode " + nc.type + " -n " + fileName(name) + ";\n");
    const int tan = tangentToFileCode(curveTangentType(nc, keys));
    out.put("\tsetAttr \".tan\" ");
    out.integer(tan);
    out.put(";\n");
    out.put(std::string("\tsetAttr \".wgt\" ") + (cv.weighted ? "yes" : "no") + ";\n");
    if (keys.size() > 0) {
        const std::size_t start = out.written();
        setAttrHead(out, keys.size(), "ktv");
        keys.forEach([&](const Key& k) {
            out.number(k.time * fps);
            out.number(k.value / factor);
        });
        out.put(";\n");
        checkStatement(out, start, name, limits);
        // Keys without their own entry take .tan: a list that only repeats
        // it is left out, as Maya leaves it out.
        bool inDiffers = false, outDiffers = false;
        if (!keys.uniform()) keys.forEach([&](const Key& k) {
            inDiffers = inDiffers || tangentToFileCode(k.inType) != tan;
            outDiffers = outDiffers || tangentToFileCode(k.outType) != tan;
        });
        if (inDiffers) {
            setAttrHead(out, keys.size(), "kit");
            keys.forEach([&](const Key& k) { out.code(tangentToFileCode(k.inType)); });
            out.put(";\n");
        }
        if (outDiffers) {
            setAttrHead(out, keys.size(), "kot");
            keys.forEach([&](const Key& k) { out.code(tangentToFileCode(k.outType)); });
            out.put(";\n");
        }
        writeFixedTangents(out, keys);
    }
    if (cv.preInfinity) out.put("\tsetAttr \".pre\" " + std::to_string(cv.preInfinity) + ";\n");
    if (cv.postInfinity) out.put("\tsetAttr \".pst\" " + std::to_string(cv.postInfinity) + ";\n");
}


}  // namespace qmfhost::ma
