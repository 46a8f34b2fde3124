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
std::string writeHeader(const Hierarchy& hierarchy, uint32_t frames, double frameTime);

// One frame line of n values, appended. Refuses a non-finite value.
void appendFrame(std::string& out, const double* values, std::size_t n);

// Shortest text that reads back as the same double.
void appendNumber(std::string& out, double v);

std::string writeDocument(const Document& document);

}  // namespace bvh
