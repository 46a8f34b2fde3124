// A clip re-sampled at another frame rate over the same duration, for
// keys on a scene's whole frames and for the Python module's retime.
#pragma once

#include "clips/PackJson.h"

namespace qmf {

// Frame g of the result is at old frame g * old rate / frameRate; the last
// is the last within the old last frame's time. Translation is sampled
// linearly and orientations by shortest-arc slerp; a new frame on an old key
// copies it exactly; before a track's first key or after its last there is
// no key. ClipError for a rate that is not above 0 or needs too many frames.
PackedClip resampledClip(const PackedClip& clip, float frameRate);

}  // namespace qmf
