// Writes the benchmark rig (OUTDIR/rig.ma: a chain of joints in every
// rotation order, with joint orients) and a clip keyed on every frame for it
// (OUTDIR/clip.qmf).
//   gen_clip OUTDIR JOINTS FRAMES FPS
#include "ClipShape.h"

#include <kell.h>
#include <kell_authoring.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

bool writeRig(const std::string& path, int joints, double fps) {
    std::ofstream out(path);
    out << "//Maya ASCII 2018ff07 scene\n//Name: rig.ma\nrequires maya \"2018ff07\";\n";
    out << "currentUnit -l centimeter -a degree -t " << fps << "fps;\n";
    out << "createNode transform -n \"rig\";\n";
    for (int j = 0; j <= joints; ++j) {
        // One joint more than the clip: the last has no joint child, so no curves.
        const std::string name = j == joints ? "end" : clipshape::jointName(j);
        const std::string parent = j == 0 ? "rig" : clipshape::jointName(j - 1);
        out << "createNode joint -n \"" << name << "\" -p \"" << parent << "\";\n";
        out << "\tsetAttr \".t\" -type \"double3\" " << (j == 0 ? 0 : 10) << " 0 0 ;\n";
        if (j == joints) continue;
        double jo[3];
        clipshape::jointOrientDegrees(j, jo);
        out << "\tsetAttr \".jo\" -type \"double3\" " << jo[0] << " " << jo[1] << " " << jo[2] << " ;\n";
        if (clipshape::rotateOrder(j) != 0) out << "\tsetAttr \".ro\" " << clipshape::rotateOrder(j) << ";\n";
    }
    return static_cast<bool>(out);
}

bool writeClip(const std::string& path, int joints, int frames, float fps) {
    SKL_SKELETON_HANDLE skel = skl_skeleton_skel_create_f("bench");
    for (int j = 0; j < joints; ++j) {
        const SKL_JOINT_ID id = skl_skeleton_joint_create_f(skel, clipshape::jointName(j).c_str());
        if (j == 0) skl_skeleton_root_set(skel, id);
        else skl_skeleton_parent_set(skel, id, static_cast<SKL_JOINT_ID>(j - 1));
        skl_skeleton_offset_set(skel, id, coord3{j == 0 ? 0.0f : 0.1f, 0.0f, 0.0f});
        const quaternion identity{-1.0f, 0.0f, 0.0f, 0.0f};
        skl_skeleton_joint_orientation_set(skel, id, &identity);
    }
    if (!skl_skeleton_skel_completed_f(skel, "bench")) return false;
    ANM_ANIMATION_HANDLE anim = anm_animation_create_f();
    FIG_FIGURE_HANDLE fig = anm_animation_figure_add_f(anim, skel, 0);
    if (!fig || !anm_animation_frame_rate_set_f(anim, fps) || !anm_animation_number_of_frames_set_f(anim, frames))
        return false;
    for (int f = 0; f < frames; ++f) {
        for (int32_t c = 1; c <= 3; ++c) fgf_frame_value_set_f(fig, f, c, clipshape::rootValue(f, c));
        for (int j = 0; j < joints; ++j) {
            float q[4];
            clipshape::fileQuaternion(f, j, q);
            const quaternion fq{q[0], q[1], q[2], q[3]};
            fgf_frame_joint_orientation_set_f(fig, f, static_cast<SKL_JOINT_ID>(j), &fq);
        }
    }
    FM_FILE_IDENTIFIER_TYPE id{};
    if (!fm_path_name_to_file_id_f(path.c_str(), &id)) return false;
    const bool saved = anm_animation_save_as_f(anim, &id, 0, nullptr) != 0;
    anm_animation_dispose(anim);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: gen_clip OUTDIR JOINTS FRAMES FPS\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int joints = std::atoi(argv[2]), frames = std::atoi(argv[3]);
    const double fps = std::atof(argv[4]);
    if (joints < 1 || frames < 1 || !(fps > 0)) {
        std::fprintf(stderr, "gen_clip: JOINTS and FRAMES must be positive, FPS above 0\n");
        return 2;
    }
    if (!writeRig(dir + "/rig.ma", joints, fps)) {
        std::fprintf(stderr, "gen_clip: cannot write %s/rig.ma\n", dir.c_str());
        return 1;
    }
    if (!writeClip(dir + "/clip.qmf", joints, frames, static_cast<float>(fps))) {
        std::fprintf(stderr, "gen_clip: cannot write %s/clip.qmf: %s\n", dir.c_str(), kell_last_error_message());
        return 1;
    }
    return 0;
}
