// Writes a Maya ASCII scene back: the original statements in order, minus
// what was deleted, plus what a run added (animation curves, connections,
// lock changes, the playback range).
#pragma once

#include "qmfhost/MaParser.h"
#include "qmfhost/MaScene.h"

#include <maya/MObject.h>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qmfhost::ma {

// Keys a new curve holds elsewhere (spooled to disk, say), read a block at a
// time each time the writer walks them. Every key has the curve's tangent
// type, one that needs no tangent vectors (not fixed).
class KeyColumn {
public:
    virtual ~KeyColumn() = default;
    virtual std::size_t size() const = 0;
    // Keys first .. first + count - 1: seconds, and values in internal units.
    virtual void read(std::size_t first, std::size_t count, double* times, double* values) const = 0;
};

struct NewCurve {
    std::string name;   // node name to write (made unique against the scene)
    std::string type;   // animCurveTA, animCurveTL, animCurveTU...
    Curve curve;        // internal units
    // The host curve it came from. When set and curve.keys is empty, the keys
    // are read from the host as the scene is written (curve.tangentType is
    // then worked out there too), so a long import is never copied whole.
    MObject source;
    // Or, when set (and curve.keys is empty), the keys are read from here.
    std::shared_ptr<const KeyColumn> column;
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
// The same into out, which has room for kNumberCapacity bytes; returns the length.
constexpr std::size_t kNumberCapacity = 32;
std::size_t formatNumber(double v, char* out);
// A time in seconds as the shortest frame number (at fps) that the reader
// turns back into the same seconds.
std::string formatFrames(double seconds, double fps);

// The scene's text, handed to out in pieces of up to about a megabyte.
using TextOut = std::function<void(const char* data, std::size_t size)>;
// A curve's key list longer than a statement the reader takes (limits) is
// refused (std::runtime_error) rather than written.
void writeScene(const Scene& scene, const Edits& edits, const TextOut& out, const Limits& limits = {});
std::string writeScene(const Scene& scene, const Edits& edits);

// Keys of a new curve, wherever they are held.
std::size_t keyCount(const NewCurve& curve);

// Writes bytes to path through a temporary file in the same folder, synced
// and renamed into place; throws std::runtime_error on failure and leaves
// any existing file untouched.
void writeFileAtomically(const std::string& path, const std::string& bytes);
// The scene streamed to path the same way, never held whole in memory; one
// the reader would refuse (limits: its size, a statement's) is not written.
void writeSceneAtomically(const std::string& path, const Scene& scene, const Edits& edits, const Limits& limits = {});

}  // namespace qmfhost::ma
