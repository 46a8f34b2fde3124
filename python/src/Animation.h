// The clip behind the Python objects: one animation of the library, shared
// by the Clip and its Figures, so that rebuilding it (rename, resampling)
// swaps the new animation in under every handle at once.
#pragma once

#include "clips/PackJson.h"

#include <kell.h>

#include <memory>
#include <string>
#include <vector>

namespace qmfpy {

class Animation {
public:
    Animation(ANM_ANIMATION_HANDLE anm, std::string label);
    ~Animation();
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;

    // A clip read from path (qmf::ClipError with the tool's messages).
    static std::shared_ptr<Animation> open(const std::string& path);
    // An empty clip of that rate and length.
    static std::shared_ptr<Animation> create(float frameRate, int32_t frameCount);

    ANM_ANIMATION_HANDLE handle() const { return anm_; }
    const std::string& label() const { return label_; }
    float frameRate() const;
    int32_t frameCount() const;
    int32_t figureCount() const;
    // Figure `index`, refused (qmf::ClipError) when there is none.
    FIG_FIGURE_HANDLE figure(int32_t index) const;
    // Refuses (qmf::ClipError) a clip whose file was cut short while open.
    void refuseIfChanged() const;

    // Everything the clip holds, as plain values.
    qmf::PackedClip pack() const;
    // Replaces the animation by one built from a checked clip.
    void rebuild(const qmf::PackedClip& clip);

private:
    ANM_ANIMATION_HANDLE anm_;
    std::string label_;
};

using AnimationPtr = std::shared_ptr<Animation>;

// Figure 0's skeleton joints renamed by (clip name, new name) pairs, with
// the checks of `qmf import --map`; refusals name `source`.
void renameJoints(Animation& clip, const std::vector<std::pair<std::string, std::string>>& mapping,
                  const std::string& source);

// A new frame rate. Without resampling every key stays on its frame (the
// clip plays faster or slower); with it the keys are re-sampled at the new
// rate over the same duration: translation linearly, orientations by slerp.
void retime(Animation& clip, float frameRate, bool resample);

// Only frames first to last (within the clip), which become 0 to
// last - first. A channel without a key of its own on `first` gets one there
// holding the value in force, so the pose on every kept frame is unchanged.
void trim(Animation& clip, int64_t first, int64_t last);

// Adds a figure with a new skeleton; offsets and orientations hold 3 and 4
// floats per joint; checked as `qmf pack` checks a skeleton.
struct NewSkeleton {
    std::string name;
    std::vector<std::string> jointNames;
    std::vector<int64_t> parents;
    std::vector<bool> roots;
    std::vector<coord3> offsets;
    std::vector<quaternion> orientations;
};
int32_t addFigure(Animation& clip, const NewSkeleton& skeleton);

}  // namespace qmfpy
