#include "HostState.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace qmfhost {
namespace detail {

// ---- attributes ---------------------------------------------------------

namespace {

struct AttrTables {
    std::vector<AttrDef> defs;
    std::vector<int> common, dag, transform, joint, curve, unitConversion;

    int add(std::vector<int>& set, const char* l, const char* s, AttrUnit u, int parent = -1,
            int channel = -1, Slot slot = Slot::None) {
        defs.push_back(AttrDef{l, s, u, parent, channel, slot});
        int index = static_cast<int>(defs.size()) - 1;
        set.push_back(index);
        return index;
    }
    void addTriple(std::vector<int>& set, const char* l, const char* s, AttrUnit u, Slot slot) {
        int parent = add(set, l, s, AttrUnit::Compound, -1, -1, slot);
        static const char* axes[3] = {"X", "Y", "Z"};
        static const char* lowerAxes[3] = {"x", "y", "z"};
        for (int i = 0; i < 3; ++i)
            add(set, (std::string(l) + axes[i]).c_str(), (std::string(s) + lowerAxes[i]).c_str(), u,
                parent, i, slot);
    }

    AttrTables() {
        add(common, "message", "msg", AttrUnit::Message);
        add(dag, "visibility", "v", AttrUnit::Bool);
        addTriple(transform, "translate", "t", AttrUnit::Distance, Slot::Translate);
        addTriple(transform, "rotate", "r", AttrUnit::Angle, Slot::Rotate);
        addTriple(transform, "scale", "s", AttrUnit::Unitless, Slot::Scale);
        add(transform, "rotateOrder", "ro", AttrUnit::Enum, -1, -1, Slot::RotateOrder);
        addTriple(transform, "rotateAxis", "ra", AttrUnit::Angle, Slot::RotateAxis);
        addTriple(joint, "jointOrient", "jo", AttrUnit::Angle, Slot::JointOrient);
        addTriple(joint, "inverseScale", "is", AttrUnit::Unitless, Slot::None);
        add(joint, "radius", "radi", AttrUnit::Unitless);
        add(joint, "segmentScaleCompensate", "ssc", AttrUnit::Bool);
        add(joint, "bindPose", "bps", AttrUnit::Other);
        add(curve, "output", "o", AttrUnit::Other);
        add(curve, "input", "i", AttrUnit::Unitless);
        add(unitConversion, "input", "i", AttrUnit::Other);
        add(unitConversion, "output", "o", AttrUnit::Other);
        add(unitConversion, "conversionFactor", "cf", AttrUnit::Unitless);
        builtinCount = static_cast<int>(defs.size());
    }
    int builtinCount = 0;
    std::map<std::pair<std::string, std::string>, int> dynamic;   // (long, short) -> index
};

AttrTables& tables() {
    static AttrTables t;
    return t;
}

bool matchesName(const AttrDef& d, const std::string& name) {
    return !name.empty() && (d.longName == name || (!d.shortName.empty() && d.shortName == name));
}

}  // namespace

const AttrDef& attrDef(int index) { return tables().defs.at(static_cast<size_t>(index)); }
int attrCount() { return static_cast<int>(tables().defs.size()); }

int internAttr(const std::string& longName, const std::string& shortName, AttrUnit unit) {
    AttrTables& t = tables();
    auto found = t.dynamic.find({longName, shortName});
    if (found != t.dynamic.end()) return found->second;
    t.defs.push_back(AttrDef{longName, shortName, unit, -1, -1, Slot::None});
    const int index = static_cast<int>(t.defs.size()) - 1;
    t.dynamic.emplace(std::make_pair(longName, shortName), index);
    return index;
}

MObject attrObject(int index) {
    return MObject(MObject::kAttributeKind, static_cast<Id>(index) + 1);
}

int attrIndex(const MObject& attribute) {
    if (attribute.kind() != MObject::kAttributeKind) return -1;
    Id id = attribute.id();
    if (id == 0 || id > static_cast<Id>(attrCount())) return -1;
    return static_cast<int>(id - 1);
}

MFn::Type attrApiType(int index) {
    switch (attrDef(index).unit) {
    case AttrUnit::Compound: return MFn::kCompoundAttribute;
    case AttrUnit::Distance:
    case AttrUnit::Angle: return MFn::kUnitAttribute;
    case AttrUnit::Enum: return MFn::kEnumAttribute;
    case AttrUnit::Unitless:
    case AttrUnit::Bool: return MFn::kNumericAttribute;
    case AttrUnit::Message: return MFn::kMessageAttribute;
    case AttrUnit::Other: break;
    }
    return MFn::kAttribute;
}

namespace {
template <typename F>
void forEachBuiltin(const Node& n, F&& f) {
    AttrTables& t = tables();
    for (int i : t.common) f(i);
    if (n.dag) for (int i : t.dag) f(i);
    if (n.hasTransform) for (int i : t.transform) f(i);
    if (n.apiType == MFn::kJoint) for (int i : t.joint) f(i);
    if (n.curve) for (int i : t.curve) f(i);
    if (n.apiType == MFn::kUnitConversion) for (int i : t.unitConversion) f(i);
}
}  // namespace

int findAttr(const Node& n, const std::string& name) {
    int found = -1;
    forEachBuiltin(n, [&](int i) {
        if (found < 0 && matchesName(attrDef(i), name)) found = i;
    });
    if (found >= 0) return found;
    auto extra = n.extraByName.find(name);
    return extra == n.extraByName.end() || name.empty() ? -1 : extra->second;
}

bool nodeHasAttr(const Node& n, int index) {
    bool has = false;
    forEachBuiltin(n, [&](int i) { has = has || i == index; });
    if (has || index < 0 || index >= attrCount()) return has;
    auto extra = n.extraByName.find(attrDef(index).longName);
    if (extra == n.extraByName.end()) return false;
    if (extra->second == index) return true;
    // Another attribute claimed the name first: rare, so a scan is fine.
    return std::find(n.extraAttrs.begin(), n.extraAttrs.end(), index) != n.extraAttrs.end();
}

void addExtraAttr(Node& n, int index) {
    n.extraAttrs.push_back(index);
    const AttrDef& d = attrDef(index);
    // The first attribute to claim a name keeps it, as a scan in order would find.
    n.extraByName.emplace(d.longName, index);
    if (!d.shortName.empty()) n.extraByName.emplace(d.shortName, index);
}

std::string attrKey(const Node& n, const std::string& name) {
    int i = findAttr(n, name);
    return i >= 0 ? attrDef(i).longName : name;
}

std::string parentKey(const Node& n, const std::string& key) {
    int i = findAttr(n, key);
    if (i < 0 || attrDef(i).parent < 0) return std::string();
    return attrDef(attrDef(i).parent).longName;
}

bool lockFlag(const Node& n, const std::string& key) {
    for (const auto& l : n.locks)
        if (l.first == key) return l.second;
    return false;
}

void setLockFlag(Node& n, const std::string& key, bool locked) {
    for (auto& l : n.locks)
        if (l.first == key) {
            l.second = locked;
            return;
        }
    if (locked) n.locks.emplace_back(key, true);
}

bool effectiveLocked(const Node& n, const std::string& key) {
    if (lockFlag(n, key)) return true;
    std::string p = parentKey(n, key);
    return !p.empty() && lockFlag(n, p);
}

double* slotValues(Node& n, Slot slot) {
    switch (slot) {
    case Slot::Translate: return n.xf.translate;
    case Slot::Rotate: return n.xf.rotate;
    case Slot::Scale: return n.xf.scale;
    case Slot::JointOrient: return n.xf.jointOrient;
    case Slot::RotateAxis: return n.xf.rotateAxis;
    default: return nullptr;
    }
}

bool readAttrValues(const Node& n, int index, std::vector<double>& values) {
    if (!n.hasTransform || index < 0) return false;
    const AttrDef& d = attrDef(index);
    if (d.slot == Slot::None) return false;
    if (d.slot == Slot::RotateOrder) {
        values.assign(1, static_cast<double>(n.xf.rotateOrder));
        return true;
    }
    const double* v = slotValues(const_cast<Node&>(n), d.slot);
    if (d.channel < 0)
        values.assign(v, v + 3);
    else
        values.assign(1, v[d.channel]);
    return true;
}

bool writeAttrValues(Node& n, int index, const std::vector<double>& values) {
    if (!n.hasTransform || index < 0) return false;
    const AttrDef& d = attrDef(index);
    if (d.slot == Slot::None) return false;
    for (double v : values)
        if (!std::isfinite(v)) return false;
    if (d.slot == Slot::RotateOrder) {
        if (values.size() != 1) return false;
        double v = values[0];
        if (v < 0 || v > 5 || v != std::floor(v)) return false;
        n.xf.rotateOrder = static_cast<int>(v);
        return true;
    }
    double* target = slotValues(n, d.slot);
    if (d.channel < 0) {
        if (values.size() != 3) return false;
        std::copy(values.begin(), values.end(), target);
    } else {
        if (values.size() != 1) return false;
        target[d.channel] = values[0];
    }
    return true;
}

// ---- state -------------------------------------------------------------------

namespace {
HostState& storage() {
    // Lives for the whole process, like Maya's scene; never destroyed so that
    // modules unloaded at exit still find it.
    static HostState* state = new HostState;
    return *state;
}
}  // namespace

HostState& host() {
    HostState& h = storage();
    if (h.worldId == 0) resetSceneState();
    return h;
}

Id newId() {
    static Id next = 0;
    return ++next;
}

void resetSceneState() {
    HostState& h = storage();
    h.nodes.clear();
    h.nodesByName.clear();
    h.pathCounts.clear();
    ++h.dagVersion;
    h.connections = ConnectionStore();
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
    h.nodes.emplace(world->id, std::move(world));
}

Node* node(Id id) {
    HostState& h = host();
    auto it = h.nodes.find(id);
    return it == h.nodes.end() ? nullptr : it->second.get();
}

Node* node(const MObject& object) {
    if (object.kind() != MObject::kNodeKind) return nullptr;
    return node(object.id());
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
        n->curve = std::make_unique<CurveData>();
        n->curve->type = curveTypeForNodeType(type);
    }
    Node* raw = n.get();
    h.nodesByName[raw->name].insert(raw->id);
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

long long timeTicks(double seconds) {
    // Maya's tick: 1/141120000 s, which every standard frame rate divides.
    const double ticks = seconds * 141120000.0;
    if (!std::isfinite(ticks) || std::fabs(ticks) > 9.0e18)
        return ticks < 0 ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    return std::llround(ticks);
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
}  // namespace qmfhost
