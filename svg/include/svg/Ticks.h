// Axis ticks people read at a glance: steps of 1, 2 or 5 times a power of ten.
#pragma once

#include <string>
#include <vector>

namespace svg {

struct Axis {
    double lo = 0, hi = 1;      // the range shown: the data's range widened to whole steps
    double step = 1;
    std::vector<double> ticks;  // lo, lo + step, ..., hi
    int decimals = 0;           // places a tick label needs
};

// An axis for data between lo and hi (in either order) with about `target`
// ticks (at least 2 are used). An empty range is widened around its value;
// a range with a non-finite end becomes 0..1.
Axis niceAxis(double lo, double hi, int target = 5);

// A tick's label with the axis's places, never "-0".
std::string tickLabel(const Axis& axis, double value);

}  // namespace svg
