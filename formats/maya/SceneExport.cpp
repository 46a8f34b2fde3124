// A scene's skeleton, posed at its current time (or a time given), through
// the translator's writer into a new Movantis file: what `qmf export` does.
#include "formats/Export.h"

#include "formats/Model.h"
#include "formats/Session.h"
#include "qmfhost/Animation.h"
#include "qmfhost/PerrorCapture.h"
#include "qmfhost/Scene.h"

#include <maya/MTime.h>
#include <kell.h>
#include <kell_authoring.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ostream>

namespace qmf::formats {

namespace {

// --time T: frames of the scene's time unit, as seconds.
double exportTime(const std::string& text, double framesPerSecond) {
    return parseFrameNumber(text, "export: --time") / framesPerSecond;
}

// One line per channel of a joint (or a transform above one) whose driver
// the host cannot evaluate: the exported pose may differ from Maya's there.
void warnUnevaluatedChannels(const std::vector<MObject>& joints, std::ostream& warn) {
    for (const auto& u : qmfhost::unevaluatedChannelsAbove(joints))
        warn << "qmf: warning: " << u.nodePath << "." << u.channel.attribute << " is driven by "
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
        throw FormatError("export failed: " + scenePath + " has " + std::to_string(joints) +
                          " joints; a Movantis skeleton holds at most " + std::to_string(KELL_MAX_JOINTS));
}

}  // namespace

std::size_t exportScene(const std::string& scenePath, const std::string& out, const ConvertOptions& options,
                        std::ostream& warn) {
    qmfhost::ma::Scene scene = readScene(scenePath);
    refuseOverJointLimit(scenePath, scene);
    const double at = options.time.empty() ? 0.0 : exportTime(options.time, scene.units.framesPerSecond);
    fileio::Output target = requireOutput(out, {scenePath, pluginPath(options.plugin)});
    auto module = loadTranslator(options.plugin);
    bindScene(scenePath, scene);
    if (!options.time.empty()) {
        qmfhost::AnimControlState ac = qmfhost::animControlState();
        ac.currentTime = MTime(at, MTime::kSeconds);
        qmfhost::setAnimControlState(ac);
    }
    const std::vector<MObject> jointList = jointsDepthFirst();
    warnUnevaluatedChannels(jointList, warn);
    const std::vector<std::string> scaled = unevenlyScaled(jointList);
    if (!scaled.empty()) warn << "qmf: warning: " << unevenScaleWarning(scaled, "the exported skeleton") << "\n";
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
            throw FormatError("export failed: the translator could not write " + out +
                              (why && *why ? std::string(": ") + why : std::string()));
        }
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw FormatError(e.what());
    }
    return joints;
}

}  // namespace qmf::formats
