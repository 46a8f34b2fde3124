#include "svg/Charts.h"

#include "svg/Document.h"
#include "svg/Ticks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace svg {

namespace {

constexpr double kPadLeft = 58, kPadRight = 12, kPadTop = 38, kPadBottom = 34;
constexpr double kPageMargin = 12, kPageTitle = 26;
constexpr std::size_t kLegendChars = 12, kLegendEntries = 6;
constexpr double kTitleCharWidth = 7.5;  // bold 12px sans-serif, a fair guess without metrics

const char* const kColours[] = {"#d03030", "#2f9a3a", "#3050d0", "#c07a10", "#8a3ab0", "#208a8a"};

const char kStyle[] =
    ".bg{fill:#fff}"
    ".frame{fill:#fbfbfb;stroke:#c8c8c8}"
    ".grid{stroke:#e6e6e6;stroke-width:1}"
    ".zero{stroke:#b0b0b0;stroke-width:1}"
    ".line{fill:none;stroke-width:1.4;stroke-linejoin:round}"
    "text{font-family:sans-serif;fill:#333}"
    ".tick{font-size:10px}.tr{text-anchor:end}.tm{text-anchor:middle}"
    ".ct{font-size:12px;font-weight:bold}"
    ".unit{font-size:10px;fill:#666}"
    ".lg{font-size:10px}"
    ".title{font-size:15px;font-weight:bold}";

std::string coords(double x, double y) { return num(x) + " " + num(y); }

void drawChart(Document& doc, const Chart& chart, double firstFrame, double x, double y, const PlotOptions& o) {
    std::size_t frames = 0;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const Series& s : chart.series) {
        frames = std::max(frames, s.values.size());
        for (double v : s.values)
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    }
    if (lo > hi) lo = hi = 0;
    const Axis va = niceAxis(lo, hi, 4);
    const double lastFrame = firstFrame + static_cast<double>(frames == 0 ? 0 : frames - 1);
    const Axis fa = niceAxis(firstFrame, lastFrame, 6);
    // The horizontal axis spans exactly the clip's frames; one frame gets a unit's room.
    const double f0 = firstFrame, f1 = lastFrame > firstFrame ? lastFrame : firstFrame + 1;

    const double px0 = x + kPadLeft, px1 = x + o.chartWidth - kPadRight;
    const double py0 = y + kPadTop, py1 = y + o.chartHeight - kPadBottom;
    auto fx = [&](double frame) { return px0 + (frame - f0) / (f1 - f0) * (px1 - px0); };
    auto vy = [&](double v) { return py1 - (v - va.lo) / (va.hi - va.lo) * (py1 - py0); };

    doc.element("rect", {{"class", "frame"}, {"x", num(px0)}, {"y", num(py0)}, {"width", num(px1 - px0)},
                         {"height", num(py1 - py0)}});
    doc.open("g", {{"class", "grid"}});
    for (double t : va.ticks)
        doc.element("line", {{"x1", num(px0)}, {"y1", num(vy(t))}, {"x2", num(px1)}, {"y2", num(vy(t))}});
    for (double t : fa.ticks)
        if (t >= f0 && t <= f1)
            doc.element("line", {{"x1", num(fx(t))}, {"y1", num(py0)}, {"x2", num(fx(t))}, {"y2", num(py1)}});
    doc.close();
    if (va.lo < 0 && va.hi > 0)
        doc.element("line", {{"class", "zero"}, {"x1", num(px0)}, {"y1", num(vy(0))}, {"x2", num(px1)},
                             {"y2", num(vy(0))}});
    doc.open("g", {{"class", "tick"}});
    for (double t : va.ticks)
        doc.text("text", {{"class", "tr"}, {"x", num(px0 - 4)}, {"y", num(vy(t) + 3.5)}}, tickLabel(va, t));
    for (double t : fa.ticks)
        if (t >= f0 && t <= f1)
            doc.text("text", {{"class", "tm"}, {"x", num(fx(t))}, {"y", num(py1 + 13)}}, tickLabel(fa, t));
    doc.close();
    doc.text("text", {{"class", "unit tm"}, {"x", num((px0 + px1) / 2)}, {"y", num(py1 + 27)}}, "frame");
    const double ux = x + 12, uy = (py0 + py1) / 2;
    doc.text("text", {{"class", "unit tm"}, {"transform", "translate(" + coords(ux, uy) + ") rotate(-90)"}},
             chart.unit);
    const auto titleChars = static_cast<std::size_t>(std::max(4.0, (o.chartWidth - 24) / kTitleCharWidth));
    doc.text("text", {{"class", "ct"}, {"x", num(x + 12)}, {"y", num(y + 14)}}, clip(chart.title, titleChars));

    // The lines, thinned to what the chart can show.
    const double sx = (px1 - px0) / (f1 - f0);
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const char* colour = kColours[k % (sizeof kColours / sizeof *kColours)];
        for (auto& run : thin(chart.series[k].values, o.maxPoints)) {
            for (auto& p : run) p = {px0 + p.first * sx, vy(p.second)};
            if (run.size() == 1) {
                doc.element("circle", {{"cx", num(run[0].first)}, {"cy", num(run[0].second)}, {"r", "1.5"},
                                       {"fill", colour}});
                continue;
            }
            doc.polyline(run, {{"class", "line"}, {"stroke", colour}});
        }
    }
    // The legend on a row of its own under the title, so long names never meet.
    double lx = px0;
    const std::size_t shown = std::min(chart.series.size(), kLegendEntries);
    for (std::size_t k = 0; k < shown; ++k) {
        const char* colour = kColours[k % (sizeof kColours / sizeof *kColours)];
        doc.element("line", {{"x1", num(lx)}, {"y1", num(y + 26.5)}, {"x2", num(lx + 12)}, {"y2", num(y + 26.5)},
                             {"stroke", colour}, {"stroke-width", "2"}});
        doc.text("text", {{"class", "lg"}, {"x", num(lx + 16)}, {"y", num(y + 30)}}, clip(chart.series[k].name, kLegendChars));
        lx += 16 + static_cast<double>(std::min(chart.series[k].name.size(), kLegendChars)) * 6 + 14;
        if (lx > px1 - 40) break;
    }
}

}  // namespace

std::vector<std::vector<std::pair<double, double>>> thin(const std::vector<double>& values, std::size_t maxPoints) {
    std::vector<std::vector<std::pair<double, double>>> runs(1);
    auto add = [&](std::size_t i) {
        if (std::isfinite(values[i]))
            runs.back().emplace_back(static_cast<double>(i), values[i]);
        else if (!runs.back().empty())
            runs.emplace_back();
    };
    maxPoints = std::max<std::size_t>(maxPoints, 4);
    const std::size_t n = values.size();
    if (n <= maxPoints) {
        for (std::size_t i = 0; i < n; ++i) add(i);
    } else {
        const std::size_t buckets = maxPoints / 2;
        for (std::size_t b = 0; b < buckets; ++b) {
            // Equal stretches, the first n % buckets of them one value longer.
            std::size_t from = n / buckets * b + std::min(b, n % buckets);
            std::size_t to = from + n / buckets + (b < n % buckets ? 1 : 0);
            std::size_t lo = to, hi = to;
            for (std::size_t i = from; i < to; ++i) {
                if (!std::isfinite(values[i])) continue;
                if (lo == to || values[i] < values[lo]) lo = i;
                if (hi == to || values[i] > values[hi]) hi = i;
            }
            if (lo == to) {
                add(from);  // a stretch without a value ends the line
                continue;
            }
            add(std::min(lo, hi));
            if (lo != hi) add(std::max(lo, hi));
        }
    }
    if (runs.back().empty()) runs.pop_back();
    return runs;
}

std::string plotCharts(const ChartSet& set, const PlotOptions& o) {
    const std::size_t count = set.charts.size();
    const std::size_t columns = std::max<std::size_t>(1, std::min<std::size_t>(std::max(o.columns, 1), count));
    const std::size_t rows = (count + columns - 1) / columns;
    const double head = set.title.empty() ? 0 : kPageTitle;
    const double width = 2 * kPageMargin + static_cast<double>(columns) * o.chartWidth;
    const double height = 2 * kPageMargin + head + static_cast<double>(std::max<std::size_t>(rows, 1)) * o.chartHeight;
    Document doc(width, height);
    doc.style(kStyle);
    doc.element("rect", {{"class", "bg"}, {"width", num(width)}, {"height", num(height)}});
    if (!set.title.empty())
        doc.text("text", {{"class", "title"}, {"x", num(kPageMargin)}, {"y", num(kPageMargin + 16)}}, set.title);
    for (std::size_t i = 0; i < count; ++i) {
        double x = kPageMargin + static_cast<double>(i % columns) * o.chartWidth;
        double y = kPageMargin + head + static_cast<double>(i / columns) * o.chartHeight;
        doc.open("g");
        drawChart(doc, set.charts[i], set.firstFrame, x, y, o);
        doc.close();
    }
    return doc.finish();
}

}  // namespace svg
