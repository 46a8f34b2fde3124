/*
 * Kell: the Movantis animation library, C interface.
 *
 * Handles are opaque and owned by the library. Booleans are one byte, nonzero
 * for success. Joint ids are signed 16-bit indices into a skeleton, -1 meaning
 * "no joint". Frames and channels are 32-bit. Lengths and rotation parts are
 * 32-bit floats.
 *
 * Ownership: a part object attached to a joint belongs to that skeleton; a
 * skeleton added to an animation as a figure belongs to that animation, and
 * anm_animation_dispose releases the animation with its figures, their frame
 * data, and the skeletons and part objects added to it. Objects never handed
 * to an owner are released by mvl_movantis_lib_exit.
 *
 * Lifetime: the library works without mvl_movantis_lib_initialize_lite_f.
 * Starts are counted; the exit that balances the last start releases every
 * object still alive (animations never disposed, skeletons never added to an
 * animation, part objects never attached), so handles held across it become
 * invalid. An exit without a start does nothing.
 *
 * A refused call changes nothing; the void setters cannot report, so a bad
 * handle or joint id, or a parent link that would make a cycle, leaves the
 * skeleton as it was. docs/movantis-file-format.md describes the file format
 * and the rest of the library's behaviour.
 */
#ifndef KELL_H
#define KELL_H

#include <stdarg.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(KELL_BUILDING)
#    define KELL_API __declspec(dllexport)
#  else
#    define KELL_API __declspec(dllimport)
#  endif
#else
#  define KELL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One-byte boolean: nonzero is true/success. */
typedef unsigned char KL_BOOL;

/* Signed 16-bit joint index; -1 (0xFFFF) is "no joint". */
typedef int16_t SKL_JOINT_ID;
#define SKL_NO_JOINT ((SKL_JOINT_ID)-1)

/* Three floats x, y, z. */
typedef struct coord3 {
    float x;
    float y;
    float z;
} coord3;

/* Four floats f0..f3 in this memory order. */
typedef struct quaternion {
    float f0;
    float f1;
    float f2;
    float f3;
} quaternion;

/* A file identifier: a fixed-size record holding the absolute path. */
#define FM_PATH_CAPACITY 1024
typedef struct FM_FILE_IDENTIFIER_TYPE {
    uint32_t length;              /* bytes of path, excluding the NUL */
    char path[FM_PATH_CAPACITY];  /* NUL-terminated absolute path */
} FM_FILE_IDENTIFIER_TYPE;

/* Document kinds answered by dc_file_document_kind_get_f. */
#define DC_KIND_MOVANTIS_ANIMATION 0  /* a Movantis animation */
#define DC_KIND_MOVANTIS_OTHER     1  /* a Movantis document of another kind */
#define DC_KIND_FOREIGN            2  /* readable, but not a Movantis document */
#define DC_KIND_UNREADABLE         3  /* missing or unreadable */

/* Opaque objects. A skeleton handle is a pointer to a pointer to the
 * library's data directory, as the traversal callback receives it. */
typedef struct DT_DATA_DIRECTORY_TYPE_STRUCT DT_DATA_DIRECTORY_TYPE_STRUCT;
typedef DT_DATA_DIRECTORY_TYPE_STRUCT **SKL_SKELETON_HANDLE;
typedef struct ANM_ANIMATION_STRUCT *ANM_ANIMATION_HANDLE;
typedef struct FIG_FIGURE_STRUCT *FIG_FIGURE_HANDLE;
typedef struct POB_PART_OBJECT_STRUCT *POB_PART_OBJECT_HANDLE;

/* What anm_animation_open_f returns on failure: all bits set. */
#define ANM_INVALID_ANIMATION ((ANM_ANIMATION_HANDLE)(~(uintptr_t)0))

/* Visit kinds passed to the traversal callback. */
#define SK_VISIT_ENTER 0
#define SK_VISIT_LEAVE 1

/* Traversal callback: (visit kind, skeleton, visited joint, extra arguments).
 * The va_list is fresh for every call, positioned at the first extra argument
 * given to sk_skeleton_traverse. Its result does not stop the walk. */
typedef KL_BOOL (*SK_TRAVERSE_CALLBACK)(int16_t visitKind,
                                        DT_DATA_DIRECTORY_TYPE_STRUCT **skeleton,
                                        SKL_JOINT_ID joint,
                                        va_list extra);

/* Library lifetime. */
KELL_API KL_BOOL mvl_movantis_lib_initialize_lite_f(void);
KELL_API void mvl_movantis_lib_exit(void);

/* Files and documents. */
KELL_API KL_BOOL fm_path_name_to_file_id_f(const char *path, FM_FILE_IDENTIFIER_TYPE *identifier);
KELL_API int16_t dc_file_document_kind_get_f(const FM_FILE_IDENTIFIER_TYPE *identifier);

/* Animations. */
KELL_API ANM_ANIMATION_HANDLE anm_animation_create_f(void);
KELL_API FIG_FIGURE_HANDLE anm_animation_figure_add_f(ANM_ANIMATION_HANDLE animation,
                                                      SKL_SKELETON_HANDLE skeleton,
                                                      int32_t flags);
KELL_API KL_BOOL anm_animation_save_as_f(ANM_ANIMATION_HANDLE animation,
                                         const FM_FILE_IDENTIFIER_TYPE *identifier,
                                         int32_t flags, void *reserved);
KELL_API ANM_ANIMATION_HANDLE anm_animation_open_f(const FM_FILE_IDENTIFIER_TYPE *identifier,
                                                   int32_t flags);
KELL_API void anm_animation_dispose(ANM_ANIMATION_HANDLE animation);
KELL_API FIG_FIGURE_HANDLE anm_animation_figure_get_by_index_f(ANM_ANIMATION_HANDLE animation,
                                                               int32_t index);
KELL_API float anm_animation_frame_rate_get_f(ANM_ANIMATION_HANDLE animation);
KELL_API int32_t anm_animation_number_of_frames_get_f(ANM_ANIMATION_HANDLE animation);

/* Figures and their frame data. Channels 1, 2, 3 are the root translation
 * X, Y, Z. Queries outside the animation answer "no key" (and 0). */
KELL_API SKL_SKELETON_HANDLE fig_figure_get_skel(FIG_FIGURE_HANDLE figure);
KELL_API KL_BOOL fgf_frame_value_key_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel);
KELL_API float fgf_frame_value_get_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel);
KELL_API KL_BOOL fgf_frame_joint_orientation_key_f(FIG_FIGURE_HANDLE figure, int32_t frame,
                                                   SKL_JOINT_ID joint, int32_t flags);
KELL_API void fgf_frame_joint_orientation_get(FIG_FIGURE_HANDLE figure, int32_t frame,
                                              SKL_JOINT_ID joint, quaternion *orientation,
                                              int32_t flags);

/* Skeletons. Joint names are 1..127 bytes. */
#define SKL_JOINT_NAME_CAPACITY 128
KELL_API SKL_SKELETON_HANDLE skl_skeleton_skel_create_f(const char *name);
KELL_API SKL_JOINT_ID skl_skeleton_joint_create_f(SKL_SKELETON_HANDLE skeleton, const char *name);
KELL_API void skl_skeleton_parent_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                      SKL_JOINT_ID parent);
KELL_API void skl_skeleton_root_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint);
KELL_API void skl_skeleton_offset_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                      coord3 offset);
KELL_API void skl_skeleton_joint_orientation_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                                 const quaternion *orientation);
KELL_API KL_BOOL skl_skeleton_part_object_attach_f(SKL_SKELETON_HANDLE skeleton,
                                                   SKL_JOINT_ID joint,
                                                   POB_PART_OBJECT_HANDLE partObject);
KELL_API KL_BOOL skl_skeleton_skel_completed_f(SKL_SKELETON_HANDLE skeleton, const char *name);
KELL_API void skl_skeleton_joint_name_get(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                          char name[SKL_JOINT_NAME_CAPACITY]);
KELL_API KL_BOOL sk_skeleton_traverse(SKL_SKELETON_HANDLE skeleton, SK_TRAVERSE_CALLBACK callback,
                                      ...);

/* Part objects (body volumes). */
KELL_API POB_PART_OBJECT_HANDLE pob_part_object_obj_create_f(int32_t flags);
KELL_API KL_BOOL pob_part_object_sphere_add(POB_PART_OBJECT_HANDLE partObject, float radius,
                                            int32_t flags);
KELL_API KL_BOOL pob_part_object_bone_add(POB_PART_OBJECT_HANDLE partObject, float length,
                                          const coord3 *direction);
KELL_API void pob_part_object_bounds_calc(POB_PART_OBJECT_HANDLE partObject);

#ifdef __cplusplus
}
#endif

#endif /* KELL_H */
