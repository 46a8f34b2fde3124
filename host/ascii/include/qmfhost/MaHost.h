// Puts a Maya ASCII scene into the headless host and works out, after a run,
// what the run changed so the scene can be written back.
#pragma once

#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <string>
#include <vector>

namespace qmfhost::ma {

// The host node made for each scene node (null for nodes only named, such as
// shared nodes selected with select -ne), and the host state right after.
struct Binding {
    std::vector<MObject> nodes;
    std::vector<bool> connected;  // per Scene::connections: made in the host
    AnimControlState animControl;
    std::vector<std::string> warnings;  // statements the host refused
};

// Resets the host scene and loads this one. Throws ParseError when the host
// refuses something a rig needs (a node or a parent).
Binding loadIntoHost(const Scene& scene);

// What the host now holds that differs from what was loaded.
Edits collectEdits(const Scene& scene, const Binding& binding);

// Disconnects and deletes the animation curves that drive these channels
// (directly or through unitConversion nodes). Returns how many curves went.
int deleteDrivingCurves(const MObject& node, const std::vector<std::string>& attributes);

}  // namespace qmfhost::ma
