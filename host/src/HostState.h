// Private to the host library: the in-memory scene, the attribute tables,
// the plug-in and translator registry, and the helpers the API classes share.
#ifndef QMFHOST_SRC_HOSTSTATE_H
#define QMFHOST_SRC_HOSTSTATE_H

#include <maya/MFn.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTime.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MQuaternion.h>
#include <maya/MMatrix.h>
#include <maya/MFnPlugin.h>
#include <qmfhost/Scene.h>
#include <qmfhost/PerrorCapture.h>

#include "anim/CurveStore.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace qmfhost {
namespace detail {

using Id = unsigned long long;

// Internal status messages (MStatus's internal code).
enum Message : unsigned char {
    kMsgDefault = 0,
    kMsgNoElement,          // "No element at given index"
    kMsgNotFoundType,       // "Cannot find item of required type"
    kMsgObjectMissing,      // "Object does not exist"
    kMsgNotAttached,        // "Function set is not attached to a valid object"
    kMsgLocked,             // "Plug is locked"
    kMsgConnected,          // "Plug is already connected"
    kMsgEndOfIteration,     // "Null DAG object, end of iteration"
    kMsgBadArgument,        // "Invalid argument"
    kMsgCount
};
MStatus makeStatus(MStatus::MStatusCode code, Message message = kMsgDefault);
// Stores into *out when out is not null; returns whether s is a success.
inline bool report(MStatus* out, const MStatus& s) {
    if (out) *out = s;
    return static_cast<bool>(s);
}

// ---- attributes -------------------------------------------------------

enum class AttrUnit { Message, Distance, Angle, Unitless, Enum, Bool, Compound, Other };
// Which stored transform value an attribute reads and writes.
enum class Slot { None, Translate, Rotate, Scale, JointOrient, RotateAxis, RotateOrder, InverseScale,
                  SegmentScaleCompensate, ConversionFactor };

struct AttrDef {
    std::string longName;
    std::string shortName;
    AttrUnit unit;
    int parent;        // index of the compound parent, -1 if none
    int channel;       // 0..2 within the compound; -1 for the compound itself
    Slot slot;
};

// Global attribute table; an attribute MObject's id is index + 1.
const AttrDef& attrDef(int index);
int attrCount();
// Index of a built-in or dynamic definition, interning dynamic ones.
int internAttr(const std::string& longName, const std::string& shortName, AttrUnit unit);
MObject attrObject(int index);
// Index of an attribute MObject, -1 if it is not one.
int attrIndex(const MObject& attribute);
MFn::Type attrApiType(int index);

// ---- nodes --------------------------------------------------------------

struct Node {
    Id id = 0;
    std::string type;
    std::string name;
    MFn::Type apiType = MFn::kDependencyNode;
    bool dag = false;
    bool world = false;
    std::vector<Id> parents;
    std::vector<Id> children;
    bool hasTransform = false;
    TransformValues xf;
    std::vector<int> extraAttrs;                          // dynamic attribute indices, in the order added
    std::unordered_map<std::string, int> extraByName;     // the same, by long and short name
    std::vector<std::pair<std::string, bool>> locks;      // attribute key -> locked
    std::unique_ptr<CurveStore> curve;
    double conversionFactor = 1.0;                        // unitConversion nodes
    // slotBit of every transform slot ever connected as a destination, so
    // reads of undriven slots skip the driver lookup. Never cleared on
    // disconnect: a stale bit only costs that lookup.
    unsigned drivenSlots = 0;
    // The joint orient as a quaternion, for the angles it was made from.
    struct OrientCache {
        bool valid = false;
        double angles[3] = {0, 0, 0};
        MQuaternion quaternion;
    };
    mutable OrientCache orientCache;
    // The curve feeding each transform channel, resolved once per change to
    // what could drive it: a read per frame would otherwise look every plug
    // up by name. Made on the first read of a driven transform.
    struct DriverCache {
        unsigned long long version = 0;   // HostState::driverVersion when resolved
        struct Entry {
            const CurveStore* curve = nullptr;   // null: the stored value holds
            double factor = 1.0;                  // unitConversion factors on the way
            std::size_t cursor = 0;               // where the last read found its segment
        };
        Entry channels[16];
    };
    mutable std::unique_ptr<DriverCache> drivers;
};

using ConnId = unsigned long long;

struct ConnectionRec {
    ConnId id;             // rises with every connection made: their order
    Id src;
    std::string srcAttr;   // as given
    std::string srcKey;    // long name when known
    Id dst;
    std::string dstAttr;
    std::string dstKey;
};

struct PluginRec {
    Id id;
    std::string name;
    std::string path;
    std::string vendor = "Unknown";
    std::string version = "Unknown";
    std::string apiVersion;
};

struct TranslatorRec {
    std::string name;
    std::string pixmap;
    MCreatorFunction creator;
    std::string optionsScript;
    std::string defaultOptions;
    bool requiresFullMel;
    Id plugin;
};

// Connections in the order they were made, indexed by plug and by node so
// that no lookup scans the scene.
struct PlugHash {
    size_t operator()(const std::pair<Id, std::string>& plug) const {
        return std::hash<std::string>()(plug.second) * 31u + static_cast<size_t>(plug.first);
    }
};
struct ConnectionStore {
    std::map<ConnId, ConnectionRec> all;
    std::unordered_map<std::pair<Id, std::string>, ConnId, PlugHash> byDestination;   // a plug takes one source
    std::unordered_map<std::pair<Id, std::string>, std::set<ConnId>, PlugHash> bySource;
    std::unordered_map<Id, std::set<ConnId>> byNode;
    ConnId next = 0;
};

struct HostState {
    std::map<Id, std::unique_ptr<Node>> nodes;   // id order = creation order
    // The same nodes by id in constant time: a tree lookup per call missed
    // the cache on every level once a rig had many thousands of nodes.
    std::unordered_map<Id, Node*> byId;
    // Recent lookups by id, by the id's low bits: a translator keying curves
    // asks for the same few nodes on every key. Ids are never reused, so an
    // entry only goes stale when its node is deleted (forgetNode).
    struct CachedNode {
        Id id = 0;
        Node* node = nullptr;
    };
    static constexpr std::size_t kNodeCacheSize = 64;
    CachedNode nodeCache[kNodeCacheSize];
    Id worldId = 0;
    std::unordered_map<std::string, std::set<Id>> nodesByName;   // every node but the world
    // Bumped by every change to existing parent links; paths to the world
    // counted at one version hold until the next.
    unsigned long long dagVersion = 0;
    unsigned long long pathCountsVersion = 0;
    std::unordered_map<Id, unsigned> pathCounts;
    ConnectionStore connections;
    // Bumped by every change that can change which curve drives a channel
    // (connections made or broken, a unitConversion factor set, a new
    // scene); never reset, so no node's cached drivers outlive it.
    unsigned long long driverVersion = 1;
    AnimControlState anim;
    MTime::Unit uiUnit = MTime::kFilm;
    std::map<Id, PluginRec> plugins;
    std::vector<TranslatorRec> translators;
    MPxFileTranslator::FileAccessMode accessMode = MPxFileTranslator::kUnknownAccessMode;
};

// The host's one state, set up on first use. Inline: curve keys reach it
// several times per key.
extern HostState* gHost;
HostState& hostFirstUse();
inline HostState& host() {
    HostState* h = gHost;
    return h && h->worldId != 0 ? *h : hostFirstUse();
}
Id newId();                       // never reused, across scenes
void resetSceneState();

Node* nodeUncached(Id id);
inline Node* node(Id id) {
    HostState::CachedNode& c = host().nodeCache[id % HostState::kNodeCacheSize];
    return c.id == id && id != 0 ? c.node : nodeUncached(id);
}
inline Node* node(const MObject& object) {   // null unless a live node
    return object.kind() == MObject::kNodeKind ? node(object.id()) : nullptr;
}
Node* worldNode();
// Drops a node about to be deleted from the lookup cache.
void forgetNode(Id id);

MFn::Type apiTypeForNodeType(const std::string& type);
bool isKnownDagType(const std::string& type);
bool isShapeType(const std::string& type);
bool nodeHasFn(const Node& n, MFn::Type fn);

// Creates a node; parent 0 means the world for DAG nodes. No checks beyond
// the parent being a DAG node.
Node* makeNode(const std::string& type, const std::string& name, bool dag, Id parent);
// "<type>N" not used by any node yet.
std::string uniqueName(const std::string& base);
bool nameInUse(const std::string& name);
// Every name change goes through here so lookups by name stay indexed.
void setNodeName(Node& n, const std::string& name);
// Nodes with this name, in creation order.
std::vector<Id> nodesNamed(const std::string& name);
// Nodes a name or DAG path ("a", "p|a", "|p|a") names, in creation order:
// one walk down the path over the parent/child links.
std::vector<Id> resolvePath(const std::string& nameOrPath);

// Attribute lookup on a node (built-in for its type, then dynamic), by long
// or short name; -1 if the node does not have it.
int findAttr(const Node& n, const std::string& name);
bool nodeHasAttr(const Node& n, int index);
// Gives the node a dynamic attribute (an index from internAttr).
void addExtraAttr(Node& n, int index);
// Key under which locks and connections are stored: the long name when known.
std::string attrKey(const Node& n, const std::string& name);
// The compound parent's key of a known child attribute, "" if none.
std::string parentKey(const Node& n, const std::string& key);

bool lockFlag(const Node& n, const std::string& key);
void setLockFlag(Node& n, const std::string& key, bool locked);
// Locked itself or through its compound parent.
bool effectiveLocked(const Node& n, const std::string& key);

// The connection driving (node, key) directly or through its compound
// parent; null if none.
const ConnectionRec* drivingConnection(Id node, const std::string& key);
// The connection into exactly this plug; null if none.
const ConnectionRec* connectionInto(Id node, const std::string& key);
// Connections out of one plug, touching one node, or all: in the order made.
std::vector<const ConnectionRec*> connectionsFrom(Id node, const std::string& key);
std::vector<const ConnectionRec*> connectionsOf(Id node);
std::vector<const ConnectionRec*> allConnections();
// The caller makes sure the destination plug is free.
void addConnection(Id src, const std::string& srcAttr, Id dst, const std::string& dstAttr);
void removeConnection(ConnId id);
void removeConnectionsOf(Id node);

// Transform value access through an attribute definition.
double* slotValues(Node& n, Slot slot);
// Reads see driven channels evaluated (channelValues); writes store.
bool readAttrValues(const Node& n, int index, std::vector<double>& values);
bool writeAttrValues(Node& n, int index, const std::vector<double>& values);

// The transform values a read sees: the stored ones, with every channel
// driven by a time curve (directly or through unitConversion nodes) replaced
// by the curve's value at the current time. The one place reads go through.
// `slots` limits the work to the values the caller uses (slotBit of each);
// the others are left as stored.
constexpr unsigned slotBit(Slot s) { return 1u << static_cast<unsigned>(s); }
constexpr unsigned kAllSlots = ~0u;
TransformValues channelValues(const Node& n, unsigned slots = kAllSlots);

// A node's local matrix as Maya composes it (a joint's with its inverse
// scale divided out); the identity for nodes without a transform.
MMatrix localMatrix(const Node& n);
// The product of the local matrices of the nodes on a path (ids from the
// world down), the last node's first; `skipLast` leaves that one out.
MMatrix pathMatrix(const std::vector<Id>& ids, bool skipLast);

// DAG helpers.
bool isAncestor(Id ancestor, Id node);   // ancestor strictly above node along any path
std::vector<Id> firstPath(Id node);      // from the world (excluded) down to node
// At most kMaxPaths paths: instancing can multiply paths without bound.
constexpr size_t kMaxPaths = 100000;
std::vector<std::vector<Id>> allPaths(Id node);
std::string pathString(const std::vector<Id>& path);   // "|a|b"
std::string partialPathString(const std::vector<Id>& path);
// The same for the path through first parents, without building all of it
// when a shorter name is unique.
std::string partialPathOf(Id node);
// Call after changing the parents of a node that already existed.
void dagChanged();
void deleteNodeTree(Id id);

// Curves.
bool isCurveType(const std::string& type);
MFnAnimCurve::AnimCurveType curveTypeForNodeType(const std::string& type);
const char* nodeTypeForCurveType(MFnAnimCurve::AnimCurveType type);
// Time to integer ticks so keys at "the same time" compare exactly. Maya's
// tick: 1/141120000 s, which every standard frame rate divides. Rounds half
// away from zero as llround does, inline: every key added passes here.
inline long long timeTicks(double seconds) {
    const double ticks = seconds * 141120000.0;
    if (!std::isfinite(ticks) || std::fabs(ticks) > 9.0e18)
        return ticks < 0 ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    // Truncation is exact here, and so is what it leaves.
    long long whole = static_cast<long long>(ticks);
    const double rest = ticks - static_cast<double>(whole);
    if (rest >= 0.5) ++whole;
    else if (rest <= -0.5) --whole;
    return whole;
}
// Inserts or replaces by time; returns the key's index.
unsigned int insertKey(CurveData& curve, const CurveKey& key);

// Perror capture in effect (innermost).
PerrorCapture* currentCapture();
void setCurrentCapture(PerrorCapture* capture);

// Registry.
PluginRec* plugin(const MObject& object);
void withdrawTranslatorsOf(Id plugin);

}  // namespace detail
}  // namespace qmfhost

#endif
