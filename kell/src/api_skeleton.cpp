// The C interface for skeletons, their traversal and part objects.
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "api_support.h"
#include "forest.h"
#include "kell.h"
#include "kell_authoring.h"
#include "model.h"

using namespace kell;
using namespace kell::api;

extern "C" {

// ---- Skeletons -----------------------------------------------------------------

SKL_SKELETON_HANDLE skl_skeleton_skel_create_f(const char *name) {
    if (!goodName(name, KELL_MAX_SKELETON_NAME, true)) return nullptr;
    try {
        return handleOf(newSkeleton(name ? name : ""));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

SKL_JOINT_ID skl_skeleton_joint_create_f(SKL_SKELETON_HANDLE skeleton, const char *name) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s || !goodName(name, KELL_MAX_JOINT_NAME, false) || s->joints.size() >= KELL_MAX_JOINTS)
        return SKL_NO_JOINT;
    try {
        Joint j;
        j.name = name;
        s->joints.push_back(std::move(j));
    } catch (const std::bad_alloc &) {
        return SKL_NO_JOINT;
    }
    jointAdded(*s);
    return static_cast<SKL_JOINT_ID>(s->joints.size() - 1);
}

void skl_skeleton_parent_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, SKL_JOINT_ID parent) {
    Skeleton *s = liveSkeleton(skeleton);
    Joint *j = jointOf(s, joint);
    if (!j) return;
    if (parent != SKL_NO_JOINT && (!jointOf(s, parent) || !parentKeepsForest(*s, joint, parent))) return;
    const SKL_JOINT_ID old = j->parent;
    j->parent = parent;
    parentChanged(*s, joint, old);
}

void skl_skeleton_root_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    Skeleton *s = liveSkeleton(skeleton);
    Joint *j = jointOf(s, joint);
    if (!j || j->root) return;
    j->root = true;
    rootFlagged(*s);
}

void skl_skeleton_offset_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, coord3 offset) {
    if (Joint *j = jointOf(skeleton, joint)) j->offset = offset;
}

void skl_skeleton_joint_orientation_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                        const quaternion *orientation) {
    Joint *j = jointOf(skeleton, joint);
    if (j && orientation) j->orientation = *orientation;
}

KL_BOOL skl_skeleton_part_object_attach_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                          POB_PART_OBJECT_HANDLE partObject) {
    Skeleton *s = liveSkeleton(skeleton);
    Joint *j = jointOf(s, joint);
    Part *p = livePart(partObject);
    if (!j || !p) return 0;
    if (j->part == p) return 1;
    if (p->owner) return 0;  // already another joint's
    // A part object it replaces goes back to being unowned (released at exit),
    // since the caller may still hold its handle.
    if (j->part) j->part->owner = nullptr;
    j->part = p;
    p->owner = s;
    return 1;
}

KL_BOOL skl_skeleton_skel_completed_f(SKL_SKELETON_HANDLE skeleton, const char *name) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s || !goodName(name, KELL_MAX_SKELETON_NAME, true)) return 0;
    try {
        s->completedName = name ? name : "";
    } catch (const std::bad_alloc &) {
        return 0;
    }
    s->completed = true;
    return 1;
}

void skl_skeleton_joint_name_get(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                 char name[SKL_JOINT_NAME_CAPACITY]) {
    if (!name) return;
    const Joint *j = jointOf(skeleton, joint);
    if (j) copyName(j->name, name, SKL_JOINT_NAME_CAPACITY);
    else name[0] = '\0';
}

KL_BOOL sk_skeleton_traverse(SKL_SKELETON_HANDLE skeleton, SK_TRAVERSE_CALLBACK callback, ...) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s || !callback) return 0;
    // The walk's own copy of the order: a callback that edits the skeleton
    // cannot derail it. Children in creation order.
    std::shared_ptr<const Walk> walk;
    try {
        walk = traversalOrder(*s);
    } catch (const std::bad_alloc &) {
        return 0;
    }

    va_list extra;
    va_start(extra, callback);
    auto visit = [&](int16_t kind, SKL_JOINT_ID joint) {
        va_list fresh;
        va_copy(fresh, extra);
        (void)callback(kind, skeleton, joint, fresh);
        va_end(fresh);
    };
    for (const int32_t event : *walk)
        visit(static_cast<int16_t>(event & 1 ? SK_VISIT_LEAVE : SK_VISIT_ENTER), static_cast<SKL_JOINT_ID>(event >> 1));
    va_end(extra);
    return 1;
}

int32_t skl_skeleton_name_get_f(SKL_SKELETON_HANDLE skeleton, char *buffer, size_t capacity) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s) return copyName(std::string(), buffer, capacity), -1;
    return copyName(s->name, buffer, capacity);
}

KL_BOOL skl_skeleton_completed_get_f(SKL_SKELETON_HANDLE skeleton) {
    Skeleton *s = liveSkeleton(skeleton);
    return s && s->completed ? 1 : 0;
}

int32_t skl_skeleton_completed_name_get_f(SKL_SKELETON_HANDLE skeleton, char *buffer, size_t capacity) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s) return copyName(std::string(), buffer, capacity), -1;
    return copyName(s->completedName, buffer, capacity);
}

int32_t skl_skeleton_number_of_joints_get_f(SKL_SKELETON_HANDLE skeleton) {
    Skeleton *s = liveSkeleton(skeleton);
    return s ? static_cast<int32_t>(s->joints.size()) : -1;
}

SKL_JOINT_ID skl_skeleton_parent_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    const Joint *j = jointOf(skeleton, joint);
    return j ? j->parent : SKL_NO_JOINT;
}

KL_BOOL skl_skeleton_root_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    const Joint *j = jointOf(skeleton, joint);
    return j && j->root ? 1 : 0;
}

KL_BOOL skl_skeleton_offset_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, coord3 *offset) {
    const Joint *j = jointOf(skeleton, joint);
    if (!j || !offset) return 0;
    *offset = j->offset;
    return 1;
}

KL_BOOL skl_skeleton_joint_orientation_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                             quaternion *orientation) {
    const Joint *j = jointOf(skeleton, joint);
    if (!j || !orientation) return 0;
    *orientation = j->orientation;
    return 1;
}

POB_PART_OBJECT_HANDLE skl_skeleton_part_object_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    const Joint *j = jointOf(skeleton, joint);
    return j ? j->part : nullptr;
}

// ---- Part objects --------------------------------------------------------------

POB_PART_OBJECT_HANDLE pob_part_object_obj_create_f(int32_t flags) {
    if (flags != 0) return nullptr;
    try {
        return newPart();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

static KL_BOOL addPrimitive(POB_PART_OBJECT_HANDLE partObject, const Part::Primitive &prim) {
    Part *p = livePart(partObject);
    if (!p || p->primitives.size() >= KELL_MAX_PRIMITIVES) return 0;
    try {
        p->primitives.push_back(prim);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    p->hasBounds = false;  // stale until computed again
    return 1;
}

KL_BOOL pob_part_object_sphere_add(POB_PART_OBJECT_HANDLE partObject, float radius, int32_t flags) {
    if (flags != 0) return 0;
    return addPrimitive(partObject, Part::Primitive{POB_PRIMITIVE_SPHERE, radius, 0.0f, {0, 0, 0}});
}

KL_BOOL pob_part_object_bone_add(POB_PART_OBJECT_HANDLE partObject, float length, const coord3 *direction) {
    if (!direction) return 0;
    return addPrimitive(partObject, Part::Primitive{POB_PRIMITIVE_BONE, 0.0f, length, *direction});
}

void pob_part_object_bounds_calc(POB_PART_OBJECT_HANDLE partObject) {
    if (Part *p = livePart(partObject)) computeBounds(*p);
}

int32_t pob_part_object_number_of_primitives_get_f(POB_PART_OBJECT_HANDLE partObject) {
    Part *p = livePart(partObject);
    return p ? static_cast<int32_t>(p->primitives.size()) : -1;
}

KL_BOOL pob_part_object_primitive_get_f(POB_PART_OBJECT_HANDLE partObject, int32_t index,
                                        POB_PRIMITIVE *primitive) {
    Part *p = livePart(partObject);
    if (!p || !primitive || index < 0 || static_cast<size_t>(index) >= p->primitives.size()) return 0;
    const auto &prim = p->primitives[index];
    *primitive = POB_PRIMITIVE{prim.kind, prim.radius, prim.length, prim.direction};
    return 1;
}

KL_BOOL pob_part_object_bounds_get_f(POB_PART_OBJECT_HANDLE partObject, coord3 *min, coord3 *max) {
    Part *p = livePart(partObject);
    if (!p || !p->hasBounds) return 0;
    if (min) *min = p->boundsMin;
    if (max) *max = p->boundsMax;
    return 1;
}

KL_BOOL pob_part_object_bounds_set_f(POB_PART_OBJECT_HANDLE partObject, const coord3 *min, const coord3 *max) {
    Part *p = livePart(partObject);
    if (!p || !min || !max) return 0;
    p->boundsMin = *min;
    p->boundsMax = *max;
    p->hasBounds = true;
    return 1;
}

}  // extern "C"
