// Opens arbitrary bytes as a Movantis animation and, when they are accepted,
// asks every question the library answers, edits the result and disposes it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crc32c.h"
#include "kell.h"
#include "kell_authoring.h"

namespace {

// Keeps the walk of one input short whatever frame count it declares.
constexpr int32_t kMaxFramesToWalk = 1 << 12;
constexpr int32_t kMaxFramesToEdit = 1 << 16;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "inconsistent answer: %s\n", what);
        std::abort();
    }
}

KL_BOOL countVisit(int16_t kind, DT_DATA_DIRECTORY_TYPE_STRUCT **skeleton, SKL_JOINT_ID joint, va_list extra) {
    int32_t *enters = va_arg(extra, int32_t *);
    char name[SKL_JOINT_NAME_CAPACITY];
    skl_skeleton_joint_name_get(skeleton, joint, name);
    if (kind == SK_VISIT_ENTER) ++*enters;
    return 0;
}

void walkSkeleton(SKL_SKELETON_HANDLE s) {
    char text[64];
    check(skl_skeleton_name_get_f(s, text, sizeof text) >= 0, "skeleton name");
    check(skl_skeleton_completed_name_get_f(s, text, sizeof text) >= 0, "completion name");
    (void)skl_skeleton_completed_get_f(s);
    const int32_t joints = skl_skeleton_number_of_joints_get_f(s);
    check(joints >= 0 && joints <= KELL_MAX_JOINTS, "joint count");
    for (SKL_JOINT_ID j = 0; j < joints; ++j) {
        char name[SKL_JOINT_NAME_CAPACITY];
        skl_skeleton_joint_name_get(s, j, name);
        check(name[0] != '\0', "joint names are never empty");
        const SKL_JOINT_ID parent = skl_skeleton_parent_get_f(s, j);
        check(parent == SKL_NO_JOINT || (parent >= 0 && parent < joints && parent != j), "parent in range");
        coord3 offset;
        quaternion q;
        check(skl_skeleton_offset_get_f(s, j, &offset) && skl_skeleton_joint_orientation_get_f(s, j, &q), "joint values");
        (void)skl_skeleton_root_get_f(s, j);
        if (POB_PART_OBJECT_HANDLE p = skl_skeleton_part_object_get_f(s, j)) {
            const int32_t n = pob_part_object_number_of_primitives_get_f(p);
            for (int32_t i = 0; i < n; ++i) {
                POB_PRIMITIVE prim;
                check(pob_part_object_primitive_get_f(p, i, &prim), "primitive");
            }
            coord3 lo, hi;
            (void)pob_part_object_bounds_get_f(p, &lo, &hi);
        }
    }
    // Every joint is entered exactly once: the parents form a forest.
    int32_t enters = 0;
    check(sk_skeleton_traverse(s, countVisit, &enters), "traversal");
    check(enters == joints, "traversal reaches every joint once");
}

void walkFigure(FIG_FIGURE_HANDLE f, int32_t count) {
    const SKL_SKELETON_HANDLE s = fig_figure_get_skel(f);
    const int32_t joints = skl_skeleton_number_of_joints_get_f(s);
    const int32_t probes[] = {-1, 0, count / 2, count - 1, count, INT32_MAX};
    for (int32_t c = 0; c <= 4; ++c) {
        int32_t keys = 0;
        for (int32_t fr = fgf_frame_value_next_key_f(f, c, 0); fr >= 0 && keys < kMaxFramesToWalk;
             fr = fgf_frame_value_next_key_f(f, c, fr + 1), ++keys) {
            check(fr < count && fgf_frame_value_key_f(f, fr, c), "listed key is a key");
            (void)fgf_frame_value_get_f(f, fr, c);
        }
        for (int32_t fr : probes) {
            if (fgf_frame_value_key_f(f, fr, c)) check(fr >= 0 && fr < count, "key inside the animation");
            (void)fgf_frame_value_get_f(f, fr, c);
        }
    }
    for (int32_t j = -1; j <= joints; ++j) {
        const auto joint = static_cast<SKL_JOINT_ID>(j);
        int32_t keys = 0;
        quaternion q;
        for (int32_t fr = fgf_frame_joint_orientation_next_key_f(f, joint, 0); fr >= 0 && keys < kMaxFramesToWalk;
             fr = fgf_frame_joint_orientation_next_key_f(f, joint, fr + 1), ++keys) {
            check(fr < count && fgf_frame_joint_orientation_key_f(f, fr, joint, 0), "listed key is a key");
            fgf_frame_joint_orientation_get(f, fr, joint, &q, 1);
        }
        for (int32_t fr : probes) {
            if (fgf_frame_joint_orientation_key_f(f, fr, joint, 0)) check(fr >= 0 && fr < count, "key inside");
            fgf_frame_joint_orientation_get(f, fr, joint, &q, 1);
        }
    }
}

// Random bytes almost never carry matching checksums, so a second copy of
// each input has its checksums and size recomputed: that one reaches the
// structural checks behind them.
std::vector<uint8_t> resealed(const uint8_t *data, size_t size) {
    std::vector<uint8_t> f(data, data + size);
    if (f.size() < 32) return f;
    uint32_t sections;
    std::memcpy(&sections, &f[24], 4);
    size_t pos = 32;
    for (uint32_t i = 0; i < sections && f.size() - pos >= 16; ++i) {
        uint64_t length;
        std::memcpy(&length, &f[pos + 8], 8);
        if (length > f.size() - pos - 16) break;
        const uint32_t crc = kell::crc32c(0, &f[pos + 16], static_cast<size_t>(length));
        std::memcpy(&f[pos + 4], &crc, 4);
        pos += 16 + static_cast<size_t>(length);
    }
    const uint64_t total = f.size();
    std::memcpy(&f[16], &total, 8);
    const uint32_t crc = kell::crc32c(0, f.data(), 28);
    std::memcpy(&f[28], &crc, 4);
    return f;
}

void exercise(const uint8_t *data, size_t size) {
    (void)dc_memory_document_kind_get_f(data, size);
    ANM_ANIMATION_HANDLE a = anm_animation_open_memory_f(data, size);
    if (a == ANM_INVALID_ANIMATION) return;
    const int32_t count = anm_animation_number_of_frames_get_f(a);
    check(count >= 0 && count <= KELL_MAX_FRAMES, "frame count");
    check(anm_animation_frame_rate_get_f(a) > 0.0f, "frame rate");
    const int32_t figures = anm_animation_number_of_figures_get_f(a);
    for (int32_t i = 0; i < figures; ++i) {
        FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, i);
        check(f != nullptr, "figure");
        walkSkeleton(fig_figure_get_skel(f));
        walkFigure(f, count);
    }
    check(anm_animation_figure_get_by_index_f(a, figures) == nullptr, "no figure past the end");
    // Edits turn the file's tracks into editable ones: exercise that from
    // whatever encodings the input used.
    if (figures > 0 && count > 0 && count <= kMaxFramesToEdit) {
        FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, 0);
        const quaternion q{1, 0, 0, 0};
        (void)fgf_frame_joint_orientation_set_f(f, count - 1, 0, &q);
        (void)fgf_frame_joint_orientation_clear_f(f, 0, 0);
        (void)fgf_frame_value_clear_f(f, count / 2, 1);
        check(anm_animation_number_of_frames_set_f(a, count / 2), "shrinking the frame count");
        walkFigure(f, count / 2);
    }
    anm_animation_dispose(a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    exercise(data, size);
    const std::vector<uint8_t> copy = resealed(data, size);
    exercise(copy.data(), copy.size());
    return 0;
}
