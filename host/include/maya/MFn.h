#ifndef MAYA_MFN_H
#define MAYA_MFN_H
// Function-set / object type identifiers. Compile against this header only:
// raw values differ between SDK versions, and the joint type is 120 here.

#include <maya/MTypes.h>

class OPENMAYA_EXPORT MFn {
public:
    enum Type {
        kInvalid = 0,
        kBase = 1,
        kNamedObject = 2,
        kModel = 3,
        kDependencyNode = 4,
        kAddDoubleLinear = 5,
        kAffect = 6,
        kAnimCurve = 7,
        kAnimCurveTimeToAngular = 8,
        kAnimCurveTimeToDistance = 9,
        kAnimCurveTimeToTime = 10,
        kAnimCurveTimeToUnitless = 11,
        kAnimCurveUnitlessToAngular = 12,
        kAnimCurveUnitlessToDistance = 13,
        kAnimCurveUnitlessToTime = 14,
        kAnimCurveUnitlessToUnitless = 15,
        kAttribute = 16,
        kCompoundAttribute = 17,
        kEnumAttribute = 18,
        kNumericAttribute = 19,
        kTypedAttribute = 20,
        kUnitAttribute = 21,
        kMessageAttribute = 22,
        kDagNode = 107,
        kEntity = 108,
        kTransform = 110,
        kIkHandle = 119,
        kJoint = 120,
        kWorld = 247,
        kShape = 248,
        kCamera = 250,
        kLight = 302,
        kLocator = 281,
        kMesh = 296,
        kNurbsCurve = 267,
        kNurbsSurface = 294,
        kIkEffector = 118,
        kUnitConversion = 526,
        kDagPose = 677,
        kScript = 626,
        kTime = 513,
        kPluginDependNode = 449,
        kPluginFileTranslator = 1100,
        kPlugin = 1101,
        kLast = 1200
    };
};

#endif
