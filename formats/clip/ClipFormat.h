// Movantis clips in the model. The writer goes through the translator's own
// writer for the skeleton, so a skeleton from any source follows export's
// rules; the frames are added through the library's authoring interface.
#pragma once

#include "fileio/SafeFile.h"
#include "formats/Model.h"
#include "formats/Options.h"

#include <kell.h>

#include <memory>
#include <string>

namespace qmf::formats {

// A clip read key by key: the first figure's skeleton, roots in joint order
// and each one's joints depth first, and each frame's keys, a channel
// without a key holding the one before (the rest pose before the first).
// `needsJoints` ends the refusal of a clip without joints ("a BVH file").
std::unique_ptr<Reader> readClip(const std::string& path, const std::string& needsJoints);

// A clip written to target (already checked) by the translator loaded from
// options.plugin.
std::unique_ptr<Writer> writeClip(const fileio::Output& target, const ConvertOptions& options);

// Disposes of an animation on every way out.
class AnimationHandle {
public:
    explicit AnimationHandle(ANM_ANIMATION_HANDLE a) : a_(a) {}
    ~AnimationHandle() { anm_animation_dispose(a_); }
    AnimationHandle(const AnimationHandle&) = delete;
    AnimationHandle& operator=(const AnimationHandle&) = delete;
    ANM_ANIMATION_HANDLE get() const { return a_; }

private:
    ANM_ANIMATION_HANDLE a_;
};

}  // namespace qmf::formats
