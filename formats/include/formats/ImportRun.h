// Keying a clip onto a scene loaded in the host through the translator's
// reader, as `qmf import` does; `qmf convert` lays clips onto the rigs it
// makes the same way.
#pragma once

#include "clips/ClipCopy.h"
#include "formats/Options.h"
#include "formats/Session.h"
#include "clips/JointNames.h"

#include <memory>
#include <ostream>
#include <string>

namespace qmf {

struct ImportRequest {
    std::string clip;        // the clip as the user named it, for messages
    std::string readPath;    // what the translator reads: the clip or a renamed copy
    bool replace = false;    // delete the curves already on the channels keyed
    double startFrame = 0;   // --start: the scene frame where the clip's frame 0 lands
    bool start = false;      //   given (else the keys land where the translator puts them)
};

struct ImportOutcome {
    // What to write back: the new curves' keys stay in the host until then.
    qmfhost::ma::Edits edits;
    std::size_t curves = 0, keys = 0;
    int replaced = 0;
    double playbackStart = 0, playbackEnd = 0;  // seconds
};

// Runs the translator's reader on the scene in the host (bound from scene),
// then collects what it changed. Throws FormatError, after printing what
// helps (to warn) (channels --replace kept, joints the clip lacks), when it fails.
ImportOutcome importOntoScene(qmfhost::PluginModule& module, const qmfhost::ma::Scene& scene,
                              const qmfhost::ma::Binding& binding, const ImportRequest& request,
                              std::ostream& warn);

// The scene with the import's changes, streamed to path atomically.
void writeImported(const std::string& path, const qmfhost::ma::Scene& scene, const ImportOutcome& outcome);

// Names of the scene's joints in the host, in the translator's walk order,
// and of those the import keys rotations on (the ones with joint children).
std::vector<std::string> sceneJointNames(bool onlyWithJointChildren);

// Runs the clip's joint names through the options against the scene's
// joints in the host (sceneJoints null: a scene still to be made from them),
// printing the Maya renames' warning to warn. When a name changes, a renamed copy is
// saved as a private temporary file beside `beside` and held in copy.
struct PreparedClip {
    std::string readPath;                    // the clip, or its renamed copy
    std::unique_ptr<fileio::TempFile> copy;  // removed when this goes
    std::vector<std::string> names;          // the joint names the translator sees
};
// With alwaysCopy (a clip changed otherwise, such as resampled) the copy is
// saved even when no name changes.
PreparedClip prepareClip(const std::string& clip, const PackedClip& loaded, const RenameOptions& options,
                         const std::vector<std::string>* sceneJoints, const fileio::Output& beside, std::ostream& warn,
                         bool alwaysCopy = false);

namespace formats {

// `qmf import`'s job: the clip keyed onto the scene at scenePath by the
// translator loaded from options.plugin, its joints renamed first as
// options.rename says (on a private copy), the scene with the new curves
// written to out atomically (out may be the scene itself).
struct Imported : ImportOutcome {
    double framesPerSecond = 24;  // the scene's time unit
    std::string timeName;         // and its name ("film")
};
// --start's value: a number of frames; FormatError otherwise.
double startFrame(const std::string& text);

Imported importClip(const std::string& clip, const std::string& scenePath, const std::string& out,
                    const ConvertOptions& options, std::ostream& warn);

}  // namespace formats

}  // namespace qmf
