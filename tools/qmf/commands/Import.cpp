// qmf import: a Movantis clip keyed onto a scene's joints through the
// translator's reader, and the animated scene written back.
#include "CommandSupport.h"
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

int cmdImport(int argc, char** argv) {
    Args a = parseArgs("import", argc, argv, {{"--plugin", true}, {"-o", true}, {"--replace", false}});
    if (a.help) {
        std::cout << kImportCommand.help;
        return 0;
    }
    needPositional("import", a, 2);
    const std::string& clip = a.positional[0];
    const std::string& scenePath = a.positional[1];
    if (a.value("-o").empty()) throw CommandError("import: -o OUT.ma is required (the input scene is never replaced otherwise)");
    requireInput(clip);
    qmfhost::ma::Scene scene = readScene(scenePath);
    // The scene itself may be the output (documented); the clip and module may not.
    requireOutput(a.value("-o"), {clip, pluginPath(a.value("--plugin"))});
    auto module = loadTranslator(a.value("--plugin"));
    qmf::checkClip(clip);
    if (module->identifyFile("qmf", absolute(clip)) != MPxFileTranslator::kIsMyFileType)
        throw CommandError(clip + ": not a Movantis animation the translator can read");
    qmfhost::ma::Binding binding = bindScene(scenePath, scene);

    int replaced = 0;
    std::vector<qmfhost::ma::KeptDriver> kept;  // drivers --replace does not remove
    if (a.has("--replace")) {
        auto joints = jointsDepthFirst();
        for (std::size_t i = 0; i < joints.size(); ++i) {
            if (i == 0)
                replaced += qmfhost::ma::deleteDrivingCurves(joints[i], {"translateX", "translateY", "translateZ"}, &kept);
            if (hasJointChild(joints[i]))
                replaced += qmfhost::ma::deleteDrivingCurves(joints[i], {"rotateX", "rotateY", "rotateZ"}, &kept);
        }
    }
    const double fps = scene.units.framesPerSecond;
    {
        ProgressLine progress("importing " + clip);
        MStatus st = module->read("qmf", absolute(clip));
        if (!st) {
            if (!kept.empty()) {
                // In the translator's order, so the first is where it stopped.
                const auto& k = kept.front();
                std::cerr << "qmf: " << k.plug << " is driven by " << k.driver << " (" << k.type
                          << "), which --replace does not remove (it removes animation curves only); remove it first";
                if (kept.size() > 1) std::cerr << " (" << kept.size() - 1 << " more channels are driven so)";
                std::cerr << "\n";
            }
            throw CommandError("import failed: the translator could not apply " + clip + "; nothing written");
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
    std::string text = qmfhost::ma::writeScene(scene, edits);
    try {
        qmfhost::ma::writeFileAtomically(a.value("-o"), text);
    } catch (const std::exception& e) {
        throw CommandError(e.what());
    }
    std::size_t keys = 0;
    for (const auto& c : edits.newCurves) keys += c.curve.keys.size();
    std::cout << "imported " << clip << " onto " << scenePath << ": " << edits.newCurves.size() << " curves, " << keys
              << " keys, " << replaced << " old curve" << (replaced == 1 ? "" : "s") << " replaced";
    std::cout << "; playback " << qmfhost::ma::formatFrames(ac.minTime.as(MTime::kSeconds), fps) << " to "
              << qmfhost::ma::formatFrames(ac.maxTime.as(MTime::kSeconds), fps) << " (" << scene.units.timeName
              << " frames); wrote " << a.value("-o") << "\n";
    return 0;
}

}  // namespace

const Command kImportCommand = {
    "import",
    "usage: qmf import CLIP.qmf SCENE.ma -o OUT.ma [--replace] [--plugin PATH]\n"
    "\n"
    "Reads a Maya ASCII scene into the headless host, calls the qmf translator's\n"
    "reader on CLIP.qmf (translate curves on the first joint, rotate curves on every\n"
    "joint with joint children, playback end, linear tangents) and writes the\n"
    "animated scene to OUT.ma, atomically. Nothing is written when the translator\n"
    "fails. The input scene is replaced only when -o names it.\n"
    "\n"
    "  -o, --output OUT.ma  the scene to write (required)\n"
    "  --replace            first delete the animation curves that already drive the\n"
    "                       channels the import will key; other drivers (expressions,\n"
    "                       constraints...) stay, and the import then fails naming them\n"
    "  --plugin PATH        translator module to load (default: ../plug-ins/qmfTranslator.so\n"
    "                       beside this program)\n",
    cmdImport};

}  // namespace qmf
