// A Movantis clip into the model, through the animation library.
#include "formats/clip/ClipFormat.h"

#include "clips/Clip.h"
#include "clips/ClipLibrary.h"
#include "convert/SpaceConversion.h"
#include "formats/Error.h"
#include "interfaces/AnimLibrary.h"

#include <kell.h>
#include <kell_authoring.h>

#include <cmath>

namespace qmf::formats {

namespace {

// Children in id order, then a preorder walk without recursion, so every
// parent comes before its children.
std::vector<int32_t> preorderOf(SKL_SKELETON_HANDLE sk, int32_t count) {
    std::vector<std::vector<int32_t>> children(static_cast<std::size_t>(count));
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
    return preorder;
}

std::array<double, 3> sceneOffset(const coord3& o) {
    return {fileTranslationToScene(kell::kRootChannelX, o.x), fileTranslationToScene(kell::kRootChannelY, o.y),
            fileTranslationToScene(kell::kRootChannelZ, o.z)};
}

// The joint's body volumes, in scene axes and centimetres.
std::vector<Volume> volumesOf(SKL_SKELETON_HANDLE sk, SKL_JOINT_ID id) {
    std::vector<Volume> out;
    POB_PART_OBJECT_HANDLE part = skl_skeleton_part_object_get_f(sk, id);
    const int32_t count = part ? pob_part_object_number_of_primitives_get_f(part) : 0;
    for (int32_t i = 0; i < count && i < 64; ++i) {
        POB_PRIMITIVE p{};
        if (!pob_part_object_primitive_get_f(part, i, &p)) continue;
        Volume v;
        v.bone = p.kind == POB_PRIMITIVE_BONE;
        v.radius = static_cast<double>(p.radius) * kFileToSceneScale;
        v.length = static_cast<double>(p.length) * kFileToSceneScale;
        const std::array<double, 3> d = sceneOffset(p.direction);
        const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (v.bone && !(n > 0 && std::isfinite(n) && std::isfinite(v.length))) continue;
        if (!v.bone && !(std::isfinite(v.radius) && v.radius > 0)) continue;
        if (v.bone) v.direction = {d[0] / n, d[1] / n, d[2] / n};
        out.push_back(v);
    }
    return out;
}

class ClipReader : public Reader {
public:
    ClipReader(const std::string& path, const std::string& needsJoints) : anm_(openClip(path)) {
        fig_ = anm_animation_figure_get_by_index_f(anm_.get(), 0);
        SKL_SKELETON_HANDLE sk = fig_ ? fig_figure_get_skel(fig_) : nullptr;
        if (!sk) throw FormatError(path + ": the clip holds no figure");
        const int32_t count = skl_skeleton_number_of_joints_get_f(sk);
        if (count <= 0) throw FormatError(path + ": the clip's skeleton has no joints; " + needsJoints + " needs one");
        const float rate = anm_animation_frame_rate_get_f(anm_.get());
        if (!std::isfinite(rate) || !(rate > 0)) throw FormatError(path + ": the clip's frame rate is not a positive number");
        const int32_t frameCount = anm_animation_number_of_frames_get_f(anm_.get());
        skeleton_.path = path;
        skeleton_.clipFile = path;
        skeleton_.rotations = Rotations::FileQuaternion;
        skeleton_.frameTime = 1.0 / static_cast<double>(rate);
        skeleton_.frames = frameCount > 0 ? static_cast<uint32_t>(frameCount) : 0;
        ids_ = preorderOf(sk, count);
        std::vector<int> position(static_cast<std::size_t>(count), -1);
        skeleton_.joints.resize(ids_.size());
        for (std::size_t k = 0; k < ids_.size(); ++k) {
            const auto id = static_cast<SKL_JOINT_ID>(ids_[k]);
            position[static_cast<std::size_t>(ids_[k])] = static_cast<int>(k);
            Joint& j = skeleton_.joints[k];
            const SKL_JOINT_ID p = skl_skeleton_parent_get_f(sk, id);
            j.parent = p == SKL_NO_JOINT ? -1 : position[static_cast<std::size_t>(p)];
            char name[SKL_JOINT_NAME_CAPACITY] = {};
            skl_skeleton_joint_name_get(sk, id, name);
            j.name = name;
            coord3 o{};
            skl_skeleton_offset_get_f(sk, id, &o);
            j.offset = sceneOffset(o);
            j.rotation = fgf_frame_joint_orientation_key_count_f(fig_, id) > 0;
            skl_skeleton_joint_orientation_get_f(sk, id, &j.rest);
            j.volumes = volumesOf(sk, id);
        }
        skeleton_.joints[0].position = true;
        // What a channel holds before its first key: the rest pose.
        coord3 rest{};
        skl_skeleton_offset_get_f(sk, static_cast<SKL_JOINT_ID>(ids_[0]), &rest);
        heldPosition_ = {rest.x, rest.y, rest.z};
    }
    const Skeleton& skeleton() const override { return skeleton_; }

    // A frame passed over is not read: the next read looks back over the
    // frames passed for the keys still in force, so a range late in a long
    // clip touches only its own keys (the library reads the file's values
    // where they lie).
    bool skip(Frame&) override {
        if (next_ >= skeleton_.frames) return false;
        ++next_;
        ++passed_;
        return true;
    }

    bool next(Frame& frame) override {
        if (next_ >= skeleton_.frames) return false;
        const auto f = static_cast<int32_t>(next_++);
        const auto since = static_cast<int32_t>(f - static_cast<int32_t>(passed_));   // the first frame passed over
        passed_ = 0;
        const std::size_t n = skeleton_.joints.size();
        if (frame.fileRotation.size() != n) {
            frame.fileRotation.resize(n);
            for (std::size_t k = 0; k < n; ++k) frame.fileRotation[k] = skeleton_.joints[k].rest;
        }
        frame.keyed.assign(n, 0);
        frame.position.resize(n);
        frame.rootKeyed = true;
        for (int32_t c = 1; c <= 3; ++c) {
            const auto keyed = [&](int32_t g) { return fgf_frame_value_key_f(fig_, g, c) != 0; };
            const int32_t at = keyed(f) ? f : lastKey(f, since, keyed);
            if (at != f) frame.rootKeyed = false;
            if (at >= 0) heldPosition_[static_cast<std::size_t>(c - 1)] = fgf_frame_value_get_f(fig_, at, c);
        }
        for (int c = 0; c < 3; ++c) frame.position[0][static_cast<std::size_t>(c)] = fileTranslationToScene(c + 1, heldPosition_[static_cast<std::size_t>(c)]);
        for (std::size_t k = 0; k < n; ++k) {
            if (!skeleton_.joints[k].rotation) continue;
            const auto id = static_cast<SKL_JOINT_ID>(ids_[k]);
            const auto keyed = [&](int32_t g) { return fgf_frame_joint_orientation_key_f(fig_, g, id, kell::kOrientationKeyFlags) != 0; };
            const int32_t at = keyed(f) ? f : lastKey(f, since, keyed);
            if (at >= 0) fgf_frame_joint_orientation_get(fig_, at, id, &frame.fileRotation[k], kell::kOrientationGetFlags);
            frame.keyed[k] = at == f;
        }
        if (anm_animation_file_changed_f(anm_.get())) throw FormatError(changedWhileRead(skeleton_.path));
        return true;
    }

private:
    // The last keyed frame of [since, f), or -1 (the value before holds).
    template <class Keyed>
    static int32_t lastKey(int32_t f, int32_t since, const Keyed& keyed) {
        for (int32_t g = f - 1; g >= since; --g)
            if (keyed(g)) return g;
        return -1;
    }

    AnimationHandle anm_;
    FIG_FIGURE_HANDLE fig_ = nullptr;
    Skeleton skeleton_;
    std::vector<int32_t> ids_;  // the library's joint id of each model joint
    std::array<float, 3> heldPosition_{};
    uint32_t next_ = 0;
    uint32_t passed_ = 0;   // frames skipped since the last read
};

}  // namespace

std::unique_ptr<Reader> readClip(const std::string& path, const std::string& needsJoints) {
    return std::make_unique<ClipReader>(path, needsJoints);
}

}  // namespace qmf::formats
