// What a Maya ASCII scene says, interpreted: nodes, DAG parents, the joint
// and transform values a rig needs, locks, connections, animation curves and
// the playback range. Values are held in the host's internal units
// (centimetres, radians, seconds); the file's text is kept alongside so the
// scene can be written back without losing anything.
#pragma once

#include "qmfhost/MaParser.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qmfhost::ma {

struct Units {
    double linearToCm = 1.0;          // file value * this = centimetres
    double angleToRadians = 3.14159265358979323846 / 180.0;  // file value * this = radians (degrees by default)
    double framesPerSecond = 24.0;    // key times are frames of this rate
    std::string linearName = "centimeter";
    std::string angleName = "degree";
    std::string timeName = "film";
};

// Parses the currentUnit flags onto units; false for an unknown unit name.
bool applyUnitFlag(Units& units, const std::string& flag, const std::string& value);

// API tangent type (MFnAnimCurve::TangentType numbering) <-> file tangent code.
int tangentFromFileCode(int fileCode);  // unknown codes map to Auto (11)
int tangentToFileCode(int apiType);     // unknown types map to Auto (18)

struct Key {
    double time = 0;   // seconds
    double value = 0;  // internal units (radians for TA, cm for TL)
    int inType = 11;   // API TangentType
    int outType = 11;
    // .kix .kiy .kox .koy as written: x in seconds, y in internal units.
    double inX = 0, inY = 0, outX = 0, outY = 0;
};

// A curve's keys in columns: times and values, and tangent types and
// vectors only once some key's differ from the first key's, so a long
// captured curve costs 16 bytes a key. Keys are read by value.
class KeyList {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Key;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Key;
        const_iterator(const KeyList& list, std::size_t i) : list_(&list), i_(i) {}
        Key operator*() const { return (*list_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const KeyList* list_;
        std::size_t i_;
    };

    KeyList() = default;
    KeyList(std::initializer_list<Key> keys) {
        reserve(keys.size());
        for (const Key& k : keys) push_back(k);
    }

    std::size_t size() const { return times_.size(); }
    bool empty() const { return times_.empty(); }
    Key operator[](std::size_t i) const;
    Key front() const { return (*this)[0]; }
    Key back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return const_iterator(*this, 0); }
    const_iterator end() const { return const_iterator(*this, size()); }
    const std::vector<double>& times() const { return times_; }
    const std::vector<double>& values() const { return values_; }
    // Every key with the same tangent types (inType(), outType()) and no vectors.
    bool uniform() const { return inTypes_.empty() && vectors_.empty(); }
    int inType() const { return inType_; }
    int outType() const { return outType_; }

    void reserve(std::size_t n);
    void push_back(const Key& k);
    // Every key at once, each with the same tangent types and no vectors.
    void assign(std::vector<double> times, std::vector<double> values, int inType, int outType);
    void setTypes(std::size_t i, int inType, int outType);
    void setVectors(std::size_t i, double inX, double inY, double outX, double outY);
    // Orders keys by time, keeping the order of keys at the same time.
    void sortByTime();
    // Empties the list and gives its memory back.
    void release();

private:
    std::vector<double> times_, values_;
    int inType_ = 11, outType_ = 11;      // every key's while the columns below are empty
    std::vector<int> inTypes_, outTypes_;  // empty, or one per key
    std::vector<std::array<double, 4>> vectors_;  // empty while every key's are zero
};

struct Curve {
    char kind = 'U';  // 'A' angle, 'L' linear, 'T' time, 'U' unitless
    KeyList keys;     // ordered by time
    int tangentType = 11;   // curve-wide default (API numbering)
    bool weighted = true;   // a curve without a .wgt line is weighted
    int preInfinity = 0;
    int postInfinity = 0;
};

using Vec3 = std::array<double, 3>;

struct Node {
    std::string type;
    std::string name;         // as in the file, with namespace
    std::vector<int> parents; // DAG parents (more than one when instanced); empty = world
    bool shared = false;      // created with -s
    bool declared = true;     // false: only named (select -ne :time1, connections)
    int line = 0;
    std::optional<Vec3> translate, rotate, scale, jointOrient;  // internal units
    std::optional<int> rotateOrder;
    std::optional<Vec3> inverseScale;             // joints: the .is plug's own value
    std::optional<bool> segmentScaleCompensate;   // joints: .ssc
    std::set<std::string> locked;  // tx ty tz rx ry rz sx sy sz jox joy joz
    std::optional<Curve> curve;    // animCurve nodes
    std::optional<double> conversionFactor;  // unitConversion .cf
};

struct Plug {
    int node = -1;          // -1: the node is not known in this file
    std::string nodeName;   // as written
    std::string attr;       // as written, without the leading '.'
};

struct Connection {
    Plug src, dst;
    int line = 0;
};

// A change to the DAG, kept in file order so the hierarchy can be rebuilt
// with every parent's children in the order they came to it.
struct DagEvent {
    enum class Kind { Create, Move, AddParent };
    Kind kind = Kind::Create;
    int node = -1;
    int parent = -1;  // -1: the world
    int line = 0;
};

struct Playback {
    std::optional<double> minTime, maxTime, startTime, endTime;  // seconds
};

struct Scene {
    std::shared_ptr<const std::string> text;  // the bytes the chunks' texts are views into
    std::vector<Chunk> chunks;
    Units units;  // the units in force at the end of the file
    std::vector<Node> nodes;
    std::vector<Connection> connections;
    Playback playback;
    std::optional<double> currentTime;  // :time1.o, seconds
    int configNode = -1;    // sceneConfigurationScriptNode
    int playbackChunk = -1; // the setAttr ".b" holding playbackOptions
    std::vector<int> chunkNode;        // per chunk: node whose block it belongs to, or -1
    std::vector<int> chunkConnection;  // per chunk: connection it makes, or -1
    std::vector<std::string> warnings;
    std::vector<DagEvent> dagEvents;   // every declared node's creation and every parenting

    // Finds a node by short name, namespaced name or |full|path; -1 if none,
    // the last one made when several match.
    int find(const std::string& nameOrPath) const;
    // Every node a name or path matches, in the order made. Linear in the
    // path's length: one walk down it over the parent/child links.
    std::vector<int> findAll(const std::string& nameOrPath) const;
    // Children of parent (-1: nodes without a parent) with this name.
    std::vector<int> childrenNamed(int parent, const std::string& name) const;
    std::string fullPath(int node) const;  // first-parent path, "|a|b"

    // Nodes, names and parents change through these so lookups stay indexed.
    void reserveNodes(std::size_t count);
    int addNode(Node node);
    void rename(int node, const std::string& name);
    void setParents(int node, std::vector<int> parents);

private:
    // The nodes under one name, in the order made. Nearly every name has one
    // node, so that one is held inline and only a shared name allocates.
    class NodeSet {
    public:
        void insert(int node);
        void erase(int node);
        bool empty() const { return first_ < 0; }
        std::size_t size() const { return empty() ? 0 : 1 + (more_ ? more_->size() : 0); }
        int first() const { return first_; }
        int last() const { return more_ && !more_->empty() ? *more_->rbegin() : first_; }
        std::vector<int> list() const;

    private:
        int first_ = -1;                      // the smallest, or -1 when empty
        std::unique_ptr<std::set<int>> more_; // the rest, all above first_
    };
    void index(int node);
    void unindex(int node);
    struct ParentNameHash {
        std::size_t operator()(const std::pair<int, std::string>& k) const {
            return std::hash<std::string>()(k.second) * 31u + static_cast<std::size_t>(k.first);
        }
    };
    std::unordered_map<std::string, NodeSet> byName_;   // names without a leading ':'
    std::unordered_map<std::pair<int, std::string>, NodeSet, ParentNameHash> byParent_;   // (parent or -1, name), shared names

};

// Interprets a parsed file: chunks are parseChunks(*text). Throws ParseError
// (with the line) for statements that are malformed in a way that would lose
// or corrupt data.
Scene interpret(std::shared_ptr<const std::string> text, std::vector<Chunk> chunks);

// Reads and interprets a file; throws ParseError. checkHeader applies.
Scene readFile(const std::string& path);
Scene readText(std::string_view text);

// Canonical short name of a channel or compound ("translateX" -> "tx",
// "jointOrient" -> "jo"); the input itself when it is not one we model.
std::string canonicalAttr(const std::string& attr);

}  // namespace qmfhost::ma
