#include <maya/MFnAnimCurve.h>
#include <maya/MAnimCurveChange.h>
#include <maya/MDGModifier.h>
#include <maya/MPlug.h>
#include <qmfhost/Animation.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <algorithm>
#include <cmath>

using namespace qmfhost::detail;

namespace {

bool validTangent(MFnAnimCurve::TangentType t) {
    return t >= MFnAnimCurve::kTangentGlobal && t <= MFnAnimCurve::kTangentAuto;
}

bool validInfinity(MFnAnimCurve::InfinityType t) {
    return t == MFnAnimCurve::kConstant || t == MFnAnimCurve::kLinear || t == MFnAnimCurve::kCycle ||
           t == MFnAnimCurve::kCycleRelative || t == MFnAnimCurve::kOscillate;
}

bool animatable(const AttrDef& d) {
    return d.unit == AttrUnit::Distance || d.unit == AttrUnit::Angle || d.unit == AttrUnit::Unitless ||
           d.unit == AttrUnit::Enum || d.unit == AttrUnit::Bool;
}

MFnAnimCurve::AnimCurveType timedTypeFor(const AttrDef& d) {
    switch (d.unit) {
    case AttrUnit::Angle: return MFnAnimCurve::kAnimCurveTA;
    case AttrUnit::Distance: return MFnAnimCurve::kAnimCurveTL;
    default: return MFnAnimCurve::kAnimCurveTU;
    }
}

bool timed(MFnAnimCurve::AnimCurveType t) {
    return t >= MFnAnimCurve::kAnimCurveTA && t <= MFnAnimCurve::kAnimCurveTU;
}

MFnAnimCurve::TangentType resolveIn(MFnAnimCurve::TangentType t) {
    return t == MFnAnimCurve::kTangentGlobal ? host().anim.globalInTangent : t;
}
MFnAnimCurve::TangentType resolveOut(MFnAnimCurve::TangentType t) {
    return t == MFnAnimCurve::kTangentGlobal ? host().anim.globalOutTangent : t;
}

}  // namespace

MFnAnimCurve::MFnAnimCurve(MObject& object, MStatus* ReturnStatus) { report(ReturnStatus, attach(object)); }
MFnAnimCurve::MFnAnimCurve(const MObject& object, MStatus* ReturnStatus) {
    report(ReturnStatus, attach(object));
}
MFnAnimCurve::MFnAnimCurve(const MPlug& plug, MStatus* ReturnStatus) {
    MPlug src = plug.source();
    MObject srcNode = src.isNull() ? MObject() : src.node();
    report(ReturnStatus, attach(srcNode));
}
MFnAnimCurve::~MFnAnimCurve() = default;

MFn::Type MFnAnimCurve::type() const { return MFn::kAnimCurve; }

MObject MFnAnimCurve::create(const MObject& node, const MObject& attribute, MDGModifier* modifier,
                             MStatus* ReturnStatus) {
    return createConnected(node, attribute, false, kAnimCurveTA, modifier, ReturnStatus);
}

MObject MFnAnimCurve::create(const MObject& node, const MObject& attribute, AnimCurveType type,
                             MDGModifier* modifier, MStatus* ReturnStatus) {
    return createConnected(node, attribute, true, type, modifier, ReturnStatus);
}

MObject MFnAnimCurve::create(const MPlug& plug, MDGModifier* modifier, MStatus* ReturnStatus) {
    return createConnected(plug.node(), plug.attribute(), false, kAnimCurveTA, modifier, ReturnStatus);
}

MObject MFnAnimCurve::create(const MPlug& plug, AnimCurveType type, MDGModifier* modifier,
                             MStatus* ReturnStatus) {
    return createConnected(plug.node(), plug.attribute(), true, type, modifier, ReturnStatus);
}

MObject MFnAnimCurve::createConnected(const MObject& nodeObject, const MObject& attribute, bool typed,
                                      AnimCurveType type, MDGModifier* modifier, MStatus* ReturnStatus) {
    const int ai = attrIndex(attribute);
    const std::string attrName = ai >= 0 ? attrDef(ai).longName : std::string();
    MStatus injected;
    if (qmfhost::detail::fault("MFnAnimCurve::create", &injected, &nodeObject, attrName.c_str())) {
        report(ReturnStatus, injected);
        return MObject::kNullObj;
    }
    Node* target = qmfhost::detail::node(nodeObject);
    if (!target || ai < 0 || !nodeHasAttr(*target, ai)) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, target ? kMsgNotFoundType : kMsgObjectMissing));
        return MObject::kNullObj;
    }
    const AttrDef& def = attrDef(ai);
    if (!animatable(def) || (typed && nodeTypeForCurveType(type) == nullptr)) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    if (effectiveLocked(*target, def.longName)) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgLocked));
        return MObject::kNullObj;
    }
    if (drivingConnection(target->id, def.longName)) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgConnected));
        return MObject::kNullObj;
    }
    const AnimCurveType curveType = typed ? type : timedTypeFor(def);
    // Named as Maya names keyed channels: "<node>_<attribute>", numbered on a clash.
    const std::string base = target->name + "_" + def.longName;
    const std::string name = nameInUse(base) ? uniqueName(base) : base;
    Node* curve = makeNode(nodeTypeForCurveType(curveType), name, false, 0);
    addConnection(curve->id, "output", target->id, def.longName);
    MObject result(MObject::kNodeKind, curve->id);
    if (modifier) modifier->recordCreatedNode(result);
    attach(result);
    report(ReturnStatus, MStatus::kSuccess);
    return result;
}

MObject MFnAnimCurve::create(AnimCurveType type, MDGModifier* modifier, MStatus* ReturnStatus) {
    const char* typeName = nodeTypeForCurveType(type);
    if (!typeName) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    Node* curve = makeNode(typeName, uniqueName(typeName), false, 0);
    MObject result(MObject::kNodeKind, curve->id);
    if (modifier) modifier->recordCreatedNode(result);
    attach(result);
    report(ReturnStatus, MStatus::kSuccess);
    return result;
}

MFnAnimCurve::AnimCurveType MFnAnimCurve::animCurveType(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return kAnimCurveUnknown;
    report(ReturnStatus, MStatus::kSuccess);
    return node(fObject)->curve->type;
}

MFnAnimCurve::AnimCurveType MFnAnimCurve::timedAnimCurveTypeForPlug(MPlug& plug, MStatus* ReturnStatus) const {
    const int ai = attrIndex(plug.attribute());
    if (plug.isNull() || ai < 0 || !animatable(attrDef(ai))) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return kAnimCurveUnknown;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return timedTypeFor(attrDef(ai));
}

unsigned int MFnAnimCurve::numKeys(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0;
    report(ReturnStatus, MStatus::kSuccess);
    return static_cast<unsigned int>(node(fObject)->curve->size());
}

namespace {
// The curve when index names one of its keys, or null with kInvalidParameter.
CurveStore* keyAt(const MObject& curve, unsigned int index, MStatus* status) {
    CurveStore* keys = qmfhost::detail::node(curve)->curve.get();
    if (index >= keys->size()) {
        report(status, makeStatus(MStatus::kInvalidParameter, kMsgNoElement));
        return nullptr;
    }
    report(status, MStatus::kSuccess);
    return keys;
}

MTime secondsToUiTime(double seconds) {
    const MTime::Unit ui = MTime::uiUnit();
    return MTime(MTime(seconds, MTime::kSeconds).as(ui), ui);
}
}  // namespace

MTime MFnAnimCurve::time(unsigned int index, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MTime(0.0, MTime::kSeconds);
    const CurveStore* k = keyAt(fObject, index, ReturnStatus);
    return k ? secondsToUiTime(k->time(index)) : MTime(0.0, MTime::kSeconds);
}

double MFnAnimCurve::value(unsigned int index, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0.0;
    const CurveStore* k = keyAt(fObject, index, ReturnStatus);
    return k ? k->value(index) : 0.0;
}

MStatus MFnAnimCurve::setValue(unsigned int index, double value, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!std::isfinite(value)) return makeStatus(MStatus::kInvalidParameter);
    MStatus s;
    if (change) change->recordCurve(fObject);
    if (CurveStore* k = keyAt(fObject, index, &s)) k->setValue(index, value);
    return s;
}

MStatus MFnAnimCurve::setTime(unsigned int index, const MTime& time, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    const double seconds = time.as(MTime::kSeconds);
    if (!std::isfinite(seconds)) return makeStatus(MStatus::kInvalidParameter);
    CurveStore& keys = *node(fObject)->curve;
    if (index >= keys.size()) return makeStatus(MStatus::kInvalidParameter, kMsgNoElement);
    for (size_t i = 0; i < keys.size(); ++i)
        if (i != index && timeTicks(keys.time(i)) == timeTicks(seconds))
            return makeStatus(MStatus::kFailure);   // would merge two keys
    if (change) change->recordCurve(fObject);
    keys.setTime(index, seconds);
    keys.sortByTime();
    return MStatus::kSuccess;
}

bool MFnAnimCurve::find(const MTime& time, unsigned int& index, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return false;
    report(ReturnStatus, MStatus::kSuccess);
    const long long t = timeTicks(time.as(MTime::kSeconds));
    const CurveStore& keys = *node(fObject)->curve;
    for (size_t i = 0; i < keys.size(); ++i)
        if (timeTicks(keys.time(i)) == t) {
            index = static_cast<unsigned int>(i);
            return true;
        }
    return false;
}

unsigned int MFnAnimCurve::findClosest(const MTime& time, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0;
    const CurveStore& keys = *node(fObject)->curve;
    if (keys.empty()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure, kMsgNoElement));
        return 0;
    }
    report(ReturnStatus, MStatus::kSuccess);
    const double t = time.as(MTime::kSeconds);
    size_t best = 0;
    for (size_t i = 1; i < keys.size(); ++i)
        if (std::fabs(keys.time(i) - t) < std::fabs(keys.time(best) - t)) best = i;
    return static_cast<unsigned int>(best);
}

MStatus MFnAnimCurve::addKeyframe(const MTime& time, double value, MAnimCurveChange* change) {
    return addKeyframe(time, value, kTangentGlobal, kTangentGlobal, change);
}

namespace {
qmfhost::KeyAddedHook gKeyAddedHook = nullptr;
void* gKeyAddedContext = nullptr;
}  // namespace

void qmfhost::setKeyAddedHook(KeyAddedHook hook, void* context) {
    gKeyAddedHook = hook;
    gKeyAddedContext = context;
}

namespace {
unsigned int addKeyTo(const MObject& curveObject, const MTime& time, double value,
                      MFnAnimCurve::TangentType tangentInType, MFnAnimCurve::TangentType tangentOutType,
                      MAnimCurveChange* change, MStatus* status) {
    CurveStore& curve = *node(curveObject)->curve;
    const double seconds = time.as(MTime::kSeconds);
    if (!timed(curve.type) || !std::isfinite(seconds) || !std::isfinite(value) ||
        MTime::secondsPerUnit(time.unit()) <= 0 || !validTangent(tangentInType) ||
        !validTangent(tangentOutType)) {
        report(status, makeStatus(MStatus::kInvalidParameter));
        return 0;
    }
    if (change) change->recordCurve(curveObject);
    qmfhost::CurveKey key;
    key.time = seconds;
    key.value = value;
    // Global tangents are resolved now: a key never keeps kTangentGlobal.
    key.inTangent = resolveIn(tangentInType);
    key.outTangent = resolveOut(tangentOutType);
    report(status, MStatus::kSuccess);
    unsigned int index = insertKey(curve, key);
    if (gKeyAddedHook) gKeyAddedHook(curveObject, gKeyAddedContext);
    return index;
}
}  // namespace

MStatus MFnAnimCurve::addKeyframe(const MTime& time, double value, TangentType tangentInType,
                                  TangentType tangentOutType, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnAnimCurve::addKeyframe", &s, &fObject)) return s;
    addKeyTo(fObject, time, value, tangentInType, tangentOutType, change, &s);
    return s;
}

unsigned int MFnAnimCurve::addKey(const MTime& time, double value, TangentType tangentInType,
                                  TangentType tangentOutType, MAnimCurveChange* change,
                                  MStatus* ReturnStatus) {
    if (!checkAttached(ReturnStatus)) return 0;
    MStatus injected;
    if (qmfhost::detail::fault("MFnAnimCurve::addKey", &injected, &fObject)) {
        report(ReturnStatus, injected);
        return 0;
    }
    return addKeyTo(fObject, time, value, tangentInType, tangentOutType, change, ReturnStatus);
}

MStatus MFnAnimCurve::remove(unsigned int index, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    CurveStore& keys = *node(fObject)->curve;
    if (index >= keys.size()) return makeStatus(MStatus::kInvalidParameter, kMsgNoElement);
    if (change) change->recordCurve(fObject);
    keys.erase(index);
    return MStatus::kSuccess;
}

MFnAnimCurve::TangentType MFnAnimCurve::inTangentType(unsigned int index, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return kTangentGlobal;
    const CurveStore* k = keyAt(fObject, index, ReturnStatus);
    return k ? k->inType(index) : kTangentGlobal;
}

MFnAnimCurve::TangentType MFnAnimCurve::outTangentType(unsigned int index, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return kTangentGlobal;
    const CurveStore* k = keyAt(fObject, index, ReturnStatus);
    return k ? k->outType(index) : kTangentGlobal;
}

namespace {
// One key's in or out tangent, resolved against the global type as a new
// key's would be.
MStatus setKeyTangent(bool attached, const MObject& curve, unsigned int index,
                      MFnAnimCurve::TangentType tangentType, MAnimCurveChange* change, bool in) {
    if (!attached) return makeStatus(MStatus::kFailure);
    if (!validTangent(tangentType)) return makeStatus(MStatus::kInvalidParameter);
    MStatus s;
    CurveStore* k = keyAt(curve, index, &s);
    if (!k) return s;
    if (change) change->recordCurve(curve);
    if (in)
        k->setInType(index, resolveIn(tangentType));
    else
        k->setOutType(index, resolveOut(tangentType));
    return s;
}
}  // namespace

MStatus MFnAnimCurve::setInTangentType(unsigned int index, TangentType tangentType, MAnimCurveChange* change) {
    return setKeyTangent(isAttached(), fObject, index, tangentType, change, true);
}

MStatus MFnAnimCurve::setOutTangentType(unsigned int index, TangentType tangentType, MAnimCurveChange* change) {
    return setKeyTangent(isAttached(), fObject, index, tangentType, change, false);
}

MStatus MFnAnimCurve::getTangent(unsigned int index, float& x, float& y, bool inTangent) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    const CurveStore& curve = *node(fObject)->curve;
    if (index >= curve.size()) return makeStatus(MStatus::kInvalidParameter, kMsgNoElement);
    const qmfhost::KeyTangents t = keyTangents(curve, index);
    const qmfhost::TangentVector& v = inTangent ? t.in : t.out;
    x = static_cast<float>(v.x);
    y = static_cast<float>(v.y);
    return MStatus::kSuccess;
}

MStatus MFnAnimCurve::evaluate(const MTime& atTime, double& value) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    const CurveStore& curve = *node(fObject)->curve;
    const double seconds = atTime.as(MTime::kSeconds);
    if (!timed(curve.type) || !std::isfinite(seconds)) return makeStatus(MStatus::kInvalidParameter);
    value = evaluateCurve(curve, seconds);
    return MStatus::kSuccess;
}

double MFnAnimCurve::evaluate(const MTime& atTime, MStatus* ReturnStatus) const {
    double value = 0.0;
    report(ReturnStatus, evaluate(atTime, value));
    return value;
}

bool MFnAnimCurve::isWeighted(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return false;
    report(ReturnStatus, MStatus::kSuccess);
    return node(fObject)->curve->weighted;
}

MStatus MFnAnimCurve::setIsWeighted(bool weighted, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (change) change->recordCurve(fObject);
    node(fObject)->curve->weighted = weighted;
    return MStatus::kSuccess;
}

MFnAnimCurve::InfinityType MFnAnimCurve::preInfinityType(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return kConstant;
    report(ReturnStatus, MStatus::kSuccess);
    return node(fObject)->curve->preInfinity;
}

MFnAnimCurve::InfinityType MFnAnimCurve::postInfinityType(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return kConstant;
    report(ReturnStatus, MStatus::kSuccess);
    return node(fObject)->curve->postInfinity;
}

MStatus MFnAnimCurve::setPreInfinityType(InfinityType infinityType, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!validInfinity(infinityType)) return makeStatus(MStatus::kInvalidParameter);
    if (change) change->recordCurve(fObject);
    node(fObject)->curve->preInfinity = infinityType;
    return MStatus::kSuccess;
}

MStatus MFnAnimCurve::setPostInfinityType(InfinityType infinityType, MAnimCurveChange* change) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!validInfinity(infinityType)) return makeStatus(MStatus::kInvalidParameter);
    if (change) change->recordCurve(fObject);
    node(fObject)->curve->postInfinity = infinityType;
    return MStatus::kSuccess;
}
