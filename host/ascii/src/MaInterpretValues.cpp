// The interpreter's values: setAttr on transforms, joints and curves,
// animation-curve keys and tangents, the current time and the playback range.
#include "MaInterpreter.h"

#include "MaPlacement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>

namespace qmfhost::ma::detail {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

AttrRef parseAttr(const std::string& text, int line) {
    AttrRef r;
    std::size_t dot = text.find('.');
    if (dot == std::string::npos) throw ParseError(line, "attribute name without '.': " + text);
    r.node = text.substr(0, dot);
    std::string attr = text.substr(dot + 1);
    std::size_t br = attr.find('[');
    if (br != std::string::npos && attr.find('.') == std::string::npos && attr.back() == ']') {
        std::string idx = attr.substr(br + 1, attr.size() - br - 2);
        attr = attr.substr(0, br);
        std::size_t colon = idx.find(':');
        char* end = nullptr;
        std::string a = idx.substr(0, colon);
        long long first = std::strtoll(a.c_str(), &end, 10);
        bool ok = !a.empty() && end == a.c_str() + a.size();
        long long last = first;
        if (colon != std::string::npos) {
            std::string b = idx.substr(colon + 1);
            last = std::strtoll(b.c_str(), &end, 10);
            ok = ok && !b.empty() && end == b.c_str() + b.size();
        }
        if (ok && first >= 0 && last >= first && last < std::numeric_limits<int>::max()) {
            r.ranged = true;
            r.first = static_cast<long>(first);
            r.last = static_cast<long>(last);
        } else if (!ok) {
            attr = text.substr(dot + 1);  // not a simple index: keep whole
        } else {
            throw ParseError(line, "bad index range in " + text);
        }
    }
    r.name = canonicalAttr(attr);
    return r;
}

void Interpreter::setAttr(const Chunk& c) {
    std::string attrText;
    bool haveAttr = false;
    std::optional<double> lock;
    std::string type;
    // Kept between statements: one setAttr per value line would otherwise allocate it anew.
    Values& values = values_;
    values.args.clear();
    values.run = nullptr;
    // The arguments in order, the run's numbers among them. A run's number
    // before the attribute (or a flag's value) is read as an argument; once
    // values have begun, the rest of the run is values.
    const std::size_t count = c.argCount();
    const std::size_t runEnd = c.runAt + c.runCount;
    auto argAt = [&](std::size_t i) -> const Arg& {
        if (i < c.runAt) return c.args[i];
        if (i >= runEnd) return c.args[i - c.runCount];
        runArg_.quoted = false;
        forEachRunToken(c, i - c.runAt, [&, first = true](std::string_view t) mutable {
            if (first) runArg_.text.assign(t);
            first = false;
        });
        return runArg_;
    };
    for (std::size_t i = 1; i < count; ++i) {
        if (haveAttr && c.runCount && i >= c.runAt && i < runEnd) {
            values.run = &c;
            values.runFrom = i - c.runAt;
            values.runAt = values.args.size();
            i = runEnd - 1;
            continue;
        }
        const Arg& a = argAt(i);
        if (a.isFlag()) {
            const std::string& f = a.text;
            bool takesValue = f == "-l"sv || f == "-lock"sv || f == "-k"sv || f == "-keyable"sv || f == "-cb"sv ||
                              f == "-channelBox"sv || f == "-s"sv || f == "-size"sv || f == "-type"sv ||
                              f == "-typ"sv || f == "-ca"sv || f == "-caching"sv || f == "-ch"sv ||
                              f == "-capacityHint"sv;
            if (takesValue) {
                if (i + 1 >= count) throw ParseError(c.line, "setAttr flag " + f + " without a value");
                const std::string flag = f;  // argAt may reuse the argument f is in
                const Arg& v = argAt(++i);
                if (flag == "-l"sv || flag == "-lock"sv) {
                    lock = v.number();
                    if (!lock) throw ParseError(c.line, "setAttr -l needs on or off, not " + v.text);
                } else if (flag == "-type"sv || flag == "-typ"sv) {
                    type = v.text;
                }
            }
            continue;
        }
        if (!haveAttr) {
            attrText = a.text;
            haveAttr = true;
        } else {
            values.args.push_back(&a);
        }
    }
        if (!haveAttr) throw ParseError(c.line, "setAttr without an attribute");
    AttrRef ref = parseAttr(attrText, c.line);
    int node = current_;
    if (!ref.node.empty()) {
        if (ref.name == "o"sv && isTimeNode(ref.node, "")) return currentTime(values, c.line);
        node = s_.find(ref.node);
        if (node < 0) return;  // a node this file does not create (kept as text)
    } else {
        if (c.topLevel && current_ < 0) throw ParseError(c.line, "setAttr with no current node");
        if (node < 0) return;
        s_.chunkNode[chunk_] = node;
    }
    Node& n = s_.nodes[node];
    if (lock) applyLock(n, ref.name, *lock != 0.0);
    if (values.empty()) return;
    if (n.curve) {
        curveAttr(node, ref, values, c.line);
        return;
    }
    if (ref.name == "o"sv && isTimeNode(n.name, n.type)) return currentTime(values, c.line);
    if (ref.name == "cf"sv && n.type == "unitConversion"sv) {
        const auto& v = numbers(values, c.line);
        if (v.size() != 1) throw ParseError(c.line, ".cf needs one value");
        n.conversionFactor = finite(v[0], c.line);
        return;
    }
    if (node == s_.configNode && ref.name == "b"sv && values.single() && values.single()->quoted) {
        playback(values.single()->text, c.line);
        s_.playbackChunk = static_cast<int>(chunk_);
        return;
    }
    transformAttr(n, ref, values, type, c.line);
}

bool Interpreter::isTimeNode(const std::string& name, const std::string& type) {
    std::string s = shortName(name);
    return s == "time1"sv && (type.empty() || type == "time"sv);
}

void Interpreter::currentTime(const Values& values, int line) {
    const auto& v = numbers(values, line);
    if (v.size() != 1) throw ParseError(line, "time1.o needs one value");
    s_.currentTime = finite(v[0] / s_.units.framesPerSecond, line);
}

void Interpreter::applyLock(Node& n, const std::string& attr, bool on) {
    static const std::map<std::string, std::vector<std::string>> groups = {
        {"t", {"tx", "ty", "tz"}}, {"r", {"rx", "ry", "rz"}}, {"s", {"sx", "sy", "sz"}}, {"jo", {"jox", "joy", "joz"}}};
    std::vector<std::string> names;
    auto g = groups.find(attr);
    if (g != groups.end()) names = g->second;
    else names.push_back(attr);
    for (const auto& a : names) {
        if (on) n.locked.insert(a);
        else n.locked.erase(a);
    }
}

const std::vector<double>& Interpreter::numbers(const Values& values, int line) {
    std::vector<double>& out = numbers_;
    out.clear();
    out.reserve(values.size());
    auto arg = [&](const Arg* a) {
        auto v = a->number();
        if (!v) throw ParseError(line, "expected a number, found '" + a->text + "'");
        out.push_back(*v);
    };
    const std::size_t before = values.run ? values.runAt : values.args.size();
    for (std::size_t i = 0; i < before; ++i) arg(values.args[i]);
    std::string bad;
    if (values.run && !appendRunNumbers(*values.run, values.runFrom, out, bad))
        throw ParseError(line, "expected a number, found '" + bad + "'");
    for (std::size_t i = before; i < values.args.size(); ++i) arg(values.args[i]);
    return out;
}

void Interpreter::transformAttr(Node& n, const AttrRef& ref, const Values& values, const std::string& type,
                   int line) {
    const std::string& a = ref.name;
    double lin = s_.units.linearToCm, ang = s_.units.angleToRadians;
    auto compound = [&](std::optional<Vec3>& slot, double factor) {
        if (!type.empty() && type != "double3"sv && type != "float3"sv) return;
        const auto& v = numbers(values, line);
        if (v.size() != 3) throw ParseError(line, "." + a + " needs three values, found " + std::to_string(v.size()));
        slot = Vec3{finite(v[0] * factor, line), finite(v[1] * factor, line), finite(v[2] * factor, line)};
    };
    auto single = [&](std::optional<Vec3>& slot, int axis, double factor, Vec3 defaults) {
        const auto& v = numbers(values, line);
        if (v.size() != 1) throw ParseError(line, "." + a + " needs one value");
        if (!slot) slot = defaults;
        (*slot)[axis] = finite(v[0] * factor, line);
    };
    const Vec3 zero{0, 0, 0}, one{1, 1, 1};
    if (a == "t"sv) compound(n.translate, lin);
    else if (a == "r"sv) compound(n.rotate, ang);
    else if (a == "s"sv) compound(n.scale, 1.0);
    else if (a == "jo"sv) compound(n.jointOrient, ang);
    else if (a == "tx"sv || a == "ty"sv || a == "tz"sv) single(n.translate, a[1] - 'x', lin, zero);
    else if (a == "rx"sv || a == "ry"sv || a == "rz"sv) single(n.rotate, a[1] - 'x', ang, zero);
    else if (a == "sx"sv || a == "sy"sv || a == "sz"sv) single(n.scale, a[1] - 'x', 1.0, one);
    else if (a == "jox"sv || a == "joy"sv || a == "joz"sv) single(n.jointOrient, a[2] - 'x', ang, zero);
    else if (n.type == "joint"sv && a == "is"sv) compound(n.inverseScale, 1.0);
    else if (n.type == "joint"sv && (a == "isx"sv || a == "isy"sv || a == "isz"sv)) single(n.inverseScale, a[2] - 'x', 1.0, one);
    else if (n.type == "joint"sv && a == "ssc"sv) {
        const auto& v = numbers(values, line);
        if (v.size() != 1) throw ParseError(line, ".ssc needs one value");
        n.segmentScaleCompensate = v[0] != 0.0;
    } else if (a == "ro"sv) {
        const auto& v = numbers(values, line);
        if (v.size() != 1 || v[0] < 0 || v[0] > 5 || v[0] != std::floor(v[0]))
            throw ParseError(line, "rotate order must be 0 to 5");
        n.rotateOrder = static_cast<int>(v[0]);
    }
}

double Interpreter::finite(double v, int line) {
    if (!std::isfinite(v)) throw ParseError(line, "value out of range once converted to internal units");
    return v;
}

int Interpreter::intValue(double v, int line) {
    if (v != std::floor(v) || v < -1e6 || v > 1e6) throw ParseError(line, "expected an integer code");
    return static_cast<int>(v);
}

void Interpreter::curveAttr(int node, const AttrRef& ref, const Values& values, int line) {
    Curve& cv = *s_.nodes[node].curve;
    PendingCurve& p = pending_[node];
    const std::string& a = ref.name;
    if (a == "tan"sv) {
        cv.tangentType = tangentFromFileCode(intValue(numbers(values, line).at(0), line));
    } else if (a == "wgt"sv) {
        cv.weighted = numbers(values, line).at(0) != 0.0;
    } else if (a == "pre"sv || a == "pst"sv) {
        int v = intValue(numbers(values, line).at(0), line);
        // Constant 0, linear 1, cycle 3, cycle with offset 4, oscillate 5.
        if (v < 0 || v > 5 || v == 2) throw ParseError(line, "unknown infinity type " + std::to_string(v));
        (a == "pre"sv ? cv.preInfinity : cv.postInfinity) = v;
    } else if (a == "ktv"sv || a == "kit"sv || a == "kot"sv || a == "kix"sv || a == "kiy"sv || a == "kox"sv || a == "koy"sv) {
        const auto& v = numbers(values, line);
        long first = ref.ranged ? ref.first : 0;
        std::size_t per = a == "ktv"sv ? 2 : 1;
        std::size_t count = ref.ranged ? static_cast<std::size_t>(ref.last - ref.first + 1) : v.size() / per;
        if (v.size() != count * per)
            throw ParseError(line, "." + a + " lists " + std::to_string(v.size()) + " values for " +
                                       std::to_string(count) + " keys");
        double spf = 1.0 / s_.units.framesPerSecond;
        double factor = cv.kind == 'A' ? s_.units.angleToRadians : cv.kind == 'L' ? s_.units.linearToCm
                      : cv.kind == 'T' ? spf : 1.0;
        if (a == "ktv"sv) {
            p.times.expect(first, count);
            p.values.expect(first, count);
            for (std::size_t k = 0; k < count; ++k) {
                const long idx = first + static_cast<long>(k);
                const double t = finite(v[2 * k] * spf, line);
                const double x = finite(v[2 * k + 1] * factor, line);
                p.times[idx] = t;
                p.values[idx] = x;
            }
        } else if (a == "kit"sv || a == "kot"sv) {
            Indexed<std::uint8_t>& types = a == "kit"sv ? p.kit : p.kot;
            types.expect(first, count);
            for (std::size_t k = 0; k < count; ++k)
                types[first + static_cast<long>(k)] = static_cast<std::uint8_t>(tangentFromFileCode(intValue(v[k], line)));
        } else {
            Indexed<double>& part = tangentPart(p, a);
            part.expect(first, count);
            for (std::size_t k = 0; k < count; ++k)
                part[first + static_cast<long>(k)] = finite(v[k], line);  // already seconds and internal units
        }
    }
}

Indexed<double>& Interpreter::tangentPart(PendingCurve& p, const std::string& a) {
    return a == "kix"sv ? p.kix : a == "kiy"sv ? p.kiy : a == "kox"sv ? p.kox : p.koy;
}

void Interpreter::finishCurves() {
    for (auto it = pending_.begin(); it != pending_.end(); it = pending_.erase(it)) {
        PendingCurve& p = it->second;
        Curve& cv = *s_.nodes[it->first].curve;
        // The keys' indices, in order: 0 to n - 1 unless the file skipped some.
        std::vector<long> sparseIndices;
        const std::size_t n = p.times.size();
        if (p.times.sparse()) {
            sparseIndices.reserve(n);
            p.times.forEach([&](long idx, double) { sparseIndices.push_back(idx); });
            std::vector<double> times, values;
            times.reserve(n);
            values.reserve(n);
            p.times.forEach([&](long, double t) { times.push_back(t); });
            p.values.forEach([&](long, double v) { values.push_back(v); });
            cv.keys.assign(std::move(times), std::move(values), cv.tangentType, cv.tangentType);
        } else {
            // Taken over as they are: no copy of a long curve.
            cv.keys.assign(p.times.take(), p.values.take(), cv.tangentType, cv.tangentType);
        }
        auto index = [&](std::size_t k) { return sparseIndices.empty() ? static_cast<long>(k) : sparseIndices[k]; };
        if (!p.kit.empty() || !p.kot.empty())
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint8_t* in = p.kit.find(index(k));
                const std::uint8_t* out = p.kot.find(index(k));
                cv.keys.setTypes(k, in ? *in : cv.tangentType, out ? *out : cv.tangentType);
            }
        if (!p.kix.empty() || !p.kiy.empty() || !p.kox.empty() || !p.koy.empty())
            for (std::size_t k = 0; k < n; ++k) {
                auto part = [idx = index(k)](const Indexed<double>& m) {
                    const double* v = m.find(idx);
                    return v ? *v : 0.0;
                };
                cv.keys.setVectors(k, part(p.kix), part(p.kiy), part(p.kox), part(p.koy));
            }
        cv.keys.sortByTime();
    }
}

void Interpreter::playback(const std::string& script, int line) {
    std::istringstream in(script);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    double spf = 1.0 / s_.units.framesPerSecond;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& f = words[i];
        std::optional<double>* slot = nullptr;
        if (f == "-min"sv || f == "-minTime"sv) slot = &s_.playback.minTime;
        else if (f == "-max"sv || f == "-maxTime"sv) slot = &s_.playback.maxTime;
        else if (f == "-ast"sv || f == "-animationStartTime"sv) slot = &s_.playback.startTime;
        else if (f == "-aet"sv || f == "-animationEndTime"sv) slot = &s_.playback.endTime;
        if (!slot || i + 1 >= words.size()) continue;
        Arg v{words[++i], false};
        auto num = v.number();
        if (!num) throw ParseError(line, "playbackOptions " + f + " needs a number");
        *slot = finite(*num * spf, line);
    }
}

}  // namespace qmfhost::ma::detail
