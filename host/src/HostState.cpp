// The host's state: the scene itself, node types and creation, curve keys,
// perror capture and the plug-in registry.
#include "HostState.h"

#include <qmfhost/Scene.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace qmfhost {
namespace detail {

// ---- state -------------------------------------------------------------------

namespace {
HostState& storage() {
    // Lives for the whole process, like Maya's scene; never destroyed so that
    // modules unloaded at exit still find it.
    static HostState* state = new HostState;
    return *state;
}
}  // namespace

HostState* gHost = nullptr;

HostState& hostFirstUse() {
    HostState& h = storage();
    if (h.worldId == 0) resetSceneState();
    gHost = &h;
    return h;
}

Id newId() {
    static Id next = 0;
    return ++next;
}

void resetSceneState() {
    HostState& h = storage();
    h.nodes.clear();
    h.byId.clear();
    for (auto& c : h.nodeCache) c = HostState::CachedNode{};
    h.nodesByName.clear();
    h.pathCounts.clear();
    ++h.dagVersion;
    h.connections = ConnectionStore();
    ++h.driverVersion;
    h.anim = AnimControlState();
    h.uiUnit = MTime::kFilm;
    auto world = std::make_unique<Node>();
    world->id = newId();
    world->type = "world";
    world->name = "world";
    world->apiType = MFn::kWorld;
    world->dag = true;
    world->world = true;
    h.worldId = world->id;
    h.byId.emplace(world->id, world.get());
    h.nodes.emplace(world->id, std::move(world));
}

Node* nodeUncached(Id id) {
    HostState& h = host();
    HostState::CachedNode& c = h.nodeCache[id % HostState::kNodeCacheSize];
    if (c.id == id && id != 0) return c.node;
    auto it = h.byId.find(id);
    if (it == h.byId.end()) return nullptr;
    c = HostState::CachedNode{id, it->second};
    return c.node;
}

void forgetNode(Id id) {
    HostState::CachedNode& c = host().nodeCache[id % HostState::kNodeCacheSize];
    if (c.id == id) c = HostState::CachedNode{};
}

Node* worldNode() { return node(host().worldId); }

// ---- node types -----------------------------------------------------------------

namespace {
struct TypeEntry {
    const char* name;
    MFn::Type api;
    bool dag;
    bool shape;
};
const TypeEntry kTypes[] = {
    {"transform", MFn::kTransform, true, false},
    {"joint", MFn::kJoint, true, false},
    {"ikHandle", MFn::kIkHandle, true, false},
    {"ikEffector", MFn::kIkEffector, true, false},
    {"mesh", MFn::kMesh, true, true},
    {"locator", MFn::kLocator, true, true},
    {"camera", MFn::kCamera, true, true},
    {"nurbsCurve", MFn::kNurbsCurve, true, true},
    {"nurbsSurface", MFn::kNurbsSurface, true, true},
    {"pointLight", MFn::kLight, true, true},
    {"directionalLight", MFn::kLight, true, true},
    {"spotLight", MFn::kLight, true, true},
    {"ambientLight", MFn::kLight, true, true},
    {"areaLight", MFn::kLight, true, true},
    {"volumeLight", MFn::kLight, true, true},
    {"animCurveTA", MFn::kAnimCurveTimeToAngular, false, false},
    {"animCurveTL", MFn::kAnimCurveTimeToDistance, false, false},
    {"animCurveTT", MFn::kAnimCurveTimeToTime, false, false},
    {"animCurveTU", MFn::kAnimCurveTimeToUnitless, false, false},
    {"animCurveUA", MFn::kAnimCurveUnitlessToAngular, false, false},
    {"animCurveUL", MFn::kAnimCurveUnitlessToDistance, false, false},
    {"animCurveUT", MFn::kAnimCurveUnitlessToTime, false, false},
    {"animCurveUU", MFn::kAnimCurveUnitlessToUnitless, false, false},
    {"unitConversion", MFn::kUnitConversion, false, false},
    {"dagPose", MFn::kDagPose, false, false},
    {"script", MFn::kScript, false, false},
    {"time", MFn::kTime, false, false},
};
const TypeEntry* typeEntry(const std::string& type) {
    for (const TypeEntry& e : kTypes)
        if (type == e.name) return &e;
    return nullptr;
}
}  // namespace

MFn::Type apiTypeForNodeType(const std::string& type) {
    const TypeEntry* e = typeEntry(type);
    return e ? e->api : MFn::kInvalid;
}

bool isKnownDagType(const std::string& type) {
    const TypeEntry* e = typeEntry(type);
    return e && e->dag;
}

bool isShapeType(const std::string& type) {
    const TypeEntry* e = typeEntry(type);
    return e && e->shape;
}

bool nodeHasFn(const Node& n, MFn::Type fn) {
    switch (fn) {
    case MFn::kBase:
    case MFn::kNamedObject:
    case MFn::kDependencyNode: return true;
    case MFn::kDagNode: return n.dag;
    case MFn::kTransform: return n.hasTransform;
    case MFn::kShape: return isShapeType(n.type);
    case MFn::kAnimCurve: return n.curve != nullptr;
    case MFn::kInvalid: return false;
    default: return n.apiType == fn;
    }
}

Node* makeNode(const std::string& type, const std::string& name, bool dag, Id parent) {
    HostState& h = host();
    auto n = std::make_unique<Node>();
    n->id = newId();
    n->type = type;
    n->name = name;
    MFn::Type api = apiTypeForNodeType(type);
    n->apiType = api != MFn::kInvalid ? api : (dag ? MFn::kDagNode : MFn::kDependencyNode);
    n->dag = dag;
    n->hasTransform = n->apiType == MFn::kTransform || n->apiType == MFn::kJoint ||
                      n->apiType == MFn::kIkHandle || n->apiType == MFn::kIkEffector;
    if (isCurveType(type)) {
        n->curve = std::make_unique<CurveStore>();
        n->curve->type = curveTypeForNodeType(type);
    }
    Node* raw = n.get();
    h.nodesByName[raw->name].insert(raw->id);
    h.byId.emplace(n->id, raw);
    h.nodes.emplace(n->id, std::move(n));
    if (dag) {
        Id p = parent ? parent : h.worldId;
        raw->parents.push_back(p);
        node(p)->children.push_back(raw->id);
    }
    return raw;
}

// ---- curves -------------------------------------------------------------------------

bool isCurveType(const std::string& type) {
    return type.size() == 11 && type.compare(0, 9, "animCurve") == 0 &&
           curveTypeForNodeType(type) != MFnAnimCurve::kAnimCurveUnknown;
}

MFnAnimCurve::AnimCurveType curveTypeForNodeType(const std::string& type) {
    static const char* names[] = {"animCurveTA", "animCurveTL", "animCurveTT", "animCurveTU",
                                  "animCurveUA", "animCurveUL", "animCurveUT", "animCurveUU"};
    for (int i = 0; i < 8; ++i)
        if (type == names[i]) return static_cast<MFnAnimCurve::AnimCurveType>(i);
    return MFnAnimCurve::kAnimCurveUnknown;
}

const char* nodeTypeForCurveType(MFnAnimCurve::AnimCurveType type) {
    static const char* names[] = {"animCurveTA", "animCurveTL", "animCurveTT", "animCurveTU",
                                  "animCurveUA", "animCurveUL", "animCurveUT", "animCurveUU"};
    int i = static_cast<int>(type);
    return (i >= 0 && i < 8) ? names[i] : nullptr;
}

unsigned int insertKey(CurveData& curve, const CurveKey& key) {
    long long t = timeTicks(key.time);
    auto& keys = curve.keys;
    auto it = std::lower_bound(keys.begin(), keys.end(), t,
                               [](const CurveKey& k, long long ticks) { return timeTicks(k.time) < ticks; });
    if (it != keys.end() && timeTicks(it->time) == t) {
        it->value = key.value;
        return static_cast<unsigned int>(it - keys.begin());
    }
    it = keys.insert(it, key);
    return static_cast<unsigned int>(it - keys.begin());
}

// ---- perror capture, registry ------------------------------------------------------

namespace {
PerrorCapture*& captureSlot() {
    static PerrorCapture* current = nullptr;
    return current;
}
}  // namespace

PerrorCapture* currentCapture() { return captureSlot(); }
void setCurrentCapture(PerrorCapture* capture) { captureSlot() = capture; }

PluginRec* plugin(const MObject& object) {
    if (object.kind() != MObject::kPluginKind) return nullptr;
    auto& plugins = host().plugins;
    auto it = plugins.find(object.id());
    return it == plugins.end() ? nullptr : &it->second;
}

void withdrawTranslatorsOf(Id pluginId) {
    auto& ts = host().translators;
    ts.erase(std::remove_if(ts.begin(), ts.end(),
                            [pluginId](const TranslatorRec& t) { return t.plugin == pluginId; }),
             ts.end());
}

}  // namespace detail

// Declared with the scene functions (qmfhost/Scene.h); it sizes this state.
void reserveScene(std::size_t nodes, std::size_t connections) {
    detail::HostState& h = detail::host();
    h.byId.reserve(h.byId.size() + nodes);
    h.nodesByName.reserve(h.nodesByName.size() + nodes);
    detail::ConnectionStore& c = h.connections;
    c.byDestination.reserve(c.byDestination.size() + connections);
    c.bySource.reserve(c.bySource.size() + connections);
    c.byNode.reserve(c.byNode.size() + std::min(nodes, 2 * connections));
}

}  // namespace qmfhost
