// What the loaders share inside the motion library.
#pragma once

#include "formats/Formats.h"
#include "motion/Motion.h"

#include <optional>

namespace qmf::motion {

// Refuses (MotionError) a motion of more joint-frames than a model holds.
void checkSize(std::size_t frames, std::size_t joints, const std::string& path);

// The frames a model holds out of a file's: --frames A:B (whole frames from
// 0, within the file) every --step N, at most as many as a model holds (the
// longest run from A that fits, with a warning saying how to see the rest).
// With `only`, that frame of the selection alone (count 1; total says how
// many the selection holds).
using OnlyFrame = std::optional<uint32_t>;
struct Selection {
    uint32_t first = 0, count = 0, step = 1;
    uint32_t total = 0;
    uint32_t last() const { return first + (count ? count - 1 : 0) * step; }
};
Selection chooseFrames(uint32_t fileFrames, std::size_t joints, const LoadOptions& options, const std::string& path,
                       std::ostream& warn, OnlyFrame only = {});
// The refusal of a frame past the selection's last.
MotionError pastTheEnd(uint32_t frame, uint32_t count, const std::string& path);

// Fills rotateDegrees and translateCm from rotations and rootTranslation.
void computeChannels(Motion& m);

Motion loadClip(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only = {});
Motion loadMayaAscii(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only = {});
Motion loadBvh(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only = {});
// A file the assimp library reads (format says which): its take converted
// whole to a private clip, then read as a clip is, frames chosen there.
Motion loadExchange(formats::Format format, const std::string& path, const LoadOptions& options, std::ostream& warn,
                    OnlyFrame only = {});

}  // namespace qmf::motion
