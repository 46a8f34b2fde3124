// The two halves of reading an assimp scene: the skeleton picked out of its
// nodes, then the take sampled onto it.
#pragma once

#include "AssimpScene.h"
#include "SceneMath.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct aiNode;

namespace qmf::formats::assimp {

struct Picked {
    std::vector<const aiNode*> nodes;               // per joint
    std::unordered_map<std::string, int> jointOf;   // a node's name to its joint (the first joint of that name)
    std::unordered_set<std::string> above;          // names of the nodes above the root
    std::vector<Vec> restT, restS;                  // each joint's own rest translation and scale, file units
    std::vector<Quat> restR;
    std::vector<double> parentScale;                // the scale of everything above each joint, uniform part
    Quat aboveRotation;                             // the world above the root, the turn to Y up included
    Vec aboveTranslation{};                         //   (its translation, in file units scaled)
    double aboveScale = 1;
    double toCm = 1;                                // file units to centimetres
};

// A number the file's metadata holds under key, of any number type; fallback otherwise.
double metaNumber(const aiScene& scene, const char* key, double fallback);

Picked pickSkeleton(const aiScene& scene, const SceneOptions& options, Imported& out);
void readTake(const aiScene& scene, const SceneOptions& options, const Picked& picked, Imported& out);

}  // namespace qmf::formats::assimp
