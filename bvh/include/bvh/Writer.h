// Writes BVH text: the hierarchy with tabs for depth, numbers in the
// shortest form that reads back as the same double.
#pragma once

#include "bvh/Bvh.h"

#include <string>

namespace bvh {

// HIERARCHY through "Frame Time:". Refuses (Error) what the reader would
// read back differently: a bad name, a non-finite offset or frame time, a
// channel list other than none, 3 or 6 distinct channels, a parent that does
// not come before its child.
// With floatPrecision, offsets are written as the shortest text that reads
// back as the same float (for values that came from floats, such as a clip's).
std::string writeHeader(const Hierarchy& hierarchy, uint32_t frames, double frameTime, bool floatPrecision = false);

// One frame line of n values, appended. Refuses a non-finite value.
void appendFrame(std::string& out, const double* values, std::size_t n, bool floatPrecision = false);
// The same, with float precision only for the first `floatValues` values
// (positions that came from floats; angles worked out from them keep every
// digit of the double).
void appendFrame(std::string& out, const double* values, std::size_t n, std::size_t floatValues);

// Shortest text that reads back as the same double (or, with floatPrecision,
// as the same float once narrowed).
void appendNumber(std::string& out, double v, bool floatPrecision = false);

std::string writeDocument(const Document& document);

}  // namespace bvh
