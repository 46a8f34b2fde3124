// A scene of the assimp library made from arbitrary bytes: nodes, bones,
// takes of keys and metadata, each count and value taken from the input,
// so the fuzzer reaches what real importers hand qmf (and what they should
// not). The seeds are scenes written back into these bytes.
#pragma once

#include <assimp/scene.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace scenefuzz {

struct Options {
    int kind = 0;           // qmf::formats::assimp::Kind
    std::string take;
    double rate = 0;
};

std::unique_ptr<aiScene> sceneFromBytes(const uint8_t* data, std::size_t size, Options& options);

// Writes the seed inputs into folder (a walk, takes that need sampling,
// units and axes, copies and containers), returning how many.
int writeSeeds(const std::string& folder);

}  // namespace scenefuzz
