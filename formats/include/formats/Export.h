// `qmf export`'s job: a Maya ASCII scene's skeleton through the translator's
// writer into a new Movantis file.
#pragma once

#include "formats/Options.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace qmf::formats {

// Reads the scene into the host, poses it at options.time (frames of the
// scene's time unit; "" keeps its current time) and has the translator
// loaded from options.plugin write the skeleton to out, atomically. Returns
// the joints exported. Refusals are FormatError, one line; warnings (a
// channel the host cannot evaluate) go to warn.
std::size_t exportScene(const std::string& scenePath, const std::string& out, const ConvertOptions& options,
                        std::ostream& warn);

}  // namespace qmf::formats
