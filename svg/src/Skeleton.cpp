#include "svg/Skeleton.h"

#include "svg/Document.h"
#include "svg/Ticks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace svg {

namespace {

constexpr double kFontSize = 11;
constexpr double kCharWidth = 0.6 * kFontSize;  // a fair guess for sans-serif without metrics
constexpr std::size_t kLabelChars = 24;         // longer names are cut; the dot's tooltip has all
constexpr double kFooter = 56;                  // band under the drawing for the axes and scale
constexpr double kTitle = 22;

const char kStyle[] =
    ".bg{fill:#fff}"
    ".grid{stroke:#e2e2e2;stroke-width:1}"
    ".ground{stroke:#8a8a8a;stroke-width:1.5}"
    ".bone{stroke:#2f5d9b;stroke-width:2.5;stroke-linecap:round}"
    ".joint{fill:#f0a830;stroke:#333;stroke-width:1}"
    ".label{font-family:sans-serif;font-size:11px;fill:#222}"
    ".end{text-anchor:end}"
    ".title{font-family:sans-serif;font-size:14px;font-weight:bold;fill:#111}"
    ".note{font-family:sans-serif;font-size:11px;fill:#555}"
    ".ax{stroke-width:2}.axX{stroke:#d03030;fill:#d03030}.axY{stroke:#2f9a3a;fill:#2f9a3a}"
    ".axZ{stroke:#3050d0;fill:#3050d0}"
    ".axl{font-family:sans-serif;font-size:11px;font-weight:bold;stroke:none}";

// Farther than this from the origin a position is taken as unknown: no
// skeleton is that large, and the fit's arithmetic would overflow.
constexpr double kFar = 1e12;

bool placeable(const Vec3& p) {
    auto ok = [](double v) { return std::isfinite(v) && std::fabs(v) <= kFar; };
    return ok(p.x) && ok(p.y) && ok(p.z);
}

const char* viewName(View v) { return v == View::Front ? "front" : v == View::Side ? "side" : "top"; }

// Label boxes already placed, hashed by cell so each check looks at a few
// neighbours only, however many joints there are.
class LabelSpace {
public:
    bool free(double x0, double y0, double x1, double y1) const {
        for (long cy = cell(y0, kCellH); cy <= cell(y1, kCellH); ++cy)
            for (long cx = cell(x0, kCellW); cx <= cell(x1, kCellW); ++cx) {
                auto it = cells_.find(key(cx, cy));
                if (it == cells_.end()) continue;
                for (std::size_t b : it->second) {
                    const Box& o = boxes_[b];
                    if (x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1) return false;
                }
            }
        return true;
    }
    void take(double x0, double y0, double x1, double y1) {
        boxes_.push_back({x0, y0, x1, y1});
        for (long cy = cell(y0, kCellH); cy <= cell(y1, kCellH); ++cy)
            for (long cx = cell(x0, kCellW); cx <= cell(x1, kCellW); ++cx)
                cells_[key(cx, cy)].push_back(boxes_.size() - 1);
    }

private:
    static constexpr double kCellW = 64, kCellH = 16;
    struct Box {
        double x0, y0, x1, y1;
    };
    static long cell(double v, double size) { return static_cast<long>(std::floor(std::clamp(v, -1e9, 1e9) / size)); }
    static unsigned long long key(long x, long y) {
        return (static_cast<unsigned long long>(x) << 32) ^ (static_cast<unsigned long long>(y) & 0xffffffffULL);
    }
    std::vector<Box> boxes_;
    std::unordered_map<unsigned long long, std::vector<std::size_t>> cells_;
};

}  // namespace

Point project(const Vec3& scene, View view, char upAxis) {
    // A Z-up scene turned into Y-up, the way Maya turns its cameras with the up axis.
    Vec3 p = upAxis == 'z' ? Vec3{scene.x, scene.z, -scene.y} : scene;
    switch (view) {
        case View::Front: return {p.x, p.y};
        case View::Side: return {-p.z, p.y};
        case View::Top: return {p.x, -p.z};
    }
    return {p.x, p.y};
}

std::string drawSkeleton(const Pose& pose, View view, const DrawOptions& o, Fit* fitOut) {
    const std::size_t n = pose.names.size();
    if (pose.parents.size() != n || pose.positions.size() != n)
        throw std::invalid_argument("a pose needs one name, parent and position per joint");
    for (int parent : pose.parents)
        if (parent < -1 || parent >= static_cast<long>(n)) throw std::invalid_argument("a joint's parent is out of range");

    std::vector<Point> screen(n);
    std::vector<char> known(n);
    double minX = std::numeric_limits<double>::infinity(), maxX = -minX, minY = minX, maxY = -minX;
    double labelChars = 0;
    for (std::size_t i = 0; i < n; ++i) {
        known[i] = placeable(pose.positions[i]);
        if (!known[i]) continue;
        screen[i] = project(pose.positions[i], view, pose.upAxis);
        minX = std::min(minX, screen[i].x), maxX = std::max(maxX, screen[i].x);
        minY = std::min(minY, screen[i].y), maxY = std::max(maxY, screen[i].y);
        labelChars = std::max(labelChars, static_cast<double>(std::min(pose.names[i].size(), kLabelChars)));
    }
    if (minX > maxX) minX = maxX = minY = maxY = 0;  // nothing to place: an empty picture around the origin
    // The ground (up = 0) belongs in the side views when it is near the figure.
    const bool sideways = view != View::Top;
    const double extent = std::max(maxX - minX, maxY - minY);
    bool ground = sideways && minY - extent <= 0 && 0 <= maxY + extent;
    if (ground) minY = std::min(minY, 0.0), maxY = std::max(maxY, 0.0);

    // Room for labels on both sides, the title above and the axes below.
    const double labelW = std::min(labelChars * kCharWidth + 8, o.width * 0.25);
    const double left = o.margin + labelW, right = o.width - o.margin - labelW;
    // Names stand above their dots: the top row needs a line of room.
    const double top = o.margin + (pose.title.empty() ? 0 : kTitle) + kFontSize + 6;
    const double bottom = o.height - o.margin - kFooter;
    const double availW = std::max(right - left, 1.0), availH = std::max(bottom - top, 1.0);
    double spanX = maxX - minX, spanY = maxY - minY;
    const double size = std::max({std::fabs(minX), std::fabs(maxX), std::fabs(minY), std::fabs(maxY)});
    const double tiny = std::max(size * 1e-9, std::numeric_limits<double>::min());
    // A single point: any scale shows it; one that keeps the spans above `tiny`.
    if (spanX <= tiny && spanY <= tiny) spanX = spanY = std::max(1.0, 2 * tiny);
    Fit fit;
    fit.scale = std::min(spanX > tiny ? availW / spanX : std::numeric_limits<double>::infinity(),
                         spanY > tiny ? availH / spanY : std::numeric_limits<double>::infinity());
    fit.originX = left + availW / 2 - (minX + maxX) / 2 * fit.scale;
    fit.originY = top + availH / 2 + (minY + maxY) / 2 * fit.scale;
    if (fitOut) *fitOut = fit;

    Document doc(o.width, o.height);
    doc.style(kStyle);
    doc.element("rect", {{"class", "bg"}, {"width", num(o.width)}, {"height", num(o.height)}});

    // Grid spacing in scene units over what the drawing area shows.
    const double sceneW = availW / fit.scale, sceneH = availH / fit.scale;
    Axis grid = niceAxis(0, std::max(sceneW, sceneH), 8);
    const double x0 = (left - fit.originX) / fit.scale, x1 = (right - fit.originX) / fit.scale;
    const double y0 = (fit.originY - bottom) / fit.scale, y1 = (fit.originY - top) / fit.scale;
    auto stepsIn = [&](double a, double b) {
        std::vector<double> v;
        for (double k = std::ceil(a / grid.step); k <= std::floor(b / grid.step) && v.size() < 64; ++k)
            v.push_back(k * grid.step);
        return v;
    };
    doc.open("g", {{"class", "grid"}});
    if (sideways) {
        if (ground)
            for (double x : stepsIn(x0, x1)) {
                Point p = fit.toPicture({x, 0});
                doc.element("line", {{"x1", num(p.x)}, {"y1", num(p.y)}, {"x2", num(p.x)}, {"y2", num(p.y + 6)}});
            }
    } else {
        for (double x : stepsIn(x0, x1)) {
            double px = fit.toPicture({x, 0}).x;
            doc.element("line", {{"x1", num(px)}, {"y1", num(top)}, {"x2", num(px)}, {"y2", num(bottom)}});
        }
        for (double y : stepsIn(y0, y1)) {
            double py = fit.toPicture({0, y}).y;
            doc.element("line", {{"x1", num(left)}, {"y1", num(py)}, {"x2", num(right)}, {"y2", num(py)}});
        }
    }
    doc.close();
    if (ground) {
        double py = fit.toPicture({0, 0}).y;
        doc.element("line", {{"class", "ground"}, {"x1", num(o.margin)}, {"y1", num(py)},
                             {"x2", num(o.width - o.margin)}, {"y2", num(py)}});
    }

    std::vector<Point> at(n);
    for (std::size_t i = 0; i < n; ++i)
        if (known[i]) at[i] = fit.toPicture(screen[i]);
    doc.open("g", {{"class", "bone"}});
    for (std::size_t i = 0; i < n; ++i) {
        int p = pose.parents[i];
        if (p < 0 || !known[i] || !known[static_cast<std::size_t>(p)]) continue;
        const Point& a = at[static_cast<std::size_t>(p)];
        doc.element("line", {{"x1", num(a.x)}, {"y1", num(a.y)}, {"x2", num(at[i].x)}, {"y2", num(at[i].y)}});
    }
    doc.close();
    doc.open("g", {{"class", "joint"}});
    for (std::size_t i = 0; i < n; ++i) {
        if (!known[i]) continue;
        doc.open("circle", {{"cx", num(at[i].x)}, {"cy", num(at[i].y)}, {"r", "3.5"}});
        doc.text("title", {}, pose.names[i]);
        doc.close();
    }
    doc.close();
    // Names beside their dots, on the side away from the parent so left and
    // right limbs spread apart; a name that would cover another is left out.
    LabelSpace space;
    if (!pose.title.empty()) space.take(o.margin, o.margin, o.width - o.margin, o.margin + kTitle);
    doc.open("g", {{"class", "label"}});
    for (std::size_t i = 0; i < n; ++i) {
        if (!known[i] || pose.names[i].empty()) continue;
        int p = pose.parents[i];
        bool toLeft = p >= 0 && known[static_cast<std::size_t>(p)] && at[i].x < at[static_cast<std::size_t>(p)].x - 0.5;
        std::string name = clip(pose.names[i], kLabelChars);
        double w = static_cast<double>(std::min(pose.names[i].size(), kLabelChars)) * kCharWidth;
        double tx = toLeft ? at[i].x - 6 : at[i].x + 6, ty = at[i].y - 4;
        double bx0 = toLeft ? tx - w : tx, by0 = ty - kFontSize;
        if (!space.free(bx0, by0, bx0 + w, ty + 2)) continue;
        space.take(bx0, by0, bx0 + w, ty + 2);
        if (toLeft)
            doc.text("text", {{"class", "end"}, {"x", num(tx)}, {"y", num(ty)}}, name);
        else
            doc.text("text", {{"x", num(tx)}, {"y", num(ty)}}, name);
    }
    doc.close();

    if (!pose.title.empty())
        doc.text("text", {{"class", "title"}, {"x", num(o.margin)}, {"y", num(o.margin + 14)}}, pose.title);

    // The scene's axes as this camera sees them, bottom left.
    const char* axisNames[] = {"X", "Y", "Z"};
    const Vec3 units[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    bool down = false;  // an axis pointing down needs the gizmo raised to stay in the picture
    for (const Vec3& u : units) down = down || project(u, view, pose.upAxis).y < -0.5;
    const double gx = o.margin + 30, gy = o.height - o.margin - (down ? 46 : 12);
    for (int k = 0; k < 3; ++k) {
        Point d = project(units[k], view, pose.upAxis);
        if (std::hypot(d.x, d.y) < 0.5) continue;  // the axis the camera looks along
        double ex = gx + d.x * 24, ey = gy - d.y * 24;
        doc.open("g", {{"class", std::string("ax ax") + axisNames[k]}});
        doc.element("line", {{"x1", num(gx)}, {"y1", num(gy)}, {"x2", num(ex)}, {"y2", num(ey)}});
        doc.text("text", {{"class", "axl"}, {"x", num(ex + d.x * 8 - 4)}, {"y", num(ey - d.y * 8 + 4)}},
                 axisNames[k]);
        doc.close();
    }
    // A scale bar one grid step long, and what the picture shows.
    const double bx = gx + 56, barW = grid.step * fit.scale;
    doc.element("path", {{"class", "ground"}, {"fill", "none"},
                         {"d", "M" + num(bx) + " " + num(gy - 10) + "v4h" + num(barW) + "v-4"}});
    doc.text("text", {{"class", "note"}, {"x", num(bx)}, {"y", num(gy + 6)}},
             tickLabel(grid, grid.step) + " " + pose.units);
    doc.text("text", {{"class", "note end"}, {"x", num(o.width - o.margin)}, {"y", num(gy + 6)}},
             std::string(viewName(view)) + " view, " + (pose.upAxis == 'z' ? "Z" : "Y") + " up");
    return doc.finish();
}

}  // namespace svg
