// Length units a file may be in, one table for every reader, writer and
// option that names one.
#pragma once

#include <string>

namespace qmf::formats {

struct LengthUnit {
    const char* name;      // as --unit takes it: "cm"
    double cm;             // centimetres in one
    const char* mayaName;  // as a scene's currentUnit -l names it: "centimeter"; null when Maya has none
};

// cm, mm, dm, m, in, ft; the first is the default.
const LengthUnit* lengthUnits(std::size_t& count);
// The unit of that name; FormatError "--unit must be cm, mm, dm, m, in or ft, not 'x'" otherwise.
const LengthUnit& lengthUnit(const std::string& name);

// A frame rate Maya names, by the name currentUnit takes ("film", "120fps").
struct TimeUnit {
    const char* name;
    double fps;
};

// The named rate nearest fps; exact when within 1e-4 of it (relative), as a
// BVH file's Frame Time with a handful of digits gives (.0083333 s, 120 fps).
const TimeUnit& nearestTimeUnit(double fps, bool& exact);

}  // namespace qmf::formats
