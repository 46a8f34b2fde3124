// Which way is up in a skeleton at rest: BVH files do not say, and many
// captures are recorded Z up. --up auto asks this; --up z turns a source
// so that it stands on Y.
#pragma once

#include "formats/Model.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace qmf::formats {

struct UpGuess {
    char axis = 'y';   // 'y' or 'z'
    std::string how;   // "Z up (from the feet to the head)"
};

// From joints' rest positions (scene axes, parents before children): the
// direction from the feet to the head when names give both (foot, toe,
// ankle; head), else from the root to the end farthest from it. An up
// neither +Y nor +Z is said and left as Y.
UpGuess guessUp(const std::vector<std::string>& names, const std::vector<int>& parents,
                const std::vector<std::array<double, 3>>& positions);
// The same for a skeleton's offsets, as they sum at rest, or posed as a
// frame poses it.
UpGuess guessUp(const Skeleton& skeleton);
UpGuess guessUp(const Skeleton& skeleton, const Frame& frame);

// "y", "z" or "auto" as --up takes them; FormatError otherwise.
std::string parseUp(const std::string& text);

// The source turned to stand on Y (its roots' rotation and translation
// turned −90° about X) when up is "z", or "auto" finds Z up; "y" and ""
// leave it. "auto" says what it found, in one line, with the reader's
// warnings.
std::unique_ptr<Reader> turnUp(std::unique_ptr<Reader> source, const std::string& up);

}  // namespace qmf::formats
