// The headless-host session every route runs in: checked inputs and
// outputs, the translator module loaded as Maya's plug-in manager loads it,
// scenes read into the host, and the joints in the translator's walk order.
// Refusals are FormatError, one line each.
#pragma once

#include "fileio/SafeFile.h"
#include "formats/Error.h"
#include "qmfhost/Loader.h"
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"

#include <maya/MObject.h>
#include <maya/MDagPath.h>

#include <memory>
#include <string>
#include <vector>

namespace qmf {

// Inputs are regular files only: a FIFO or device would block or never end.
void requireInput(const std::string& path);
// The output's folder must exist and be writable; the output itself (a
// symlink's target) must be absent or a regular file, and never one of the
// inputs, however spelled.
fileio::Output requireOutput(const std::string& path, const std::vector<std::string>& inputs);

std::string absolute(const std::string& path);
// --plugin PATH, else ../plug-ins/qmfTranslator.so beside this program.
std::string pluginPath(const std::string& chosen);
std::unique_ptr<qmfhost::PluginModule> loadTranslator(const std::string& chosen);

qmfhost::ma::Scene readScene(const std::string& path);
// Loads the scene into the host, which then holds its curves' keys: the
// scene's own are emptied (qmfhost::ma::SceneKeys::HandedOver).
qmfhost::ma::Binding bindScene(const std::string& path, qmfhost::ma::Scene& scene);

// Joints in the order of the translator's depth-first walk, without
// recursion so a deep hierarchy cannot exhaust the stack.
std::vector<MObject> jointsDepthFirst();
bool hasJointChild(const MObject& node);

// Joints, and transforms above them, with negative or non-uniform scale:
// Maya moves their children in ways a clip's rotations cannot reproduce.
// Each node once, joints' ancestors walked through their first parent.
std::vector<std::string> unevenlyScaled(const std::vector<MObject>& joints);
// The warning for them (without "qmf: warning: "), `what` being what cannot follow.
std::string unevenScaleWarning(const std::vector<std::string>& names, const std::string& what);

// A joint of the scene in the host as export walks them, with its parent:
// its DAG parent when that is a joint; under anything else it starts a
// hierarchy. Instances are walked once per path.
struct SceneJoint {
    MObject node;
    int parent;  // index into the walk, -1 for a root
    MDagPath path;   // the path the walk reached it by (one per instance)
};
// Depth first without recursion; refuses (FormatError) more than
// KELL_MAX_JOINTS joints, or more than maxVisits nodes on all paths.
std::vector<SceneJoint> walkSceneJoints(const std::string& path, std::size_t maxVisits);

}  // namespace qmf
