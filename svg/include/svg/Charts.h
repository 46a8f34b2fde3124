// Channels over time as small line charts, one per joint (or per joint and
// kind of channel), laid out on a grid: nice ticks, the unit on the value
// axis, frames on the horizontal axis and a legend of the channels.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace svg {

struct Series {
    std::string name;            // the legend's entry, e.g. "rotateX"
    std::vector<double> values;  // one per frame; a non-finite value breaks the line
};

struct Chart {
    std::string title;  // e.g. the joint's name
    std::string unit;   // the value axis's label, e.g. "degrees"
    std::vector<Series> series;
};

struct ChartSet {
    std::string title;        // over all charts; may be empty
    double firstFrame = 0;    // the frame number of each series' first value
    std::vector<Chart> charts;
};

struct PlotOptions {
    double chartWidth = 380, chartHeight = 210;
    int columns = 2;
    // Points per line at most; longer series are thinned to the smallest and
    // largest value of each stretch of frames, so peaks stay visible.
    std::size_t maxPoints = 800;
};

// Points (frame index from 0, value) of one series thinned to at most
// maxPoints (at least 4 are kept): every value when the series is short
// enough, else the minimum and maximum of each of maxPoints / 2 equal
// stretches, in frame order. Runs with no finite value end a line: the
// result holds one vector per unbroken run.
std::vector<std::vector<std::pair<double, double>>> thin(const std::vector<double>& values, std::size_t maxPoints);

std::string plotCharts(const ChartSet& set, const PlotOptions& options = {});

}  // namespace svg
