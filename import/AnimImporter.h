// The import worker: lays a Movantis animation onto the joints already in the
// scene. One importer lives on the reader slot's stack for one read call.
#ifndef QMF_IMPORT_ANIMIMPORTER_H
#define QMF_IMPORT_ANIMIMPORTER_H

#include <cstdarg>
#include <cstdint>

#include <maya/MEulerRotation.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTransformationMatrix.h>

#include "interfaces/AnimLibrary.h"

class MFnIkJoint;

class AnimImporter
{
public:
    explicit AnimImporter(MString path);
    virtual ~AnimImporter();

    AnimImporter(const AnimImporter&) = delete;
    AnimImporter& operator=(const AnimImporter&) = delete;

    // Opens the file and takes figure 0, its skeleton, the rate and the count.
    MStatus readFile();

    // Playback end, linear tangents, then curves along the depth-first joint walk.
    MStatus mapToScene();

    // Translate curves on the given joint from the figure's root channels 1-3.
    MStatus mapRootTranslation(MFnIkJoint& joint);

    // Rotate curves on the given joint from the file joint of the same name.
    MStatus mapJointRotation(MFnIkJoint& joint);

    const MString& filePath() const { return mFilePath; }
    ANM_ANIMATION_HANDLE animation() const { return mAnimation; }
    FIG_FIGURE_HANDLE figure() const { return mFigure; }
    SKL_SKELETON_HANDLE skeleton() const { return mSkeleton; }
    double secondsPerFrame() const { return mSecondsPerFrame; }
    uint32_t lastFrame() const { return mLastFrame; }

private:
    MString mFilePath;
    ANM_ANIMATION_HANDLE mAnimation = ANM_INVALID_ANIMATION;
    FIG_FIGURE_HANDLE mFigure = nullptr;
    SKL_SKELETON_HANDLE mSkeleton = nullptr;
    double mSecondsPerFrame = 0.033;
    uint32_t mLastFrame = 0;
};

// Traversal callback: records in the joint id (second extra argument) the
// visited joint whose name equals the target (first extra argument) exactly.
KL_BOOL matchJointName(int16_t visitKind, DT_DATA_DIRECTORY_TYPE_STRUCT** skeleton,
                       SKL_JOINT_ID joint, va_list extra);

// The transform's rotation order (1-6) as an Euler order (0-5); anything else is XYZ.
MEulerRotation::RotationOrder toEulerOrder(MTransformationMatrix::RotationOrder order);

#endif
