#include "svg/Ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(NiceAxis, StepsOfOneTwoOrFive) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    struct Case {
        double lo, hi;
        int target;
        double step, axisLo, axisHi;
        int decimals;
    } cases[] = {
        {0, 10, 5, 2, 0, 10, 0},
        {0, 1, 5, 0.2, 0, 1, 1},
        {0.3, 97.2, 5, 20, 0, 100, 0},
        {-180, 180, 4, 100, -200, 200, 0},
        {-12.5, 3.1, 4, 5, -15, 5, 0},
        {1, 120, 6, 20, 0, 120, 0},
        {10, 0, 5, 2, 0, 10, 0},                  // either order
        {0.0012, 0.0047, 5, 0.001, 0.001, 0.005, 3},
        {5, 5, 5, 0.2, 4.4, 5.6, 1},              // a flat line gets room around it
        {0, 0, 5, 0.5, -1, 1, 1},
        {-250, -250, 4, 20, -280, -220, 0},
        {nan, 3, 5, 0.2, 0, 1, 1},                // no sensible range: 0..1
        {0, inf, 5, 0.2, 0, 1, 1},
        {0, 100, 1, 50, 0, 100, 0},               // at least two ticks' worth
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi << " target " << c.target);
        svg::Axis a = svg::niceAxis(c.lo, c.hi, c.target);
        EXPECT_DOUBLE_EQ(a.step, c.step);
        EXPECT_NEAR(a.lo, c.axisLo, c.step * 1e-9);
        EXPECT_NEAR(a.hi, c.axisHi, c.step * 1e-9);
        EXPECT_EQ(a.decimals, c.decimals);
        ASSERT_FALSE(a.ticks.empty());
        EXPECT_DOUBLE_EQ(a.ticks.front(), a.lo);
        EXPECT_NEAR(a.ticks.back(), a.hi, c.step * 1e-9);
        EXPECT_EQ(a.ticks.size(), static_cast<std::size_t>(std::lround((a.hi - a.lo) / a.step)) + 1);
    }
}

TEST(NiceAxis, ExtremeRangesStayBoundedAndFinite) {
    for (auto [lo, hi] : {std::pair{-1e308, 1e308}, {-1e300, 1e300}, {1e-300, 2e-300}, {4e-320, 4e-320},
                          {1e15, 1e15 + 1}, {-1e-9, 1e-9}}) {
        SCOPED_TRACE(testing::Message() << lo << ".." << hi);
        svg::Axis a = svg::niceAxis(lo, hi, 5);
        EXPECT_GE(a.ticks.size(), 2u);
        EXPECT_LE(a.ticks.size(), 14u);
        for (double t : a.ticks) EXPECT_TRUE(std::isfinite(t));
        EXPECT_GT(a.step, 0);
        EXPECT_LT(a.lo, a.hi);
    }
}

TEST(NiceAxis, LabelsReadAsTheTicks) {
    svg::Axis tenths = svg::niceAxis(0, 1, 5);
    svg::Axis whole = svg::niceAxis(-200, 200, 4);
    svg::Axis tiny = svg::niceAxis(0, 1e-9, 5);
    struct Case {
        const svg::Axis* axis;
        double v;
        const char* label;
    } cases[] = {
        {&tenths, 0.1 * 3, "0.3"},
        {&tenths, 0.6000000001, "0.6"},
        {&tenths, 0.1 * 3 - 0.3, "0"},  // rounding residue is zero, not -5.55e-17
        {&tenths, -0.0, "0"},
        {&whole, -100, "-100"},
        {&whole, 200, "200"},
        {&tiny, 4e-10, "4e-10"},
    };
    for (const Case& c : cases) EXPECT_EQ(svg::tickLabel(*c.axis, c.v), c.label) << c.v;
}

}  // namespace
