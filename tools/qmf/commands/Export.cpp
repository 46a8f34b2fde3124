// qmf export: the scene's skeleton, posed at the current time, through the
// translator's writer into a new Movantis file.
#include "Batch.h"
#include "Args.h"
#include "qmfhost/Animation.h"
#include "qmfhost/PerrorCapture.h"
#include "qmfhost/Scene.h"

#include <maya/MTime.h>
#include <kell.h>
#include <kell_authoring.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace qmf {

namespace {

// --time T: frames of the scene's time unit, as seconds.
double exportTime(const std::string& text, double framesPerSecond) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double frames = std::strtod(begin, &end);
    if (text.empty() || end != begin + text.size() || errno == ERANGE || !std::isfinite(frames))
        throw CommandError("export: --time needs a number of frames, not '" + text + "'");
    return frames / framesPerSecond;
}

// One line per channel of a joint (or a transform above one) whose driver
// the host cannot evaluate: the exported pose may differ from Maya's there.
void warnUnevaluatedChannels(const std::vector<MObject>& joints) {
    for (const auto& u : qmfhost::unevaluatedChannelsAbove(joints))
        std::cerr << "qmf: warning: " << u.nodePath << "." << u.channel.attribute << " is driven by "
                  << u.channel.driverName << " (" << u.channel.driverType
                  << "), which the host does not evaluate; its stored value is exported\n";
}

// The library holds at most KELL_MAX_JOINTS joints in a skeleton and the
// translator adds every joint the scene has (instances more than once), so
// a scene with more joint nodes cannot export: say so before binding the
// scene and walking the first 32,767 joints only to fail.
void refuseOverJointLimit(const std::string& scenePath, const qmfhost::ma::Scene& scene) {
    std::size_t joints = 0;
    for (const auto& n : scene.nodes)
        if (n.declared && n.type == "joint") ++joints;
    if (joints > KELL_MAX_JOINTS)
        throw CommandError("export failed: " + scenePath + " has " + std::to_string(joints) +
                           " joints; a Movantis skeleton holds at most " + std::to_string(KELL_MAX_JOINTS));
}

// With --out-dir: each scene to OUTDIR/STEM.qmf in a process of its own.
int exportBatch(const Args& a) {
    BatchPlan plan;
    plan.command = "export";
    plan.verb = "exported";
    plan.outDir = a.value("--out-dir");
    plan.jobs = parseJobs("export", a.value("--jobs"));
    for (const std::string& in : a.positional) plan.items.push_back({in, batchOutput(plan.outDir, in, "qmf")});
    for (const char* flag : {"--plugin", "--time"})
        if (a.has(flag)) plan.childOptions.insert(plan.childOptions.end(), {flag, a.value(flag)});
    prepareBatch(plan);
    return runBatch(plan);
}

int cmdExport(int argc, char** argv) {
    Args a = parseArgs("export", argc, argv,
                       {{"--plugin", true}, {"--time", true}, {"--out-dir", true}, {"--jobs", true}});
    if (a.help) {
        std::cout << kExportCommand.help;
        return 0;
    }
    if (a.has("--out-dir")) return exportBatch(a);
    if (a.has("--jobs")) throw CommandError("export: --jobs needs --out-dir");
    needPositional("export", a, 2);
    const std::string& scenePath = a.positional[0];
    const std::string& out = a.positional[1];
    qmfhost::ma::Scene scene = readScene(scenePath);
    refuseOverJointLimit(scenePath, scene);
    const double at = a.value("--time").empty() ? 0.0 : exportTime(a.value("--time"), scene.units.framesPerSecond);
    fileio::Output target = requireOutput(out, {scenePath, pluginPath(a.value("--plugin"))});
    auto module = loadTranslator(a.value("--plugin"));
    bindScene(scenePath, scene);
    if (!a.value("--time").empty()) {
        qmfhost::AnimControlState ac = qmfhost::animControlState();
        ac.currentTime = MTime(at, MTime::kSeconds);
        qmfhost::setAnimControlState(ac);
    }
    const std::vector<MObject> jointList = jointsDepthFirst();
    warnUnevaluatedChannels(jointList);
    std::size_t joints = jointList.size();

    // The translator saves to a temporary file beside the output, so a failed
    // export leaves any existing output as it was.
    try {
        fileio::TempFile tmp(target);
        bool saveFailed = false;
        MStatus st;
        {
            qmfhost::PerrorCapture capture(true);
            st = module->write("qmf", absolute(tmp.path()));
            for (const auto& line : capture.lines()) saveFailed = saveFailed || line.text == "Failure saving Movantis file";
        }
        if (!st) {
            // The library says why its save failed (a full disk, say).
            const char* why = saveFailed ? kell_last_error_message() : nullptr;
            throw CommandError("export failed: the translator could not write " + out +
                               (why && *why ? std::string(": ") + why : std::string()));
        }
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    std::cout << "exported " << joints << " joint" << (joints == 1 ? "" : "s") << " from " << scenePath << " to " << out
              << "\n";
    return 0;
}

}  // namespace

const Command kExportCommand = {
    "export",
    "usage: qmf export SCENE.ma OUT.qmf [--time T] [--plugin PATH]\n"
    "       qmf export SCENE.ma... --out-dir DIR [--jobs N] [--time T] [--plugin PATH]\n"
    "\n"
    "Reads a Maya ASCII scene into the headless host, loads the qmf translator\n"
    "module and calls its writer: the scene's joints become the skeleton of a new\n"
    "Movantis animation saved at OUT.qmf. OUT.qmf is replaced only on success.\n"
    "\n"
    "The skeleton is the pose at the scene's current time (:time1, else the start\n"
    "of playback): channels driven by animation curves take the curves' values.\n"
    "A channel driven by anything else keeps its stored value, with one warning\n"
    "line on stderr per such channel.\n"
    "\n"
    "  --time T        pose at time T instead, in the scene's time unit (frames)\n"
    "  --plugin PATH   translator module to load (default: ../plug-ins/qmfTranslator.so\n"
    "                  beside this program)\n"
    "\n"
    "With --out-dir, every SCENE.ma is exported to DIR/SCENE.qmf (DIR is created\n"
    "if missing), each by a qmf process of its own, up to N at once (--jobs,\n"
    "default one per core). Failed files are listed with their reasons at the\n"
    "end and make the exit status 1; nothing is written for them. Two scenes of\n"
    "one name, or an output that is an input, are refused before anything runs.\n",
    cmdExport};

}  // namespace qmf
