#include "convert/SpaceConversion.h"
#include "export/AnimExporter.h"
#include "interfaces/HostApi.h"

namespace {

// A root's sphere reaches a third of the way to its farthest child; a leaf's
// sphere is a tenth of the bone that leads to it.
const double kRootSphereFactor = 1.0 / 3.0;
const double kLeafSphereFactor = 0.1;

MVector fileUnitsTranslation(const MObject& node)
{
    MObject object = node;
    MFnIkJoint joint(object);
    return sceneVectorScaled(joint.translation(MSpace::kTransform));
}

}  // namespace

MStatus AnimExporter::addBodyVolume(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID jointId,
                                    MFnIkJoint& joint)
{
    POB_PART_OBJECT_HANDLE partObject = pob_part_object_obj_create_f(kell::kPartObjectFlags);
    if (!partObject)
        return MStatus::kFailure;

    if (jointParentCount(joint) == 0) {
        double longest = 0.0;
        for (unsigned int i = 0; i < joint.childCount(); ++i) {
            const MObject child = joint.child(i);
            if (!child.hasFn(MFn::kJoint))
                continue;
            const double length = fileUnitsTranslation(child).length();
            if (length >= longest)
                longest = length;
        }
        const float radius = static_cast<float>(longest * kRootSphereFactor);
        if (!kell::ok(pob_part_object_sphere_add(partObject, radius, kell::kSphereFlags)))
            return MStatus::kFailure;
    }

    if (jointChildCount(joint) == 0) {
        const double length = sceneVectorScaled(joint.translation(MSpace::kTransform)).length();
        const float radius = static_cast<float>(length * kLeafSphereFactor);
        if (!kell::ok(pob_part_object_sphere_add(partObject, radius, kell::kSphereFlags)))
            return MStatus::kFailure;
    } else {
        for (unsigned int i = 0; i < joint.childCount(); ++i) {
            const MObject child = joint.child(i);
            if (!child.hasFn(MFn::kJoint))
                continue;
            MVector towardsChild = fileUnitsTranslation(child);
            const float length = static_cast<float>(towardsChild.length());
            // A zero vector stays as the host's normalisation leaves it.
            towardsChild.normalize();
            const coord3 direction = fileUnitsToCoord(towardsChild);
            if (!kell::ok(pob_part_object_bone_add(partObject, length, &direction)))
                return MStatus::kFailure;
        }
    }

    if (!kell::ok(skl_skeleton_part_object_attach_f(skeleton, jointId, partObject)))
        return MStatus::kFailure;
    pob_part_object_bounds_calc(partObject);
    return MStatus::kSuccess;
}
