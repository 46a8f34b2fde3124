#ifndef MAYA_MANGLE_H
#define MAYA_MANGLE_H
// An angle with its unit. Internally the API works in radians.

#include <maya/MTypes.h>

class MStatus;

class OPENMAYA_EXPORT MAngle {
public:
    enum Unit { kInvalid, kRadians, kDegrees, kAngMinutes, kAngSeconds, kLast };

    MAngle() : val(0.0), valUnit(kRadians) {}
    MAngle(const MAngle& src) = default;
    MAngle(double value, Unit unit = kRadians) : val(value), valUnit(unit) {}
    ~MAngle() = default;
    MAngle& operator=(const MAngle& src) = default;

    Unit unit() const { return valUnit; }
    double value() const { return val; }
    // Changes the unit only; the number stays as it is.
    MStatus setUnit(Unit newUnit);
    MStatus setValue(double newValue);
    // The angle converted to another unit; 0 and kInvalidParameter for an
    // invalid unit.
    double as(Unit otherUnit, MStatus* ReturnStatus = NULL) const;
    double asUnits(Unit otherUnit, MStatus* ReturnStatus = NULL) const { return as(otherUnit, ReturnStatus); }
    double asRadians() const { return as(kRadians); }
    double asDegrees() const { return as(kDegrees); }
    double asAngMinutes() const { return as(kAngMinutes); }
    double asAngSeconds() const { return as(kAngSeconds); }

    static Unit uiUnit();
    static MStatus setUIUnit(Unit newUnit);
    static Unit internalUnit() { return kRadians; }
    static double internalToUI(double internalValue);
    static double uiToInternal(double uiValue);

private:
    double val;
    Unit valUnit;
};

#endif
