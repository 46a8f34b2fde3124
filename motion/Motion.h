// One in-memory model of a skeleton and its motion, whatever it was read
// from: a Movantis clip, a Maya ASCII scene or a BVH file. It is shaped like
// a clip (file units, file quaternions), so a viewer can apply the
// translator's own rules to it, and it carries what a chart of the curves
// needs (rotate channels in degrees, root translation in centimetres).
#pragma once

#include "formats/Options.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace qmf::motion {

// One-line refusals of a file the model cannot be made from.
struct MotionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Source { Clip, MayaAscii, Bvh, Fbx, Gltf, Collada, Other3d };
const char* sourceName(Source s);  // "clip", "maya", "bvh", "fbx", "gltf", "collada", "3d"

// Joint-frames a model may hold; bigger motions are refused before the
// frames are read. A page of this many is already about 100 MB.
constexpr std::size_t kMaxJointFrames = std::size_t(2) << 20;

// A body-volume primitive as the clip holds it (file units).
struct Primitive {
    enum Kind { Sphere = 0, Bone = 1 };
    int kind = Sphere;
    float radius = 0;                // sphere
    float length = 0;                // bone
    std::array<float, 3> direction{};  // bone, file space
};

struct Joint {
    std::string name;
    int parent = -1;                       // index into Motion::joints, always lower than the joint's own
    std::array<float, 3> offset{};         // file coord3 (metres, Z mirrored)
    std::array<float, 4> orientation{-1, 0, 0, 0};  // file quaternion f0..f3 of the rest pose
    std::vector<Primitive> volume;
    // What import keys the rotate channels against: the joint orientation O
    // of the scene joint (x, y, z, w) and its Euler order (0 xyz .. 5 zyx).
    std::array<double, 4> sceneOrientation{0, 0, 0, 1};
    int rotateOrder = 0;
};

struct Motion {
    Source source = Source::Clip;
    std::string path;
    double frameRate = 24;       // frames per second
    uint32_t fileFrames = 0;     // frame count as the file gives it (0 for a pose)
    double firstFrame = 0;       // the file's number of frame 0 (a scene's playback start)
    std::size_t skeletons = 0;   // distinct skeletons in the file (1 for a scene or BVH)
    std::size_t figures = 0;     // figures in the file (1 for a scene or BVH)
    char upAxis = 'y';

    std::vector<Joint> joints;   // parents before children
    // The joint the root translation moves (-1: none); it takes the offset
    // as its rest translation.
    int translatedRoot = -1;

    // Frames held (at least 1: a file without frames is its rest pose).
    uint32_t frames = 1;
    // Frames the selection (--frames, --step) holds, and which of them is
    // held first: more than `frames` when one was read alone (loadFrame).
    uint32_t selected = 1;
    uint32_t shown = 0;
    // Per frame f and joint j at [f * joints.size() + j]: the file quaternion
    // in force (a key, or the last key before, or the rest orientation).
    std::vector<std::array<float, 4>> rotations;
    // Per frame: the root translation in force, file coord3.
    std::vector<std::array<float, 3>> rootTranslation;

    // Per frame and joint: rotateX/Y/Z in degrees as import keys them
    // (joint's Euler order, each frame the closest solution to the one
    // before). Per frame: the translated root's translateX/Y/Z in cm.
    std::vector<std::array<double, 3>> rotateDegrees;
    std::vector<std::array<double, 3>> translateCm;

    // A scene's only, per frame and joint: the world position (cm) Maya shows,
    // its scale and the transforms between joints included, which a clip's
    // rotations and offsets cannot always reproduce.
    std::vector<std::array<double, 3>> scenePositions;

    std::size_t index(uint32_t frame, std::size_t joint) const { return std::size_t(frame) * joints.size() + joint; }
};

// The job's options: --plugin (the translator a BVH file is read through)
// and --unit (a BVH file's lengths) are the ones reading takes.
using LoadOptions = formats::ConvertOptions;

// Reads any of the three kinds, chosen by content (a Movantis header, a
// HIERARCHY line) and then by extension (.ma). Throws MotionError.
// Warnings (one line each) go to warn.
Motion loadMotion(const std::string& path, const LoadOptions& options, std::ostream& warn);
// Frame `frame` of the selection alone, read without the others (a BVH's
// earlier lines skipped unconverted, a scene evaluated once): for a
// picture of one frame of a long take. MotionError past the last frame.
Motion loadFrame(const std::string& path, const LoadOptions& options, uint32_t frame, std::ostream& warn);

// Scene-space world positions (cm) of every joint at a frame, computed with
// the translator's conversions and the host's maths (a scene's as Maya shows
// them). Frames past the end give the last frame.
std::vector<std::array<double, 3>> worldPositions(const Motion& m, uint32_t frame);
// The same through the clip's rules alone, for a scene too.
std::vector<std::array<double, 3>> clipPositions(const Motion& m, uint32_t frame);

// The largest extent of the skeleton's rest pose over the three axes (cm),
// at least 1: the scale tolerances and the views are measured against.
double skeletonSize(const Motion& m);

}  // namespace qmf::motion
