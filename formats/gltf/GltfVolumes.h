// The body volumes of a skeleton as one glTF mesh skinned to its joints:
// spheres about joints and capsules along bones, so a viewer shows a figure.
#pragma once

#include "GltfContainer.h"
#include "formats/Model.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qmf::formats::gltf {

// Each joint's rest rotation (x, y, z, w) and translation in metres, as the
// nodes hold them.
struct RestPose {
    std::vector<std::array<double, 4>> rotation;
    std::vector<std::array<double, 3>> translation;
};

// The mesh's data, kept until the buffer is written.
struct VolumeMesh {
    std::vector<float> positions, normals, weights, inverseBind;
    std::vector<uint16_t> joints;
    std::vector<uint32_t> indices;
};

// Adds the mesh, its skin and a node holding both (a root of the scene) to
// json, their data to buffer and accessors. A clip's volumes as it holds
// them; a skeleton without any gets a capsule from each joint to each child.
// The skin holds the first root's tree. False when there is nothing to show.
bool addVolumes(const Skeleton& s, const RestPose& rest, double cmToMetres, nlohmann::json& json,
                nlohmann::json& accessors, Buffer& buffer, VolumeMesh& mesh);

}  // namespace qmf::formats::gltf
