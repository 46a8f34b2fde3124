#include "interfaces/HostApi.h"

// The counts are asked again on every pass: the host answers them cheaply and
// a node set that changed under us must not be indexed past its end.
unsigned int jointChildCount(const MFnDagNode& node)
{
    unsigned int joints = 0;
    for (unsigned int i = 0; i < node.childCount(); ++i) {
        if (node.child(i).hasFn(MFn::kJoint))
            ++joints;
    }
    return joints;
}

unsigned int jointParentCount(const MFnDagNode& node)
{
    unsigned int joints = 0;
    for (unsigned int i = 0; i < node.parentCount(); ++i) {
        if (node.parent(i).hasFn(MFn::kJoint))
            ++joints;
    }
    return joints;
}
