// The statement interpreter behind interpret(): one pass over a parsed file
// that builds the scene. The entry and the dispatch are in MaScene.cpp, the
// DAG statements (nodes, names, parents, connections) in MaInterpretDag.cpp,
// the values (setAttr, animation curves, playback) in MaInterpretValues.cpp.
#pragma once

#include "qmfhost/MaScene.h"

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

struct PendingCurve {
    std::map<long, std::pair<double, double>> ktv;  // index -> time (s), value (internal)
    std::map<long, int> kit, kot;                    // index -> API type
    std::map<long, double> kix, kiy, kox, koy;       // index -> tangent vector part, as written
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

    void currentTime(const std::vector<const Arg*>& values, int line);

    static void applyLock(Node& n, const std::string& attr, bool on);

    // Filled in place and reused: the caller uses the values before the next call.
    const std::vector<double>& numbers(const std::vector<const Arg*>& values, int line);

    void transformAttr(Node& n, const AttrRef& ref, const std::vector<const Arg*>& values, const std::string& type,
                       int line);

    static double finite(double v, int line);

    static int intValue(double v, int line);

    void curveAttr(int node, const AttrRef& ref, const std::vector<const Arg*>& values, int line);

    static std::map<long, double>& tangentPart(PendingCurve& p, const std::string& a);

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
    std::vector<const Arg*> values_;                          // setAttr's values, reused
    std::vector<double> numbers_;                             // numbers(), reused
};

}  // namespace qmfhost::ma::detail
