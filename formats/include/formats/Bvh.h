// The option values BVH files take: their length unit and the order their
// rotation channels are listed in.
#pragma once

#include <string>

namespace qmf {

// "cm", "mm", "m", "in", "ft" to the centimetres of one unit; FormatError otherwise.
double bvhUnitToCm(const std::string& name);
// Checks an --order value: a permutation of "xyz", any case; FormatError otherwise.
std::string bvhRotationOrder(const std::string& text);

}  // namespace qmf
