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

// Plain decimals of at most 15 digits (what captures hold: -12.345678) read
// without the general parser: the digits make an integer below 2^53 and a
// power of ten up to 10^22 is exact, so one division rounds correctly and
// gives the very double the general parser gives. Where the number ends, or
// null when the text there is not such a decimal (an exponent, more digits,
// no digit): the general parser then decides.
const char* scanPlainDecimal(const char* begin, const char* end, double& out);

}  // namespace bvh::detail
