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
qmfhost::ma::Binding bindScene(const std::string& path, const qmfhost::ma::Scene& scene);

// Joints in the order of the translator's depth-first walk, without
// recursion so a deep hierarchy cannot exhaust the stack.
std::vector<MObject> jointsDepthFirst();
bool hasJointChild(const MObject& node);

}  // namespace qmf
