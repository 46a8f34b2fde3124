/*
 * Kell authoring and inspection interface, for tools and tests.
 *
 * Everything a lossless dump or rebuild of a Movantis animation needs beyond
 * kell.h: setting the frame rate, frame count and keys, and reading back every
 * value of skeletons, part objects and figures. The translator itself never
 * calls these.
 *
 * Conventions match kell.h: booleans are one byte (nonzero = success), a bad
 * handle, joint, channel or frame is refused and changes nothing. Getters that
 * return a count answer -1 for a bad argument.
 *
 * A rebuild goes: anm_animation_create_f, anm_animation_frame_rate_set_f,
 * anm_animation_number_of_frames_set_f, then per skeleton
 * skl_skeleton_skel_create_f, skl_skeleton_joint_create_f, ..._parent_set,
 * ..._root_set, ..._offset_set, ..._joint_orientation_set, part objects
 * (pob_part_object_obj_create_f, ..._sphere_add / ..._bone_add in order,
 * pob_part_object_bounds_set_f when the source had bounds), attach,
 * skl_skeleton_skel_completed_f when completed; then anm_animation_figure_add_f
 * per figure (the same skeleton twice for shared skeletons) and the keys.
 */
#ifndef KELL_AUTHORING_H
#define KELL_AUTHORING_H

#include <stddef.h>
#include <stdint.h>

#include "kell.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Limits the library enforces when building and when reading a file. */
#define KELL_MAX_JOINTS 32767            /* joints per skeleton */
#define KELL_MAX_JOINT_NAME 127          /* bytes, excluding the NUL; at least 1 */
#define KELL_MAX_SKELETON_NAME 4095      /* bytes, skeleton and completion names; may be 0 */
#define KELL_MAX_FRAMES 16777216         /* frame count, 2^24 */
#define KELL_MAX_FIGURES 4096            /* figures per animation */
#define KELL_MAX_PRIMITIVES 65535        /* primitives per part object */

/* ---- Library-level helpers ---------------------------------------------- */

/* One line saying why the last refused open, save or document-kind query
 * failed ("" when nothing has failed yet). Valid until the next library call. */
KELL_API const char *kell_last_error_message(void);

/* Opens an animation from bytes in memory, with the same checks as
 * anm_animation_open_f. Returns ANM_INVALID_ANIMATION on any fault. */
KELL_API ANM_ANIMATION_HANDLE anm_animation_open_memory_f(const void *data, size_t size);

/* Document kind of bytes in memory (see DC_KIND_*), looking at the header only. */
KELL_API int16_t dc_memory_document_kind_get_f(const void *data, size_t size);

/* Bytes of memory the animation holds (file image, frame data, skeletons,
 * part objects, bookkeeping), as counted by the library. 0 for a bad handle. */
KELL_API size_t anm_animation_memory_size_get_f(ANM_ANIMATION_HANDLE animation);

/* Whether later saves sync the file and its folder before and after putting
 * it in place (1, the default). A caller saving a file it only uses on the
 * way, or one it syncs itself when it puts the file in its final place, may
 * turn it off; either way a save replaces its target atomically. */
KELL_API void kell_save_sync_set(KL_BOOL sync);

/* Whether later saves write their target itself, truncated and rewritten,
 * instead of a temporary file renamed over it (0, the default). Only for a
 * target the caller made for the purpose, such as its own temporary file
 * that it removes when a save fails: a failed save leaves it partly written.
 * A target that is not a regular file is still refused. */
KELL_API void kell_save_in_place_set(KL_BOOL inPlace);

/* How many opened files the library has seen cut short while open, since it
 * was loaded (see anm_animation_file_changed_f). */
KELL_API uint32_t kell_changed_files_count(void);

/* ---- Animations ---------------------------------------------------------- */

/* 1 when the file the animation was opened from was cut short while open.
 * Large files are read in place; from the first read past the new end on,
 * every read of the animation fails with its failure result (no key, zero
 * values, -1, null), edits and saves fail, and this says why. */
KELL_API KL_BOOL anm_animation_file_changed_f(ANM_ANIMATION_HANDLE animation);

/* Frames per second: finite and greater than 0. */
KELL_API KL_BOOL anm_animation_frame_rate_set_f(ANM_ANIMATION_HANDLE animation, float framesPerSecond);

/* 0..KELL_MAX_FRAMES. Keys at frames the new count excludes are dropped. */
KELL_API KL_BOOL anm_animation_number_of_frames_set_f(ANM_ANIMATION_HANDLE animation, int32_t count);

KELL_API int32_t anm_animation_number_of_figures_get_f(ANM_ANIMATION_HANDLE animation);

/* ---- Figures and keys ---------------------------------------------------- */

/* Root translation channels 1..3; frames 0..count-1. */
KELL_API KL_BOOL fgf_frame_value_set_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel,
                                       float value);
KELL_API KL_BOOL fgf_frame_value_clear_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel);
KELL_API KL_BOOL fgf_frame_joint_orientation_set_f(FIG_FIGURE_HANDLE figure, int32_t frame,
                                                   SKL_JOINT_ID joint,
                                                   const quaternion *orientation);
KELL_API KL_BOOL fgf_frame_joint_orientation_clear_f(FIG_FIGURE_HANDLE figure, int32_t frame,
                                                     SKL_JOINT_ID joint);

/* Number of keyed frames of a channel / joint; -1 for a bad argument. */
KELL_API int32_t fgf_frame_value_key_count_f(FIG_FIGURE_HANDLE figure, int32_t channel);
KELL_API int32_t fgf_frame_joint_orientation_key_count_f(FIG_FIGURE_HANDLE figure,
                                                         SKL_JOINT_ID joint);

/* First keyed frame at or after `from` (from < 0 counts as 0), or -1 when
 * there is none or an argument is bad. Walking keys:
 *   for (f = next(fig, c, 0); f >= 0; f = next(fig, c, f + 1)) ... */
KELL_API int32_t fgf_frame_value_next_key_f(FIG_FIGURE_HANDLE figure, int32_t channel,
                                            int32_t from);
KELL_API int32_t fgf_frame_joint_orientation_next_key_f(FIG_FIGURE_HANDLE figure,
                                                        SKL_JOINT_ID joint, int32_t from);

/* ---- Skeletons ----------------------------------------------------------- */

/* Name getters copy at most capacity-1 bytes and a NUL into `buffer` (when
 * capacity > 0) and return the full length of the name, or -1 for a bad
 * skeleton. */
KELL_API int32_t skl_skeleton_name_get_f(SKL_SKELETON_HANDLE skeleton, char *buffer,
                                         size_t capacity);
KELL_API KL_BOOL skl_skeleton_completed_get_f(SKL_SKELETON_HANDLE skeleton);
KELL_API int32_t skl_skeleton_completed_name_get_f(SKL_SKELETON_HANDLE skeleton, char *buffer,
                                                   size_t capacity);

KELL_API int32_t skl_skeleton_number_of_joints_get_f(SKL_SKELETON_HANDLE skeleton);
/* Parent of a joint, SKL_NO_JOINT when it has none or the arguments are bad. */
KELL_API SKL_JOINT_ID skl_skeleton_parent_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint);
KELL_API KL_BOOL skl_skeleton_root_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint);
KELL_API KL_BOOL skl_skeleton_offset_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                           coord3 *offset);
KELL_API KL_BOOL skl_skeleton_joint_orientation_get_f(SKL_SKELETON_HANDLE skeleton,
                                                      SKL_JOINT_ID joint,
                                                      quaternion *orientation);
/* The part object attached to a joint, or null. It stays owned by the skeleton. */
KELL_API POB_PART_OBJECT_HANDLE skl_skeleton_part_object_get_f(SKL_SKELETON_HANDLE skeleton,
                                                               SKL_JOINT_ID joint);

/* ---- Part objects -------------------------------------------------------- */

#define POB_PRIMITIVE_SPHERE 0
#define POB_PRIMITIVE_BONE 1

typedef struct POB_PRIMITIVE {
    int32_t kind;       /* POB_PRIMITIVE_SPHERE or POB_PRIMITIVE_BONE */
    float radius;       /* sphere only, else 0 */
    float length;       /* bone only, else 0 */
    coord3 direction;   /* bone only, else 0, 0, 0 */
} POB_PRIMITIVE;

KELL_API int32_t pob_part_object_number_of_primitives_get_f(POB_PART_OBJECT_HANDLE partObject);
KELL_API KL_BOOL pob_part_object_primitive_get_f(POB_PART_OBJECT_HANDLE partObject, int32_t index,
                                                 POB_PRIMITIVE *primitive);
/* True when the bounds have been computed (or set); then min and max are filled.
 * Adding a primitive clears them until they are computed again. */
KELL_API KL_BOOL pob_part_object_bounds_get_f(POB_PART_OBJECT_HANDLE partObject, coord3 *min,
                                              coord3 *max);
/* Sets the bounds as given, marking them computed (for rebuilding a file). */
KELL_API KL_BOOL pob_part_object_bounds_set_f(POB_PART_OBJECT_HANDLE partObject, const coord3 *min,
                                              const coord3 *max);

#ifdef __cplusplus
}
#endif

#endif /* KELL_AUTHORING_H */
