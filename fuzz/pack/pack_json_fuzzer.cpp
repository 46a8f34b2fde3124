// Feeds arbitrary bytes to `qmf pack`'s reader and checks; a document they
// accept is built into an animation in memory (small frame counts only, so
// one input stays quick), which must then hold what the document said.
#include "clips/PackJson.h"

#include "clips/Clip.h"

#include <kell.h>
#include <kell_authoring.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "pack built something else: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = mvl_movantis_lib_initialize_lite_f() != 0;
    if (!started) std::abort();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qmf::PackedClip clip;
    try {
        clip = qmf::parsePackJson(text);
        qmf::checkPackedClip(clip, size);
    } catch (const qmf::ClipError&) {
        return 0;
    }
    if (clip.frameCount > (1 << 12)) return 0;
    ANM_ANIMATION_HANDLE anm = anm_animation_create_f();
    try {
        qmf::buildPackedClip(clip, anm);
        check(anm_animation_number_of_figures_get_f(anm) == static_cast<int32_t>(clip.figures.size()), "figure count");
        for (std::size_t f = 0; f < clip.figures.size(); ++f) {
            FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, static_cast<int32_t>(f));
            SKL_SKELETON_HANDLE sk = fig_figure_get_skel(fig);
            const qmf::PackedSkeleton& ps = clip.skeletons[static_cast<std::size_t>(clip.figures[f].skeleton)];
            check(skl_skeleton_number_of_joints_get_f(sk) == static_cast<int32_t>(ps.joints.size()), "joint count");
            for (std::size_t j = 0; j < ps.joints.size(); ++j)
                check(skl_skeleton_parent_get_f(sk, static_cast<SKL_JOINT_ID>(j)) == static_cast<SKL_JOINT_ID>(ps.joints[j].parent),
                      "parent");
            for (int c = 0; c < 3; ++c)
                check(fgf_frame_value_key_count_f(fig, c + 1) == static_cast<int32_t>(clip.figures[f].channels[c].size()),
                      "every key kept");
        }
    } catch (const qmf::ClipError&) {
        // Checked documents are only refused here when the library runs out of memory.
    }
    anm_animation_dispose(anm);
    return 0;
}
