// What the loaders share inside the motion library.
#pragma once

#include "motion/Motion.h"

namespace qmf::motion {

// Refuses (MotionError) a motion of more joint-frames than a model holds.
void checkSize(std::size_t frames, std::size_t joints, const std::string& path);

// Fills rotateDegrees and translateCm from rotations and rootTranslation.
void computeChannels(Motion& m);

Motion loadClip(const std::string& path);
Motion loadMayaAscii(const std::string& path, std::ostream& warn);
Motion loadBvh(const std::string& path, const LoadOptions& options, std::ostream& warn);

}  // namespace qmf::motion
