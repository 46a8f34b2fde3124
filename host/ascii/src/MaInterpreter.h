// The statement interpreter behind interpret(): one pass over a parsed file
// that builds the scene. The entry and the dispatch are in MaScene.cpp, the
// DAG statements (nodes, names, parents, connections) in MaInterpretDag.cpp,
// the values (setAttr, animation curves, playback) in MaInterpretValues.cpp.
#pragma once

#include "qmfhost/MaScene.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qmfhost::ma::detail {

struct AttrRef {
    std::string node;  // empty: the current node
    std::string name;  // canonical
    bool ranged = false;
    long first = 0, last = 0;
};

AttrRef parseAttr(const std::string& text, int line);

// Values by key index. Files list keys in ranges from 0 up, so they are
// appended to an array; indices that skip ahead move them to a map.
template <class T>
class Indexed {
public:
    // A range [first, first + count) about to be set: room for it at once.
    void expect(long first, std::size_t count) {
        if (sparse_ || first < 0 || static_cast<std::size_t>(first) > dense_.size()) return;
        const std::size_t need = static_cast<std::size_t>(first) + count;
        if (need > dense_.capacity()) dense_.reserve(std::max(need, 2 * dense_.capacity()));
    }
    T& operator[](long idx) {
        if (!sparse_ && idx >= 0) {
            const auto i = static_cast<std::size_t>(idx);
            if (i < dense_.size()) return dense_[i];
            if (i == dense_.size()) return dense_.emplace_back();
        }
        if (!sparse_) {
            for (std::size_t i = 0; i < dense_.size(); ++i) map_.emplace_hint(map_.end(), static_cast<long>(i), dense_[i]);
            std::vector<T>().swap(dense_);
            sparse_ = true;
        }
        return map_[idx];
    }
    const T* find(long idx) const {
        if (!sparse_) return idx >= 0 && static_cast<std::size_t>(idx) < dense_.size() ? &dense_[static_cast<std::size_t>(idx)] : nullptr;
        auto it = map_.find(idx);
        return it != map_.end() ? &it->second : nullptr;
    }
    bool empty() const { return sparse_ ? map_.empty() : dense_.empty(); }
    std::size_t size() const { return sparse_ ? map_.size() : dense_.size(); }
    bool sparse() const { return sparse_; }
    // Calls f(index, value) in index order.
    template <typename F>
    void forEach(F&& f) const {
        if (sparse_)
            for (const auto& [i, v] : map_) f(i, v);
        else
            for (std::size_t i = 0; i < dense_.size(); ++i) f(static_cast<long>(i), dense_[i]);
    }
    // The values of indices 0 to size() - 1 (not sparse), taken out.
    std::vector<T> take() { return std::move(dense_); }

private:
    std::vector<T> dense_;  // indices 0 to size - 1
    std::map<long, T> map_;
    bool sparse_ = false;
};

struct PendingCurve {
    Indexed<double> times, values;             // .ktv, set together: seconds, internal units
    Indexed<std::uint8_t> kit, kot;            // API tangent types
    Indexed<double> kix, kiy, kox, koy;        // tangent vector parts, as written
};

// setAttr's values: arguments, and the chunk's run of numbers in their midst.
struct Values {
    std::vector<const Arg*> args;
    const Chunk* run = nullptr;  // its numbers from runFrom on stand before args[runAt]
    std::size_t runFrom = 0, runAt = 0;
    std::size_t size() const { return args.size() + (run ? run->runCount - runFrom : 0); }
    bool empty() const { return size() == 0; }
    // The only value, when it is an argument.
    const Arg* single() const { return size() == 1 && args.size() == 1 ? args[0] : nullptr; }
};

class Interpreter {
public:
    explicit Interpreter(Scene& s) : s_(s) {}

    void run();

private:
    void statement(const Chunk& c);

    int addNode(const std::string& type, const std::string& name, bool declared, int line, int parent = -1);

    // The one node a name or path in a statement stands for; refuses a name
    // that matches several nodes, as Maya does.
    int only(const std::string& name, int line, const std::string& notFound);

    static std::string shortName(const std::string& n);

    void createNode(const Chunk& c);

    void rename(const Chunk& c);

    void select(const Chunk& c);

    // Maya appends a node it parents to the new parent's children; without
    // -r (relative) the node keeps where it is in the world.
    void parent(const Chunk& c);

    // Is a an ancestor of (or the same as) b, through any parent?
    bool isAncestor(int a, int b) const;

    Plug plug(const std::string& text, int line);

    std::vector<std::string> plugArgs(const Chunk& c);

    void connect(const Chunk& c);

    static std::string connectionKey(const Plug& src, const Plug& dst);

    // Marks what it disconnects; dropDisconnected takes them out in one pass.
    void disconnect(const Chunk& c);

    void dropDisconnected();

    void setAttr(const Chunk& c);

    // :time1, the scene's time node (named, or selected with select -ne).
    static bool isTimeNode(const std::string& name, const std::string& type);

    void currentTime(const Values& values, int line);

    static void applyLock(Node& n, const std::string& attr, bool on);

    // Filled in place and reused: the caller uses the values before the next call.
    const std::vector<double>& numbers(const Values& values, int line);

    void transformAttr(Node& n, const AttrRef& ref, const Values& values, const std::string& type,
                       int line);

    static double finite(double v, int line);

    static int intValue(double v, int line);

    void curveAttr(int node, const AttrRef& ref, const Values& values, int line);

    static Indexed<double>& tangentPart(PendingCurve& p, const std::string& a);

    void finishCurves();

    void playback(const std::string& script, int line);

    Scene& s_;
    std::size_t chunk_ = 0;
    int current_ = -1;
    std::map<int, PendingCurve> pending_;
    std::map<std::string, int> nextIndex_;
    std::unordered_map<std::string, std::vector<int>> live_;   // connections by their two plugs
    bool liveIndexed_ = false;
    std::vector<char> disconnected_;                          // per connection
    Values values_;                                           // setAttr's values, reused
    Arg runArg_;                                              // a run's number read as an argument
    std::vector<double> numbers_;                             // numbers(), reused
};

}  // namespace qmfhost::ma::detail
