#include "qmfhost/MaScene.h"

#include "MaInterpreter.h"
#include "fileio/SafeFile.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

namespace qmfhost::ma {

namespace {

// Bit for bit, so a -0 vector is kept as written.
bool zeroVector(const std::array<double, 4>& v) {
    static const std::array<double, 4> zero{};
    return std::memcmp(v.data(), zero.data(), sizeof zero) == 0;
}

}  // namespace

Key KeyList::operator[](std::size_t i) const {
    Key k;
    k.time = times_[i];
    k.value = values_[i];
    k.inType = inTypes_.empty() ? inType_ : inTypes_[i];
    k.outType = outTypes_.empty() ? outType_ : outTypes_[i];
    if (!vectors_.empty()) {
        k.inX = vectors_[i][0];
        k.inY = vectors_[i][1];
        k.outX = vectors_[i][2];
        k.outY = vectors_[i][3];
    }
    return k;
}

void KeyList::reserve(std::size_t n) {
    times_.reserve(n);
    values_.reserve(n);
}

void KeyList::push_back(const Key& k) {
    if (times_.empty()) {
        inType_ = k.inType;
        outType_ = k.outType;
    }
    times_.push_back(k.time);
    values_.push_back(k.value);
    if (!inTypes_.empty() || !outTypes_.empty()) {
        inTypes_.push_back(inType_);
        outTypes_.push_back(outType_);
    }
    if (!vectors_.empty()) vectors_.push_back({});
    setTypes(times_.size() - 1, k.inType, k.outType);
    setVectors(times_.size() - 1, k.inX, k.inY, k.outX, k.outY);
}

void KeyList::assign(std::vector<double> times, std::vector<double> values, int inType, int outType) {
    times_ = std::move(times);
    values_ = std::move(values);
    inType_ = inType;
    outType_ = outType;
    inTypes_.clear();
    outTypes_.clear();
    vectors_.clear();
}

void KeyList::setTypes(std::size_t i, int inType, int outType) {
    if (inTypes_.empty() && inType == inType_ && outType == outType_) return;
    if (inTypes_.empty()) {
        inTypes_.assign(times_.size(), inType_);
        outTypes_.assign(times_.size(), outType_);
    }
    inTypes_[i] = inType;
    outTypes_[i] = outType;
}

void KeyList::setVectors(std::size_t i, double inX, double inY, double outX, double outY) {
    const std::array<double, 4> v{inX, inY, outX, outY};
    if (vectors_.empty()) {
        if (zeroVector(v)) return;
        vectors_.assign(times_.size(), {});
    }
    vectors_[i] = v;
}

void KeyList::sortByTime() {
    if (std::is_sorted(times_.begin(), times_.end())) return;
    std::vector<std::size_t> order(times_.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) { return times_[a] < times_[b]; });
    auto apply = [&order](auto& column) {
        if (column.empty()) return;
        auto sorted = column;
        for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = column[order[i]];
        column.swap(sorted);
    };
    apply(times_);
    apply(values_);
    apply(inTypes_);
    apply(outTypes_);
    apply(vectors_);
}

void KeyList::release() {
    std::vector<double>().swap(times_);
    std::vector<double>().swap(values_);
    std::vector<int>().swap(inTypes_);
    std::vector<int>().swap(outTypes_);
    std::vector<std::array<double, 4>>().swap(vectors_);
}

namespace detail {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

void Interpreter::run() {
    s_.chunkNode.assign(s_.chunks.size(), -1);
    s_.chunkConnection.assign(s_.chunks.size(), -1);
    // Sized once: growing the node list and its indexes would move and
    // rehash every node several times over in a large rig.
    std::size_t created = 0, connected = 0;
    for (const Chunk& c : s_.chunks) {
        if (c.kind != Chunk::Kind::Statement || c.args.empty()) continue;
        if (c.args[0].text == "createNode"sv) ++created;
        else if (c.args[0].text == "connectAttr"sv) ++connected;
    }
    s_.reserveNodes(created);
    s_.dagEvents.reserve(created);
    s_.connections.reserve(connected);
    disconnected_.reserve(connected);
    for (std::size_t i = 0; i < s_.chunks.size(); ++i) {
        const Chunk& c = s_.chunks[i];
        if (c.kind != Chunk::Kind::Statement || c.args.empty()) continue;
        chunk_ = i;
        statement(c);
    }
    finishCurves();
    dropDisconnected();
}

void Interpreter::statement(const Chunk& c) {
    const std::string& cmd = c.command();
    if (cmd == "createNode"sv) {
        createNode(c);
    } else if (cmd == "setAttr"sv) {
        setAttr(c);
    } else if (cmd == "addAttr"sv || cmd == "lockNode"sv) {
        if (!c.topLevel && current_ >= 0) s_.chunkNode[chunk_] = current_;
    } else if (cmd == "rename"sv) {
        rename(c);
    } else if (cmd == "select"sv) {
        select(c);
    } else if (cmd == "currentUnit"sv) {
        for (std::size_t i = 1; i + 1 < c.args.size(); i += 2)
            if (!applyUnitFlag(s_.units, c.args[i].text, c.args[i + 1].text))
                throw ParseError(c.line, "unknown unit " + c.args[i + 1].text + " for " + c.args[i].text);
    } else if (cmd == "parent"sv) {
        parent(c);
    } else if (cmd == "connectAttr"sv) {
        connect(c);
    } else if (cmd == "disconnectAttr"sv) {
        disconnect(c);
    }
    // Everything else (requires, file, fileInfo, relationship, scripts...) is kept as text only.
}

}  // namespace detail


Scene interpret(std::shared_ptr<const std::string> text, std::vector<Chunk> chunks) {
    Scene s;
    s.text = std::move(text);
    s.chunks = std::move(chunks);
    detail::Interpreter(s).run();
    return s;
}

namespace {

// The scene keeps the bytes: its chunks are views into them.
Scene readBytes(std::shared_ptr<const std::string> bytes) {
    checkHeader(*bytes);
    std::vector<Chunk> chunks = parseChunks(*bytes);
    return interpret(std::move(bytes), std::move(chunks));
}

}  // namespace

Scene readText(std::string_view text) { return readBytes(std::make_shared<const std::string>(text)); }

Scene readFile(const std::string& path) {
    Limits limits;
    auto bytes = std::make_shared<std::string>();
    try {
        // Only a regular file, opened without blocking: a FIFO must not hang the reader.
        fileio::InputFile in(path);
        if (in.size() > limits.maxFileBytes)
            throw ParseError(0, path + " is larger than the limit of " + std::to_string(limits.maxFileBytes) + " bytes");
        *bytes = in.readAll(limits.maxFileBytes);
    } catch (const fileio::Error& e) {
        throw ParseError(0, e.what());
    }
    return readBytes(std::move(bytes));
}

}  // namespace qmfhost::ma
