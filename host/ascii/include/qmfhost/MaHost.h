// Puts a Maya ASCII scene into the headless host and works out, after a run,
// what the run changed so the scene can be written back.
#pragma once

#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <optional>
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
// HandedOver empties each curve's keys in the scene once the host holds
// them, for callers that read keys from the host only: a long scene's keys
// are then never held twice.
enum class SceneKeys { Kept, HandedOver };
Binding loadIntoHost(Scene& scene, SceneKeys keys);

// What the host now holds that differs from what was loaded. Of the
// playback range only the values that changed are given, unless the scene
// has no range of its own: then all four are.
// With KeysInHost the new curves carry their host node instead of a copy of
// their keys (NewCurve::source): for writing a long import straight out.
enum class CurveKeys { Copied, KeysInHost };
Edits collectEdits(const Scene& scene, const Binding& binding, CurveKeys keys = CurveKeys::Copied);

// An import always sets the playback end: adds it to the edits (with the
// rest of the range for a scene without one) unless the file already holds
// that very end.
void includePlaybackEnd(const Scene& scene, Edits& edits);

// A channel driver that is not an animation curve.
struct KeptDriver {
    std::string plug;    // the driven channel, "|path|node.attribute"
    std::string driver;  // node name (through a unitConversion: what feeds it)
    std::string type;    // its node type
};

// Deletes the animation curves that drive these channels, directly or
// through a unitConversion (deleted too), with every connection they have.
// Channels driven by anything else are left connected and listed in kept.
// Returns how many curves went.
int deleteDrivingCurves(const MObject& node, const std::vector<std::string>& attributes,
                        std::vector<KeptDriver>* kept = nullptr);

// The first of these channels something drives (as deleteDrivingCurves
// looks through a unitConversion), or none.
std::optional<KeptDriver> firstDriver(const MObject& node, const std::vector<std::string>& attributes);

}  // namespace qmfhost::ma
