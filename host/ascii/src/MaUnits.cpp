// Unit names, tangent codes and attribute aliases of Maya ASCII files: the
// tables the interpreter and the writer translate through.
#include "qmfhost/MaScene.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <unordered_map>

namespace qmfhost::ma {

using namespace std::string_view_literals;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct UnitEntry {
    const char* name;
    double factor;
};

const UnitEntry kLinear[] = {{"mm", 0.1},       {"millimeter", 0.1}, {"cm", 1.0},      {"centimeter", 1.0},
                             {"m", 100.0},      {"meter", 100.0},    {"km", 1.0e5},    {"kilometer", 1.0e5},
                             {"in", 2.54},      {"inch", 2.54},      {"ft", 30.48},    {"foot", 30.48},
                             {"yd", 91.44},     {"yard", 91.44},     {"mi", 160934.4}, {"mile", 160934.4}};
const UnitEntry kAngle[] = {{"deg", kPi / 180.0}, {"degree", kPi / 180.0}, {"rad", 1.0}, {"radian", 1.0},
                            {"min", kPi / 10800.0}, {"sec", kPi / 648000.0}};
const UnitEntry kTime[] = {{"hour", 1.0 / 3600.0}, {"min", 1.0 / 60.0}, {"sec", 1.0},   {"millisec", 1000.0},
                           {"game", 15.0},         {"film", 24.0},      {"pal", 25.0},  {"ntsc", 30.0},
                           {"show", 48.0},         {"palf", 50.0},      {"ntscf", 60.0}, {"23.976fps", 24000.0 / 1001.0},
                           {"29.97fps", 30000.0 / 1001.0}, {"29.97df", 30000.0 / 1001.0},
                           {"47.952fps", 48000.0 / 1001.0}, {"59.94fps", 60000.0 / 1001.0},
                           {"44100fps", 44100.0}, {"48000fps", 48000.0}};

template <std::size_t N>
const UnitEntry* lookup(const UnitEntry (&table)[N], const std::string& name) {
    for (const auto& e : table)
        if (name == e.name) return &e;
    return nullptr;
}

// Any "<n>fps" is a frame rate too.
bool fpsName(const std::string& name, double& fps) {
    if (name.size() < 4 || name.compare(name.size() - 3, 3, "fps") != 0) return false;
    char* end = nullptr;
    std::string num = name.substr(0, name.size() - 3);
    double v = std::strtod(num.c_str(), &end);
    if (end != num.c_str() + num.size() || !(v > 0) || !std::isfinite(v)) return false;
    fps = v;
    return true;
}

// Hashed: every setAttr looks its attribute up here.
const std::unordered_map<std::string, std::string>& attrAliases() {
    static const std::unordered_map<std::string, std::string> m = {
        {"translate", "t"},        {"translateX", "tx"},     {"translateY", "ty"},    {"translateZ", "tz"},
        {"rotate", "r"},           {"rotateX", "rx"},        {"rotateY", "ry"},       {"rotateZ", "rz"},
        {"scale", "s"},            {"scaleX", "sx"},         {"scaleY", "sy"},        {"scaleZ", "sz"},
        {"jointOrient", "jo"},     {"jointOrientX", "jox"},  {"jointOrientY", "joy"}, {"jointOrientZ", "joz"},
        {"inverseScale", "is"},    {"inverseScaleX", "isx"}, {"inverseScaleY", "isy"}, {"inverseScaleZ", "isz"},
        {"segmentScaleCompensate", "ssc"},
        {"rotateOrder", "ro"},     {"tangentType", "tan"},   {"weightedTangents", "wgt"},
        {"keyTimeValue", "ktv"},   {"keyTanInType", "kit"},  {"keyTanOutType", "kot"},
        {"preInfinity", "pre"},    {"postInfinity", "pst"},  {"output", "o"},
        {"before", "b"},           {"scriptType", "st"},
        {"keyTanInX", "kix"},      {"keyTanInY", "kiy"},     {"keyTanOutX", "kox"},   {"keyTanOutY", "koy"},
        {"outTime", "o"},          {"conversionFactor", "cf"},
    };
    return m;
}
}  // namespace

bool applyUnitFlag(Units& units, const std::string& flag, const std::string& value) {
    if (flag == "-l"sv || flag == "-linear"sv) {
        auto* e = lookup(kLinear, value);
        if (!e) return false;
        units.linearToCm = e->factor;
        units.linearName = value;
    } else if (flag == "-a"sv || flag == "-angle"sv) {
        auto* e = lookup(kAngle, value);
        if (!e) return false;
        units.angleToRadians = e->factor;
        units.angleName = value;
    } else if (flag == "-t"sv || flag == "-time"sv) {
        auto* e = lookup(kTime, value);
        double fps = 0;
        if (e) fps = e->factor;
        else if (!fpsName(value, fps)) return false;
        units.framesPerSecond = fps;
        units.timeName = value;
    }
    return true;  // other flags (-ua, -f...) carry no unit
}

int tangentFromFileCode(int code) {
    switch (code) {
        case 1: return 1;
        case 2: return 2;
        case 3: return 3;
        case 9: return 4;
        case 5: return 5;
        case 6: return 6;
        case 7: return 7;
        case 10: return 8;
        case 16: return 9;
        case 17: return 10;
        default: return 11;
    }
}

int tangentToFileCode(int api) {
    switch (api) {
        case 1: return 1;
        case 2: return 2;
        case 3: return 3;
        case 4: return 9;
        case 5: return 5;
        case 6: return 6;
        case 7: return 7;
        case 8: return 10;
        case 9: return 16;
        case 10: return 17;
        default: return 18;
    }
}

std::string canonicalAttr(const std::string& attr) {
    auto it = attrAliases().find(attr);
    return it == attrAliases().end() ? attr : it->second;
}

}  // namespace qmfhost::ma
