// The export worker: turns the scene's joints into a Movantis skeleton,
// puts it into a new animation as its only figure and saves it. One exporter
// lives on the writer slot's stack for one write call.
#ifndef QMF_EXPORT_ANIMEXPORTER_H
#define QMF_EXPORT_ANIMEXPORTER_H

#include <maya/MStatus.h>
#include <maya/MString.h>

#include "export/JointNameTable.h"
#include "interfaces/AnimLibrary.h"

class MFnIkJoint;

class AnimExporter
{
public:
    explicit AnimExporter(const MString& path);
    // Disposes of the animation it created, with the figure, skeleton and
    // part objects that belong to it, whether or not the export succeeded.
    virtual ~AnimExporter();

    AnimExporter(const AnimExporter&) = delete;
    AnimExporter& operator=(const AnimExporter&) = delete;

    // New animation, skeleton from the scene's joints, figure from the skeleton.
    MStatus convertScene();

    // Saves the converted animation at the target path.
    MStatus save();

    // Walks the scene's joints depth-first into a new library skeleton; null
    // on failure, with the failure printed.
    SKL_SKELETON_HANDLE buildSkeleton();

    // One scene joint as a library joint: name, root or parent link, offset,
    // orientation and body volume. Prints nothing.
    MStatus addJoint(SKL_SKELETON_HANDLE skeleton, MFnIkJoint& joint);

    // Library id of the first joint parent whose name has been entered, or
    // SKL_NO_JOINT.
    SKL_JOINT_ID parentJointId(MFnIkJoint& joint);

    // Spheres and bones for the joint, attached to it. Prints nothing.
    MStatus addBodyVolume(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID jointId, MFnIkJoint& joint);

    const MString& targetPath() const { return mTargetPath; }
    ANM_ANIMATION_HANDLE animation() const { return mAnimation; }
    FIG_FIGURE_HANDLE figure() const { return mFigure; }
    SKL_SKELETON_HANDLE skeleton() const { return mSkeleton; }
    const JointNameTable& jointIds() const { return mJointIds; }

private:
    void releaseAnimation();

    MString mTargetPath;
    ANM_ANIMATION_HANDLE mAnimation = nullptr;
    FIG_FIGURE_HANDLE mFigure = nullptr;
    SKL_SKELETON_HANDLE mSkeleton = nullptr;
    JointNameTable mJointIds;
};

#endif
