// The library's parse in a child process, what it made passed back as
// bytes.
#pragma once

#include "AssimpScene.h"

#include <string>

namespace qmf::formats::assimp {

struct Limits {
    uint64_t memoryBytes = 0;  // the child's address space; 0 none
    unsigned seconds = 0;      // its processor time; 0 none
};

// Limits for a file of that size: QMF_READER_MEMORY_MB and
// QMF_READER_SECONDS when set, else 4 GB plus 40 times the file, and 300 s.
Limits limitsFor(uint64_t fileBytes);

// Reads path in a child process. Refusals and failures are FormatError,
// one line naming path and `reader` ("the FBX reader failed (killed by signal 11)").
Imported loadInChild(const std::string& path, const std::string& reader, SceneOptions options, const Limits& limits);

}  // namespace qmf::formats::assimp
