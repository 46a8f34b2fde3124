#include <maya/MAngle.h>

#include <maya/MStatus.h>

namespace {

// Maya's interface shows degrees unless the user chooses otherwise.
MAngle::Unit gUIUnit = MAngle::kDegrees;

bool valid(MAngle::Unit u) { return u > MAngle::kInvalid && u < MAngle::kLast; }

// How many of each unit make one radian.
double perRadian(MAngle::Unit u)
{
    const double deg = 180.0 / 3.14159265358979323846;
    switch (u) {
    case MAngle::kRadians: return 1.0;
    case MAngle::kDegrees: return deg;
    case MAngle::kAngMinutes: return deg * 60.0;
    case MAngle::kAngSeconds: return deg * 3600.0;
    default: return 0.0;
    }
}

}  // namespace

MStatus MAngle::setUnit(Unit newUnit)
{
    if (!valid(newUnit))
        return MS::kInvalidParameter;
    valUnit = newUnit;
    return MS::kSuccess;
}

MStatus MAngle::setValue(double newValue)
{
    val = newValue;
    return MS::kSuccess;
}

double MAngle::as(Unit otherUnit, MStatus* ReturnStatus) const
{
    if (!valid(otherUnit) || !valid(valUnit)) {
        if (ReturnStatus)
            *ReturnStatus = MS::kInvalidParameter;
        return 0.0;
    }
    if (ReturnStatus)
        *ReturnStatus = MS::kSuccess;
    if (otherUnit == valUnit)
        return val;
    return val / perRadian(valUnit) * perRadian(otherUnit);
}

MAngle::Unit MAngle::uiUnit() { return gUIUnit; }

MStatus MAngle::setUIUnit(Unit newUnit)
{
    if (!valid(newUnit))
        return MS::kInvalidParameter;
    gUIUnit = newUnit;
    return MS::kSuccess;
}

double MAngle::internalToUI(double internalValue) { return MAngle(internalValue, kRadians).as(gUIUnit); }

double MAngle::uiToInternal(double uiValue) { return MAngle(uiValue, gUIUnit).as(kRadians); }
