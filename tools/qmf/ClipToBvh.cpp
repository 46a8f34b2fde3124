// A Movantis clip to BVH: the skeleton as the HIERARCHY, the first root's
// position and every keyed joint's rotation as channels, a frame line for
// every frame of the clip.
#include "BvhConvert.h"

#include "Clip.h"
#include "ClipLibrary.h"
#include "CommandSupport.h"
#include "bvh/Writer.h"
#include "convert/SpaceConversion.h"
#include "interfaces/AnimLibrary.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>

#include <kell.h>
#include <kell_authoring.h>

#include <cmath>

namespace qmf {

namespace {

constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;
constexpr std::size_t kFlushBytes = std::size_t(1) << 20;

struct AnimationGuard {
    ANM_ANIMATION_HANDLE a;
    ~AnimationGuard() { anm_animation_dispose(a); }
};

bvh::Channel rotationChannel(char axis) { return static_cast<bvh::Channel>(3 + (axis - 'x')); }

}  // namespace

BvhConvertResult clipToBvh(const std::string& in, const std::string& out, const BvhOptions& options, std::ostream& warn) {
    requireInput(in);
    fileio::Output target = requireOutput(out, {in});
    ANM_ANIMATION_HANDLE anm = openClip(in);
    AnimationGuard guard{anm};
    FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, 0);
    SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
    if (!sk) throw CommandError(in + ": the clip holds no figure");
    const int32_t count = skl_skeleton_number_of_joints_get_f(sk);
    if (count <= 0) throw CommandError(in + ": the clip's skeleton has no joints; a BVH file needs one");
    const float rate = anm_animation_frame_rate_get_f(anm);
    if (!std::isfinite(rate) || !(rate > 0)) throw CommandError(in + ": the clip's frame rate is not a positive number");
    const int32_t frameCount = anm_animation_number_of_frames_get_f(anm);
    const uint32_t frames = frameCount > 0 ? static_cast<uint32_t>(frameCount) : 0;
    const auto n = static_cast<std::size_t>(count);

    // Children in id order, then a preorder walk without recursion: a BVH
    // file lists every parent before its children.
    std::vector<std::vector<int32_t>> children(n);
    std::vector<int32_t> roots;
    for (int32_t j = 0; j < count; ++j) {
        const SKL_JOINT_ID p = skl_skeleton_parent_get_f(sk, static_cast<SKL_JOINT_ID>(j));
        if (p == SKL_NO_JOINT) roots.push_back(j);
        else children[static_cast<std::size_t>(p)].push_back(j);
    }
    std::vector<int32_t> preorder;
    std::vector<int32_t> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        const int32_t j = stack.back();
        stack.pop_back();
        preorder.push_back(j);
        const auto& c = children[static_cast<std::size_t>(j)];
        stack.insert(stack.end(), c.rbegin(), c.rend());
    }

    const std::string listed = options.order;  // as the channels are listed
    const std::string mayaOrder(listed.rbegin(), listed.rend());
    const auto eulerOrder = static_cast<MEulerRotation::RotationOrder>(bvhconvert::mayaOrderIndex(mayaOrder));
    bvh::Hierarchy h;
    std::vector<int32_t> bvhIndex(n, -1);
    std::vector<int32_t> clipJoint;  // per BVH joint
    for (std::size_t k = 0; k < preorder.size(); ++k) {
        const int32_t j = preorder[k];
        const auto id = static_cast<SKL_JOINT_ID>(j);
        const SKL_JOINT_ID p = skl_skeleton_parent_get_f(sk, id);
        bvh::Joint b;
        b.parent = p == SKL_NO_JOINT ? -1 : bvhIndex[static_cast<std::size_t>(p)];
        coord3 o{};
        skl_skeleton_offset_get_f(sk, id, &o);
        b.offset = {fileTranslationToScene(kell::kRootChannelX, o.x) / options.unitToCm,
                    fileTranslationToScene(kell::kRootChannelY, o.y) / options.unitToCm,
                    fileTranslationToScene(kell::kRootChannelZ, o.z) / options.unitToCm};
        const bool keyed = fgf_frame_joint_orientation_key_count_f(fig, id) > 0;
        b.endSite = b.parent >= 0 && children[static_cast<std::size_t>(j)].empty() && !keyed;
        if (!b.endSite) {
            char name[SKL_JOINT_NAME_CAPACITY] = {};
            skl_skeleton_joint_name_get(sk, id, name);
            b.name = name;
            if (k == 0) b.channels = {bvh::Channel::Xposition, bvh::Channel::Yposition, bvh::Channel::Zposition};
            for (char a : listed) b.channels.push_back(rotationChannel(a));
            b.firstChannel = h.channelCount;
            h.channelCount += static_cast<uint32_t>(b.channels.size());
        }
        bvhIndex[static_cast<std::size_t>(j)] = static_cast<int32_t>(h.joints.size());
        h.joints.push_back(std::move(b));
        clipJoint.push_back(j);
    }

    // What a channel holds before its first key: the rest pose.
    coord3 restPosition{};
    skl_skeleton_offset_get_f(sk, static_cast<SKL_JOINT_ID>(preorder[0]), &restPosition);
    float position[3] = {restPosition.x, restPosition.y, restPosition.z};
    std::vector<quaternion> held(h.joints.size());
    std::vector<MEulerRotation> previous(h.joints.size(), MEulerRotation(0, 0, 0, eulerOrder));
    std::vector<uint32_t> unkeyed(h.joints.size(), 0);
    for (std::size_t k = 0; k < h.joints.size(); ++k)
        skl_skeleton_joint_orientation_get_f(sk, static_cast<SKL_JOINT_ID>(clipJoint[k]), &held[k]);

    try {
        fileio::TempFile tmp(target);
        std::string text;
        try {
            // A clip holds floats: more digits than a float's would only be noise.
            text = bvh::writeHeader(h, frames, 1.0 / static_cast<double>(rate), true);
        } catch (const bvh::Error& e) {
            throw CommandError(in + ": cannot be written as BVH: " + e.what());
        }
        std::vector<double> values(h.channelCount);
        const MQuaternion noOrientation;  // BVH joints rest unrotated
        for (uint32_t f = 0; f < frames; ++f) {
            const auto frame = static_cast<int32_t>(f);
            bool missing = false;
            for (int32_t c = 1; c <= 3; ++c) {
                if (fgf_frame_value_key_f(fig, frame, c)) position[c - 1] = fgf_frame_value_get_f(fig, frame, c);
                else missing = true;
            }
            if (missing) ++unkeyed[0];
            for (int c = 0; c < 3; ++c)
                values[static_cast<std::size_t>(c)] = fileTranslationToScene(c + 1, position[c]) / options.unitToCm;
            for (std::size_t k = 0; k < h.joints.size(); ++k) {
                const bvh::Joint& b = h.joints[k];
                if (b.endSite) continue;
                const auto id = static_cast<SKL_JOINT_ID>(clipJoint[k]);
                if (fgf_frame_joint_orientation_key_f(fig, frame, id, kell::kOrientationKeyFlags))
                    fgf_frame_joint_orientation_get(fig, frame, id, &held[k], kell::kOrientationGetFlags);
                else if (k != 0 || !missing)
                    ++unkeyed[k];
                MEulerRotation e = fileRotationToScene(held[k], noOrientation).asEulerRotation();
                e.reorderIt(eulerOrder);
                e.setToClosestSolution(previous[k]);
                previous[k] = e;
                const std::size_t first = b.firstChannel + (k == 0 ? 3 : 0);
                for (std::size_t a = 0; a < 3; ++a)
                    values[first + a] = e[static_cast<unsigned>(listed[a] - 'x')] * kRadiansToDegrees;
            }
            try {
                bvh::appendFrame(text, values.data(), values.size(), true);
            } catch (const bvh::Error&) {
                throw CommandError(in + ": frame " + std::to_string(f) + " holds a value that is not a finite number");
            }
            if (text.size() >= kFlushBytes) {
                tmp.write(text);
                text.clear();
            }
        }
        tmp.write(text);
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    for (std::size_t k = 0; k < h.joints.size(); ++k)
        if (unkeyed[k])
            warn << "qmf: warning: " << h.joints[k].name << " has no key on " << unkeyed[k] << " of " << frames
                 << " frames; each holds the value before it (the rest pose before the first key)\n";
    return {h.joints.size(), frames};
}

}  // namespace qmf
