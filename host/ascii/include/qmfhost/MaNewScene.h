// Writes a Maya ASCII scene made from nothing: a skeleton of joints, for a
// user who has a clip or a capture but no rig.
#pragma once

#include "qmfhost/MaScene.h"

#include <string>
#include <vector>

namespace qmfhost::ma {

struct NewJoint {
    std::string name;   // a valid Maya name, unique in the scene
    int parent = -1;    // index of an earlier joint; -1 for a top-level joint
    Vec3 translate{};   // centimetres
    Vec3 jointOrient{}; // radians, rotation order xyz
};

// The scene's text: centimetres, degrees and the given time unit (a name
// applyUnitFlag accepts), one joint node per entry, each parent's scale
// feeding its children's inverse scale as Maya connects them. Numbers read
// back as the same doubles. Throws std::invalid_argument for a parent that
// is not an earlier joint, a duplicate or empty name, or a non-finite value.
std::string writeJointScene(const std::vector<NewJoint>& joints, const std::string& timeUnit);

// The Maya time unit for a frame rate: a named unit (film, pal, ntsc...) or
// "<n>fps" when Maya has one for that rate, else "" (no unit keeps the frames
// whole; the caller picks one).
std::string timeUnitFor(double framesPerSecond);

}  // namespace qmfhost::ma
