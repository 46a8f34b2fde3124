#include "import/AnimImporter.h"

#include <cmath>
#include <cstring>

#include "convert/SpaceConversion.h"
#include "interfaces/HostApi.h"

namespace {

constexpr double kTicksPerSecond = 141120000.0;
constexpr double kMaxTicks = 9.0e18;  // the host's time range, within a signed 64-bit tick count

// The rate is positive and finite. Consecutive frames must stay at least one
// tick apart after rounding; the margin covers the rounding of the double
// products at the far end of the range.
bool frameTimesFit(float rate, uint32_t lastFrame)
{
    const double ticksPerFrame = kTicksPerSecond / static_cast<double>(rate);
    const double lastTicks = static_cast<double>(lastFrame) * ticksPerFrame;
    if (!(lastTicks <= kMaxTicks))
        return false;
    return lastFrame == 0 || ticksPerFrame >= 1.0 + 1e-14 * lastTicks;
}

}  // namespace

AnimImporter::AnimImporter(MString path) : mFilePath(path) {}

AnimImporter::~AnimImporter()
{
    if (mAnimation != ANM_INVALID_ANIMATION)
        anm_animation_dispose(mAnimation);
}

MStatus AnimImporter::readFile()
{
    MStatus status;

    FM_FILE_IDENTIFIER_TYPE identifier{};
    if (!fm_path_name_to_file_id_f(mFilePath.asChar(), &identifier)) {
        status.perror("Failure creating file identifier");
        return MS::kFailure;
    }

    mAnimation = anm_animation_open_f(&identifier, kell::kOpenFlags);
    if (mAnimation == ANM_INVALID_ANIMATION) {
        status.perror("Failure opening Movantis animation");
        return MS::kFailure;
    }

    mFigure = anm_animation_figure_get_by_index_f(mAnimation, kell::kFigureIndexFirst);
    if (mFigure == nullptr) {
        status.perror("Failure getting Movantis figure");
        return MS::kFailure;
    }

    mSkeleton = fig_figure_get_skel(mFigure);
    if (mSkeleton == nullptr) {
        status.perror("Failure getting Movantis skeleton");
        return MS::kFailure;
    }

    // A rate that is not a positive finite number gives no usable frame times.
    const float rate = anm_animation_frame_rate_get_f(mAnimation);
    if (!(std::isfinite(rate) && rate > 0.0f)) {
        status.perror("Failure reading Movantis frame rate");
        return MS::kFailure;
    }
    mSecondsPerFrame = 1.0 / static_cast<double>(rate);

    // A negative count read as unsigned would make the frame loops all but endless.
    const int32_t count = anm_animation_number_of_frames_get_f(mAnimation);
    if (count < 0) {
        status.perror("Failure reading Movantis frame count");
        return MS::kFailure;
    }
    mLastFrame = static_cast<uint32_t>(count);

    // Frames 0 to lastFrame become key times. Maya keeps time as whole ticks
    // of 1/141120000 s; a rate so high that two frames round to one tick, or
    // so low that the last frame lies beyond the host's time range, would
    // lose keys while reporting success.
    if (!frameTimesFit(rate, mLastFrame)) {
        status.perror("Failure reading Movantis frame rate");
        return MS::kFailure;
    }

    return MS::kSuccess;
}

MStatus AnimImporter::mapToScene()
{
    MStatus status;

    status = MAnimControl::setMaxTime(frameToTime(mLastFrame, mSecondsPerFrame));
    if (!status) {
        status.perror("Failure changing animation max-time");
        return MS::kFailure;
    }

    status = MAnimControl::setGlobalInTangentType(MFnAnimCurve::kTangentLinear);
    if (!status) {
        status.perror("Failure changing animation tangent type");
        return MS::kFailure;
    }
    status = MAnimControl::setGlobalOutTangentType(MFnAnimCurve::kTangentLinear);
    if (!status) {
        status.perror("Failure changing animation tangent type");
        return MS::kFailure;
    }

    MItDag walk(MItDag::kDepthFirst, MFn::kJoint, &status);
    if (!status) {
        status.perror("Failure in DAG iterator setup");
        return MS::kFailure;
    }

    // Without a joint the walk's item is no joint at all; say so instead of
    // handing the translation step an empty function set.
    if (walk.isDone()) {
        status.perror("Failure finding Maya joints");
        status.perror("Failure in mapping translation data");
        return MS::kFailure;
    }

    MObject rootNode = walk.item();
    MFnIkJoint root(rootNode);
    if (!mapRootTranslation(root)) {
        status.perror("Failure in mapping translation data");
        return MS::kFailure;
    }

    // The walk was not advanced: the first joint may also get rotate curves.
    for (; !walk.isDone(); walk.next()) {
        MObject node = walk.item();
        MFnIkJoint joint(node);
        if (jointChildCount(joint) > 0) {
            if (!mapJointRotation(joint)) {
                status.perror("Failure in mapping joint animation");
                status.perror(joint.name());
                return MS::kFailure;
            }
        }
    }

    return MS::kSuccess;
}

MStatus AnimImporter::mapRootTranslation(MFnIkJoint& joint)
{
    MStatus status;
    MFnAnimCurve curveX;
    MFnAnimCurve curveY;
    MFnAnimCurve curveZ;

    MObject attribute = joint.attribute("translateX");
    curveX.create(joint.object(), attribute, nullptr, &status);
    if (!status) {
        status.perror("Failure creating X translation curve");
        return status;
    }
    attribute = joint.attribute("translateY");
    curveY.create(joint.object(), attribute, nullptr, &status);
    if (!status) {
        status.perror("Failure creating Y translation curve");
        return status;
    }
    attribute = joint.attribute("translateZ");
    curveZ.create(joint.object(), attribute, nullptr, &status);
    if (!status) {
        status.perror("Failure creating Z translation curve");
        return status;
    }

    // Frame 0 is always examined; the bound is tested at the end of the body
    // so that the loop ends for every count.
    for (uint32_t frame = 0;; ++frame) {
        const MTime time = frameToTime(frame, mSecondsPerFrame);
        const int32_t fileFrame = static_cast<int32_t>(frame);
        auto keyChannel = [&](MFnAnimCurve& curve, int32_t channel) {
            if (fgf_frame_value_key_f(mFigure, fileFrame, channel)) {
                const float value = fgf_frame_value_get_f(mFigure, fileFrame, channel);
                curve.addKeyframe(time, fileTranslationToScene(channel, value));
            }
        };
        keyChannel(curveX, kell::kRootChannelX);
        keyChannel(curveY, kell::kRootChannelY);
        keyChannel(curveZ, kell::kRootChannelZ);
        if (frame == mLastFrame)
            break;
    }

    return MS::kSuccess;
}

MStatus AnimImporter::mapJointRotation(MFnIkJoint& joint)
{
    MStatus status;

    // The text handed to the traversal must outlive it.
    const MString name = joint.name();
    SKL_JOINT_ID jointId = SKL_NO_JOINT;
    sk_skeleton_traverse(mSkeleton, matchJointName, name.asChar(), &jointId);
    if (jointId == SKL_NO_JOINT) {
        status.perror("Failure finding Movantis joint");
        status.perror(name.asChar());
        return MS::kFailure;
    }

    // A locked channel would refuse its curve: unlock it for the work and
    // remember to lock it again afterwards.
    MFnAnimCurve curveX;
    MFnAnimCurve curveY;
    MFnAnimCurve curveZ;

    MObject attribute = joint.attribute("rotateX");
    MPlug plug(joint.object(), attribute);
    const bool lockedX = plug.isLocked();
    plug.setLocked(false);
    curveX.create(joint.object(), attribute, nullptr, &status);
    if (!status) {
        status.perror("Failure creating X rotation curve");
        return status;
    }

    attribute = joint.attribute("rotateY");
    plug.setAttribute(attribute);
    const bool lockedY = plug.isLocked();
    plug.setLocked(false);
    curveY.create(joint.object(), attribute, nullptr, &status);
    if (!status) {
        status.perror("Failure creating Y rotation curve");
        return status;
    }

    attribute = joint.attribute("rotateZ");
    plug.setAttribute(attribute);
    const bool lockedZ = plug.isLocked();
    plug.setLocked(false);
    curveZ.create(joint.object(), attribute, nullptr, &status);
    if (!status) {
        status.perror("Failure creating Z rotation curve");
        return status;
    }

    const MEulerRotation::RotationOrder order = toEulerOrder(joint.rotationOrder());
    MEulerRotation previous;
    previous.reorderIt(order);

    for (uint32_t frame = 0;; ++frame) {
        const int32_t fileFrame = static_cast<int32_t>(frame);
        if (fgf_frame_joint_orientation_key_f(mFigure, fileFrame, jointId, kell::kOrientationKeyFlags)) {
            quaternion fileRotation{};
            fgf_frame_joint_orientation_get(mFigure, fileFrame, jointId, &fileRotation,
                                            kell::kOrientationGetFlags);
            // The orientation is read on every keyed frame, as the joint holds it now.
            MQuaternion orientation;
            joint.getOrientation(orientation);
            const MEulerRotation euler = fileRotationToEuler(fileRotation, orientation, order, previous);
            previous = euler;

            const MTime time = frameToTime(frame, mSecondsPerFrame);
            curveX.addKeyframe(time, euler.x);
            curveY.addKeyframe(time, euler.y);
            curveZ.addKeyframe(time, euler.z);
        }
        if (frame == mLastFrame)
            break;
    }

    if (lockedX) {
        attribute = joint.attribute("rotateX");
        plug.setAttribute(attribute);
        plug.setLocked(true);
    }
    if (lockedY) {
        attribute = joint.attribute("rotateY");
        plug.setAttribute(attribute);
        plug.setLocked(true);
    }
    if (lockedZ) {
        attribute = joint.attribute("rotateZ");
        plug.setAttribute(attribute);
        plug.setLocked(true);
    }

    return MS::kSuccess;
}

KL_BOOL matchJointName(int16_t visitKind, DT_DATA_DIRECTORY_TYPE_STRUCT** skeleton,
                       SKL_JOINT_ID joint, va_list extra)
{
    if (visitKind != SK_VISIT_ENTER)
        return 0;

    const char* target = va_arg(extra, const char*);
    SKL_JOINT_ID* jointId = va_arg(extra, SKL_JOINT_ID*);

    char name[SKL_JOINT_NAME_CAPACITY];
    std::memset(name, 0, sizeof name);
    skl_skeleton_joint_name_get(skeleton, joint, name);
    // Never read past the buffer, whatever the library wrote into it.
    name[SKL_JOINT_NAME_CAPACITY - 1] = '\0';

    if (MString(target) == MString(name)) {
        *jointId = joint;
        return 1;
    }
    return 0;
}

MEulerRotation::RotationOrder toEulerOrder(MTransformationMatrix::RotationOrder order)
{
    switch (order) {
    case MTransformationMatrix::kXYZ: return MEulerRotation::kXYZ;
    case MTransformationMatrix::kYZX: return MEulerRotation::kYZX;
    case MTransformationMatrix::kZXY: return MEulerRotation::kZXY;
    case MTransformationMatrix::kXZY: return MEulerRotation::kXZY;
    case MTransformationMatrix::kYXZ: return MEulerRotation::kYXZ;
    case MTransformationMatrix::kZYX: return MEulerRotation::kZYX;
    default: return MEulerRotation::kXYZ;
    }
}
