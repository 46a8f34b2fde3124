// A rig's joints as plain values: what a script needs to turn a clip's keys
// into the angles an import keys (joint orients and rotate orders).
#pragma once

#include <array>
#include <string>
#include <vector>

namespace qmf::formats {

struct RigJoint {
    std::string name;                  // as the scene names it (short name)
    int parent = -1;                   // index into the list, -1 for a root (no joint above)
    std::array<double, 3> jointOrient{};  // degrees, X Y Z (Maya's jointOrient)
    int rotateOrder = 0;               // Maya's rotateOrder: 0 xyz .. 5 zyx
    std::array<double, 3> translate{};    // centimetres, the joint's translate at `time`
    std::array<double, 3> rotate{};       // degrees, the joint's rotate at `time`
};

// The joints of a Maya ASCII scene in the translator's walk order, the scene
// posed at time (frames of its time unit; "" its current time). Refuses
// (FormatError) what the scene readers refuse.
std::vector<RigJoint> readRig(const std::string& path, const std::string& time);

}  // namespace qmf::formats
