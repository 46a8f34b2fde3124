// A figure's keys to and from flat arrays, one pass over the library's keys.
#pragma once

#include <kell.h>

#include <cstdint>

namespace qmfpy {

// Root translation channel (1..3) over `frames` frames: values[f] and
// keyed[f] (0 or 1); frames without a key read 0.
void readChannel(FIG_FIGURE_HANDLE figure, int32_t channel, int32_t frames, float* values, uint8_t* keyed);
// Keys every frame whose keyed[f] is nonzero (every frame when keyed is
// null) and clears the others.
void writeChannel(FIG_FIGURE_HANDLE figure, int32_t channel, int32_t frames, const float* values, const uint8_t* keyed);

// Orientation keys, frame-major: keys[(f * joints + j) * 4 + i], keyed[f * joints + j].
void readOrientations(FIG_FIGURE_HANDLE figure, int32_t frames, int32_t joints, float* keys, uint8_t* keyed);
void writeOrientations(FIG_FIGURE_HANDLE figure, int32_t frames, int32_t joints, const float* keys,
                       const uint8_t* keyed);

}  // namespace qmfpy
