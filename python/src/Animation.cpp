#include "Animation.h"

#include "clips/Clip.h"
#include "clips/ClipCopy.h"
#include "clips/ClipLibrary.h"
#include "clips/JointNames.h"

#include <kell_authoring.h>

#include <cmath>
#include <cstring>

namespace qmfpy {

using qmf::ClipError;

namespace {

ANM_ANIMATION_HANDLE newAnimation() {
    qmf::startLibrary();
    ANM_ANIMATION_HANDLE anm = anm_animation_create_f();
    if (!anm) throw ClipError("the animation library could not create an animation");
    return anm;
}

// Disposes of a half-built animation when a build step throws.
struct Owned {
    ANM_ANIMATION_HANDLE anm;
    ~Owned() {
        if (anm) anm_animation_dispose(anm);
    }
    ANM_ANIMATION_HANDLE release() {
        ANM_ANIMATION_HANDLE a = anm;
        anm = nullptr;
        return a;
    }
};

}  // namespace

Animation::Animation(ANM_ANIMATION_HANDLE anm, std::string label) : anm_(anm), label_(std::move(label)) {}

Animation::~Animation() { anm_animation_dispose(anm_); }

AnimationPtr Animation::open(const std::string& path) {
    return std::make_shared<Animation>(qmf::openClip(path), path);
}

AnimationPtr Animation::create(float frameRate, int32_t frameCount) {
    if (!std::isfinite(frameRate) || frameRate <= 0) throw ClipError("frameRate must be a finite number above 0");
    if (frameCount < 0 || frameCount > KELL_MAX_FRAMES)
        throw ClipError("frameCount must be from 0 to " + std::to_string(KELL_MAX_FRAMES));
    Owned anm{newAnimation()};
    if (!anm_animation_frame_rate_set_f(anm.anm, frameRate)) throw ClipError("frameRate is refused by the library");
    if (!anm_animation_number_of_frames_set_f(anm.anm, frameCount)) throw ClipError("frameCount is refused by the library");
    return std::make_shared<Animation>(anm.release(), "new clip");
}

float Animation::frameRate() const { return anm_animation_frame_rate_get_f(anm_); }
int32_t Animation::frameCount() const { return anm_animation_number_of_frames_get_f(anm_); }
int32_t Animation::figureCount() const { return anm_animation_number_of_figures_get_f(anm_); }

void Animation::refuseIfChanged() const { qmf::refuseIfChanged(anm_, label_); }

FIG_FIGURE_HANDLE Animation::figure(int32_t index) const {
    refuseIfChanged();
    FIG_FIGURE_HANDLE f = index >= 0 ? anm_animation_figure_get_by_index_f(anm_, index) : nullptr;
    if (!f) throw ClipError(label_ + ": no figure " + std::to_string(index) + " (the clip has " + std::to_string(figureCount()) + ")");
    return f;
}

qmf::PackedClip Animation::pack() const { return qmf::readPackedAnimation(anm_, label_); }

void Animation::rebuild(const qmf::PackedClip& clip) {
    Owned anm{newAnimation()};
    qmf::buildPackedClip(clip, anm.anm);
    anm_animation_dispose(anm_);
    anm_ = anm.release();
}

void renameJoints(Animation& clip, const std::vector<std::pair<std::string, std::string>>& mapping,
                  const std::string& source) {
    if (clip.figureCount() <= 0) throw ClipError("the clip has no figure to rename");
    std::vector<qmf::MapEntry> entries;
    entries.reserve(mapping.size());
    for (const auto& [from, to] : mapping) {
        for (const std::string* n : {&from, &to}) {
            if (n->empty()) throw ClipError(source + ": a name is empty");
            if (n->find('\0') != std::string::npos) throw ClipError(source + ": a name holds a NUL byte");
        }
        if (to.size() > KELL_MAX_JOINT_NAME)
            throw ClipError("joint name " + to + " is not 1 to " + std::to_string(KELL_MAX_JOINT_NAME) +
                            " bytes, as a Movantis clip needs");
        entries.push_back({from, to, 0});
    }
    qmf::PackedClip packed = clip.pack();
    const std::vector<std::string> names =
        qmf::renameClipJoints(qmf::importedJointNames(packed), entries, source, nullptr, qmf::RenameOptions(), nullptr);
    auto& joints = packed.skeletons[static_cast<std::size_t>(packed.figures[0].skeleton)].joints;
    for (std::size_t j = 0; j < joints.size(); ++j) joints[j].name = names[j];
    clip.rebuild(packed);
}

int32_t addFigure(Animation& clip, const NewSkeleton& sk) {
    const std::size_t n = sk.jointNames.size();
    if (sk.parents.size() != n || sk.roots.size() != n || sk.offsets.size() != n || sk.orientations.size() != n)
        throw ClipError("a skeleton needs as many parents, roots, offsets and orientations as joint names");
    if (n > KELL_MAX_JOINTS) throw ClipError("a skeleton holds at most " + std::to_string(KELL_MAX_JOINTS) + " joints");
    if (clip.figureCount() >= KELL_MAX_FIGURES)
        throw ClipError("a clip holds at most " + std::to_string(KELL_MAX_FIGURES) + " figures");
    if (sk.name.size() > KELL_MAX_SKELETON_NAME || sk.name.find('\0') != std::string::npos)
        throw ClipError("the skeleton name is longer than " + std::to_string(KELL_MAX_SKELETON_NAME) +
                        " bytes or holds a NUL byte");
    // The checks and the build of `qmf pack`, on a clip of this one skeleton;
    // the build only adds to the animation (its rate and length are kept).
    qmf::PackedClip one;
    one.frameRate = clip.frameRate();
    one.frameCount = clip.frameCount();
    qmf::PackedSkeleton s;
    s.name = sk.name;
    s.completed = true;
    s.completedName = sk.name;
    for (std::size_t j = 0; j < n; ++j) {
        const std::string& name = sk.jointNames[j];
        if (name.find('\0') != std::string::npos)
            throw ClipError("joint name " + std::to_string(j) + " holds a NUL byte");
        if (name.empty() || name.size() > KELL_MAX_JOINT_NAME)
            throw ClipError("joint name " + name + " is not 1 to " + std::to_string(KELL_MAX_JOINT_NAME) +
                            " bytes, as a Movantis clip needs");
        qmf::PackedJoint pj;
        pj.name = name;
        pj.parent = sk.parents[j];
        pj.root = sk.roots[j];
        pj.offset = sk.offsets[j];
        pj.orientation = sk.orientations[j];
        s.joints.push_back(std::move(pj));
    }
    one.skeletons.push_back(std::move(s));
    one.figures.emplace_back();
    qmf::checkPackedClip(one, 0);
    const int32_t index = clip.figureCount();
    qmf::buildPackedClip(one, clip.handle());
    return index;
}

}  // namespace qmfpy
