// Movantis clip -> Maya ASCII: the rig a clip's skeleton describes, written
// so that exporting it gives the skeleton back, with the clip keyed onto it.
#include "ClipCopy.h"
#include "CommandSupport.h"
#include "Convert.h"
#include "ImportRun.h"
#include "qmfhost/MaNewScene.h"
#include "qmfhost/MaWriter.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>

#include <cmath>
#include <iostream>
#include <stdexcept>

namespace qmf {

namespace {

// The inverse of the exporter's conversions: an offset was stored as
// (x, y, -z) of the scene translation over 100; an orientation q = R * O with
// rotate R zero as (-w, x, y, -z).
qmfhost::ma::Vec3 translateOf(const coord3& offset) {
    return {static_cast<double>(offset.x) * 100.0, static_cast<double>(offset.y) * 100.0,
            0.0 - static_cast<double>(offset.z) * 100.0};  // 0 - 0 is +0, so no "-0" in the file
}

bool jointOrientOf(const quaternion& q, qmfhost::ma::Vec3& out) {
    const MQuaternion o(q.f1, q.f2, -static_cast<double>(q.f3), -static_cast<double>(q.f0));
    const double norm = std::sqrt(o.x * o.x + o.y * o.y + o.z * o.z + o.w * o.w);
    if (!std::isfinite(norm) || norm == 0) return false;
    const MEulerRotation e = o.normal().asEulerRotation();
    out = {e.x, e.y, e.z};
    return true;
}

// Joints parents first, depth first, as the scene will list them: the
// translator keys root translation on the first joint of that walk, so a
// joint the clip marks as root leads.
std::vector<std::size_t> sceneOrder(const PackedSkeleton& sk) {
    const std::size_t n = sk.joints.size();
    std::vector<std::vector<std::size_t>> children(n);
    std::vector<std::size_t> roots, markedRoots;
    for (std::size_t j = 0; j < n; ++j) {
        const int64_t p = sk.joints[j].parent;
        if (p >= 0 && static_cast<std::size_t>(p) < n) children[static_cast<std::size_t>(p)].push_back(j);
        else (sk.joints[j].root ? markedRoots : roots).push_back(j);
    }
    markedRoots.insert(markedRoots.end(), roots.begin(), roots.end());
    std::vector<std::size_t> order;
    order.reserve(n);
    std::vector<std::size_t> stack(markedRoots.rbegin(), markedRoots.rend());
    while (!stack.empty()) {
        const std::size_t j = stack.back();
        stack.pop_back();
        order.push_back(j);
        for (auto it = children[j].rbegin(); it != children[j].rend(); ++it) stack.push_back(*it);
    }
    return order;
}

}  // namespace

int convertClipToMaya(const ConvertJob& job) {
    requireInput(job.in);
    if (!job.rename.mapFile.empty()) requireInput(job.rename.mapFile);
    std::vector<std::string> inputs{job.in, pluginPath(job.plugin)};
    if (!job.rename.mapFile.empty()) inputs.push_back(job.rename.mapFile);
    const fileio::Output output = requireOutput(job.out, inputs);
    return clipFileToMaya(job.in, job, output);
}

int clipFileToMaya(const std::string& clipPath, const ConvertJob& job, const fileio::Output& output) {
    std::unique_ptr<qmfhost::PluginModule> module;
    if (!job.rigOnly) module = loadTranslator(job.plugin);
    const PackedClip clip = readPackedClip(clipPath);
    if (clip.figures.empty()) throw CommandError(job.in + ": the clip has no figure, so no skeleton to build a rig from");
    const PackedSkeleton& sk = clip.skeletons[static_cast<std::size_t>(clip.figures[0].skeleton)];
    if (sk.joints.empty()) throw CommandError(job.in + ": the clip's skeleton has no joints, so there is no rig to build");

    // Maya names on both sides: the rig's joints and the clip the translator reads.
    RenameOptions rename = job.rename;
    rename.mayaNames = true;
    PreparedClip prepared = prepareClip(clipPath, clip, rename, nullptr, output);

    const std::vector<std::size_t> order = sceneOrder(sk);
    if (order.size() != sk.joints.size()) throw CommandError(job.in + ": the clip's skeleton has a cycle of parents");
    std::vector<int> position(sk.joints.size(), -1);
    std::vector<qmfhost::ma::NewJoint> joints;
    joints.reserve(order.size());
    for (std::size_t j : order) {
        const PackedJoint& pj = sk.joints[j];
        qmfhost::ma::NewJoint nj;
        nj.name = prepared.names[j];
        nj.parent = pj.parent >= 0 ? position[static_cast<std::size_t>(pj.parent)] : -1;
        nj.translate = translateOf(pj.offset);
        for (double c : nj.translate)
            if (!std::isfinite(c)) throw CommandError(job.in + ": joint " + pj.name + " has an offset that is not finite");
        if (!jointOrientOf(pj.orientation, nj.jointOrient))
            throw CommandError(job.in + ": joint " + pj.name + " has an orientation that is not a rotation");
        position[j] = static_cast<int>(joints.size());
        joints.push_back(std::move(nj));
    }
    std::string timeUnit = qmfhost::ma::timeUnitFor(clip.frameRate);
    if (timeUnit.empty()) timeUnit = "film";
    std::string text;
    try {
        text = qmfhost::ma::writeJointScene(joints, timeUnit);
    } catch (const std::invalid_argument& e) {
        throw CommandError(job.in + ": " + e.what());
    }

    std::size_t curves = 0, keys = 0;
    if (!job.rigOnly) {
        if (module->identifyFile("qmf", absolute(clipPath)) != MPxFileTranslator::kIsMyFileType)
            throw CommandError(job.in + ": not a Movantis animation the translator can read");
        qmfhost::ma::Scene scene;
        try {
            scene = qmfhost::ma::readText(text);
        } catch (const qmfhost::ma::ParseError& e) {
            throw CommandError(std::string("the rig made from ") + job.in + " does not read back: " + e.what());
        }
        qmfhost::ma::Binding binding = bindScene(job.out, scene);
        ImportOutcome done = importOntoScene(*module, scene, binding, {job.in, prepared.readPath, false});
        text = std::move(done.sceneText);
        curves = done.curves;
        keys = done.keys;
    }
    try {
        qmfhost::ma::writeFileAtomically(job.out, text);
    } catch (const std::exception& e) {
        throw CommandError(e.what());
    }
    std::cout << "converted " << job.in << " to " << job.out << ": a rig of " << joints.size() << " joint"
              << (joints.size() == 1 ? "" : "s");
    if (job.rigOnly) std::cout << " without animation";
    else std::cout << ", " << curves << " curves, " << keys << " keys";
    std::cout << " (" << timeUnit << " frames)\n";
    return 0;
}

}  // namespace qmf
