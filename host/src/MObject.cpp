#include <maya/MObject.h>

#include "HostState.h"

using namespace qmfhost::detail;

MObject MObject::kNullObj;

bool MObject::hasFn(MFn::Type fs) const {
    switch (fKind) {
    case kNodeKind: {
        const Node* n = node(*this);
        return n && nodeHasFn(*n, fs);
    }
    case kAttributeKind: {
        int i = attrIndex(*this);
        if (i < 0) return false;
        return fs == MFn::kBase || fs == MFn::kAttribute || fs == attrApiType(i);
    }
    case kPluginKind:
        return (fs == MFn::kBase || fs == MFn::kPlugin) && qmfhost::detail::plugin(*this) != nullptr;
    case kNoKind: break;
    }
    return false;
}

MFn::Type MObject::apiType() const {
    switch (fKind) {
    case kNodeKind: {
        const Node* n = node(*this);
        return n ? n->apiType : MFn::kInvalid;
    }
    case kAttributeKind: {
        int i = attrIndex(*this);
        return i < 0 ? MFn::kInvalid : attrApiType(i);
    }
    case kPluginKind: return qmfhost::detail::plugin(*this) ? MFn::kPlugin : MFn::kInvalid;
    case kNoKind: break;
    }
    return MFn::kInvalid;
}

const char* MObject::apiTypeStr() const {
    switch (apiType()) {
    case MFn::kInvalid: return "kInvalid";
    case MFn::kDependencyNode: return "kDependencyNode";
    case MFn::kDagNode: return "kDagNode";
    case MFn::kTransform: return "kTransform";
    case MFn::kJoint: return "kJoint";
    case MFn::kWorld: return "kWorld";
    case MFn::kIkHandle: return "kIkHandle";
    case MFn::kIkEffector: return "kIkEffector";
    case MFn::kMesh: return "kMesh";
    case MFn::kLocator: return "kLocator";
    case MFn::kCamera: return "kCamera";
    case MFn::kLight: return "kLight";
    case MFn::kNurbsCurve: return "kNurbsCurve";
    case MFn::kNurbsSurface: return "kNurbsSurface";
    case MFn::kAnimCurveTimeToAngular: return "kAnimCurveTimeToAngular";
    case MFn::kAnimCurveTimeToDistance: return "kAnimCurveTimeToDistance";
    case MFn::kAnimCurveTimeToTime: return "kAnimCurveTimeToTime";
    case MFn::kAnimCurveTimeToUnitless: return "kAnimCurveTimeToUnitless";
    case MFn::kAnimCurveUnitlessToAngular: return "kAnimCurveUnitlessToAngular";
    case MFn::kAnimCurveUnitlessToDistance: return "kAnimCurveUnitlessToDistance";
    case MFn::kAnimCurveUnitlessToTime: return "kAnimCurveUnitlessToTime";
    case MFn::kAnimCurveUnitlessToUnitless: return "kAnimCurveUnitlessToUnitless";
    case MFn::kUnitConversion: return "kUnitConversion";
    case MFn::kDagPose: return "kDagPose";
    case MFn::kScript: return "kScript";
    case MFn::kTime: return "kTime";
    case MFn::kAttribute: return "kAttribute";
    case MFn::kCompoundAttribute: return "kCompoundAttribute";
    case MFn::kEnumAttribute: return "kEnumAttribute";
    case MFn::kNumericAttribute: return "kNumericAttribute";
    case MFn::kUnitAttribute: return "kUnitAttribute";
    case MFn::kMessageAttribute: return "kMessageAttribute";
    case MFn::kPlugin: return "kPlugin";
    default: return "kUnknown";
    }
}
