// `qmf convert IN OUT`: one function per (input kind, output kind), chosen
// by the files' extensions.
#pragma once

#include "JointNames.h"
#include "fileio/SafeFile.h"

#include <string>

namespace qmf {

enum class FileKind { Bvh, Clip, Maya };

struct ConvertJob {
    std::string in, out;
    std::string plugin;        // --plugin, "" for the default
    RenameOptions rename;      // --map, --strip-namespaces
    bool rigOnly = false;      // --rig-only
    bool unitGiven = false;    // --unit: the BVH file's length unit
    double unitToCm = 1.0;
    std::string unitName = "cm";
    std::string order;         // --order: BVH rotation order (xyz...), "" when not given
};

// Options a conversion may take beyond the files; the dispatch refuses the rest.
enum ConvertOption : unsigned {
    kOptPlugin = 1u << 0,
    kOptMap = 1u << 1,
    kOptStripNamespaces = 1u << 2,
    kOptRigOnly = 1u << 3,
    kOptUnit = 1u << 4,
    kOptOrder = 1u << 5,
};

// Movantis clip -> Maya ASCII: a rig built from the clip's skeleton and,
// unless rigOnly, the clip imported onto it.
int convertClipToMaya(const ConvertJob& job);

// The same from a clip file that may stand in for job.in (a temporary clip
// made from another format): output is job.out, already checked; messages
// name job.in. Maya names apply to the rig and to the clip it keys alike.
int clipFileToMaya(const std::string& clipPath, const ConvertJob& job, const fileio::Output& output);

// The BVH routes: a capture to a clip or a scene, a clip to a capture.
int convertBvhToClip(const ConvertJob& job);
int convertBvhToMaya(const ConvertJob& job);
int convertClipToBvh(const ConvertJob& job);

}  // namespace qmf
