#include "qmfhost/MaWriter.h"

#include "fileio/SafeFile.h"
#include "qmfhost/MaParser.h"
#include "qmfhost/Scene.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <charconv>
#include <map>
#include <sstream>
#include <string_view>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qmfhost::ma {

namespace {

std::string fileName(const std::string& name) { return quote(name); }

// playbackOptions text with the four range flags set, other words kept.
std::string playbackScript(const std::string& old, const Playback& pb, double fps) {
    std::istringstream in(old);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty() || words[0] != "playbackOptions") words.insert(words.begin(), "playbackOptions");
    struct Flag {
        const char* shortName;
        const char* longName;
        const std::optional<double>* value;
    };
    const Flag flags[] = {{"-min", "-minTime", &pb.minTime},
                          {"-max", "-maxTime", &pb.maxTime},
                          {"-ast", "-animationStartTime", &pb.startTime},
                          {"-aet", "-animationEndTime", &pb.endTime}};
    for (const auto& f : flags) {
        if (!*f.value) continue;
        std::string frames = formatFrames(**f.value, fps);
        bool found = false;
        for (std::size_t i = 0; i + 1 < words.size(); ++i) {
            if (words[i] == f.shortName || words[i] == f.longName) {
                words[i + 1] = frames;
                found = true;
            }
        }
        if (!found) {
            words.push_back(f.shortName);
            words.push_back(frames);
        }
    }
    std::string out;
    for (const auto& w : words) out += w + " ";
    return out;
}

// Text out through a buffer, handed on in large pieces; remembers whether
// the last byte was a newline so inserted blocks start on a line of their own.
class Out {
public:
    explicit Out(const TextOut& sink) : sink_(sink) { buf_.resize(kBufferBytes); }
    ~Out() = default;
    void put(std::string_view text) {
        if (text.empty()) return;
        if (text.size() > buf_.size() - used_) {
            flush();
            if (text.size() > buf_.size()) {
                sink_(text.data(), text.size());
                flushed_ += text.size();
                last_ = text.back();
                return;
            }
        }
        std::memcpy(&buf_[used_], text.data(), text.size());
        used_ += text.size();
        last_ = text.back();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    // " " and the number.
    void number(double v) {
        if (buf_.size() - used_ < kNumberCapacity + 1) flush();
        buf_[used_++] = ' ';
        used_ += formatNumber(v, &buf_[used_]);
        last_ = buf_[used_ - 1];
    }
    // " " and a small non-negative integer (tangent codes), without a conversion call.
    void code(int v) {
        if (v < 0 || v > 99) {
            put(' ');
            integer(v);
            return;
        }
        if (buf_.size() - used_ < 4) flush();
        buf_[used_++] = ' ';
        if (v >= 10) buf_[used_++] = static_cast<char>('0' + v / 10);
        buf_[used_++] = static_cast<char>('0' + v % 10);
        last_ = buf_[used_ - 1];
    }
    void integer(long long v) {
        char text[24];
        char* end = std::to_chars(text, text + sizeof text, v).ptr;
        put(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    bool atLineStart() const { return last_ == '\n' || last_ == '\0'; }
    void flush() {
        if (used_) sink_(buf_.data(), used_);
        flushed_ += used_;
        used_ = 0;
    }
    std::size_t written() const { return flushed_ + used_; }

private:
    static constexpr std::size_t kBufferBytes = std::size_t(1) << 20;
    const TextOut& sink_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
    std::size_t flushed_ = 0;
    char last_ = '\0';
};

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

}  // namespace

void writeScene(const Scene& scene, const Edits& edits, const TextOut& sink, const Limits& limits) {
    const double fps = scene.units.framesPerSecond;

    // New node blocks go after the last node block, before the statements
    // that select shared nodes and connect things.
    std::size_t insertAt = scene.chunks.size();
    for (std::size_t i = scene.chunks.size(); i-- > 0;) {
        const Chunk& c = scene.chunks[i];
        if (c.kind == Chunk::Kind::Statement && c.command() == "createNode") {
            insertAt = i + 1;
            for (std::size_t j = i + 1; j < scene.chunks.size(); ++j) {
                const Chunk& d = scene.chunks[j];
                if (d.kind == Chunk::Kind::Statement && d.topLevel) break;
                if (d.kind == Chunk::Kind::Statement) insertAt = j + 1;
            }
            break;
        }
    }
    // Connections and lock changes go after the last statement.
    std::size_t appendAt = 0;
    for (std::size_t i = 0; i < scene.chunks.size(); ++i)
        if (scene.chunks[i].kind == Chunk::Kind::Statement) appendAt = i + 1;
    if (insertAt > appendAt) insertAt = appendAt;

    std::set<std::string> taken;
    for (std::size_t i = 0; i < scene.nodes.size(); ++i)
        if (!edits.deletedNodes.count(static_cast<int>(i))) taken.insert(scene.nodes[i].name);

    // Names and connections first (small); the curves' keys are written
    // straight out when their place comes.
    std::string connections, extraNodes;
    std::vector<std::string> curveNames;
    for (const auto& nc : edits.newCurves) {
        std::string name = nc.name.empty() ? nc.type + "1" : nc.name;
        for (int i = 1; taken.count(name); ++i) name = nc.name + "_" + std::to_string(i);
        taken.insert(name);
        curveNames.push_back(name);
        for (const auto& [node, attr] : nc.destinations)
            connections += "connectAttr " + fileName(name + ".o") + " " + fileName(node + "." + attr) + ";\n";
    }
    std::string playbackLine;
    int playbackChunk = -1;
    if (edits.playback) {
        if (scene.playbackChunk >= 0) {
            playbackChunk = scene.playbackChunk;
            const Chunk& c = scene.chunks[static_cast<std::size_t>(playbackChunk)];
            std::string old;
            std::string indent(c.text.substr(0, c.text.find_first_not_of(" \t")));
            for (std::size_t i = 1; i < c.args.size(); ++i)
                if (c.args[i].quoted && i > 1) old = c.args[i].text;
            // The attribute path is the first quoted argument; the script the last.
            std::string attrPath = ".b";
            for (const auto& a : c.args)
                if (a.quoted) {
                    attrPath = a.text;
                    break;
                }
            playbackLine = indent + "setAttr " + quote(attrPath) + " -type \"string\" " +
                           quote(playbackScript(old, *edits.playback, fps)) + ";\n";
        } else if (scene.configNode >= 0) {
            connections += "setAttr \"sceneConfigurationScriptNode.b\" -type \"string\" " +
                           quote(playbackScript("", *edits.playback, fps)) + ";\n";
        } else {
            extraNodes += "createNode script -n \"sceneConfigurationScriptNode\";\n";
            extraNodes += "\tsetAttr \".b\" -type \"string\" " + quote(playbackScript("", *edits.playback, fps)) + ";\n";
            extraNodes += "\tsetAttr \".st\" 6;\n";
        }
    }
    for (const auto& lc : edits.lockChanges)
        connections += std::string("setAttr -l ") + (lc.locked ? "on" : "off") + " " +
                       fileName(lc.nodePath + "." + lc.attr) + ";\n";

    Out out(sink);
    auto startLine = [&out] {
        if (!out.atLineStart()) out.put('\n');
    };
    for (std::size_t i = 0; i <= scene.chunks.size(); ++i) {
        if (i == insertAt && (!edits.newCurves.empty() || !extraNodes.empty())) {
            startLine();
            for (std::size_t c = 0; c < edits.newCurves.size(); ++c)
                writeCurveNode(out, edits.newCurves[c], curveNames[c], scene.units, limits);
            out.put(extraNodes);
        }
        if (i == appendAt && !connections.empty()) {
            startLine();
            out.put(connections);
        }
        if (i == scene.chunks.size()) break;
        const Chunk& c = scene.chunks[i];
        if (c.kind == Chunk::Kind::Statement) {
            int node = i < scene.chunkNode.size() ? scene.chunkNode[i] : -1;
            if (node >= 0 && edits.deletedNodes.count(node)) continue;
            int conn = i < scene.chunkConnection.size() ? scene.chunkConnection[i] : -1;
            if (conn >= 0) {
                const Connection& k = scene.connections[static_cast<std::size_t>(conn)];
                if (edits.removedConnections.count(conn) || edits.deletedNodes.count(k.src.node) ||
                    edits.deletedNodes.count(k.dst.node))
                    continue;
            }
            if (static_cast<int>(i) == playbackChunk) {
                out.put(playbackLine);
                continue;
            }
        }
        out.put(c.text);
    }
    out.flush();
}

std::string writeScene(const Scene& scene, const Edits& edits) {
    std::string text;
    writeScene(scene, edits, [&text](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    fileio::writeFileAtomically(path, bytes);
}

void writeSceneAtomically(const std::string& path, const Scene& scene, const Edits& edits, const Limits& limits) {
    fileio::TempFile tmp(fileio::checkOutput(path));
    // Never a file the reader would refuse: stopped (and the temporary file
    // removed) at the first byte past its limit.
    const std::size_t limit = limits.maxFileBytes;
    std::size_t total = 0;
    writeScene(scene, edits, [&](const char* data, std::size_t size) {
        total += size;
        if (total > limit)
            throw std::runtime_error(path + ": the scene would be larger than " + std::to_string(limit >> 20) +
                                     " MiB, the most a Maya ASCII file qmf reads may be; nothing was written");
        tmp.write(data, size);
    }, limits);
    tmp.commit();
}

std::size_t keyCount(const NewCurve& nc) {
    if (nc.column) return nc.column->size();
    if (!nc.curve.keys.empty() || nc.source.isNull()) return nc.curve.keys.size();
    return curveKeyCount(nc.source);
}

}  // namespace qmfhost::ma
