// Keying a clip onto a scene in the host through the translator's reader.
#include "formats/ImportRun.h"

#include "fileio/PrivateFolder.h"
#include "formats/Formats.h"
#include "formats/Routes.h"
#include "formats/Model.h"

#include "clips/Clip.h"
#include "clips/ClipLibrary.h"
#include "clips/Resample.h"
#include "clips/Printable.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/PerrorCapture.h"
#include "qmfhost/Scene.h"

#include <maya/MTime.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include <kell_authoring.h>

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
void printMissingJoints(const std::string& readPath, std::ostream& warn) {
    std::vector<std::string> clipJoints;
    try {
        clipJoints = importedJointNames(readPackedClip(readPath));
    } catch (const ClipError&) {
        return;  // the clip itself is the fault; the translator said so
    }
    const std::string hint = missingJointHint(sceneJointNames(true), clipJoints, sceneJointNames(false));
    if (!hint.empty()) warn << "qmf: " << hint << "\n";
}

// A time moved by whole or fractional frames, counted in frames so that a
// key on a frame lands exactly on a frame again.
double later(double seconds, double frames, double fps) {
    double at = seconds * fps;
    if (std::fabs(at - std::nearbyint(at)) < 1e-9) at = std::nearbyint(at);
    // Seconds as a scene file's frame numbers give them (frame times 1 / fps),
    // so the scene says frame 124, not 124.00000000000001.
    return (at + frames) * (1.0 / fps);
}

// Every key of the new curves, and the playback end, later by frames.
void shiftCurves(const qmfhost::ma::Edits& edits, double frames, double fps) {
    for (const auto& c : edits.newCurves) {
        if (c.source.isNull()) continue;
        qmfhost::CurveData data;
        if (!qmfhost::getCurve(c.source, data)) continue;
        for (auto& k : data.keys) k.time = later(k.time, frames, fps);
        qmfhost::setCurve(c.source, data);
    }
    qmfhost::AnimControlState ac = qmfhost::animControlState();
    ac.maxTime = MTime(later(ac.maxTime.as(MTime::kSeconds), frames, fps), MTime::kSeconds);
    qmfhost::setAnimControlState(ac);
}

// The translator cannot key a channel something already drives. The first
// such channel in its order (the first joint's translation, then the
// rotations of joints with joint children) is where it stops; found before
// it runs, as it leaves the curves it made on the way.
std::optional<qmfhost::ma::KeptDriver> firstConnected() {
    const auto joints = jointsDepthFirst();
    for (std::size_t i = 0; i < joints.size(); ++i) {
        std::optional<qmfhost::ma::KeptDriver> d;
        if (i == 0) d = qmfhost::ma::firstDriver(joints[i], {"translateX", "translateY", "translateZ"});
        if (!d && hasJointChild(joints[i])) d = qmfhost::ma::firstDriver(joints[i], {"rotateX", "rotateY", "rotateZ"});
        if (d) return d;
    }
    return std::nullopt;
}

void explainConnected(const qmfhost::ma::KeptDriver& d, std::ostream& warn) {
    if (d.type.rfind("animCurve", 0) == 0)
        warn << "qmf: " << printable(d.plug) << " is already keyed by animation curve " << printable(d.driver)
             << "; --replace deletes the curves on the channels an import keys first\n";
    else
        warn << "qmf: " << printable(d.plug) << " is driven by " << printable(d.driver) << " (" << d.type
             << "), which an import cannot key over; remove it first\n";
}

// What tells a file rewritten or cut: its identity, size and change time.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long seconds = 0, nanoseconds = 0;
    bool operator!=(const FileStamp& o) const {
        return device != o.device || inode != o.inode || size != o.size || seconds != o.seconds ||
               nanoseconds != o.nanoseconds;
    }
};

FileStamp stampOf(const std::string& path) {
    struct stat st {};
    FileStamp s;
    if (::stat(path.c_str(), &st) != 0) return s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.seconds = st.st_mtim.tv_sec;
    s.nanoseconds = st.st_mtim.tv_nsec;
    return s;
}

}  // namespace

void writeImported(const std::string& path, const qmfhost::ma::Scene& scene, const ImportOutcome& outcome) {
    try {
        qmfhost::ma::writeSceneAtomically(path, scene, outcome.edits);
    } catch (const std::exception& e) {
        throw FormatError(e.what());
    }
}

std::vector<std::string> sceneJointNames(bool onlyWithJointChildren) {
    std::vector<std::string> names;
    for (const MObject& j : jointsDepthFirst())
        if (!onlyWithJointChildren || hasJointChild(j)) names.push_back(qmfhost::nodeName(j));
    return names;
}

PreparedClip prepareClip(const std::string& clip, const PackedClip& loaded, const RenameOptions& options,
                         const std::vector<std::string>* sceneJoints, const fileio::Output& beside, std::ostream& warn,
                         bool alwaysCopy) {
    PreparedClip out;
    out.readPath = clip;
    const std::vector<std::string> names = importedJointNames(loaded);
    std::vector<NameChange> changes;
    out.names = renameClipJoints(names, sceneJoints, options, &changes);
    const std::string warning = renameWarning(changes);
    if (!warning.empty()) warn << "qmf: " << printable(warning) << "\n";
    if (out.names == names && !alwaysCopy) return out;
    try {
        out.copy = std::make_unique<fileio::TempFile>(beside);
    } catch (const fileio::Error& e) {
        throw FormatError(e.what());
    }
    out.readPath = absolute(out.copy->path());
    saveRenamedClip(loaded, out.names, out.readPath);
    return out;
}

ImportOutcome importOntoScene(qmfhost::PluginModule& module, const qmfhost::ma::Scene& scene,
                              const qmfhost::ma::Binding& binding, const ImportRequest& request,
                              std::ostream& warn) {
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
    const auto connected = request.replace ? std::nullopt : firstConnected();
    {
        ProgressLine progress("importing " + request.clip);
        qmfhost::PerrorCapture said(true);
        const FileStamp before = stampOf(request.readPath);
        const uint32_t cutsBefore = kell_changed_files_count();
        MStatus st = module.read("qmf", absolute(request.readPath));
        // The translator has no failure for a key read of a file cut or
        // rewritten meanwhile (it reads as no key): refused here instead.
        if (kell_changed_files_count() != cutsBefore || stampOf(request.readPath) != before)
            throw FormatError(changedWhileRead(request.clip));
        if (!st) {
            // The clip's body is first read here (only its header was checked).
            for (const auto& text : said.texts())
                if (text == "Failure opening Movantis animation")
                    throw FormatError(request.clip + ": damaged animation: " + libraryError());
            if (!kept.empty()) {
                // In the translator's order, so the first is where it stopped.
                const auto& k = kept.front();
                warn << "qmf: " << k.plug << " is driven by " << k.driver << " (" << k.type
                          << "), which --replace does not remove (it removes animation curves only); remove it first";
                if (kept.size() > 1) warn << " (" << kept.size() - 1 << " more channels are driven so)";
                warn << "\n";
            }
            if (connected) explainConnected(*connected, warn);
            printMissingJoints(request.readPath, warn);
            throw FormatError("import failed: the translator could not apply " + request.clip + "; nothing written");
        }
    }
    std::optional<qmfhost::ma::Edits> edits;
    if (request.start) {
        // The keys and the playback end move with the clip's frame 0.
        edits = qmfhost::ma::collectEdits(scene, binding, qmfhost::ma::CurveKeys::KeysInHost);
        shiftCurves(*edits, request.startFrame, fps);
    }
    // A clip of 0 or 1 frames can end before the playback start.
    auto ac = qmfhost::animControlState();
    if (ac.maxTime.as(MTime::kSeconds) < ac.minTime.as(MTime::kSeconds)) {
        warn << "qmf: warning: the clip ends at frame " << qmfhost::ma::formatFrames(ac.maxTime.as(MTime::kSeconds), fps)
                  << ", before the playback start; the playback end is raised to the start\n";
        ac.maxTime = ac.minTime;
        qmfhost::setAnimControlState(ac);
    }
    outcome.edits = edits ? std::move(*edits) : qmfhost::ma::collectEdits(scene, binding, qmfhost::ma::CurveKeys::KeysInHost);
    qmfhost::ma::includePlaybackEnd(scene, outcome.edits);
    outcome.curves = outcome.edits.newCurves.size();
    for (const auto& c : outcome.edits.newCurves) outcome.keys += qmfhost::ma::keyCount(c);
    outcome.playbackStart = ac.minTime.as(MTime::kSeconds);
    outcome.playbackEnd = ac.maxTime.as(MTime::kSeconds);
    return outcome;
}

namespace formats {

double startFrame(const std::string& text) {
    const double v = parseFrameNumber(text, "--start");
    if (std::fabs(v) > 1e9) throw FormatError("--start needs a number of frames, not '" + text + "'");
    return v;
}

Imported importClip(const std::string& clip, const std::string& scenePath, const std::string& out,
                    const ConvertOptions& options, std::ostream& warn) {
    requireInput(clip);
    if (!options.rename.mapFile.empty()) requireInput(options.rename.mapFile);
    // Any other motion file convert reads becomes a private clip first.
    Format format = Format::Clip;
    if (formatOfContent(clip, format) && format != Format::Clip && format != Format::MayaAscii) {
        if (!row(format).convertFrom) throw FormatError(clip + ": " + row(format).name + " is not read by qmf");
    } else {
        format = Format::Clip;
    }
    qmfhost::ma::Scene scene = readScene(scenePath);
    // The scene itself may be the output (documented); the clip, map and module may not.
    std::vector<std::string> inputs{clip, pluginPath(options.plugin)};
    if (!options.rename.mapFile.empty()) inputs.push_back(options.rename.mapFile);
    fileio::Output output = requireOutput(out, inputs);
    std::unique_ptr<fileio::PrivateFolder> folder;
    std::string readFrom = clip;
    if (format != Format::Clip) {
        folder = std::make_unique<fileio::PrivateFolder>("qmf-import");
        readFrom = folder->file("motion.qmf");
        convert(format, Format::Clip, clip, readFrom, options, warn);
    }
    auto module = loadTranslator(options.plugin);
    // The header only: the translator's own open below reads the whole clip,
    // and its refusal of a damaged one is reported from there.
    checkClipHeader(readFrom);
    if (module->identifyFile("qmf", absolute(readFrom)) != MPxFileTranslator::kIsMyFileType)
        throw FormatError(clip + ": not a Movantis animation the translator can read");
    qmfhost::ma::Binding binding = bindScene(scenePath, scene);

    ImportRequest request{clip, readFrom, options.replace};
    if (!options.start.empty()) {
        request.start = true;
        request.startFrame = startFrame(options.start);
    }
    PreparedClip prepared;  // holds the renamed copy, if any, until the import is done
    if (!options.rename.mapFile.empty() || options.rename.stripNamespaces || options.rename.mayaNames ||
        options.resample) {
        const std::vector<std::string> sceneJoints = sceneJointNames(false);
        PackedClip packed = readPackedClip(readFrom);
        // Keys on the scene's whole frames: the clip at the scene's rate.
        if (options.resample) {
            struct stat st {};
            const uint64_t held = ::stat(readFrom.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
            packed = resampledClip(packed, static_cast<float>(scene.units.framesPerSecond), clipMemoryBudget(held));
        }
        prepared = prepareClip(clip, packed, options.rename, &sceneJoints, output, warn, options.resample);
        request.readPath = prepared.readPath;
    }
    ImportOutcome done = importOntoScene(*module, scene, binding, request, warn);
    // Streamed from the keys in the host; never held whole as text.
    writeImported(out, scene, done);
    Imported imported;
    static_cast<ImportOutcome&>(imported) = std::move(done);
    imported.framesPerSecond = scene.units.framesPerSecond;
    imported.timeName = scene.units.timeName;
    return imported;
}

}  // namespace formats

}  // namespace qmf
