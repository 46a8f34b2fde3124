#ifndef MAYA_MTIME_H
#define MAYA_MTIME_H
// A time value in a unit. The number is kept as given; as() converts.

#include <maya/MTypes.h>
#include <iosfwd>

class MStatus;

class OPENMAYA_EXPORT MTime {
public:
    enum Unit {
        kInvalid = 0,
        kHours,             // 1
        kMinutes,           // 2
        kSeconds,           // 3
        kMilliseconds,      // 4
        kGames,             // 5: 15 fps
        kFilm,              // 6: 24 fps
        kPALFrame,          // 7: 25 fps
        kNTSCFrame,         // 8: 30 fps
        kShowScan,          // 9: 48 fps
        kPALField,          // 10: 50 fps
        kNTSCField,         // 11: 60 fps
        k2FPS, k3FPS, k4FPS, k5FPS, k6FPS, k8FPS, k10FPS, k12FPS,            // 12..19
        k16FPS, k20FPS, k40FPS, k75FPS, k80FPS, k100FPS, k120FPS, k125FPS,   // 20..27
        k150FPS, k200FPS, k240FPS, k250FPS, k300FPS, k375FPS, k400FPS,       // 28..34
        k500FPS, k600FPS, k750FPS, k1200FPS, k1500FPS, k2000FPS, k3000FPS,   // 35..41
        k6000FPS,           // 42
        k23_976FPS,         // 43
        k29_97FPS,          // 44
        k29_97DF,           // 45
        k47_952FPS,         // 46
        k59_94FPS,          // 47
        k44100FPS,          // 48
        k48000FPS,          // 49
        k90FPS,             // 50
        kUserDef,           // 51
        kLast,              // 52
        k15FPS = kGames,
        k24FPS = kFilm,
        k25FPS = kPALFrame,
        k30FPS = kNTSCFrame,
        k48FPS = kShowScan,
        k50FPS = kPALField,
        k60FPS = kNTSCField
    };

    // Time 1 (the first frame) in the current UI unit.
    MTime();
    MTime(double value, Unit unit = kFilm) : fValue(value), fUnit(unit) {}
    MTime(const MTime& other) = default;
    MTime& operator=(const MTime& other) = default;
    ~MTime() = default;

    Unit unit() const { return fUnit; }
    double value() const { return fValue; }
    // Changes the unit only; the number stays as it is.
    MStatus setUnit(Unit newUnit);
    MStatus setValue(double newValue);
    // The same instant expressed in another unit; 0 for an invalid unit.
    double as(Unit otherUnit) const;
    double asUnits(Unit otherUnit) const { return as(otherUnit); }

    // Seconds per one of the given unit; 0 for kInvalid, kUserDef, kLast
    // and values outside the enum.
    static double secondsPerUnit(Unit unit);

    static Unit uiUnit();
    static MStatus setUIUnit(Unit newUnit);

    // Comparisons are on the instant, whatever the units.
    bool operator==(const MTime& rhs) const;
    bool operator!=(const MTime& rhs) const { return !(*this == rhs); }
    bool operator<(const MTime& rhs) const;
    bool operator>(const MTime& rhs) const { return rhs < *this; }
    bool operator<=(const MTime& rhs) const { return !(rhs < *this); }
    bool operator>=(const MTime& rhs) const { return !(*this < rhs); }

    // Results keep this time's unit.
    MTime operator+(const MTime& rhs) const;
    MTime operator-(const MTime& rhs) const;
    MTime& operator+=(const MTime& rhs);
    MTime& operator-=(const MTime& rhs);
    MTime operator+(double rhs) const { return MTime(fValue + rhs, fUnit); }
    MTime operator-(double rhs) const { return MTime(fValue - rhs, fUnit); }
    MTime operator*(double rhs) const { return MTime(fValue * rhs, fUnit); }
    MTime operator/(double rhs) const { return MTime(fValue / rhs, fUnit); }

private:
    double fValue;
    Unit fUnit;
};

OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MTime& t);

#endif
