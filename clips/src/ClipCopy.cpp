#include "clips/ClipCopy.h"

#include "clips/Clip.h"
#include "clips/ClipLibrary.h"

#include <climits>
#include <cstring>
#include <map>

namespace qmf {

PackedSkeleton readPackedSkeleton(SKL_SKELETON_HANDLE sk) {
    PackedSkeleton s;
    s.name = libraryString([&](char* b, size_t n) { return skl_skeleton_name_get_f(sk, b, n); });
    s.completed = skl_skeleton_completed_get_f(sk) != 0;
    if (s.completed)
        s.completedName = libraryString([&](char* b, size_t n) { return skl_skeleton_completed_name_get_f(sk, b, n); });
    const int32_t count = skl_skeleton_number_of_joints_get_f(sk);
    s.joints.resize(static_cast<std::size_t>(count > 0 ? count : 0));
    for (int32_t j = 0; j < count; ++j) {
        auto id = static_cast<SKL_JOINT_ID>(j);
        PackedJoint& jj = s.joints[static_cast<std::size_t>(j)];
        char name[SKL_JOINT_NAME_CAPACITY] = {};
        skl_skeleton_joint_name_get(sk, id, name);
        jj.name.assign(name, strnlen(name, sizeof name));
        jj.parent = skl_skeleton_parent_get_f(sk, id);
        jj.root = skl_skeleton_root_get_f(sk, id) != 0;
        skl_skeleton_offset_get_f(sk, id, &jj.offset);
        skl_skeleton_joint_orientation_get_f(sk, id, &jj.orientation);
        POB_PART_OBJECT_HANDLE pob = skl_skeleton_part_object_get_f(sk, id);
        if (!pob) continue;
        jj.hasBody = true;
        const int32_t np = pob_part_object_number_of_primitives_get_f(pob);
        for (int32_t p = 0; p < np; ++p) {
            POB_PRIMITIVE prim{};
            if (!pob_part_object_primitive_get_f(pob, p, &prim)) continue;
            const bool bone = prim.kind != POB_PRIMITIVE_SPHERE;
            jj.primitives.push_back({bone, bone ? prim.length : prim.radius, prim.direction});
        }
        jj.hasBounds = pob_part_object_bounds_get_f(pob, &jj.boundsMin, &jj.boundsMax) != 0;
    }
    return s;
}

PackedClip readPackedClip(const std::string& path) {
    ANM_ANIMATION_HANDLE anm = openClip(path);
    struct Guard {
        ANM_ANIMATION_HANDLE a;
        ~Guard() { anm_animation_dispose(a); }
    } guard{anm};
    return readPackedAnimation(anm, path);
}

PackedClip readPackedAnimation(ANM_ANIMATION_HANDLE anm, const std::string& path) {
    PackedClip clip;
    clip.frameRate = anm_animation_frame_rate_get_f(anm);
    clip.frameCount = anm_animation_number_of_frames_get_f(anm);
    std::map<SKL_SKELETON_HANDLE, std::size_t> index;
    const int32_t nfig = anm_animation_number_of_figures_get_f(anm);
    for (int32_t f = 0; f < nfig; ++f) {
        FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, f);
        SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
        if (!sk) {
            refuseIfChanged(anm, path);
            throw ClipError(path + ": figure " + std::to_string(f) + " has no skeleton");
        }
        auto [it, added] = index.emplace(sk, clip.skeletons.size());
        if (added) clip.skeletons.push_back(readPackedSkeleton(sk));
        PackedFigure pf;
        pf.skeleton = static_cast<int64_t>(it->second);
        for (int32_t c = 1; c <= 3; ++c) {
            for (int32_t k = fgf_frame_value_next_key_f(fig, c, 0); k >= 0; k = fgf_frame_value_next_key_f(fig, c, k + 1)) {
                pf.channels[c - 1].push_back({k, fgf_frame_value_get_f(fig, k, c)});
                if (k == INT32_MAX) break;
            }
        }
        const std::size_t nj = clip.skeletons[it->second].joints.size();
        for (std::size_t j = 0; j < nj; ++j) {
            auto jid = static_cast<SKL_JOINT_ID>(j);
            PackedOrientation po;
            po.joint = static_cast<int64_t>(j);
            for (int32_t k = fgf_frame_joint_orientation_next_key_f(fig, jid, 0); k >= 0;
                 k = fgf_frame_joint_orientation_next_key_f(fig, jid, k + 1)) {
                quaternion q{};
                fgf_frame_joint_orientation_get(fig, k, jid, &q, 0);
                po.keys.push_back({k, q});
                if (k == INT32_MAX) break;
            }
            if (!po.keys.empty()) pf.orientations.push_back(std::move(po));
        }
        clip.figures.push_back(std::move(pf));
    }
    refuseIfChanged(anm, path);
    return clip;
}

std::vector<std::string> importedJointNames(const PackedClip& clip) {
    std::vector<std::string> names;
    if (clip.figures.empty()) return names;
    for (const auto& j : clip.skeletons[static_cast<std::size_t>(clip.figures[0].skeleton)].joints) names.push_back(j.name);
    return names;
}

void saveRenamedClip(PackedClip clip, const std::vector<std::string>& names, const std::string& path) {
    if (clip.figures.empty()) throw ClipError("the clip has no figure to rename");
    auto& joints = clip.skeletons[static_cast<std::size_t>(clip.figures[0].skeleton)].joints;
    if (names.size() != joints.size()) throw ClipError("internal: a name for every joint is needed");
    for (std::size_t j = 0; j < joints.size(); ++j) {
        if (names[j].empty() || names[j].size() > KELL_MAX_JOINT_NAME)
            throw ClipError("joint name " + names[j] + " is not 1 to " + std::to_string(KELL_MAX_JOINT_NAME) +
                            " bytes, as a Movantis clip needs");
        joints[j].name = names[j];
    }
    const BuiltAnimation anm(clip);
    FM_FILE_IDENTIFIER_TYPE id{};
    if (path.size() >= FM_PATH_CAPACITY || !fm_path_name_to_file_id_f(path.c_str(), &id))
        throw ClipError(path + ": path too long for the animation library");
    if (!anm_animation_save_as_f(anm.handle(), &id, 0, nullptr)) {
        const char* why = kell_last_error_message();
        throw ClipError("cannot write a renamed copy of the clip: " + std::string(why && *why ? why : "no reason given"));
    }
}

}  // namespace qmf
