// From the assimp library's scene to what the reader hands on: the project's
// own part of reading FBX, glTF, Collada and the rest, kept apart from the
// library's parse so that it is tested and fuzzed on scenes made by hand.
#pragma once

#include "Imported.h"

#include <array>
#include <cstdint>
#include <string>

struct aiScene;

namespace qmf::formats::assimp {

enum class Kind { Fbx, Gltf, Collada, Other };

struct SceneOptions {
    Kind kind = Kind::Other;
    std::string take;                 // --take NAME|N (N counts from 1, as info lists them); "" the first with keys
    double rate = 0;                  // --rate R; 0: the keys' own grid, else the file's rate, else 30
    double unitToCm = 1;              // a file that states no unit: its lengths times this are centimetres
    double statedCm = 0;              // Collada's <unit>: centimetres in one of the file's units; 0 none
    std::array<double, 3> statedUp{0, 1, 0};  // Collada's <up_axis>
    bool listOnly = false;            // the skeleton and the list of takes, no frames (qmf info)
    uint64_t maxValues = uint64_t(1) << 30;  // frames × joints at most, so a take of absurd length is refused
};

// Throws ImportedError with one line (without the path) for a scene qmf
// cannot read: no nodes to make a skeleton of, a take not in the file, a
// take too long.
Imported fromScene(const aiScene& scene, const SceneOptions& options);

}  // namespace qmf::formats::assimp
