// BVH motion capture in the model: its reader and its writer, and the name
// and order rules both follow.
#pragma once

#include "bvh/Bvh.h"
#include "fileio/SafeFile.h"
#include "formats/Model.h"
#include "formats/Options.h"

#include <memory>
#include <string>
#include <vector>

namespace qmf::formats {

// A capture read frame by frame. With whole, every frame line is read and
// checked before the skeleton is handed on: for writers that hold the whole
// motion anyway, so a bad line late in the file is refused before anything
// is said about it.
std::unique_ptr<Reader> readBvh(const std::string& path, const ConvertOptions& options, bool whole);

// A capture written to target (already checked) from any source: the first
// root's position and three rotation channels per joint, in options.order.
std::unique_ptr<Writer> writeBvh(const fileio::Output& target, const ConvertOptions& options);

namespace bvhnames {

// Joint names for a hierarchy: BVH names, End Sites named after their
// parent with "_end" (made unique against every name, cut to fit 127 bytes).
std::vector<std::string> jointNames(const bvh::Hierarchy& h);

// Maya's Euler order enum value for a joint's rotation channels (0 xyz .. 5 zyx).
int mayaOrderIndex(const std::string& order);

}  // namespace bvhnames

}  // namespace qmf::formats
