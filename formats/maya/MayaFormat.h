// Maya ASCII scenes in the model. Two writers: one keys a capture's channels
// as they are (one linear curve per channel), the other builds a rig from a
// clip's skeleton and lays the clip on with the translator's own reader.
#pragma once

#include "fileio/SafeFile.h"
#include "formats/Model.h"
#include "formats/Options.h"
#include "formats/Session.h"

#include <maya/MMatrix.h>

#include <memory>
#include <string>
#include <vector>

namespace qmf::formats {

// A scene baked: read into the host, posed at options.time for the
// skeleton, then evaluated at options.frames (default: the playback range)
// every options.step frames.
std::unique_ptr<Reader> readMayaScene(const std::string& path, const ConvertOptions& options);

// --root JOINT in a scene loaded in the host: only that joint's hierarchy
// is left, the joint at the top with the rotation above it (now) folded
// into its joint orient. `above` is the world matrix of what was above it,
// which still places its own (maybe animated) translate in the world.
// Whether --root's value names the node at the end of path: its name, or
// its shortest unique or full path.
bool namedBy(const MDagPath& path, const std::string& root);

struct RootFold {
    MMatrix above;
    std::string warning;   // a line when what was above it moves
};
RootFold keepOnlyHierarchyOf(const std::string& path, const std::vector<SceneJoint>& walk, const std::string& root);

// The joint hierarchy with one linear curve per channel, keyed on every
// frame, in Maya's time unit for the frame rate where it has one. The keys
// wait in a spool holding about spoolBytes in memory, the rest on disk.
std::unique_ptr<Writer> writeMayaCurves(const fileio::Output& target, const ConvertOptions& options,
                                        std::size_t spoolBytes = std::size_t(16) << 20);

// A rig from the clip at skeleton.clipFile and, unless options.rigOnly, the
// clip imported onto it; it takes no frames (the translator reads the clip).
std::unique_ptr<Writer> writeMayaRig(const fileio::Output& target, const ConvertOptions& options);

}  // namespace qmf::formats
