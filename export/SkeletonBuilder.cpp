#include <cstring>

#include "convert/SpaceConversion.h"
#include "export/AnimExporter.h"
#include "interfaces/HostApi.h"

namespace {

// The library holds names of 1..127 bytes; a longer name would be cut or
// refused there, and a cut name no longer matches its joint on import.
bool libraryHoldsName(const MString& name)
{
    const std::size_t length = std::strlen(name.asChar());
    return length > 0 && length <= kell::kMaxJointNameLength;
}

}  // namespace

SKL_SKELETON_HANDLE AnimExporter::buildSkeleton()
{
    mJointIds.clear();

    MStatus status;
    MItDag dagIterator(MItDag::kDepthFirst, MFn::kJoint, &status);
    if (!status) {
        status.perror("Failure in DAG iterator setup");
        return nullptr;
    }

    // The walk's root is the world, to which a joint set does not attach: the
    // skeleton takes the (empty) name the host gives it.
    MObject rootNode = dagIterator.root();
    MFnIkJoint root(rootNode);
    SKL_SKELETON_HANDLE skeleton = skl_skeleton_skel_create_f(root.name().asChar());
    if (!skeleton)
        return nullptr;

    while (!dagIterator.isDone()) {
        MObject item = dagIterator.item();
        MFnIkJoint joint(item);
        if (addJoint(skeleton, joint) == MStatus::kFailure) {
            status.perror("Failure in creating joint");
            status.perror(joint.name());
            return nullptr;
        }
        dagIterator.next();
    }

    skl_skeleton_skel_completed_f(skeleton, root.name().asChar());
    return skeleton;
}

MStatus AnimExporter::addJoint(SKL_SKELETON_HANDLE skeleton, MFnIkJoint& joint)
{
    const MString name = joint.name();
    const SKL_JOINT_ID id = libraryHoldsName(name)
                                ? skl_skeleton_joint_create_f(skeleton, name.asChar())
                                : SKL_NO_JOINT;

    // The parent is found before this joint's own name goes in, so a joint
    // named like its joint parent links to that parent and never to itself.
    const bool isRoot = jointParentCount(joint) == 0;
    const SKL_JOINT_ID parent = isRoot ? SKL_NO_JOINT : parentJointId(joint);

    // Entered before the id is tested: a refused joint leaves its name at -1.
    mJointIds.enter(joint.name().asChar(), id);
    if (id < 0)
        return MStatus::kFailure;

    if (isRoot) {
        // A root's own translation is not written.
        skl_skeleton_root_set(skeleton, id);
    } else {
        skl_skeleton_parent_set(skeleton, id, parent);
        const coord3 offset = sceneVectorToFile(joint.translation(MSpace::kTransform));
        skl_skeleton_offset_set(skeleton, id, offset);
    }

    MQuaternion orientation;
    MQuaternion rotation;
    joint.getOrientation(orientation);
    joint.getRotation(rotation, MSpace::kTransform);
    const quaternion fileRotation = sceneRotationToFile(rotation, orientation);
    skl_skeleton_joint_orientation_set(skeleton, id, &fileRotation);

    if (!addBodyVolume(skeleton, id, joint))
        return MStatus::kFailure;
    return MStatus::kSuccess;
}

SKL_JOINT_ID AnimExporter::parentJointId(MFnIkJoint& joint)
{
    for (unsigned int i = 0; i < joint.parentCount(); ++i) {
        MObject parentNode = joint.parent(i);
        if (!parentNode.hasFn(MFn::kJoint))
            continue;
        MFnIkJoint parentJoint(parentNode);
        if (const auto id = mJointIds.find(parentJoint.name().asChar()))
            return *id;
    }
    return SKL_NO_JOINT;
}
