#include "formats/Units.h"

#include <cmath>

namespace qmf::formats {

namespace {

// Maya's fixed frame rates, by the name currentUnit takes.
const TimeUnit kTimeUnits[] = {
    {"game", 15},      {"film", 24},      {"pal", 25},       {"ntsc", 30},       {"show", 48},
    {"palf", 50},      {"ntscf", 60},     {"2fps", 2},       {"3fps", 3},        {"4fps", 4},
    {"5fps", 5},       {"6fps", 6},       {"8fps", 8},       {"10fps", 10},      {"12fps", 12},
    {"16fps", 16},     {"20fps", 20},     {"40fps", 40},     {"75fps", 75},      {"80fps", 80},
    {"100fps", 100},   {"120fps", 120},   {"125fps", 125},   {"150fps", 150},    {"200fps", 200},
    {"240fps", 240},   {"250fps", 250},   {"300fps", 300},   {"375fps", 375},    {"400fps", 400},
    {"500fps", 500},   {"600fps", 600},   {"750fps", 750},   {"1200fps", 1200},  {"1500fps", 1500},
    {"2000fps", 2000}, {"3000fps", 3000}, {"6000fps", 6000}, {"23.976fps", 24000.0 / 1001.0},
    {"29.97fps", 30000.0 / 1001.0},       {"47.952fps", 48000.0 / 1001.0},      {"59.94fps", 60000.0 / 1001.0},
};

// BVH files write Frame Time with a handful of digits (.0083333 for 120 fps).
constexpr double kRateTolerance = 1e-4;

}  // namespace

const TimeUnit& nearestTimeUnit(double fps, bool& exact) {
    const TimeUnit* best = &kTimeUnits[0];
    for (const TimeUnit& u : kTimeUnits)
        if (std::fabs(std::log(fps / u.fps)) < std::fabs(std::log(fps / best->fps))) best = &u;
    exact = std::fabs(fps / best->fps - 1) < kRateTolerance;
    return *best;
}

}  // namespace qmf::formats
