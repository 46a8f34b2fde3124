// The long motion-capture clip the library benchmarks write and read: a chain
// of joints at 120 fps, the root translated and every joint keyed on every
// frame with values that change from key to key.
#pragma once

#include <string>

#include "kell.h"
#include "kell_authoring.h"

namespace qmfbench {

inline ANM_ANIMATION_HANDLE buildMocapClip(int joints, int frames) {
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    anm_animation_frame_rate_set_f(a, 120.0f);
    anm_animation_number_of_frames_set_f(a, frames);
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("mocap");
    for (int j = 0; j < joints; ++j) {
        const std::string name = "joint" + std::to_string(j);
        skl_skeleton_joint_create_f(s, name.c_str());
        if (j) skl_skeleton_parent_set(s, static_cast<SKL_JOINT_ID>(j), static_cast<SKL_JOINT_ID>(j - 1));
    }
    skl_skeleton_root_set(s, 0);
    skl_skeleton_skel_completed_f(s, "mocap");
    FIG_FIGURE_HANDLE f = anm_animation_figure_add_f(a, s, 0);
    for (int frame = 0; frame < frames; ++frame) {
        for (int c = 1; c <= 3; ++c) fgf_frame_value_set_f(f, frame, c, static_cast<float>(frame) * 0.01f);
        for (int j = 0; j < joints; ++j) {
            const float t = static_cast<float>(frame + j) * 1e-3f;
            const quaternion q{-1.0f + t, t, -t, 0.5f * t};
            fgf_frame_joint_orientation_set_f(f, frame, static_cast<SKL_JOINT_ID>(j), &q);
        }
    }
    return a;
}

}  // namespace qmfbench
