// The model's own computations: world positions and the channels import
// would key, both through the translator's conversions and the host's maths.
#include "motion/Motion.h"
#include "motion/MotionBuild.h"

#include "convert/SpaceConversion.h"
#include "formats/Error.h"
#include "formats/Model.h"

#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace qmf::motion {

namespace {

constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;

quaternion fileQuaternion(const std::array<float, 4>& q) { return quaternion{q[0], q[1], q[2], q[3]}; }

MVector sceneTranslation(const std::array<float, 3>& c) {
    return MVector(fileTranslationToScene(kell::kRootChannelX, c[0]), fileTranslationToScene(kell::kRootChannelY, c[1]),
                   fileTranslationToScene(kell::kRootChannelZ, c[2]));
}

}  // namespace

const char* sourceName(Source s) {
    switch (s) {
    case Source::Clip: return "clip";
    case Source::MayaAscii: return "maya";
    case Source::Bvh: return "bvh";
    case Source::Fbx: return "fbx";
    case Source::Gltf: return "gltf";
    case Source::Collada: return "collada";
    case Source::Other3d: return "3d";
    }
    return "clip";
}

void checkSize(std::size_t frames, std::size_t joints, const std::string& path) {
    if (joints != 0 && std::max<std::size_t>(frames, 1) > kMaxJointFrames / joints)
        throw MotionError(path + ": " + std::to_string(frames) + " frames of " + std::to_string(joints) +
                          " joints is more than the " + std::to_string(kMaxJointFrames) + " joint-frames a view holds");
}

MotionError pastTheEnd(uint32_t frame, uint32_t count, const std::string& path) {
    return MotionError("frame " + std::to_string(frame) + " is past the last frame of " + path + " (" +
                       std::to_string(count ? count - 1 : 0) + ")");
}

Selection chooseFrames(uint32_t fileFrames, std::size_t joints, const LoadOptions& options, const std::string& path,
                       std::ostream& warn, OnlyFrame only) {
    Selection sel;
    sel.step = options.step;
    if (sel.step == 0) throw MotionError("--step must be 1 or more");
    const uint32_t held = std::max<uint32_t>(fileFrames, 1);
    uint32_t last = held - 1;
    if (!options.frames.empty()) {
        formats::FrameRange r;
        try {
            r = formats::parseFrameRange(options.frames);
        } catch (const FormatError& e) {
            throw MotionError(e.what());
        }
        if (r.first != std::floor(r.first) || r.last != std::floor(r.last))
            throw MotionError("--frames " + options.frames + ": " + path + " has whole frames only");
        if (r.first < 0 || r.last > double(held - 1))
            throw MotionError("--frames " + options.frames + " is outside the frames of " + path + ", 0 to " +
                              std::to_string(held - 1));
        sel.first = static_cast<uint32_t>(r.first);
        last = static_cast<uint32_t>(r.last);
    }
    sel.count = (last - sel.first) / sel.step + 1;
    sel.total = sel.count;
    if (only) {
        if (*only >= sel.count) throw pastTheEnd(*only, sel.count, path);
        sel.first += *only * sel.step;
        sel.count = 1;
        return sel;
    }
    if (joints != 0 && joints > kMaxJointFrames)
        throw MotionError(path + ": " + std::to_string(joints) + " joints are more than a view holds");
    const std::size_t fits = joints ? kMaxJointFrames / joints : sel.count;
    if (sel.count > fits) {
        const uint32_t chosen = sel.count;
        sel.count = static_cast<uint32_t>(fits);
        warn << "qmf: warning: " << path << ": " << chosen << " frames of " << joints
             << " joints are more than one view holds; showing frames " << sel.first << " to " << sel.last()
             << " (choose others with --frames A:B or --step N)\n";
    }
    sel.total = sel.count;
    return sel;
}

void computeChannels(Motion& m) {
    const std::size_t n = m.joints.size();
    m.rotateDegrees.assign(std::size_t(m.frames) * n, {0, 0, 0});
    m.translateCm.assign(m.frames, {0, 0, 0});
    for (std::size_t j = 0; j < n; ++j) {
        const Joint& joint = m.joints[j];
        const auto& o = joint.sceneOrientation;
        const MQuaternion orientation(o[0], o[1], o[2], o[3]);
        const auto order = static_cast<MEulerRotation::RotationOrder>(joint.rotateOrder);
        MEulerRotation previous;
        previous.reorderIt(order);
        for (uint32_t f = 0; f < m.frames; ++f) {
            const MQuaternion rotation = fileRotationToScene(fileQuaternion(m.rotations[m.index(f, j)]), orientation);
            MEulerRotation euler = rotation.asEulerRotation();
            euler.reorderIt(order);
            euler.setToClosestSolution(previous);
            previous = euler;
            m.rotateDegrees[m.index(f, j)] = {euler.x * kRadiansToDegrees, euler.y * kRadiansToDegrees,
                                              euler.z * kRadiansToDegrees};
        }
    }
    for (uint32_t f = 0; f < m.frames && f < m.rootTranslation.size(); ++f) {
        const MVector t = sceneTranslation(m.rootTranslation[f]);
        m.translateCm[f] = {t.x, t.y, t.z};
    }
}

std::vector<std::array<double, 3>> worldPositions(const Motion& m, uint32_t frame) {
    const std::size_t n = m.joints.size();
    if (!m.scenePositions.empty() && n && m.frames) {
        const std::size_t at = m.index(std::min(frame, m.frames - 1), 0);
        return {m.scenePositions.begin() + static_cast<std::ptrdiff_t>(at),
                m.scenePositions.begin() + static_cast<std::ptrdiff_t>(at + n)};
    }
    return clipPositions(m, frame);
}

std::vector<std::array<double, 3>> clipPositions(const Motion& m, uint32_t frame) {
    const std::size_t n = m.joints.size();
    std::vector<std::array<double, 3>> out(n);
    if (n == 0 || m.frames == 0) return out;
    frame = std::min(frame, m.frames - 1);
    std::vector<MMatrix> world(n);
    const MQuaternion none;  // the page's rig: rotation R with orientation O gives R * O, the key itself
    for (std::size_t j = 0; j < n; ++j) {
        const Joint& joint = m.joints[j];
        MMatrix local = fileRotationToScene(fileQuaternion(m.rotations[m.index(frame, j)]), none).asMatrix();
        const bool moved = static_cast<int>(j) == m.translatedRoot && frame < m.rootTranslation.size();
        const MVector t = sceneTranslation(moved ? m.rootTranslation[frame] : joint.offset);
        local.matrix[3][0] = t.x;
        local.matrix[3][1] = t.y;
        local.matrix[3][2] = t.z;
        world[j] = joint.parent < 0 ? local : local * world[static_cast<std::size_t>(joint.parent)];
        out[j] = {world[j].matrix[3][0], world[j].matrix[3][1], world[j].matrix[3][2]};
    }
    return out;
}

double skeletonSize(const Motion& m) {
    const auto p = worldPositions(m, 0);
    if (p.empty()) return 1;
    std::array<double, 3> lo = p[0], hi = p[0];
    for (const auto& q : p)
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(q[a])) continue;
            lo[a] = std::min(lo[a], q[a]);
            hi[a] = std::max(hi[a], q[a]);
        }
    double size = 0;
    for (int a = 0; a < 3; ++a)
        if (std::isfinite(hi[a] - lo[a])) size = std::max(size, hi[a] - lo[a]);
    return std::max(size, 1.0);
}

}  // namespace qmf::motion
