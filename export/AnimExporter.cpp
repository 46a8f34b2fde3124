#include "export/AnimExporter.h"

#include "interfaces/HostApi.h"

AnimExporter::AnimExporter(const MString& path) : mTargetPath(path) {}

AnimExporter::~AnimExporter()
{
    releaseAnimation();
}

// The animation owns the figure, the skeleton added as that figure and the
// part objects attached to its joints; disposing of it releases them all.
// A skeleton never added stays with the library until it exits: there is no
// call that releases it alone.
void AnimExporter::releaseAnimation()
{
    if (mAnimation) {
        anm_animation_dispose(mAnimation);
        mAnimation = nullptr;
        mFigure = nullptr;
        mSkeleton = nullptr;
    }
}

MStatus AnimExporter::convertScene()
{
    // A second conversion must not strand the first animation.
    releaseAnimation();

    // The library reports no host status: messages go out on one that holds success.
    MStatus status;

    mAnimation = anm_animation_create_f();
    if (!mAnimation) {
        status.perror("Failure creating animation");
        return MStatus::kFailure;
    }

    mSkeleton = buildSkeleton();
    if (!mSkeleton) {
        status.perror("Failure creating skeleton");
        return MStatus::kFailure;
    }

    mFigure = anm_animation_figure_add_f(mAnimation, mSkeleton, kell::kFigureAddFlags);
    if (!mFigure) {
        status.perror("Failure creating figure");
        return MStatus::kFailure;
    }
    return MStatus::kSuccess;
}

MStatus AnimExporter::save()
{
    MStatus status;

    FM_FILE_IDENTIFIER_TYPE identifier{};
    if (!kell::ok(fm_path_name_to_file_id_f(mTargetPath.asChar(), &identifier))) {
        status.perror("Failure creating file identifier");
        return MStatus::kFailure;
    }
    if (!kell::ok(anm_animation_save_as_f(mAnimation, &identifier, kell::kSaveFlags, nullptr))) {
        status.perror("Failure saving Movantis file");
        return MStatus::kFailure;
    }
    return MStatus::kSuccess;
}
