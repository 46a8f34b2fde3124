// The conversions of `qmf convert` that involve BVH motion capture: BVH to a
// Movantis clip, BVH to a Maya ASCII scene and a clip back to BVH. Each
// refuses with a CommandError (one line) and writes nothing then; warnings
// go to `warn`, one line each.
#pragma once

#include "bvh/Bvh.h"

#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace qmf {

struct BvhOptions {
    double unitToCm = 1.0;         // --unit: BVH lengths times this are centimetres
    std::string unitName = "cm";
    std::string order = "zxy";     // --order: rotation channels as written to a BVH file
    std::string plugin;            // --plugin: the translator module ("" for the default)
};

// "cm", "mm", "m", "in", "ft" to the centimetres of one unit; CommandError otherwise.
double bvhUnitToCm(const std::string& name);
// Checks an --order value: a permutation of "xyz", any case.
std::string bvhRotationOrder(const std::string& text);

// Summaries for the command's closing line.
struct BvhConvertResult {
    std::size_t joints = 0;
    uint32_t frames = 0;
};

BvhConvertResult bvhToClip(const std::string& in, const std::string& out, const BvhOptions& options, std::ostream& warn);
BvhConvertResult bvhToMaya(const std::string& in, const std::string& out, const BvhOptions& options, std::ostream& warn);
BvhConvertResult clipToBvh(const std::string& in, const std::string& out, const BvhOptions& options, std::ostream& warn);

namespace bvhconvert {

// Clip joint names for a hierarchy: BVH names, End Sites named after their
// parent with "_end" (made unique against every name, cut to fit 127 bytes).
std::vector<std::string> jointNames(const bvh::Hierarchy& h);


// "a, b, c" for a warning, at most `limit` names then "and N more".
std::string nameList(const std::vector<std::string>& names, std::size_t limit = 8);

// Maya's Euler order enum value for a joint's rotation channels (0 xyz .. 5 zyx).
int mayaOrderIndex(const std::string& order);

}  // namespace bvhconvert

}  // namespace qmf
