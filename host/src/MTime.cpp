#include <maya/MTime.h>
#include <maya/MStatus.h>

#include "HostState.h"

#include <ostream>

namespace {
double framesPerSecond(MTime::Unit unit) {
    switch (unit) {
    case MTime::kGames: return 15;
    case MTime::kFilm: return 24;
    case MTime::kPALFrame: return 25;
    case MTime::kNTSCFrame: return 30;
    case MTime::kShowScan: return 48;
    case MTime::kPALField: return 50;
    case MTime::kNTSCField: return 60;
    case MTime::k2FPS: return 2;
    case MTime::k3FPS: return 3;
    case MTime::k4FPS: return 4;
    case MTime::k5FPS: return 5;
    case MTime::k6FPS: return 6;
    case MTime::k8FPS: return 8;
    case MTime::k10FPS: return 10;
    case MTime::k12FPS: return 12;
    case MTime::k16FPS: return 16;
    case MTime::k20FPS: return 20;
    case MTime::k40FPS: return 40;
    case MTime::k75FPS: return 75;
    case MTime::k80FPS: return 80;
    case MTime::k100FPS: return 100;
    case MTime::k120FPS: return 120;
    case MTime::k125FPS: return 125;
    case MTime::k150FPS: return 150;
    case MTime::k200FPS: return 200;
    case MTime::k240FPS: return 240;
    case MTime::k250FPS: return 250;
    case MTime::k300FPS: return 300;
    case MTime::k375FPS: return 375;
    case MTime::k400FPS: return 400;
    case MTime::k500FPS: return 500;
    case MTime::k600FPS: return 600;
    case MTime::k750FPS: return 750;
    case MTime::k1200FPS: return 1200;
    case MTime::k1500FPS: return 1500;
    case MTime::k2000FPS: return 2000;
    case MTime::k3000FPS: return 3000;
    case MTime::k6000FPS: return 6000;
    case MTime::k23_976FPS: return 24000.0 / 1001.0;
    case MTime::k29_97FPS:
    case MTime::k29_97DF: return 30000.0 / 1001.0;
    case MTime::k47_952FPS: return 48000.0 / 1001.0;
    case MTime::k59_94FPS: return 60000.0 / 1001.0;
    case MTime::k44100FPS: return 44100;
    case MTime::k48000FPS: return 48000;
    case MTime::k90FPS: return 90;
    default: return 0;
    }
}
}  // namespace

double MTime::secondsPerUnit(Unit unit) {
    switch (unit) {
    case kHours: return 3600;
    case kMinutes: return 60;
    case kSeconds: return 1;
    case kMilliseconds: return 0.001;
    default: break;
    }
    double fps = framesPerSecond(unit);
    return fps > 0 ? 1.0 / fps : 0.0;
}

MTime::MTime() : fValue(1.0), fUnit(uiUnit()) {}

MStatus MTime::setUnit(Unit newUnit) {
    if (secondsPerUnit(newUnit) <= 0) return MStatus::kInvalidParameter;
    fUnit = newUnit;
    return MStatus::kSuccess;
}

MStatus MTime::setValue(double newValue) {
    fValue = newValue;
    return MStatus::kSuccess;
}

double MTime::as(Unit otherUnit) const {
    const double from = secondsPerUnit(fUnit);
    const double to = secondsPerUnit(otherUnit);
    if (from <= 0 || to <= 0) return 0.0;
    if (fUnit == otherUnit) return fValue;
    // Divide by the target's length in seconds through frame rates where we
    // can, so that 1 s at film is exactly 24.
    const double fps = framesPerSecond(otherUnit);
    const double seconds = fValue * from;
    return fps > 0 ? seconds * fps : seconds / to;
}

MTime::Unit MTime::uiUnit() { return qmfhost::detail::host().uiUnit; }

MStatus MTime::setUIUnit(Unit newUnit) {
    if (secondsPerUnit(newUnit) <= 0) return MStatus::kInvalidParameter;
    qmfhost::detail::host().uiUnit = newUnit;
    return MStatus::kSuccess;
}

bool MTime::operator==(const MTime& rhs) const {
    return qmfhost::detail::timeTicks(as(kSeconds)) == qmfhost::detail::timeTicks(rhs.as(kSeconds));
}

bool MTime::operator<(const MTime& rhs) const {
    return qmfhost::detail::timeTicks(as(kSeconds)) < qmfhost::detail::timeTicks(rhs.as(kSeconds));
}

MTime MTime::operator+(const MTime& rhs) const { return MTime(fValue + rhs.as(fUnit), fUnit); }
MTime MTime::operator-(const MTime& rhs) const { return MTime(fValue - rhs.as(fUnit), fUnit); }
MTime& MTime::operator+=(const MTime& rhs) {
    fValue += rhs.as(fUnit);
    return *this;
}
MTime& MTime::operator-=(const MTime& rhs) {
    fValue -= rhs.as(fUnit);
    return *this;
}

std::ostream& operator<<(std::ostream& os, const MTime& t) {
    return os << t.value() << " (unit " << static_cast<int>(t.unit()) << ")";
}
