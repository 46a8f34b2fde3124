#include <qmfhost/Faults.h>

#include "HostState.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <cstdint>

namespace qmfhost {

namespace {

const char* const kPoints[] = {
    "MFnAnimCurve::create",
    "MFnAnimCurve::addKeyframe",
    "MFnAnimCurve::addKey",
    "MAnimControl::setMinTime",
    "MAnimControl::setMaxTime",
    "MAnimControl::setMinMaxTime",
    "MAnimControl::setAnimationStartTime",
    "MAnimControl::setAnimationEndTime",
    "MAnimControl::setAnimationStartEndTime",
    "MAnimControl::setGlobalInTangentType",
    "MAnimControl::setGlobalOutTangentType",
    "MItDag::MItDag",
    "MItDag::reset",
    "MFnPlugin::MFnPlugin",
    "MFnPlugin::registerFileTranslator",
    "MFnPlugin::deregisterFileTranslator",
    "MFnDagNode::create",
    "MFnTransform::create",
    "MFnIkJoint::create",
    "MFnIkJoint::getOrientation",
    "MFnTransform::getRotation",
    "MFnTransform::setRotation",
    "MFnTransform::setTranslation",
    "MFnDependencyNode::attribute",
    "MPlug::setLocked",
};

struct Armed {
    FaultRequest request;
    int skipLeft;
    int timesLeft;   // kAlways for no limit
};

struct FaultState {
    std::vector<Armed> armed;
    // Transparent comparison: counting a call looks its name up without
    // building a string, since curve keys pass here once per key.
    std::map<std::string, int, std::less<>> calls;
    std::map<std::string, int, std::less<>> fired;
    // Call points name themselves with string literals: after the first call
    // from a point its counter is found by the literal's address alone, in a
    // small table indexed by address bits (a clash just looks the name up).
    struct Recent {
        const char* call = nullptr;
        int* counter = nullptr;
    };
    Recent recent[128];
};

FaultState& state() {
    static FaultState* s = new FaultState;
    return *s;
}

bool knownPoint(const std::string& call) {
    return std::find_if(std::begin(kPoints), std::end(kPoints),
                        [&](const char* p) { return call == p; }) != std::end(kPoints);
}

bool nodeMatches(const std::string& wanted, const MObject* object) {
    if (wanted.empty()) return true;
    if (!object) return false;
    const detail::Node* n = detail::node(*object);
    if (!n) return false;
    if (n->name == wanted) return true;
    if (!n->dag || n->world) return false;
    for (const auto& path : detail::allPaths(n->id))
        if (detail::pathString(path) == wanted) return true;
    return false;
}

bool attributeMatches(const std::string& wanted, const MObject* object, const char* attribute) {
    if (wanted.empty()) return true;
    if (!attribute || !object) return false;
    const detail::Node* n = detail::node(*object);
    if (!n) return wanted == attribute;
    return detail::attrKey(*n, wanted) == detail::attrKey(*n, attribute);
}

}  // namespace

MStatus injectFault(const FaultRequest& request) {
    if (!knownPoint(request.call) || request.code == MStatus::kSuccess || request.times == 0 ||
        request.times < kAlways || request.skip < 0 || request.code > MStatus::kEndOfFile)
        return MStatus::kInvalidParameter;
    state().armed.push_back(Armed{request, request.skip, request.times});
    return MStatus::kSuccess;
}

MStatus injectFault(const std::string& call, MStatus::MStatusCode code, int times, int skip) {
    FaultRequest request;
    request.call = call;
    request.code = code;
    request.times = times;
    request.skip = skip;
    return injectFault(request);
}

MStatus injectFaultFor(const std::string& call, const std::string& node, const std::string& attribute,
                       MStatus::MStatusCode code, int times) {
    FaultRequest request;
    request.call = call;
    request.code = code;
    request.times = times;
    request.node = node;
    request.attribute = attribute;
    if (node.empty() && !attribute.empty()) return MStatus::kInvalidParameter;
    return injectFault(request);
}

void clearFaults() {
    FaultState& s = state();
    s.armed.clear();
    s.calls.clear();
    for (auto& r : s.recent) r = FaultState::Recent{};
    s.fired.clear();
}

int callCount(const std::string& call) {
    auto it = state().calls.find(call);
    return it == state().calls.end() ? 0 : it->second;
}

int faultsFired(const std::string& call) {
    auto it = state().fired.find(call);
    return it == state().fired.end() ? 0 : it->second;
}

std::vector<std::string> faultPoints() { return std::vector<std::string>(std::begin(kPoints), std::end(kPoints)); }

namespace detail {

bool fault(const char* call, MStatus* status, const MObject* node, const char* attribute) {
    FaultState& s = state();
    FaultState::Recent& r = s.recent[(reinterpret_cast<std::uintptr_t>(call) >> 3) % 128];
    if (r.call != call) {
        const std::string_view name(call);
        auto counted = s.calls.find(name);
        if (counted == s.calls.end()) counted = s.calls.emplace(std::string(name), 0).first;
        r = FaultState::Recent{call, &counted->second};
    }
    ++*r.counter;
    if (s.armed.empty()) return false;
    for (auto it = s.armed.begin(); it != s.armed.end(); ++it) {
        Armed& a = *it;
        if (a.request.call != call) continue;
        if (!nodeMatches(a.request.node, node) || !attributeMatches(a.request.attribute, node, attribute))
            continue;
        if (a.skipLeft > 0) {
            --a.skipLeft;
            continue;
        }
        if (status) *status = makeStatus(a.request.code, kMsgDefault);
        ++s.fired[call];
        if (a.timesLeft != kAlways && --a.timesLeft == 0) s.armed.erase(it);
        return true;
    }
    return false;
}

}  // namespace detail
}  // namespace qmfhost
