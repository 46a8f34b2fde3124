#include <maya/MAnimControl.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <cmath>

using namespace qmfhost::detail;

namespace {

bool usable(const MTime& t) { return MTime::secondsPerUnit(t.unit()) > 0 && std::isfinite(t.value()); }

// Runs a setter: an injected fault or an unusable time fails it unchanged.
template <typename F>
MStatus guarded(const char* call, bool ok, F&& apply) {
    MStatus s;
    if (qmfhost::detail::fault(call, &s)) return s;
    if (!ok) return makeStatus(MStatus::kFailure);
    apply(host().anim);
    return MStatus::kSuccess;
}

bool settableTangent(MFnAnimCurve::TangentType t) {
    // Global would refer to itself; Fixed needs per-key tangent values.
    return t >= MFnAnimCurve::kTangentLinear && t <= MFnAnimCurve::kTangentAuto;
}

}  // namespace

MAnimControl::~MAnimControl() = default;

MTime MAnimControl::minTime() { return host().anim.minTime; }
MTime MAnimControl::maxTime() { return host().anim.maxTime; }

MStatus MAnimControl::setMinTime(MTime t) {
    return guarded("MAnimControl::setMinTime", usable(t), [&](qmfhost::AnimControlState& a) { a.minTime = t; });
}

MStatus MAnimControl::setMaxTime(MTime t) {
    return guarded("MAnimControl::setMaxTime", usable(t), [&](qmfhost::AnimControlState& a) { a.maxTime = t; });
}

MStatus MAnimControl::setMinMaxTime(MTime lo, MTime hi) {
    return guarded("MAnimControl::setMinMaxTime", usable(lo) && usable(hi) && !(hi < lo),
                   [&](qmfhost::AnimControlState& a) {
                       a.minTime = lo;
                       a.maxTime = hi;
                   });
}

MTime MAnimControl::animationStartTime() { return host().anim.animationStartTime; }
MTime MAnimControl::animationEndTime() { return host().anim.animationEndTime; }

MStatus MAnimControl::setAnimationStartTime(MTime t) {
    return guarded("MAnimControl::setAnimationStartTime", usable(t),
                   [&](qmfhost::AnimControlState& a) { a.animationStartTime = t; });
}

MStatus MAnimControl::setAnimationEndTime(MTime t) {
    return guarded("MAnimControl::setAnimationEndTime", usable(t),
                   [&](qmfhost::AnimControlState& a) { a.animationEndTime = t; });
}

MStatus MAnimControl::setAnimationStartEndTime(MTime lo, MTime hi) {
    return guarded("MAnimControl::setAnimationStartEndTime", usable(lo) && usable(hi) && !(hi < lo),
                   [&](qmfhost::AnimControlState& a) {
                       a.animationStartTime = lo;
                       a.animationEndTime = hi;
                   });
}

MTime MAnimControl::currentTime() { return host().anim.currentTime; }

MStatus MAnimControl::setCurrentTime(const MTime& t) {
    if (!usable(t)) return makeStatus(MStatus::kFailure);
    host().anim.currentTime = t;
    return MStatus::kSuccess;
}

namespace {
MAnimControl::PlaybackMode& playback() {
    static MAnimControl::PlaybackMode mode = MAnimControl::kPlaybackLoop;
    return mode;
}
}  // namespace

MAnimControl::PlaybackMode MAnimControl::playbackMode(MStatus* ReturnStatus) {
    report(ReturnStatus, MStatus::kSuccess);
    return playback();
}

MStatus MAnimControl::setPlaybackMode(PlaybackMode mode) {
    if (mode < kPlaybackOnce || mode > kPlaybackOscillate) return makeStatus(MStatus::kFailure);
    playback() = mode;
    return MStatus::kSuccess;
}

MFnAnimCurve::TangentType MAnimControl::globalInTangentType(MStatus* ReturnStatus) {
    report(ReturnStatus, MStatus::kSuccess);
    return host().anim.globalInTangent;
}

MFnAnimCurve::TangentType MAnimControl::globalOutTangentType(MStatus* ReturnStatus) {
    report(ReturnStatus, MStatus::kSuccess);
    return host().anim.globalOutTangent;
}

MStatus MAnimControl::setGlobalInTangentType(const MFnAnimCurve::TangentType& t) {
    return guarded("MAnimControl::setGlobalInTangentType", settableTangent(t),
                   [&](qmfhost::AnimControlState& a) { a.globalInTangent = t; });
}

MStatus MAnimControl::setGlobalOutTangentType(const MFnAnimCurve::TangentType& t) {
    return guarded("MAnimControl::setGlobalOutTangentType", settableTangent(t),
                   [&](qmfhost::AnimControlState& a) { a.globalOutTangent = t; });
}

bool MAnimControl::weightedTangents(MStatus* ReturnStatus) {
    report(ReturnStatus, MStatus::kSuccess);
    return host().anim.weightedTangents;
}

MStatus MAnimControl::setWeightedTangents(bool weighted) {
    host().anim.weightedTangents = weighted;
    return MStatus::kSuccess;
}
