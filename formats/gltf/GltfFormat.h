// glTF 2.0 in the model: a writer of .glb (one binary file) and .gltf (JSON
// with its buffer inline), metres and Y up as glTF counts.
#pragma once

#include "fileio/SafeFile.h"
#include "formats/Model.h"
#include "formats/Options.h"

#include <memory>

namespace qmf::formats {

// One node per joint (rest translation and rotation), one animation: a
// rotation sampler per turning joint and a translation sampler per joint
// with position channels, LINEAR, key times in seconds. The container by
// target's extension: .gltf is text, anything else binary.
std::unique_ptr<Writer> writeGltf(const fileio::Output& target, const ConvertOptions& options);

}  // namespace qmf::formats
