// FBX, glTF, Collada and the other formats the assimp library reads, in the
// model. The library parses in a child process with limits on its memory
// and processor time, so a crash or a hang in it is one line.
#pragma once

#include "formats/Formats.h"
#include "formats/Model.h"
#include "formats/Options.h"

#include <memory>
#include <string>
#include <vector>

namespace qmf::formats {

// The motion of one take (options.take, else the first with keys), its
// rotations as file quaternions, or as angles (form Euler) for a writer of
// angles.
std::unique_ptr<Reader> readAssimp(Format format, const std::string& path, const ConvertOptions& options,
                                   Rotations form = Rotations::FileQuaternion);

struct TakeSummary {
    std::string name;
    double seconds = 0, rate = 0;
    uint32_t frames = 0;
};
struct FileSummary {
    std::vector<std::string> joints;  // the skeleton read, parents first
    std::vector<TakeSummary> takes;
    std::vector<std::string> notes;   // what reading applies ("metres → cm (×100)")
};
// The skeleton and the takes, for qmf info.
FileSummary describeAssimp(Format format, const std::string& path, const ConvertOptions& options);

}  // namespace qmf::formats
