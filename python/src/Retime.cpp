// A new frame rate, keeping the keys on their frames or re-sampling them.
#include "Animation.h"

#include "clips/Clip.h"
#include "clips/Resample.h"

#include <kell_authoring.h>

#include <cmath>

namespace qmfpy {

using qmf::ClipError;

void retime(Animation& clip, float frameRate, bool resample) {
    if (!std::isfinite(frameRate) || frameRate <= 0) throw ClipError("frameRate must be a finite number above 0");
    if (!resample) {
        if (!anm_animation_frame_rate_set_f(clip.handle(), frameRate)) throw ClipError("frameRate is refused by the library");
        return;
    }
    const uint64_t budget = qmf::clipMemoryBudget(anm_animation_memory_size_get_f(clip.handle()));
    clip.rebuild(qmf::resampledClip(clip.pack(), frameRate, budget));
}

namespace {

// Keys of one track from first to last, moved to start at 0; the value in
// force at first is keyed there when the track had none of its own.
template <typename Key>
std::vector<Key> trimmed(const std::vector<Key>& keys, int32_t first, int32_t last) {
    std::vector<Key> out;
    const Key* held = nullptr;
    for (const Key& k : keys) {
        if (k.frame < first) held = &k;
        else if (k.frame <= last) out.push_back(k);
    }
    if (held && (out.empty() || out.front().frame != first)) {
        Key k = *held;
        k.frame = first;
        out.insert(out.begin(), k);
    }
    for (Key& k : out) k.frame -= first;
    return out;
}

}  // namespace

void trim(Animation& clip, int64_t first, int64_t last) {
    const qmf::PackedClip old = clip.pack();
    if (first < 0 || last < first || last >= old.frameCount)
        throw ClipError("trim(" + std::to_string(first) + ", " + std::to_string(last) + ") needs 0 <= first <= last < " +
                        std::to_string(old.frameCount) + ", the clip's frame count");
    qmf::PackedClip out = old;
    out.frameCount = static_cast<int32_t>(last - first + 1);
    const auto a = static_cast<int32_t>(first), b = static_cast<int32_t>(last);
    for (qmf::PackedFigure& f : out.figures) {
        for (auto& channel : f.channels) channel = trimmed(channel, a, b);
        for (auto& o : f.orientations) o.keys = trimmed(o.keys, a, b);
    }
    clip.rebuild(out);
}

}  // namespace qmfpy
