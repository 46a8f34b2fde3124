// A skeleton drawn as an orthographic picture: bones as lines, joints as
// dots with their names, fitted to the picture, over a ground line (or grid,
// seen from the top) with the scene's axes.
#pragma once

#include <string>
#include <vector>

namespace svg {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

// One frame of a skeleton in scene space. parents[i] is the index of joint
// i's parent, or -1; names, parents and positions have one entry per joint.
struct Pose {
    std::vector<std::string> names;
    std::vector<int> parents;
    std::vector<Vec3> positions;
    char upAxis = 'y';         // 'y' or 'z', as the scene's up axis
    std::string units = "cm";  // of the positions, for the grid's label
    std::string title;         // drawn at the top left
};

// Maya's default cameras. In a Y-up scene: front looks along -Z (X to the
// right, Y up), side looks along -X (+Z to the left, Y up), top looks down
// (X to the right, +Z towards the bottom). In a Z-up scene they turn with the
// up axis: front looks along +Y (X right, Z up), side along -X (Y right, Z up),
// top down -Z (X right, Y up).
enum class View { Front, Side, Top };

struct Point {
    double x = 0, y = 0;
};

// Where a scene position lands in a view, before fitting: x to the right
// and y upwards on the screen.
Point project(const Vec3& p, View view, char upAxis);

struct DrawOptions {
    double width = 720, height = 720;
    double margin = 24;
};

// The fitted picture: the drawing's scale (picture units per scene unit) and
// where the scene's origin would land, so tests can place any point.
struct Fit {
    double scale = 1;
    double originX = 0, originY = 0;  // picture position of screen (0, 0)
    Point toPicture(Point screen) const { return {originX + screen.x * scale, originY - screen.y * scale}; }
};

// The joints must be consistent (same counts, parents in range or -1);
// throws std::invalid_argument otherwise. A parent that comes after its child
// or a cycle is drawn as it is: only lines between known positions. A
// position that is not finite or lies farther than 1e12 from the origin is
// unknown: neither its dot nor its bones are drawn.
std::string drawSkeleton(const Pose& pose, View view, const DrawOptions& options = {}, Fit* fit = nullptr);

}  // namespace svg
