// A clip to a Maya ASCII scene: the rig the clip's skeleton describes,
// written so that exporting it gives the skeleton back, with the clip keyed
// onto it by the translator's own reader.
#include "formats/maya/MayaFormat.h"

#include "clips/ClipCopy.h"
#include "clips/Resample.h"
#include "formats/ImportRun.h"
#include "formats/Session.h"
#include "qmfhost/MaNewScene.h"
#include "qmfhost/MaWriter.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>

#include <cmath>
#include <ostream>
#include <stdexcept>

namespace qmf::formats {

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

std::string plural(std::size_t n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

class MayaRigWriter : public Writer {
public:
    MayaRigWriter(const fileio::Output& target, const ConvertOptions& options) : target_(target), options_(options) {}

    void begin(const Skeleton& s, std::ostream&) override {
        if (s.clipFile.empty()) throw FormatError(s.path + ": a rig is built from a clip only");
        skeleton_ = &s;
    }
    void frame(const Frame&) override {}

    Written finish(std::ostream& warn) override {
        const std::string& in = skeleton_->path;
        const std::string& clipPath = skeleton_->clipFile;
        std::unique_ptr<qmfhost::PluginModule> module;
        if (!options_.rigOnly) module = loadTranslator(options_.plugin);
        PackedClip clip = readPackedClip(clipPath);
        // The rig's time unit is the clip's rate when Maya has one, else film:
        // resampled, the keys then land on its whole frames either way.
        const bool resample = options_.resample && !options_.rigOnly && qmfhost::ma::timeUnitFor(clip.frameRate).empty();
        if (resample) clip = resampledClip(clip, 24.0f);
        if (clip.figures.empty()) throw FormatError(in + ": the clip has no figure, so no skeleton to build a rig from");
        const PackedSkeleton& sk = clip.skeletons[static_cast<std::size_t>(clip.figures[0].skeleton)];
        if (sk.joints.empty()) throw FormatError(in + ": the clip's skeleton has no joints, so there is no rig to build");

        // Maya names on both sides: the rig's joints and the clip the translator reads.
        RenameOptions rename = options_.rename;
        rename.mayaNames = true;
        PreparedClip prepared = prepareClip(clipPath, clip, rename, nullptr, target_, warn, resample);
        std::string timeUnit;
        const std::string text = rigText(in, sk, prepared.names, clip.frameRate, timeUnit);
        Written w;
        w.joints = sk.joints.size();
        w.summary = "a rig of " + plural(sk.joints.size(), "joint");
        if (options_.rigOnly) {
            try {
                qmfhost::ma::writeFileAtomically(target_.path, text);
            } catch (const std::exception& e) {
                throw FormatError(e.what());
            }
            w.summary += " without animation (" + timeUnit + " frames)";
            return w;
        }
        if (module->identifyFile("qmf", absolute(clipPath)) != MPxFileTranslator::kIsMyFileType)
            throw FormatError(in + ": not a Movantis animation the translator can read");
        qmfhost::ma::Scene scene;
        try {
            scene = qmfhost::ma::readText(text);
        } catch (const qmfhost::ma::ParseError& e) {
            throw FormatError(std::string("the rig made from ") + in + " does not read back: " + e.what());
        }
        qmfhost::ma::Binding binding = bindScene(target_.path, scene);
        ImportRequest request{in, prepared.readPath, false};
        if (!options_.start.empty()) {
            request.start = true;
            request.startFrame = startFrame(options_.start);
        }
        const ImportOutcome done = importOntoScene(*module, scene, binding, request, warn);
        writeImported(target_.path, scene, done);
        w.summary += ", " + std::to_string(done.curves) + " curves, " + std::to_string(done.keys) + " keys (" + timeUnit +
                     " frames)";
        return w;
    }

private:
    // The rig's scene text, joints in the scene's order; timeUnit is set to
    // the clip's rate when Maya has a unit for it, else film.
    static std::string rigText(const std::string& in, const PackedSkeleton& sk, const std::vector<std::string>& names,
                               float frameRate, std::string& timeUnit) {
        const std::vector<std::size_t> order = sceneOrder(sk);
        if (order.size() != sk.joints.size()) throw FormatError(in + ": the clip's skeleton has a cycle of parents");
        std::vector<int> position(sk.joints.size(), -1);
        std::vector<qmfhost::ma::NewJoint> joints;
        joints.reserve(order.size());
        for (std::size_t j : order) {
            const PackedJoint& pj = sk.joints[j];
            qmfhost::ma::NewJoint nj;
            nj.name = names[j];
            nj.parent = pj.parent >= 0 ? position[static_cast<std::size_t>(pj.parent)] : -1;
            nj.translate = translateOf(pj.offset);
            for (double c : nj.translate)
                if (!std::isfinite(c)) throw FormatError(in + ": joint " + pj.name + " has an offset that is not finite");
            if (!jointOrientOf(pj.orientation, nj.jointOrient))
                throw FormatError(in + ": joint " + pj.name + " has an orientation that is not a rotation");
            position[j] = static_cast<int>(joints.size());
            joints.push_back(std::move(nj));
        }
        timeUnit = qmfhost::ma::timeUnitFor(frameRate);
        if (timeUnit.empty()) timeUnit = "film";
        try {
            return qmfhost::ma::writeJointScene(joints, timeUnit);
        } catch (const std::invalid_argument& e) {
            throw FormatError(in + ": " + e.what());
        }
    }

    fileio::Output target_;
    ConvertOptions options_;
    const Skeleton* skeleton_ = nullptr;
};

}  // namespace

std::unique_ptr<Writer> writeMayaRig(const fileio::Output& target, const ConvertOptions& options) {
    return std::make_unique<MayaRigWriter>(target, options);
}

}  // namespace qmf::formats
