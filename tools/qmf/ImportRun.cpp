#include "ImportRun.h"

#include "Printable.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <maya/MTime.h>

#include <cstdio>
#include <iostream>
#include <set>
#include <unistd.h>

namespace qmf {

namespace {

// A progress line on stderr while the translator keys curves, when stderr
// is a terminal; the host calls back on every key it adds.
class ProgressLine {
public:
    explicit ProgressLine(std::string what) : what_(std::move(what)), enabled_(::isatty(2) != 0) {
        if (!enabled_) return;
        qmfhost::setKeyAddedHook(&ProgressLine::onKey, this);
        draw();
    }
    ~ProgressLine() {
        if (!enabled_) return;
        qmfhost::setKeyAddedHook(nullptr, nullptr);
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    static void onKey(const MObject& curve, void* self) {
        auto* p = static_cast<ProgressLine*>(self);
        // Keys come frame by frame across several curves; remember each curve once.
        if (curve != p->lastCurve_) {
            p->lastCurve_ = curve;
            p->seen_.insert(curve.id());
        }
        if (++p->keys_ % 256 == 0) p->draw();
    }
    void draw() {
        std::fprintf(stderr, "\r%s: %zu curves, %zu keys", what_.c_str(), seen_.size(), keys_);
        std::fflush(stderr);
    }

    std::string what_;
    bool enabled_;
    MObject lastCurve_;
    std::set<unsigned long long> seen_;
    std::size_t keys_ = 0;
};

// After a failed import: the scene joints the translator needed that the
// clip it read does not name, if any.
void printMissingJoints(const std::string& readPath) {
    std::vector<std::string> clipJoints;
    try {
        clipJoints = importedJointNames(readPackedClip(readPath));
    } catch (const CommandError&) {
        return;  // the clip itself is the fault; the translator said so
    }
    const std::string hint = missingJointHint(sceneJointNames(true), clipJoints, sceneJointNames(false));
    if (!hint.empty()) std::cerr << "qmf: " << hint << "\n";
}

}  // namespace

std::vector<std::string> sceneJointNames(bool onlyWithJointChildren) {
    std::vector<std::string> names;
    for (const MObject& j : jointsDepthFirst())
        if (!onlyWithJointChildren || hasJointChild(j)) names.push_back(qmfhost::nodeName(j));
    return names;
}

PreparedClip prepareClip(const std::string& clip, const PackedClip& loaded, const RenameOptions& options,
                         const std::vector<std::string>* sceneJoints, const fileio::Output& beside) {
    PreparedClip out;
    out.readPath = clip;
    const std::vector<std::string> names = importedJointNames(loaded);
    std::vector<NameChange> changes;
    out.names = renameClipJoints(names, sceneJoints, options, &changes);
    const std::string warning = renameWarning(changes);
    if (!warning.empty()) std::cerr << "qmf: " << printable(warning) << "\n";
    if (out.names == names) return out;
    try {
        out.copy = std::make_unique<fileio::TempFile>(beside);
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    out.readPath = absolute(out.copy->path());
    saveRenamedClip(loaded, out.names, out.readPath);
    return out;
}

ImportOutcome importOntoScene(qmfhost::PluginModule& module, const qmfhost::ma::Scene& scene,
                              const qmfhost::ma::Binding& binding, const ImportRequest& request) {
    ImportOutcome outcome;
    std::vector<qmfhost::ma::KeptDriver> kept;  // drivers --replace does not remove
    if (request.replace) {
        auto joints = jointsDepthFirst();
        for (std::size_t i = 0; i < joints.size(); ++i) {
            if (i == 0)
                outcome.replaced +=
                    qmfhost::ma::deleteDrivingCurves(joints[i], {"translateX", "translateY", "translateZ"}, &kept);
            if (hasJointChild(joints[i]))
                outcome.replaced += qmfhost::ma::deleteDrivingCurves(joints[i], {"rotateX", "rotateY", "rotateZ"}, &kept);
        }
    }
    const double fps = scene.units.framesPerSecond;
    {
        ProgressLine progress("importing " + request.clip);
        MStatus st = module.read("qmf", absolute(request.readPath));
        if (!st) {
            if (!kept.empty()) {
                // In the translator's order, so the first is where it stopped.
                const auto& k = kept.front();
                std::cerr << "qmf: " << k.plug << " is driven by " << k.driver << " (" << k.type
                          << "), which --replace does not remove (it removes animation curves only); remove it first";
                if (kept.size() > 1) std::cerr << " (" << kept.size() - 1 << " more channels are driven so)";
                std::cerr << "\n";
            }
            printMissingJoints(request.readPath);
            throw CommandError("import failed: the translator could not apply " + request.clip + "; nothing written");
        }
    }
    // A clip of 0 or 1 frames can end before the playback start.
    auto ac = qmfhost::animControlState();
    if (ac.maxTime.as(MTime::kSeconds) < ac.minTime.as(MTime::kSeconds)) {
        std::cerr << "qmf: warning: the clip ends at frame " << qmfhost::ma::formatFrames(ac.maxTime.as(MTime::kSeconds), fps)
                  << ", before the playback start; the playback end is raised to the start\n";
        ac.maxTime = ac.minTime;
        qmfhost::setAnimControlState(ac);
    }
    qmfhost::ma::Edits edits = qmfhost::ma::collectEdits(scene, binding);
    qmfhost::ma::includePlaybackEnd(scene, edits);
    outcome.sceneText = qmfhost::ma::writeScene(scene, edits);
    outcome.curves = edits.newCurves.size();
    for (const auto& c : edits.newCurves) outcome.keys += c.curve.keys.size();
    outcome.playbackStart = ac.minTime.as(MTime::kSeconds);
    outcome.playbackEnd = ac.maxTime.as(MTime::kSeconds);
    return outcome;
}

}  // namespace qmf
