#ifndef MAYA_MFNANIMCURVE_H
#define MAYA_MFNANIMCURVE_H
// Animation curve node: keys of (time, value) with tangent types. Values are
// in internal units (radians for angular curves, cm for linear ones).

#include <maya/MTypes.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MTime.h>

class MDGModifier;
class MAnimCurveChange;
class MPlug;

class OPENMAYA_EXPORT MFnAnimCurve : public MFnDependencyNode {
public:
    enum AnimCurveType {
        kAnimCurveTA = 0,   // time -> angle
        kAnimCurveTL,       // time -> distance
        kAnimCurveTT,       // time -> time
        kAnimCurveTU,       // time -> unitless
        kAnimCurveUA,
        kAnimCurveUL,
        kAnimCurveUT,
        kAnimCurveUU,
        kAnimCurveUnknown
    };
    enum TangentType {
        kTangentGlobal = 0,
        kTangentFixed,
        kTangentLinear,
        kTangentFlat,
        kTangentSmooth,
        kTangentStep,
        kTangentSlow,
        kTangentFast,
        kTangentClamped,
        kTangentPlateau,
        kTangentStepNext,
        kTangentAuto
    };
    enum InfinityType {
        kConstant = 0,
        kLinear = 1,
        kCycle = 3,
        kCycleRelative = 4,
        kOscillate = 5
    };

    MFnAnimCurve() = default;
    MFnAnimCurve(MObject& object, MStatus* ReturnStatus = NULL);
    MFnAnimCurve(const MObject& object, MStatus* ReturnStatus = NULL);
    // Attaches to the curve that drives the plug, if any.
    MFnAnimCurve(const MPlug& plug, MStatus* ReturnStatus = NULL);
    ~MFnAnimCurve() override;

    MFn::Type type() const override;

    // Creates a curve, connects its output to node.attribute and attaches to
    // it. The type follows the attribute: angular -> TA, distance -> TL,
    // anything else -> TU. kInvalidParameter for a missing node or
    // attribute, an attribute that cannot be animated, a locked plug or a
    // plug that is already driven.
    MObject create(const MObject& node, const MObject& attribute,
                   MDGModifier* modifier = NULL, MStatus* ReturnStatus = NULL);
    MObject create(const MObject& node, const MObject& attribute, AnimCurveType type,
                   MDGModifier* modifier = NULL, MStatus* ReturnStatus = NULL);
    MObject create(const MPlug& plug, MDGModifier* modifier = NULL, MStatus* ReturnStatus = NULL);
    MObject create(const MPlug& plug, AnimCurveType type,
                   MDGModifier* modifier = NULL, MStatus* ReturnStatus = NULL);
    // An unconnected curve of the given type.
    MObject create(AnimCurveType type, MDGModifier* modifier = NULL, MStatus* ReturnStatus = NULL);

    AnimCurveType animCurveType(MStatus* ReturnStatus = NULL) const;
    AnimCurveType timedAnimCurveTypeForPlug(MPlug& plug, MStatus* ReturnStatus = NULL) const;

    unsigned int numKeys(MStatus* ReturnStatus = NULL) const;
    unsigned int numKeyframes(MStatus* ReturnStatus = NULL) const { return numKeys(ReturnStatus); }
    MTime time(unsigned int index, MStatus* ReturnStatus = NULL) const;
    double value(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MStatus setValue(unsigned int index, double value, MAnimCurveChange* change = NULL);
    MStatus setTime(unsigned int index, const MTime& time, MAnimCurveChange* change = NULL);
    // Index of the key at exactly this time.
    bool find(const MTime& time, unsigned int& index, MStatus* ReturnStatus = NULL) const;
    unsigned int findClosest(const MTime& time, MStatus* ReturnStatus = NULL) const;

    // A new key takes the current global tangent types (never kTangentGlobal).
    // A key already at that time has its value replaced.
    MStatus addKeyframe(const MTime& time, double value, MAnimCurveChange* change = NULL);
    MStatus addKeyframe(const MTime& time, double value, TangentType tangentInType,
                        TangentType tangentOutType, MAnimCurveChange* change = NULL);
    unsigned int addKey(const MTime& time, double value,
                        TangentType tangentInType = kTangentGlobal,
                        TangentType tangentOutType = kTangentGlobal,
                        MAnimCurveChange* change = NULL, MStatus* ReturnStatus = NULL);
    MStatus remove(unsigned int index, MAnimCurveChange* change = NULL);

    TangentType inTangentType(unsigned int index, MStatus* ReturnStatus = NULL) const;
    TangentType outTangentType(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MStatus setInTangentType(unsigned int index, TangentType tangentType, MAnimCurveChange* change = NULL);
    MStatus setOutTangentType(unsigned int index, TangentType tangentType, MAnimCurveChange* change = NULL);

    // A key's tangent as evaluation uses it: x in seconds, y in internal
    // units (worked out from the key's type and neighbours unless fixed).
    MStatus getTangent(unsigned int index, float& x, float& y, bool inTangent) const;

    // The curve's value at a time, in internal units: keys, tangents, weights
    // and infinities as Maya evaluates them. kInvalidParameter for a curve
    // keyed on a unitless input (UA/UL/UT/UU) or an unusable time.
    double evaluate(const MTime& atTime, MStatus* ReturnStatus = NULL) const;
    MStatus evaluate(const MTime& atTime, double& value) const;

    bool isWeighted(MStatus* ReturnStatus = NULL) const;
    MStatus setIsWeighted(bool isWeighted, MAnimCurveChange* change = NULL);
    InfinityType preInfinityType(MStatus* ReturnStatus = NULL) const;
    InfinityType postInfinityType(MStatus* ReturnStatus = NULL) const;
    MStatus setPreInfinityType(InfinityType infinityType, MAnimCurveChange* change = NULL);
    MStatus setPostInfinityType(InfinityType infinityType, MAnimCurveChange* change = NULL);

private:
    MObject createConnected(const MObject& node, const MObject& attribute, bool typed,
                            AnimCurveType type, MDGModifier* modifier, MStatus* ReturnStatus);
};

#endif
