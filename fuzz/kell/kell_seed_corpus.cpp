// Writes a few small, valid Movantis animations into a folder, as the seed
// corpus of kell_open_fuzzer: every key encoding, part objects, several
// figures and roots, an empty skeleton and an animation without figures.
#include <cstdio>
#include <string>

#include "kell.h"
#include "kell_authoring.h"

namespace {

enum class Keys { None, All, Bitmap, List };

ANM_ANIMATION_HANDLE clip(int frames, int joints, Keys keys, int figures, bool parts) {
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    anm_animation_frame_rate_set_f(a, 25.0f);
    anm_animation_number_of_frames_set_f(a, frames);
    for (int fig = 0; fig < figures; ++fig) {
        SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f(fig ? "second" : "");
        for (int j = 0; j < joints; ++j) {
            const std::string name = "j" + std::to_string(j);
            skl_skeleton_joint_create_f(s, name.c_str());
            if (j == 0 || j == 3) skl_skeleton_root_set(s, static_cast<SKL_JOINT_ID>(j));
            else skl_skeleton_parent_set(s, static_cast<SKL_JOINT_ID>(j), static_cast<SKL_JOINT_ID>(j - 1));
            skl_skeleton_offset_set(s, static_cast<SKL_JOINT_ID>(j), coord3{0.1f * j, 0.2f, -0.3f});
            const quaternion q{-1, 0, 0, 0};
            skl_skeleton_joint_orientation_set(s, static_cast<SKL_JOINT_ID>(j), &q);
            if (!parts) continue;
            POB_PART_OBJECT_HANDLE p = pob_part_object_obj_create_f(0);
            pob_part_object_sphere_add(p, 0.25f, 0);
            const coord3 dir{0, 0, -1};
            pob_part_object_bone_add(p, 1.0f, &dir);
            skl_skeleton_part_object_attach_f(s, static_cast<SKL_JOINT_ID>(j), p);
            if (j % 2) pob_part_object_bounds_calc(p);
        }
        skl_skeleton_skel_completed_f(s, "done");
        FIG_FIGURE_HANDLE f = anm_animation_figure_add_f(a, s, 0);
        for (int fr = 0; fr < frames; ++fr) {
            const bool on = keys == Keys::All || (keys == Keys::Bitmap && fr % 3 != 1) ||
                            (keys == Keys::List && fr % 50 == 7);
            if (!on) continue;
            fgf_frame_value_set_f(f, fr, 1 + fr % 3, 0.5f * fr);
            for (int j = 0; j < joints; ++j) {
                const quaternion q{-1.0f, 0.01f * fr, 0.0f, 0.02f * j};
                fgf_frame_joint_orientation_set_f(f, fr, static_cast<SKL_JOINT_ID>(j), &q);
            }
        }
    }
    return a;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kell_seed_corpus FOLDER\n");
        return 2;
    }
    struct Seed {
        const char *name;
        ANM_ANIMATION_HANDLE animation;
    };
    const Seed seeds[] = {
        {"every_frame.qmf", clip(12, 4, Keys::All, 1, true)},
        {"bitmap_keys.qmf", clip(40, 3, Keys::Bitmap, 1, false)},
        {"listed_keys.qmf", clip(400, 2, Keys::List, 1, false)},
        {"two_figures.qmf", clip(8, 5, Keys::Bitmap, 2, true)},
        {"no_keys.qmf", clip(30, 2, Keys::None, 1, true)},
        {"empty_skeleton.qmf", clip(5, 0, Keys::All, 1, false)},
        {"no_figures.qmf", clip(0, 0, Keys::None, 0, false)},
    };
    int failures = 0;
    for (const Seed &seed : seeds) {
        const std::string path = std::string(argv[1]) + "/" + seed.name;
        FM_FILE_IDENTIFIER_TYPE id;
        if (!fm_path_name_to_file_id_f(path.c_str(), &id) || !anm_animation_save_as_f(seed.animation, &id, 0, nullptr)) {
            std::fprintf(stderr, "kell_seed_corpus: cannot write %s: %s\n", path.c_str(), kell_last_error_message());
            ++failures;
        }
        anm_animation_dispose(seed.animation);
    }
    return failures ? 1 : 0;
}
