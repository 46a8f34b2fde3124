// Values of driven transform channels: a channel fed by a time curve (directly
// or through unitConversion nodes) reads the curve's value at the current
// time, as in Maya; anything else keeps the stored value and is reported.
#include <qmfhost/Animation.h>
#include <qmfhost/Scene.h>

#include "../HostState.h"

#include <cmath>
#include <unordered_set>

namespace qmfhost {
namespace detail {

namespace {

// unitConversion chains longer than this are not followed (a file could
// loop them).
constexpr int kMaxHops = 16;

struct Channel {
    const char* name;
    Slot slot;
    int axis;   // -1 for rotateOrder
};
const Channel kChannels[] = {
    {"translateX", Slot::Translate, 0},     {"translateY", Slot::Translate, 1},
    {"translateZ", Slot::Translate, 2},     {"rotateX", Slot::Rotate, 0},
    {"rotateY", Slot::Rotate, 1},           {"rotateZ", Slot::Rotate, 2},
    {"scaleX", Slot::Scale, 0},             {"scaleY", Slot::Scale, 1},
    {"scaleZ", Slot::Scale, 2},             {"rotateOrder", Slot::RotateOrder, -1},
    {"rotateAxisX", Slot::RotateAxis, 0},   {"rotateAxisY", Slot::RotateAxis, 1},
    {"rotateAxisZ", Slot::RotateAxis, 2},   {"jointOrientX", Slot::JointOrient, 0},
    {"jointOrientY", Slot::JointOrient, 1}, {"jointOrientZ", Slot::JointOrient, 2},
};

bool timedCurve(const Node& n) {
    if (!n.curve) return false;
    const MFnAnimCurve::AnimCurveType t = n.curve->type;
    return t >= MFnAnimCurve::kAnimCurveTA && t <= MFnAnimCurve::kAnimCurveTU;
}

// A time curve follows the scene time when its input is free or fed by the
// time node.
bool followsSceneTime(const Node& curve) {
    const ConnectionRec* in = drivingConnection(curve.id, "input");
    if (!in) return true;
    const Node* src = node(in->src);
    return src && src->apiType == MFn::kTime;
}

struct Driver {
    enum Kind { None, Evaluated, Unevaluable } kind = None;
    const CurveStore* curve = nullptr;   // for Evaluated
    double factor = 1.0;
    std::string attribute;   // the driven plug's key (a compound when that is what is connected)
    const Node* stop = nullptr;   // where evaluation stopped, for Unevaluable
};

// What drives one channel, followed through unitConversion nodes to a time
// curve when there is one.
Driver resolve(const Node& n, const std::string& key) {
    Driver d;
    const ConnectionRec* c = drivingConnection(n.id, key);
    if (!c) return d;
    d.attribute = c->dstKey;
    d.kind = Driver::Unevaluable;
    // A compound fed as a whole comes from something that is not a curve.
    if (c->dstKey != key) {
        d.stop = node(c->src);
        return d;
    }
    for (int hop = 0; hop < kMaxHops && c; ++hop) {
        const Node* src = node(c->src);
        d.stop = src;
        if (!src) return d;
        if (src->curve) {
            if (!timedCurve(*src) || !followsSceneTime(*src)) return d;
            d.curve = src->curve.get();
            d.kind = Driver::Evaluated;
            return d;
        }
        if (src->apiType != MFn::kUnitConversion) return d;
        d.factor *= src->conversionFactor;
        c = drivingConnection(src->id, "input");
    }
    return d;
}

double currentSeconds() { return host().anim.currentTime.as(MTime::kSeconds); }

// The node's drivers, resolved again only after something that could change
// them.
Node::DriverCache& drivers(const Node& n) {
    const unsigned long long version = host().driverVersion;
    if (n.drivers && n.drivers->version == version) return *n.drivers;
    if (!n.drivers) n.drivers = std::make_unique<Node::DriverCache>();
    Node::DriverCache& cache = *n.drivers;
    static_assert(sizeof kChannels / sizeof kChannels[0] == sizeof cache.channels / sizeof cache.channels[0],
                  "one cached driver per channel");
    for (std::size_t i = 0; i < sizeof kChannels / sizeof kChannels[0]; ++i) {
        const Channel& ch = kChannels[i];
        Node::DriverCache::Entry& e = cache.channels[i];
        e = {};
        if (!(n.drivenSlots & slotBit(ch.slot))) continue;
        if (ch.slot == Slot::JointOrient && n.apiType != MFn::kJoint) continue;
        const Driver d = resolve(n, ch.name);
        if (d.kind != Driver::Evaluated) continue;
        e.curve = d.curve;
        e.factor = d.factor;
    }
    cache.version = version;
    return cache;
}

}  // namespace

TransformValues channelValues(const Node& n, unsigned slots) {
    TransformValues v = n.xf;
    slots &= n.drivenSlots;
    if (!n.hasTransform || slots == 0) return v;
    Node::DriverCache& cache = drivers(n);
    const double seconds = currentSeconds();
    for (std::size_t i = 0; i < sizeof kChannels / sizeof kChannels[0]; ++i) {
        const Channel& ch = kChannels[i];
        Node::DriverCache::Entry& e = cache.channels[i];
        if (!e.curve || !(slots & slotBit(ch.slot))) continue;
        const double value = evaluateCurve(*e.curve, seconds, e.cursor) * e.factor;
        // A value that is not finite is not taken: the stored one holds.
        if (!std::isfinite(value)) continue;
        if (ch.slot == Slot::RotateOrder) {
            // An enum channel takes the nearest legal value.
            v.rotateOrder = static_cast<int>(std::lround(std::min(5.0, std::max(0.0, value))));
            continue;
        }
        double* target = ch.slot == Slot::Translate     ? v.translate
                         : ch.slot == Slot::Rotate      ? v.rotate
                         : ch.slot == Slot::Scale       ? v.scale
                         : ch.slot == Slot::RotateAxis  ? v.rotateAxis
                                                        : v.jointOrient;
        target[ch.axis] = value;
    }
    return v;
}

}  // namespace detail

std::vector<UnevaluatedChannel> unevaluatedChannels(const MObject& object) {
    using namespace detail;
    std::vector<UnevaluatedChannel> out;
    const Node* n = node(object);
    if (!n || !n->hasTransform) return out;
    for (const Channel& ch : kChannels) {
        if (!(n->drivenSlots & slotBit(ch.slot))) continue;
        if (ch.slot == Slot::JointOrient && n->apiType != MFn::kJoint) continue;
        Driver d = resolve(*n, ch.name);
        // A curve whose value is not finite now is read as stored too.
        if (d.kind == Driver::Evaluated && !std::isfinite(evaluateCurve(*d.curve, currentSeconds()) * d.factor))
            d.kind = Driver::Unevaluable;
        if (d.kind != Driver::Unevaluable) continue;
        // A compound connection shows once, not once per channel.
        if (!out.empty() && out.back().attribute == d.attribute) continue;
        UnevaluatedChannel u;
        u.attribute = d.attribute;
        u.driverType = d.stop ? d.stop->type : std::string("unknown");
        u.driverName = d.stop ? d.stop->name : std::string();
        out.push_back(std::move(u));
    }
    return out;
}

std::vector<UnevaluatedNodeChannel> unevaluatedChannelsAbove(const std::vector<MObject>& joints) {
    std::vector<UnevaluatedNodeChannel> out;
    std::unordered_set<unsigned long long> seen;
    std::vector<MObject> chain;
    for (const MObject& joint : joints) {
        chain.clear();
        for (MObject n = joint; !n.isNull() && n != world() && seen.insert(n.id()).second;) {
            chain.push_back(n);
            const auto up = parents(n);
            n = up.empty() ? MObject() : up.front();
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            for (auto& u : unevaluatedChannels(*it)) out.push_back({partialPath(*it), std::move(u)});
    }
    return out;
}

}  // namespace qmfhost
