// A Movantis clip read whole into plain values, so that a copy with other
// joint names can be saved for the translator to read.
#pragma once

#include "clips/PackJson.h"

#include <string>
#include <vector>

namespace qmf {

// Every skeleton, figure and key of the clip at path (ClipError for a
// file the library refuses). Skeletons are numbered in the order figures use
// them, so figure 0's skeleton is skeleton 0.
PackedClip readPackedClip(const std::string& path);
// The same from an animation already open; `label` names it in messages.
PackedClip readPackedAnimation(ANM_ANIMATION_HANDLE anm, const std::string& label);

// One skeleton's joints, names and body volumes, without keys.
PackedSkeleton readPackedSkeleton(SKL_SKELETON_HANDLE skeleton);

// The joint names of the skeleton the translator imports (figure 0's), in
// joint order; empty for a clip without figures.
std::vector<std::string> importedJointNames(const PackedClip& clip);

// Saves the clip at path (an existing file, such as a private temporary one,
// is overwritten) with figure 0's skeleton's joints renamed to names.
void saveRenamedClip(PackedClip clip, const std::vector<std::string>& names, const std::string& path);

}  // namespace qmf
