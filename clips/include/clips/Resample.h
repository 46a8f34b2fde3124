// A clip re-sampled at another frame rate over the same duration, for
// keys on a scene's whole frames and for the Python module's retime.
#pragma once

#include "clips/PackJson.h"

#include <cstdint>

namespace qmf {

// Frame g of the result is at old frame g * old rate / frameRate; the last
// is the last within the old last frame's time. Translation is sampled
// linearly and orientations by shortest-arc slerp; a new frame on an old key
// copies it exactly; before a track's first key or after its last there is
// no key. ClipError for a rate that is not above 0 or needs too many frames,
// or, when budgetBytes is not 0, whose keys would take more memory than that.
PackedClip resampledClip(const PackedClip& clip, float frameRate, uint64_t budgetBytes = 0);

// What a request may make of a clip (dense key arrays, a resampled copy):
// twice what the clip holds or 1 GiB, whichever is more.
inline uint64_t clipMemoryBudget(uint64_t heldBytes) {
    const uint64_t gib = uint64_t{1} << 30;
    return heldBytes > gib / 2 ? 2 * heldBytes : gib;
}

}  // namespace qmf
