// A Movantis clip into the model, through the animation library: the first
// figure's skeleton in a parents-first order and every frame's keys, each
// value held until the next key as import's linear curves would hold a
// constant run.
#include "motion/MotionBuild.h"

#include "clips/Clip.h"
#include "clips/ClipLibrary.h"
#include "clips/Error.h"

#include <kell.h>
#include <kell_authoring.h>
#include "interfaces/AnimLibrary.h"

#include <maya/MQuaternion.h>

#include <cmath>
#include <set>

namespace qmf::motion {

namespace {

struct AnimationGuard {
    ANM_ANIMATION_HANDLE a;
    ~AnimationGuard() { anm_animation_dispose(a); }
};

// Joints parents first, depth first; joints the clip marks as root lead, as
// in the rig `qmf convert` builds, so the first is the one import translates.
std::vector<int32_t> parentsFirst(SKL_SKELETON_HANDLE sk, int32_t count, const std::string& path) {
    const auto n = static_cast<std::size_t>(count);
    std::vector<std::vector<int32_t>> children(n);
    std::vector<int32_t> roots, marked;
    for (int32_t j = 0; j < count; ++j) {
        const SKL_JOINT_ID p = skl_skeleton_parent_get_f(sk, static_cast<SKL_JOINT_ID>(j));
        if (p >= 0 && p < count) children[static_cast<std::size_t>(p)].push_back(j);
        else (skl_skeleton_root_get_f(sk, static_cast<SKL_JOINT_ID>(j)) ? marked : roots).push_back(j);
    }
    marked.insert(marked.end(), roots.begin(), roots.end());
    std::vector<int32_t> order;
    order.reserve(n);
    std::vector<int32_t> stack(marked.rbegin(), marked.rend());
    while (!stack.empty()) {
        const int32_t j = stack.back();
        stack.pop_back();
        order.push_back(j);
        const auto& c = children[static_cast<std::size_t>(j)];
        stack.insert(stack.end(), c.rbegin(), c.rend());
    }
    if (order.size() != n) throw MotionError(path + ": the clip's skeleton has a cycle of parents");
    return order;
}

std::vector<Primitive> volumeOf(SKL_SKELETON_HANDLE sk, SKL_JOINT_ID id) {
    std::vector<Primitive> out;
    POB_PART_OBJECT_HANDLE part = skl_skeleton_part_object_get_f(sk, id);
    if (!part) return out;
    const int32_t count = pob_part_object_number_of_primitives_get_f(part);
    for (int32_t i = 0; i < count; ++i) {
        POB_PRIMITIVE p{};
        if (!pob_part_object_primitive_get_f(part, i, &p)) continue;
        Primitive v;
        v.kind = p.kind == POB_PRIMITIVE_BONE ? Primitive::Bone : Primitive::Sphere;
        v.radius = p.radius;
        v.length = p.length;
        v.direction = {p.direction.x, p.direction.y, p.direction.z};
        out.push_back(v);
    }
    return out;
}

// The skeleton in the given order, each joint with what import keys against.
void readJoints(Motion& m, SKL_SKELETON_HANDLE sk, const std::vector<int32_t>& order) {
    std::vector<int> position(order.size(), -1);
    m.joints.resize(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto id = static_cast<SKL_JOINT_ID>(order[k]);
        position[static_cast<std::size_t>(order[k])] = static_cast<int>(k);
        Joint& j = m.joints[k];
        char name[SKL_JOINT_NAME_CAPACITY] = {};
        skl_skeleton_joint_name_get(sk, id, name);
        j.name = name;
        const SKL_JOINT_ID p = skl_skeleton_parent_get_f(sk, id);
        j.parent = p >= 0 && p < static_cast<SKL_JOINT_ID>(order.size()) ? position[static_cast<std::size_t>(p)] : -1;
        coord3 o{};
        skl_skeleton_offset_get_f(sk, id, &o);
        j.offset = {o.x, o.y, o.z};
        quaternion q{-1, 0, 0, 0};
        skl_skeleton_joint_orientation_get_f(sk, id, &q);
        j.orientation = {q.f0, q.f1, q.f2, q.f3};
        j.volume = volumeOf(sk, id);
        // The rig built from a clip takes the rest orientation as its joint
        // orient, with rotate zero and Euler order xyz.
        const MQuaternion rest = MQuaternion(q.f1, q.f2, -static_cast<double>(q.f3), -static_cast<double>(q.f0)).normal();
        j.sceneOrientation = {rest.x, rest.y, rest.z, rest.w};
    }
}

// Every frame's keys, each value held until the next key as import's
// linear curves would hold a constant run.
void readKeys(Motion& m, FIG_FIGURE_HANDLE fig, const std::vector<int32_t>& order, const Selection& sel) {
    const std::size_t n = m.joints.size();
    m.rotations.resize(std::size_t(m.frames) * n);
    // Frames before A are read for the keys they hold, not kept.
    const uint32_t end = sel.last() + 1;
    auto kept = [&](uint32_t f, uint32_t& k) {
        if (f < sel.first || (f - sel.first) % sel.step) return false;
        k = (f - sel.first) / sel.step;
        return k < m.frames;
    };
    for (std::size_t j = 0; j < n; ++j) {
        const auto id = static_cast<SKL_JOINT_ID>(order[j]);
        std::array<float, 4> held = m.joints[j].orientation;
        for (uint32_t f = 0, k = 0; f < end; ++f) {
            const auto frame = static_cast<int32_t>(f);
            if (f < m.fileFrames && fgf_frame_joint_orientation_key_f(fig, frame, id, kell::kOrientationKeyFlags)) {
                quaternion q{};
                fgf_frame_joint_orientation_get(fig, frame, id, &q, kell::kOrientationGetFlags);
                held = {q.f0, q.f1, q.f2, q.f3};
            }
            if (kept(f, k)) m.rotations[m.index(k, j)] = held;
        }
    }
    std::array<float, 3> position3 = m.joints[0].offset;
    m.rootTranslation.resize(m.frames);
    for (uint32_t f = 0, k = 0; f < end; ++f) {
        for (int32_t c = 1; c <= 3; ++c)
            if (f < m.fileFrames && fgf_frame_value_key_f(fig, static_cast<int32_t>(f), c))
                position3[static_cast<std::size_t>(c - 1)] = fgf_frame_value_get_f(fig, static_cast<int32_t>(f), c);
        if (kept(f, k)) m.rootTranslation[k] = position3;
    }
}

}  // namespace

Motion loadClip(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only) {
    ANM_ANIMATION_HANDLE anm;
    try {
        anm = openClip(path);
    } catch (const ClipError& e) {
        throw MotionError(e.what());
    }
    AnimationGuard guard{anm};
    Motion m;
    m.source = Source::Clip;
    m.path = path;
    const int32_t figureCount = anm_animation_number_of_figures_get_f(anm);
    m.figures = figureCount > 0 ? static_cast<std::size_t>(figureCount) : 0;
    std::set<SKL_SKELETON_HANDLE> distinct;
    for (int32_t i = 0; i < figureCount; ++i)
        if (FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(anm, i)) distinct.insert(fig_figure_get_skel(f));
    m.skeletons = distinct.size();
    FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, 0);
    SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
    if (!sk) throw MotionError(path + ": the clip holds no figure, so no skeleton to show");
    const int32_t count = skl_skeleton_number_of_joints_get_f(sk);
    if (count <= 0) throw MotionError(path + ": the clip's skeleton has no joints");
    const float rate = anm_animation_frame_rate_get_f(anm);
    if (!std::isfinite(rate) || !(rate > 0)) throw MotionError(path + ": the clip's frame rate is not a positive number");
    m.frameRate = rate;
    const int32_t frameCount = anm_animation_number_of_frames_get_f(anm);
    m.fileFrames = frameCount > 0 ? static_cast<uint32_t>(frameCount) : 0;
    const Selection sel = chooseFrames(m.fileFrames, static_cast<std::size_t>(count), options, path, warn, only);
    m.frames = sel.count;
    m.selected = sel.total;
    m.shown = only.value_or(0);
    if (sel.step > 1) m.frameRate = rate / static_cast<double>(sel.step);
    checkSize(m.frames, static_cast<std::size_t>(count), path);

    const std::vector<int32_t> order = parentsFirst(sk, count, path);
    readJoints(m, sk, order);
    m.translatedRoot = 0;
    readKeys(m, fig, order, sel);
    if (anm_animation_file_changed_f(anm)) throw MotionError(changedWhileRead(path));
    computeChannels(m);
    return m;
}

}  // namespace qmf::motion
