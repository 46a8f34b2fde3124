// The shape of the JSON form `qmf pack` reads: which members each object
// holds and requires, and the reading state kept per level of nesting.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qmf::packjson {

enum class Ctx : uint8_t {
    Root, Skeletons, Skeleton, Joints, Joint, Body, Primitives, Primitive, Bounds, Figures, Figure,
    Channels, ChannelKeys, Orientations, Orientation, OrientationKeys, Items, Skip
};

enum class Want : uint8_t { Skip, Float, Int, Frame, Name, Kind, Bool, Object, Array, ObjectOrNull, Items };

// Members each object may hold, in bit order; the required ones are in `need`.
struct Members {
    const char* const* names;
    int count;
    uint32_t need;
};

inline const char* const kRoot[] = {"frameRate", "frameCount", "skeletons", "figures"};
inline const char* const kSkeleton[] = {"name", "completed", "completedName", "joints"};
inline const char* const kJoint[] = {"name", "parent", "root", "offset", "orientation", "body"};
inline const char* const kBody[] = {"primitives", "bounds"};
inline const char* const kPrimitive[] = {"kind", "radius", "length", "direction"};
inline const char* const kBounds[] = {"min", "max"};
inline const char* const kFigure[] = {"skeleton", "channels", "orientations"};
inline const char* const kChannels[] = {"1", "2", "3"};
inline const char* const kOrientation[] = {"joint", "keys"};

inline Members membersOf(Ctx c) {
    switch (c) {
    case Ctx::Root: return {kRoot, 4, 0xf};
    case Ctx::Skeleton: return {kSkeleton, 4, 0xb};
    case Ctx::Joint: return {kJoint, 6, 0x3f};
    case Ctx::Body: return {kBody, 2, 0x3};
    case Ctx::Primitive: return {kPrimitive, 4, 0x1};
    case Ctx::Bounds: return {kBounds, 2, 0x3};
    case Ctx::Figure: return {kFigure, 3, 0x7};
    case Ctx::Channels: return {kChannels, 3, 0};
    case Ctx::Orientation: return {kOrientation, 2, 0x3};
    default: return {nullptr, 0, 0};
    }
}

// What the value at the current position must be, and where it goes.
struct Target {
    Want want = Want::Skip;
    Ctx child = Ctx::Skip;
    float* f = nullptr;
    int64_t* i = nullptr;
    int32_t* frame = nullptr;
    std::string* s = nullptr;
    bool* b = nullptr;
    std::size_t maxName = 0;
    bool emptyName = false;
};

struct Frame {
    Ctx ctx = Ctx::Skip;
    bool array = false;
    std::size_t count = 0;  // array: values begun so far
    int member = -1;        // object: member being read, -1 when unknown
    std::string key;        // object: its key, for messages
    uint32_t seen = 0;      // object: members read so far
    // Items: a fixed-size array of numbers, led by a frame for a key.
    int32_t* frameDst = nullptr;
    float* dst[4] = {};
    std::size_t want = 0;
    int channel = 0;  // ChannelKeys
};

constexpr double kFloatMax = 3.4028235677973366e38;  // rounds to FLT_MAX and no further

inline bool specialFloat(const std::string& s, float& out) {
    if (s == "inf") return out = INFINITY, true;
    if (s == "-inf") return out = -INFINITY, true;
    if (s == "nan") return out = NAN, true;
    if (s.size() == 14 && s.compare(0, 6, "nan:0x") == 0) {
        char* end = nullptr;
        unsigned long bits = std::strtoul(s.c_str() + 6, &end, 16);
        auto b = static_cast<uint32_t>(bits);
        float f;
        std::memcpy(&f, &b, sizeof f);
        if (*end == '\0' && std::isnan(f)) return out = f, true;
    }
    return false;
}

}  // namespace qmf::packjson
