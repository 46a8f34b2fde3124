// `qmf pack`: the JSON form of a Movantis animation read into plain values
// (without a JSON document in memory), checked, then handed to the library.
#pragma once

#include <kell.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qmf {

struct PackedPrimitive {
    bool bone = false;
    float size = 0;  // sphere radius or bone length
    coord3 direction{};
};

struct PackedJoint {
    std::string name;
    int64_t parent = -1;
    bool root = false;
    coord3 offset{};
    quaternion orientation{};
    bool hasBody = false;
    std::vector<PackedPrimitive> primitives;
    bool hasBounds = false;
    coord3 boundsMin{}, boundsMax{};
};

struct PackedSkeleton {
    std::string name;
    bool completed = false;
    std::string completedName;
    std::vector<PackedJoint> joints;
};

// Frames outside what a key can address are kept as -1, which every range
// check refuses.
struct PackedValueKey {
    int32_t frame;
    float value;
};

struct PackedOrientationKey {
    int32_t frame;
    quaternion q;
};

struct PackedOrientation {
    int64_t joint = 0;
    std::vector<PackedOrientationKey> keys;
};

struct PackedFigure {
    int64_t skeleton = 0;
    std::vector<PackedValueKey> channels[3];
    std::vector<PackedOrientation> orientations;
};

struct PackedClip {
    float frameRate = 0;
    int32_t frameCount = 0;
    std::vector<PackedSkeleton> skeletons;
    std::vector<PackedFigure> figures;
};

// JSON nested deeper than this is refused; the format itself uses 9 levels.
constexpr std::size_t kPackMaxDepth = 16;

// Reads the document, refusing (ClipError, one line naming the JSON path)
// bad JSON, a missing or repeated key, a value of the wrong type or range.
PackedClip parsePackJson(std::string_view text);

// Refuses what the library would drop or change rather than store: bad
// names, parents out of range or in a cycle, skeletons no figure uses, key
// frames out of range or repeated, and keys that would need more memory in
// the library than inputBytes justifies.
void checkPackedClip(const PackedClip& clip, std::size_t inputBytes);

// Adds a checked clip to an empty animation.
void buildPackedClip(const PackedClip& clip, ANM_ANIMATION_HANDLE anm);

// A new animation holding a checked clip. It owns everything added to it
// and is disposed of on every way out, a refusal while building included.
class BuiltAnimation {
public:
    explicit BuiltAnimation(const PackedClip& clip);
    ~BuiltAnimation();
    BuiltAnimation(const BuiltAnimation&) = delete;
    BuiltAnimation& operator=(const BuiltAnimation&) = delete;
    ANM_ANIMATION_HANDLE handle() const { return anm_; }

private:
    ANM_ANIMATION_HANDLE anm_;
};

}  // namespace qmf
