#include "svg/Ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace svg {

namespace {

// The nice step closest above raw: 1, 2 or 5 times a power of ten.
double niceStep(double raw) {
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    double f = raw / p;
    double m = f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10;
    return m * p;
}

}  // namespace

Axis niceAxis(double lo, double hi, int target) {
    Axis a;
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
    if (lo > hi) std::swap(lo, hi);
    // Widths beyond this cannot be split into steps a double tells apart.
    constexpr double kMax = 1e300;
    lo = std::max(lo, -kMax);
    hi = std::min(hi, kMax);
    if (hi - lo <= std::max(std::fabs(lo), std::fabs(hi)) * 1e-12) {
        // A flat line: show it in the middle of a small range.
        double pad = lo == 0 ? 1 : std::fabs(lo) * 0.1;
        lo -= pad;
        hi += pad;
    }
    target = std::max(target, 2);
    a.step = niceStep((hi - lo) / target);
    a.lo = std::floor(lo / a.step) * a.step;
    a.hi = std::ceil(hi / a.step) * a.step;
    // Counted by index so rounding cannot add or lose a tick; the count is
    // bounded (about 2.5 * target) by the choice of step.
    long n = std::lround((a.hi - a.lo) / a.step);
    for (long i = 0; i <= n; ++i) a.ticks.push_back(a.lo + static_cast<double>(i) * a.step);
    int e = static_cast<int>(std::floor(std::log10(a.step) + 1e-9));
    a.decimals = std::clamp(-e, 0, 12);
    return a;
}

std::string tickLabel(const Axis& axis, double value) {
    // Snap what rounding left next to zero (0.1 * 3 - 0.3) to zero.
    if (std::fabs(value) < axis.step * 1e-6) value = 0;
    char buf[64];
    if (std::fabs(value) >= 1e15 || (value != 0 && axis.decimals > 6))
        std::snprintf(buf, sizeof buf, "%.3g", value);
    else
        std::snprintf(buf, sizeof buf, "%.*f", axis.decimals, value);
    std::string s(buf);
    if (s.find_first_not_of("-0.") == std::string::npos) s = "0";
    return s;
}

}  // namespace svg
