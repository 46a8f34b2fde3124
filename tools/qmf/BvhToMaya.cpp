// BVH to a Maya ASCII scene: the joint hierarchy with one animation curve
// per channel, keyed on every frame with linear tangents.
#include "BvhConvert.h"

#include "Clip.h"
#include "CommandSupport.h"
#include "MayaNames.h"
#include "bvh/Reader.h"
#include "bvh/Writer.h"

#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"

#include <maya/MEulerRotation.h>
#include <maya/MFnAnimCurve.h>

#include <cmath>
#include <unordered_set>

namespace qmf {

namespace {

// Valid Maya names, and one of its own for every joint: the scene names a
// parent by name, so a second joint of a name is renamed too.
std::vector<std::string> uniqueMayaNames(const std::vector<std::string>& names, std::vector<NameChange>& changes) {
    std::vector<std::string> out = mayaNames(names, &changes);
    std::unordered_set<std::string> taken(out.begin(), out.end());
    taken.insert(names.begin(), names.end());
    std::unordered_set<std::string> used;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (used.insert(out[i]).second) continue;
        std::string name;
        for (unsigned n = 1; name.empty() || taken.count(name); ++n) name = out[i] + "_" + std::to_string(n);
        taken.insert(name);
        used.insert(name);
        changes.push_back({names[i], name});
        out[i] = name;
    }
    return out;
}

}  // namespace


namespace {

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

struct TimeUnit {
    const char* name;
    double fps;
};

// Maya's fixed frame rates, by the name currentUnit takes.
const TimeUnit kTimeUnits[] = {
    {"game", 15},      {"film", 24},      {"pal", 25},       {"ntsc", 30},       {"show", 48},
    {"palf", 50},      {"ntscf", 60},     {"2fps", 2},       {"3fps", 3},        {"4fps", 4},
    {"5fps", 5},       {"6fps", 6},       {"8fps", 8},       {"10fps", 10},      {"12fps", 12},
    {"16fps", 16},     {"20fps", 20},     {"40fps", 40},     {"75fps", 75},      {"80fps", 80},
    {"100fps", 100},   {"120fps", 120},   {"125fps", 125},   {"150fps", 150},    {"200fps", 200},
    {"240fps", 240},   {"250fps", 250},   {"300fps", 300},   {"375fps", 375},    {"400fps", 400},
    {"500fps", 500},   {"600fps", 600},   {"750fps", 750},   {"1200fps", 1200},  {"1500fps", 1500},
    {"2000fps", 2000}, {"3000fps", 3000}, {"6000fps", 6000}, {"23.976fps", 24000.0 / 1001.0},
    {"29.97fps", 30000.0 / 1001.0},       {"47.952fps", 48000.0 / 1001.0},      {"59.94fps", 60000.0 / 1001.0},
};

// BVH files write Frame Time with a handful of digits (.0083333 for 120 fps).
constexpr double kRateTolerance = 1e-4;

const TimeUnit& nearestUnit(double fps, bool& exact) {
    const TimeUnit* best = &kTimeUnits[0];
    for (const TimeUnit& u : kTimeUnits)
        if (std::fabs(std::log(fps / u.fps)) < std::fabs(std::log(fps / best->fps))) best = &u;
    exact = std::fabs(fps / best->fps - 1) < kRateTolerance;
    return *best;
}

const char* mayaLinearUnit(const std::string& unit) {
    if (unit == "mm") return "millimeter";
    if (unit == "m") return "meter";
    if (unit == "in") return "inch";
    if (unit == "ft") return "foot";
    return "centimeter";
}

qmfhost::ma::NewCurve curveFor(const std::string& name, const std::string& node, const char* attr, char kind, uint32_t frames) {
    qmfhost::ma::NewCurve c;
    c.name = name + "_" + attr;
    c.type = kind == 'A' ? "animCurveTA" : "animCurveTL";
    c.curve.kind = kind;
    c.curve.tangentType = MFnAnimCurve::kTangentLinear;
    c.curve.weighted = false;
    c.curve.keys.reserve(frames);
    c.destinations.emplace_back(node, attr);
    return c;
}

void addKey(qmfhost::ma::NewCurve& c, double time, double value) {
    qmfhost::ma::Key k;
    k.time = time;
    k.value = value;
    k.inType = k.outType = MFnAnimCurve::kTangentLinear;
    c.curve.keys.push_back(k);
}

}  // namespace

BvhConvertResult bvhToMaya(const std::string& in, const std::string& out, const BvhOptions& options, std::ostream& warn) {
    requireInput(in);
    requireOutput(out, {in});
    bvh::Document d;
    try {
        bvh::Reader reader = bvh::Reader::open(in);
        d = bvh::readDocument(reader);
    } catch (const bvh::Error& e) {
        throw CommandError(in + ": " + e.what());
    }
    const bvh::Hierarchy& h = d.hierarchy;
    if (d.ignoredLines)
        warn << "qmf: warning: " << in << ": Frames: declares " << d.frames << " frames; the " << d.ignoredLines
             << " frame line" << (d.ignoredLines == 1 ? "" : "s") << " after them "
             << (d.ignoredLines == 1 ? "is" : "are") << " ignored\n";
    std::vector<NameChange> changes;
    const std::vector<std::string> names = uniqueMayaNames(bvhconvert::jointNames(h), changes);
    if (!changes.empty()) warn << "qmf: " << renameWarning(changes) << "\n";

    const double fps = 1.0 / d.frameTime;
    bool exact = false;
    const TimeUnit& unit = nearestUnit(fps, exact);
    if (!exact)
        warn << "qmf: warning: Maya has no time unit of " << qmfhost::ma::formatNumber(fps) << " fps; keys are placed at "
             << "their times in seconds on the nearest, " << unit.name << "\n";
    const double secondsPerFrame = exact ? 1.0 / unit.fps : d.frameTime;

    std::string text = "//Maya ASCII 2018 scene\n//Name: bvh\nrequires maya \"2018\";\ncurrentUnit -l ";
    text += mayaLinearUnit(options.unitName);
    text += " -a degree -t ";
    text += unit.name;
    text += ";\n";
    std::vector<int> order(h.joints.size(), 0);
    for (std::size_t i = 0; i < h.joints.size(); ++i) {
        const bvh::Joint& j = h.joints[i];
        text += "createNode joint -n \"" + names[i] + "\"";
        if (j.parent >= 0) text += " -p \"" + names[static_cast<std::size_t>(j.parent)] + "\"";
        text += ";\n\tsetAttr \".t\" -type \"double3\"";
        for (double v : j.offset) {
            text += ' ';
            bvh::appendNumber(text, v);
        }
        text += ";\n";
        if (j.hasRotation()) order[i] = bvhconvert::mayaOrderIndex(bvh::mayaRotateOrder(j));
        if (order[i]) text += "\tsetAttr \".ro\" " + std::to_string(order[i]) + ";\n";
    }
    qmfhost::ma::Scene scene;
    try {
        scene = qmfhost::ma::readText(text);
    } catch (const std::exception& e) {
        throw CommandError(std::string("the scene for ") + in + " could not be built: " + e.what());
    }

    if (scene.nodes.size() != h.joints.size()) throw CommandError("the scene for " + in + " could not be built");
    qmfhost::ma::Edits edits;
    for (std::size_t i = 0; i < h.joints.size(); ++i) {
        const bvh::Joint& j = h.joints[i];
        const std::string& path = names[i];  // unique, so a path is not needed
        const int firstCurve = static_cast<int>(edits.newCurves.size());
        if (j.hasPosition())
            for (const char* a : {"translateX", "translateY", "translateZ"}) edits.newCurves.push_back(curveFor(names[i], path, a, 'L', d.frames));
        const int rotationCurve = static_cast<int>(edits.newCurves.size());
        if (j.hasRotation())
            for (const char* a : {"rotateX", "rotateY", "rotateZ"}) edits.newCurves.push_back(curveFor(names[i], path, a, 'A', d.frames));
        if (!j.hasPosition() && !j.hasRotation()) continue;
        // Angles stay continuous: each frame's rotation is the solution
        // closest to the one before, starting from no rotation.
        MEulerRotation previous(0, 0, 0, static_cast<MEulerRotation::RotationOrder>(order[i]));
        for (uint32_t f = 0; f < d.frames; ++f) {
            const double* v = d.frame(f);
            const double t = f * secondsPerFrame;
            double p[3] = {0, 0, 0}, r[3] = {0, 0, 0};
            for (std::size_t c = 0; c < j.channels.size(); ++c) {
                const double x = v[j.firstChannel + c];
                if (bvh::isRotation(j.channels[c])) r[bvh::axisOf(j.channels[c])] = x * kDegreesToRadians;
                else p[bvh::axisOf(j.channels[c])] = x * options.unitToCm;
            }
            if (j.hasPosition())
                for (int a = 0; a < 3; ++a) addKey(edits.newCurves[static_cast<std::size_t>(firstCurve + a)], t, p[a]);
            if (j.hasRotation()) {
                MEulerRotation e(r[0], r[1], r[2], previous.order);
                e.setToClosestSolution(previous);
                previous = e;
                for (int a = 0; a < 3; ++a) addKey(edits.newCurves[static_cast<std::size_t>(rotationCurve + a)], t, e[static_cast<unsigned>(a)]);
            }
        }
    }
    const double last = d.frames ? (d.frames - 1) * secondsPerFrame : 0.0;
    edits.playback = qmfhost::ma::Playback{0.0, last, 0.0, last};
    try {
        qmfhost::ma::writeSceneAtomically(out, scene, edits);  // streamed, never held whole
    } catch (const std::exception& e) {
        throw CommandError(e.what());
    }
    return {h.joints.size(), d.frames};
}

}  // namespace qmf
