// Writes a Maya ASCII scene back: the original statements in order, minus
// what was deleted, plus what a run added (animation curves, connections,
// lock changes, the playback range).
#pragma once

#include "qmfhost/MaScene.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qmfhost::ma {

struct NewCurve {
    std::string name;   // node name to write (made unique against the scene)
    std::string type;   // animCurveTA, animCurveTL, animCurveTU...
    Curve curve;        // internal units
    std::vector<std::pair<std::string, std::string>> destinations;  // (node path, attribute)
};

struct LockChange {
    std::string nodePath;
    std::string attr;
    bool locked = false;
};

struct Edits {
    std::set<int> deletedNodes;        // indices into Scene::nodes
    std::set<int> removedConnections;  // indices into Scene::connections
    std::vector<NewCurve> newCurves;
    std::vector<LockChange> lockChanges;
    // The range values to write; a value left empty keeps the file's text.
    std::optional<Playback> playback;
};

// Formats a number so that it reads back as the same double, briefly.
std::string formatNumber(double v);
// A time in seconds as the shortest frame number (at fps) that the reader
// turns back into the same seconds.
std::string formatFrames(double seconds, double fps);

std::string writeScene(const Scene& scene, const Edits& edits);

// Writes bytes to path through a temporary file in the same folder, synced
// and renamed into place; throws std::runtime_error on failure and leaves
// any existing file untouched.
void writeFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace qmfhost::ma
