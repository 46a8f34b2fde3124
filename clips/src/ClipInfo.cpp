// The dump behind `qmf info`: a Movantis animation as the documented JSON
// form, or as a summary for a person.
#include "clips/Clip.h"

#include "clips/ClipLibrary.h"
#include "clips/Printable.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

using json = qmf::Json;

namespace qmf {

namespace {

json vec3(const coord3& c) { return json::array({floatToJson(c.x), floatToJson(c.y), floatToJson(c.z)}); }
json quat(const quaternion& q) {
    return json::array({floatToJson(q.f0), floatToJson(q.f1), floatToJson(q.f2), floatToJson(q.f3)});
}

json dumpSkeleton(SKL_SKELETON_HANDLE sk) {
    json s;
    s["name"] = libraryString([&](char* b, size_t n) { return skl_skeleton_name_get_f(sk, b, n); });
    s["completed"] = skl_skeleton_completed_get_f(sk) != 0;
    if (skl_skeleton_completed_get_f(sk))
        s["completedName"] = libraryString([&](char* b, size_t n) { return skl_skeleton_completed_name_get_f(sk, b, n); });
    int32_t count = skl_skeleton_number_of_joints_get_f(sk);
    json joints = json::array();
    for (int32_t j = 0; j < count; ++j) {
        auto id = static_cast<SKL_JOINT_ID>(j);
        char name[SKL_JOINT_NAME_CAPACITY] = {};
        skl_skeleton_joint_name_get(sk, id, name);
        json jj;
        jj["name"] = std::string(name, strnlen(name, sizeof name));
        jj["parent"] = skl_skeleton_parent_get_f(sk, id);
        jj["root"] = skl_skeleton_root_get_f(sk, id) != 0;
        coord3 off{};
        skl_skeleton_offset_get_f(sk, id, &off);
        jj["offset"] = vec3(off);
        quaternion q{};
        skl_skeleton_joint_orientation_get_f(sk, id, &q);
        jj["orientation"] = quat(q);
        POB_PART_OBJECT_HANDLE pob = skl_skeleton_part_object_get_f(sk, id);
        if (pob) {
            json body;
            json prims = json::array();
            int32_t np = pob_part_object_number_of_primitives_get_f(pob);
            for (int32_t p = 0; p < np; ++p) {
                POB_PRIMITIVE prim{};
                if (!pob_part_object_primitive_get_f(pob, p, &prim)) continue;
                if (prim.kind == POB_PRIMITIVE_SPHERE)
                    prims.push_back({{"kind", "sphere"}, {"radius", floatToJson(prim.radius)}});
                else
                    prims.push_back({{"kind", "bone"}, {"length", floatToJson(prim.length)}, {"direction", vec3(prim.direction)}});
            }
            body["primitives"] = prims;
            coord3 mn{}, mx{};
            if (pob_part_object_bounds_get_f(pob, &mn, &mx)) body["bounds"] = {{"min", vec3(mn)}, {"max", vec3(mx)}};
            else body["bounds"] = nullptr;
            jj["body"] = body;
        } else {
            jj["body"] = nullptr;
        }
        joints.push_back(jj);
    }
    s["joints"] = joints;
    return s;
}

// Depth of every joint below its root, without recursion. The library keeps
// parents a forest; a cycle would still end the walk, at depth 0.
std::vector<int32_t> jointDepths(SKL_SKELETON_HANDLE sk, int32_t count) {
    const auto n = static_cast<std::size_t>(std::max<int32_t>(count, 0));
    std::vector<int32_t> parent(n), depth(n, -1), chain;
    for (std::size_t j = 0; j < n; ++j) parent[j] = skl_skeleton_parent_get_f(sk, static_cast<SKL_JOINT_ID>(j));
    constexpr int32_t kVisiting = -2;
    for (std::size_t j = 0; j < n; ++j) {
        chain.clear();
        int32_t above = -1;
        for (int32_t p = static_cast<int32_t>(j);;) {
            if (p < 0 || static_cast<std::size_t>(p) >= n || depth[p] == kVisiting) break;
            if (depth[p] >= 0) {
                above = depth[p];
                break;
            }
            depth[p] = kVisiting;
            chain.push_back(p);
            p = parent[p];
        }
        for (std::size_t i = chain.size(); i-- > 0;) depth[chain[i]] = ++above;
    }
    return depth;
}

std::string numText(float v) {
    json j = floatToJson(v);
    return j.is_string() ? j.get<std::string>() : j.dump();
}

std::string vecText(const coord3& c) { return "(" + numText(c.x) + ", " + numText(c.y) + ", " + numText(c.z) + ")"; }

// Indentation stops growing here, so the text stays linear in the joint
// count however deep the chain; deeper joints show their depth instead.
constexpr int32_t kMaxIndentLevels = 32;

void describeSkeleton(SKL_SKELETON_HANDLE sk, FIG_FIGURE_HANDLE fig, std::ostream& o) {
    const int32_t count = skl_skeleton_number_of_joints_get_f(sk);
    std::string name = libraryString([&](char* b, size_t n) { return skl_skeleton_name_get_f(sk, b, n); });
    o << "  skeleton \"" << printable(name) << "\"" << (skl_skeleton_completed_get_f(sk) ? "" : " (not completed)") << ", "
      << std::max<int32_t>(count, 0) << " joints:\n";
    const std::vector<int32_t> depth = jointDepths(sk, count);
    for (int32_t j = 0; j < count; ++j) {
        auto id = static_cast<SKL_JOINT_ID>(j);
        const int32_t d = depth[static_cast<std::size_t>(j)];
        const int32_t shown = std::min(d, kMaxIndentLevels);
        char jointName[SKL_JOINT_NAME_CAPACITY] = {};
        skl_skeleton_joint_name_get(sk, id, jointName);
        coord3 off{};
        skl_skeleton_offset_get_f(sk, id, &off);
        quaternion q{};
        skl_skeleton_joint_orientation_get_f(sk, id, &q);
        o << "  " << std::string(static_cast<std::size_t>(2 * shown + 2), ' ');
        if (d > kMaxIndentLevels) o << "(depth " << d << ") ";
        o << j << " " << printable(std::string_view(jointName, strnlen(jointName, sizeof jointName)))
          << (skl_skeleton_root_get_f(sk, id) ? " (root)" : "") << "  offset " << vecText(off) << "  orientation ("
          << numText(q.f0) << ", " << numText(q.f1) << ", " << numText(q.f2) << ", " << numText(q.f3) << ")"
          << "  keys " << std::max<int32_t>(fgf_frame_joint_orientation_key_count_f(fig, id), 0) << "\n";
        POB_PART_OBJECT_HANDLE pob = skl_skeleton_part_object_get_f(sk, id);
        if (!pob) continue;
        const std::string pad(static_cast<std::size_t>(2 * shown + 6), ' ');
        const int32_t np = pob_part_object_number_of_primitives_get_f(pob);
        for (int32_t p = 0; p < np; ++p) {
            POB_PRIMITIVE prim{};
            if (!pob_part_object_primitive_get_f(pob, p, &prim)) continue;
            if (prim.kind == POB_PRIMITIVE_SPHERE) o << "  " << pad << "sphere radius " << numText(prim.radius) << "\n";
            else o << "  " << pad << "bone length " << numText(prim.length) << " direction " << vecText(prim.direction) << "\n";
        }
        coord3 mn{}, mx{};
        if (pob_part_object_bounds_get_f(pob, &mn, &mx)) o << "  " << pad << "bounds " << vecText(mn) << " to " << vecText(mx) << "\n";
    }
}

}  // namespace

json dumpClip(const std::string& path) {
    ANM_ANIMATION_HANDLE anm = openClip(path);
    struct Guard {
        ANM_ANIMATION_HANDLE a;
        ~Guard() { anm_animation_dispose(a); }
    } guard{anm};

    json out;
    out["format"] = "movantis-animation";
    out["version"] = 1;
    out["frameRate"] = floatToJson(anm_animation_frame_rate_get_f(anm));
    int32_t frames = anm_animation_number_of_frames_get_f(anm);
    out["frameCount"] = frames;
    std::vector<SKL_SKELETON_HANDLE> skeletons;
    std::map<SKL_SKELETON_HANDLE, std::size_t> skeletonIndex;
    json figures = json::array();
    int32_t nfig = anm_animation_number_of_figures_get_f(anm);
    for (int32_t f = 0; f < nfig; ++f) {
        FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, f);
        SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
        json fj;
        auto [it, added] = skeletonIndex.emplace(sk, skeletons.size());
        if (added) skeletons.push_back(sk);
        fj["skeleton"] = it->second;
        json channels = json::object();
        for (int32_t c = 1; c <= 3; ++c) {
            json keys = json::array();
            for (int32_t k = fgf_frame_value_next_key_f(fig, c, 0); k >= 0; k = fgf_frame_value_next_key_f(fig, c, k + 1)) {
                keys.push_back(json::array({k, floatToJson(fgf_frame_value_get_f(fig, k, c))}));
                if (k == INT32_MAX) break;
            }
            channels[std::to_string(c)] = keys;
        }
        fj["channels"] = channels;
        json orient = json::array();
        int32_t nj = sk ? skl_skeleton_number_of_joints_get_f(sk) : 0;
        for (int32_t j = 0; j < nj; ++j) {
            auto jid = static_cast<SKL_JOINT_ID>(j);
            json keys = json::array();
            for (int32_t k = fgf_frame_joint_orientation_next_key_f(fig, jid, 0); k >= 0;
                 k = fgf_frame_joint_orientation_next_key_f(fig, jid, k + 1)) {
                quaternion q{};
                fgf_frame_joint_orientation_get(fig, k, jid, &q, 0);
                keys.push_back(json::array({k, floatToJson(q.f0), floatToJson(q.f1), floatToJson(q.f2), floatToJson(q.f3)}));
                if (k == INT32_MAX) break;
            }
            if (!keys.empty()) orient.push_back({{"joint", j}, {"keys", keys}});
        }
        fj["orientations"] = orient;
        figures.push_back(fj);
    }
    json sks = json::array();
    for (auto sk : skeletons) sks.push_back(sk ? dumpSkeleton(sk) : json(nullptr));
    out["skeletons"] = sks;
    out["figures"] = figures;
    refuseIfChanged(anm, path);
    return out;
}

void describeClip(const std::string& path, std::ostream& o) {
    ANM_ANIMATION_HANDLE anm = openClip(path);
    struct Guard {
        ANM_ANIMATION_HANDLE a;
        ~Guard() { anm_animation_dispose(a); }
    } guard{anm};
    const int32_t nfig = anm_animation_number_of_figures_get_f(anm);
    o << "frame rate: " << numText(anm_animation_frame_rate_get_f(anm)) << " frames/s\n";
    o << "frames: " << anm_animation_number_of_frames_get_f(anm) << "\n";
    o << "figures: " << std::max<int32_t>(nfig, 0) << "\n";
    std::map<SKL_SKELETON_HANDLE, std::size_t> skeletonIndex;
    for (int32_t f = 0; f < nfig; ++f) {
        FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, f);
        SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
        std::size_t si = skeletonIndex.emplace(sk, skeletonIndex.size()).first->second;
        o << "figure " << f << ": skeleton " << si << "\n";
        auto keys = [&](int32_t c) { return std::max<int32_t>(fgf_frame_value_key_count_f(fig, c), 0); };
        o << "  root translation keys: x " << keys(1) << ", y " << keys(2) << ", z " << keys(3) << "\n";
        if (sk) describeSkeleton(sk, fig, o);
    }
    refuseIfChanged(anm, path);
}

}  // namespace qmf
