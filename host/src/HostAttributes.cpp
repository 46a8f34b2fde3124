// Attributes: the built-in tables per node kind, dynamic attributes, lock
// flags, and reading and writing the transform values behind them.
#include "HostState.h"

#include <algorithm>
#include <cmath>
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
        addTriple(joint, "inverseScale", "is", AttrUnit::Unitless, Slot::InverseScale);
        add(joint, "radius", "radi", AttrUnit::Unitless);
        add(joint, "segmentScaleCompensate", "ssc", AttrUnit::Bool, -1, -1, Slot::SegmentScaleCompensate);
        add(joint, "bindPose", "bps", AttrUnit::Other);
        add(curve, "output", "o", AttrUnit::Other);
        add(curve, "input", "i", AttrUnit::Unitless);
        add(unitConversion, "input", "i", AttrUnit::Other);
        add(unitConversion, "output", "o", AttrUnit::Other);
        add(unitConversion, "conversionFactor", "cf", AttrUnit::Unitless, -1, -1, Slot::ConversionFactor);
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
    case Slot::InverseScale: return n.xf.inverseScale;
    default: return nullptr;
    }
}

bool readAttrValues(const Node& n, int index, std::vector<double>& values) {
    if (index < 0) return false;
    const AttrDef& d = attrDef(index);
    if (d.slot == Slot::ConversionFactor && n.apiType == MFn::kUnitConversion) {
        values.assign(1, n.conversionFactor);
        return true;
    }
    if (!n.hasTransform || d.slot == Slot::None || d.slot == Slot::ConversionFactor) return false;
    if (d.slot == Slot::SegmentScaleCompensate) {
        values.assign(1, n.xf.segmentScaleCompensate ? 1.0 : 0.0);
        return true;
    }
    const TransformValues current = channelValues(n, slotBit(d.slot));
    if (d.slot == Slot::RotateOrder) {
        values.assign(1, static_cast<double>(current.rotateOrder));
        return true;
    }
    const double* v = d.slot == Slot::Translate     ? current.translate
                      : d.slot == Slot::Rotate      ? current.rotate
                      : d.slot == Slot::Scale       ? current.scale
                      : d.slot == Slot::RotateAxis  ? current.rotateAxis
                      : d.slot == Slot::InverseScale ? current.inverseScale
                                                    : current.jointOrient;
    if (d.channel < 0)
        values.assign(v, v + 3);
    else
        values.assign(1, v[d.channel]);
    return true;
}

bool writeAttrValues(Node& n, int index, const std::vector<double>& values) {
    if (index < 0) return false;
    const AttrDef& d = attrDef(index);
    for (double v : values)
        if (!std::isfinite(v)) return false;
    if (d.slot == Slot::ConversionFactor && n.apiType == MFn::kUnitConversion) {
        if (values.size() != 1) return false;
        n.conversionFactor = values[0];
        ++host().driverVersion;
        return true;
    }
    if (!n.hasTransform || d.slot == Slot::None || d.slot == Slot::ConversionFactor) return false;
    if (d.slot == Slot::RotateOrder) {
        if (values.size() != 1) return false;
        double v = values[0];
        if (v < 0 || v > 5 || v != std::floor(v)) return false;
        n.xf.rotateOrder = static_cast<int>(v);
        return true;
    }
    if (d.slot == Slot::SegmentScaleCompensate) {
        if (values.size() != 1) return false;
        n.xf.segmentScaleCompensate = values[0] != 0.0;
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

}  // namespace detail
}  // namespace qmfhost
