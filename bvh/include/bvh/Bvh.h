// BVH (Biovision hierarchy) motion capture: a joint HIERARCHY, then a MOTION
// block of one line of channel values per frame.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bvh {

// Limits the reader enforces; they match what a Movantis clip can hold.
constexpr std::size_t kMaxJoints = 32767;       // joints and End Sites together
constexpr std::size_t kMaxNameBytes = 127;
constexpr uint32_t kMaxFrames = 16777216;       // 2^24

enum class Channel : uint8_t { Xposition, Yposition, Zposition, Xrotation, Yrotation, Zrotation };

inline bool isRotation(Channel c) { return c >= Channel::Xrotation; }
// 0, 1, 2 for X, Y, Z.
inline int axisOf(Channel c) { return static_cast<int>(c) % 3; }
const char* channelName(Channel c);
// Case-insensitive; false for an unknown name.
bool parseChannel(std::string_view name, Channel& out);

struct Joint {
    std::string name;          // an End Site's is empty unless its line names it ("End Site Head_end")
    int32_t parent = -1;       // index into Hierarchy::joints; -1 for a ROOT
    std::array<double, 3> offset{};
    std::vector<Channel> channels;  // none, 3 or 6, in the order listed
    uint32_t firstChannel = 0;      // column of channels[0] in a frame line
    bool endSite = false;
    int line = 0;              // where the joint is declared

    bool hasPosition() const;
    bool hasRotation() const;
    // Rotation axes (0..2) in the order listed, when the joint has rotation channels.
    std::array<int, 3> rotationAxes() const;
};

struct Hierarchy {
    std::vector<Joint> joints;  // file order: every parent before its children
    uint32_t channelCount = 0;  // values per frame line
};

// The whole file in memory (tests, the fuzzer, small conversions).
struct Document {
    Hierarchy hierarchy;
    uint32_t frames = 0;
    double frameTime = 0;          // seconds per frame
    std::vector<double> values;    // frames x channelCount, frame by frame
    uint64_t ignoredLines = 0;     // frame lines past the declared count

    const double* frame(uint32_t f) const { return values.data() + std::size_t(f) * hierarchy.channelCount; }
};

// A refusal: one line, naming the line of the input where it was found.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Rotation order of a joint, as Maya names it ("xyz" turns about X first):
// the listed rotation channels reversed, since the last listed turns first.
std::string mayaRotateOrder(const Joint& joint);

}  // namespace bvh
