// Host-only access to animation curves (qmfhost/Scene.h): keys in and out
// whole, a block at a time, as columns, or viewed where the host keeps them.
#include <qmfhost/Scene.h>

#include "HostState.h"

#include <algorithm>
#include <cmath>

namespace qmfhost {

using namespace detail;

bool isAnimCurve(const MObject& n) {
    const Node* x = node(n);
    return x && x->curve;
}

MStatus getCurve(const MObject& n, CurveData& data) {
    const Node* x = node(n);
    if (!x || !x->curve) return makeStatus(MStatus::kInvalidParameter);
    data = x->curve->toData();
    return MStatus::kSuccess;
}

MStatus getCurveKeys(const MObject& n, std::size_t first, std::size_t count, CurveData& data) {
    const Node* x = node(n);
    if (!x || !x->curve) return makeStatus(MStatus::kInvalidParameter);
    const CurveStore& c = *x->curve;
    data.type = c.type;
    data.weighted = c.weighted;
    data.preInfinity = c.preInfinity;
    data.postInfinity = c.postInfinity;
    data.keys.clear();
    const std::size_t end = first < c.size() ? first + std::min(count, c.size() - first) : first;
    for (std::size_t i = first; i < end; ++i) data.keys.push_back(c.key(i));
    return MStatus::kSuccess;
}

MStatus viewCurveKeys(const MObject& n, CurveKeysView& view) {
    const Node* x = node(n);
    if (!x || !x->curve) return makeStatus(MStatus::kInvalidParameter);
    const CurveStore& c = *x->curve;
    view.size = c.size();
    view.times = c.timeData();
    view.values = c.valueData();
    view.inTangents = c.inTypes().data();
    view.outTangents = c.outTypes().data();
    view.inTangent = c.inTypes().all();
    view.outTangent = c.outTypes().all();
    view.tangentVectors = c.hasFixed();
    return MStatus::kSuccess;
}

std::size_t curveKeyCount(const MObject& n) {
    const Node* x = node(n);
    return x && x->curve ? x->curve->size() : 0;
}

MStatus setCurve(const MObject& n, const CurveData& data) {
    Node* x = node(n);
    if (!x || !x->curve) return makeStatus(MStatus::kInvalidParameter);
    auto validTangent = [](MFnAnimCurve::TangentType t) {
        return t > MFnAnimCurve::kTangentGlobal && t <= MFnAnimCurve::kTangentAuto;
    };
    auto validInfinity = [](MFnAnimCurve::InfinityType t) {
        return t == MFnAnimCurve::kConstant || t == MFnAnimCurve::kLinear || t == MFnAnimCurve::kCycle ||
               t == MFnAnimCurve::kCycleRelative || t == MFnAnimCurve::kOscillate;
    };
    if (!validInfinity(data.preInfinity) || !validInfinity(data.postInfinity))
        return makeStatus(MStatus::kInvalidParameter);
    CurveData next;
    next.type = x->curve->type;
    next.weighted = data.weighted;
    next.preInfinity = data.preInfinity;
    next.postInfinity = data.postInfinity;
    next.keys.reserve(data.keys.size());
    long long lastTicks = 0;  // of next's last key
    for (const CurveKey& k : data.keys) {
        if (!std::isfinite(k.time) || !std::isfinite(k.value) || !validTangent(k.inTangent) ||
            !validTangent(k.outTangent))
            return makeStatus(MStatus::kInvalidParameter);
        // Keys nearly always come in time order: those after the last go on the end without a search.
        const long long t = timeTicks(k.time);
        if (next.keys.empty() || t > lastTicks) {
            next.keys.push_back(k);
            lastTicks = t;
            continue;
        }
        unsigned int at = insertKey(next, k);
        next.keys[at] = k;   // a later key at the same time replaces all of the earlier one
    }
    x->curve->assign(next);
    return MStatus::kSuccess;
}

MStatus setCurveColumns(const MObject& n, const CurveColumns& keys) {
    Node* x = node(n);
    if (!x || !x->curve) return makeStatus(MStatus::kInvalidParameter);
    // Straight into the store when the keys need nothing setCurve does on
    // the way: already one per time in order, no fixed sides.
    bool plain = keys.inTangent != MFnAnimCurve::kTangentFixed && keys.outTangent != MFnAnimCurve::kTangentFixed &&
                 keys.inTangent > MFnAnimCurve::kTangentGlobal && keys.inTangent <= MFnAnimCurve::kTangentAuto &&
                 keys.outTangent > MFnAnimCurve::kTangentGlobal && keys.outTangent <= MFnAnimCurve::kTangentAuto;
    long long last = 0;
    for (std::size_t i = 0; plain && i < keys.size; ++i) {
        const long long t = timeTicks(keys.times[i]);
        plain = std::isfinite(keys.times[i]) && std::isfinite(keys.values[i]) && (i == 0 || t > last);
        last = t;
    }
    CurveData d;
    d.weighted = keys.weighted;
    d.preInfinity = keys.preInfinity;
    d.postInfinity = keys.postInfinity;
    if (plain) {
        // Checks the settings as setCurve does, with no keys to copy.
        const MStatus settings = setCurve(n, d);
        if (!settings) return settings;
        x->curve->assign(keys);
        return MStatus::kSuccess;
    }
    d.keys.reserve(keys.size);
    for (std::size_t i = 0; i < keys.size; ++i) {
        CurveKey k;
        k.time = keys.times[i];
        k.value = keys.values[i];
        k.inTangent = keys.inTangent;
        k.outTangent = keys.outTangent;
        d.keys.push_back(k);
    }
    return setCurve(n, d);
}

AnimControlState animControlState() { return host().anim; }

void setAnimControlState(const AnimControlState& state) { host().anim = state; }

}  // namespace qmfhost
