#ifndef MAYA_MANIMCONTROL_H
#define MAYA_MANIMCONTROL_H
// Scene-wide animation settings: playback range, animation range, current
// time and the global tangent types new keys take. The playback range and
// the animation range are independent: setting one never moves the other.

#include <maya/MTypes.h>
#include <maya/MTime.h>
#include <maya/MStatus.h>
#include <maya/MFnAnimCurve.h>

class OPENMAYA_EXPORT MAnimControl {
public:
    enum PlaybackMode { kPlaybackOnce, kPlaybackLoop, kPlaybackOscillate };
    enum PlaybackViewMode { kPlaybackViewAll, kPlaybackViewActive };

    MAnimControl() = default;
    virtual ~MAnimControl();

    static MTime minTime();
    static MTime maxTime();
    static MStatus setMinTime(MTime newTime);
    static MStatus setMaxTime(MTime newTime);
    static MStatus setMinMaxTime(MTime newMinTime, MTime newMaxTime);

    static MTime animationStartTime();
    static MTime animationEndTime();
    static MStatus setAnimationStartTime(MTime newTime);
    static MStatus setAnimationEndTime(MTime newTime);
    static MStatus setAnimationStartEndTime(MTime newStartTime, MTime newEndTime);

    static MTime currentTime();
    static MStatus setCurrentTime(const MTime& newTime);

    static PlaybackMode playbackMode(MStatus* ReturnStatus = NULL);
    static MStatus setPlaybackMode(PlaybackMode mode);

    static MFnAnimCurve::TangentType globalInTangentType(MStatus* ReturnStatus = NULL);
    static MFnAnimCurve::TangentType globalOutTangentType(MStatus* ReturnStatus = NULL);
    // kTangentGlobal, kTangentFixed and values outside the enum are refused
    // (kFailure, setting unchanged).
    static MStatus setGlobalInTangentType(const MFnAnimCurve::TangentType& tangentType);
    static MStatus setGlobalOutTangentType(const MFnAnimCurve::TangentType& tangentType);

    static bool weightedTangents(MStatus* ReturnStatus = NULL);
    static MStatus setWeightedTangents(bool weighted);
};

#endif
