// Numbers of a BVH file as words of its text.
#pragma once

#include <string_view>

namespace bvh::detail {

// Every value a capture holds goes on into floats (a clip's keys, glTF): one
// beyond a float's range would arrive infinite.
constexpr double kLargestValue = 3.4028234663852886e38;

// A finite decimal number filling the whole word, as the correctly rounded
// double; a leading '+' is taken.
bool parseNumber(std::string_view word, double& out);

}  // namespace bvh::detail
