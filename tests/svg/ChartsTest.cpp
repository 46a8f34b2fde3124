#include "XmlCheck.h"

#include "svg/Charts.h"

#include <algorithm>
#include <cmath>

namespace {

const double kNan = std::nan("");

std::size_t points(const std::vector<std::vector<std::pair<double, double>>>& runs) {
    std::size_t n = 0;
    for (const auto& r : runs) n += r.size();
    return n;
}

TEST(ChartThinning, ShortSeriesKeptAndGapsBreakTheLine) {
    struct Case {
        const char* what;
        std::vector<double> values;
        std::vector<std::size_t> runSizes;
    } cases[] = {
        {"empty", {}, {}},
        {"one value", {3}, {1}},
        {"all kept", {1, 2, 3, 4}, {4}},
        {"gap in the middle", {1, 2, kNan, 4, 5}, {2, 2}},
        {"gaps at the ends", {kNan, 1, 2, kNan}, {2}},
        {"only gaps", {kNan, kNan}, {}},
        {"infinity is a gap", {1, HUGE_VAL, 2}, {1, 1}},
    };
    for (const Case& c : cases) {
        auto runs = svg::thin(c.values, 100);
        std::vector<std::size_t> sizes;
        for (const auto& r : runs) sizes.push_back(r.size());
        EXPECT_EQ(sizes, c.runSizes) << c.what;
    }
    auto runs = svg::thin({1, 2, kNan, 4, 5}, 100);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1][0], (std::pair<double, double>{3, 4}));  // frame index, value
}

TEST(ChartThinning, LongSeriesKeepTheirPeaksWithinTheBudget) {
    for (std::size_t n : {801u, 1000u, 4099u, 100000u}) {
        std::vector<double> v(n);
        for (std::size_t i = 0; i < n; ++i) v[i] = std::sin(static_cast<double>(i) * 0.37) * 90;
        v[n / 3] = 500;  // a one-frame spike must not vanish
        v[n - 1] = -500;
        for (std::size_t budget : {4u, 50u, 800u}) {
            SCOPED_TRACE(testing::Message() << n << " values, " << budget << " points");
            auto runs = svg::thin(v, budget);
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_LE(points(runs), budget);
            EXPECT_GE(points(runs), budget / 2);
            double lo = 1e9, hi = -1e9, last = -1;
            for (const auto& [frame, value] : runs[0]) {
                EXPECT_GT(frame, last);  // in frame order, each frame once
                last = frame;
                EXPECT_EQ(value, v[static_cast<std::size_t>(frame)]);
                lo = std::min(lo, value), hi = std::max(hi, value);
            }
            EXPECT_EQ(hi, 500);
            EXPECT_EQ(lo, -500);
            EXPECT_EQ(last, static_cast<double>(n - 1));
        }
    }
}

svg::ChartSet walk(std::size_t frames, std::size_t joints) {
    svg::ChartSet set;
    set.title = "walk <clip>";
    set.firstFrame = 1;
    for (std::size_t j = 0; j < joints; ++j) {
        svg::Chart c{"joint" + std::to_string(j), "degrees", {}};
        for (const char* axis : {"rotateX", "rotateY", "rotateZ"}) {
            svg::Series s{axis, {}};
            for (std::size_t f = 0; f < frames; ++f) s.values.push_back(30 * std::sin(0.1 * static_cast<double>(f + j)));
            c.series.push_back(s);
        }
        set.charts.push_back(c);
    }
    return set;
}

TEST(Charts, OneChartPerEntryWithAxesAndLegend) {
    svg::ChartSet set = walk(16, 3);
    set.charts.push_back({"hips", "cm", {{"translateX", {0, 5, 10}}, {"translateY", {95, 96, kNan}}}});
    std::string out = svg::plotCharts(set);
    EXPECT_EQ(svgtest::count(out, "<polyline"), 3u * 3 + 2);
    EXPECT_EQ(svgtest::count(out, ">degrees</text>"), 3u);
    EXPECT_EQ(svgtest::count(out, ">cm</text>"), 1u);
    EXPECT_EQ(svgtest::count(out, ">frame</text>"), 4u);
    EXPECT_EQ(svgtest::count(out, ">rotateY</text>"), 3u);
    EXPECT_EQ(svgtest::count(out, ">translateX</text>"), 1u);
    EXPECT_NE(out.find(">joint2</text>"), std::string::npos);
    // Frames 1..16 on the horizontal axis: ticks at whole frames inside the clip only.
    EXPECT_NE(out.find(">10</text>"), std::string::npos);
    EXPECT_EQ(out.find(">0</text>\n<text class=\"tm\""), std::string::npos);
    // Two columns, two rows.
    EXPECT_NE(out.find("viewBox=\"0 0 784 "), std::string::npos) << out.substr(0, 200);
    EXPECT_WELL_FORMED(out);
}

TEST(Charts, OddDataStillMakesAPicture) {
    struct Case {
        const char* what;
        svg::ChartSet set;
    } cases[] = {
        {"no charts", {}},
        {"no series", {"", 0, {{"empty", "degrees", {}}}}},
        {"one frame", {"", 0, {{"j", "cm", {{"x", {4}}}}}}},
        {"flat", {"", 0, {{"j", "cm", {{"x", {4, 4, 4}}}}}}},
        {"only gaps", {"", 0, {{"j", "cm", {{"x", {kNan, kNan}}}}}}},
        {"huge values", {"", -5, {{"j", "cm", {{"x", {-1e300, 1e300, 0}}}}}}},
        {"hostile names", {"t\x01<", 0, {{"<j>&", "\xFF", {{"\"x\"", {1, 2}}}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = svg::plotCharts(c.set);
        EXPECT_EQ(out.find("nan"), std::string::npos);
        EXPECT_EQ(out.find("inf"), std::string::npos);
        EXPECT_WELL_FORMED(out);
    }
}

TEST(Charts, LongClipsGiveFilesOfBoundedSize) {
    // A hundred thousand frames make a file hardly larger than a thousand do.
    std::size_t thousand = svg::plotCharts(walk(1000, 4)).size();
    std::size_t huge = svg::plotCharts(walk(100000, 4)).size();
    EXPECT_LT(huge, thousand * 11 / 10);
    EXPECT_LT(huge, 4u * 3 * 800 * 14 + 100000);  // about 14 bytes a point at most
}

}  // namespace
