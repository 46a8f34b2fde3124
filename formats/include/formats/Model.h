// Where readers and writers meet: a skeleton, then its frames one at a
// time, so a long capture is never held whole. A route between two formats
// is one reader and one writer (see Routes.h).
#pragma once

#include <kell.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace qmf::formats {

// How a source gives its rotations: Euler angles as captured (BVH), or the
// file quaternions a clip stores. Writers take either as it comes, so no
// route pays a conversion it does not need (and loses no bit to one).
// A scene gives both: the angles its joints are keyed with, and the file
// quaternion export would write.
enum class Rotations { Euler, FileQuaternion, Both };

// A body volume of a joint, as a clip holds it: a sphere about the joint, or
// a bone from it. Scene axes, centimetres; the direction is unit, in the
// joint's own frame at rest.
struct Volume {
    bool bone = false;
    double radius = 0;                 // sphere
    double length = 0;                 // bone
    std::array<double, 3> direction{};  // bone
};

struct Joint {
    std::string name;
    int parent = -1;                 // index into Skeleton::joints, lower than the joint's own; -1 a root
    std::array<double, 3> offset{};  // rest translation from the parent: scene axes, Skeleton::lengthUnit
    bool endSite = false;            // a named end of a chain without channels (BVH End Site)
    bool position = false;           // it has position channels
    bool rotation = false;           // it has rotation channels (a clip: orientation keys)
    int rotateOrder = 0;             // Rotations::Euler: order of its angles, 0 xyz .. 5 zyx
    quaternion rest{-1, 0, 0, 0};    // Rotations::FileQuaternion: the rest orientation, held before a first key
    std::size_t line = 0;            // where the source declares it, for messages (0: no lines)
    std::vector<Volume> volumes;     // a clip's body volumes (none from other sources)
};

struct Skeleton {
    std::string path;                // the source as the user named it, for messages
    Rotations rotations = Rotations::Euler;
    std::vector<Joint> joints;       // parents before children
    double lengthToCm = 1.0;         // offsets and positions times this are centimetres
    std::string lengthUnit = "cm";   // its name in the unit table (Units.h)
    double frameTime = 1.0 / 24;     // seconds per frame
    uint32_t frames = 0;
    // A clip file holding exactly this motion, when the source is one: a
    // writer that needs the translator's reader reads it directly.
    std::string clipFile;
    // The skeleton is the scene loaded in the host, posed as it was read:
    // the translator's writer writes it as export does.
    bool inHost = false;
};

// One frame's values, per joint in Skeleton::joints order. Readers reuse
// the vectors from frame to frame.
struct Frame {
    std::vector<std::array<double, 3>> euler;     // Euler, Both: radians by axis (x, y, z) in the joint's order
    std::vector<quaternion> fileRotation;         // FileQuaternion, Both: the key in force (held from the last one)
    std::vector<char> keyed;                      // FileQuaternion: whether this frame has a key of its own
    std::vector<std::array<double, 3>> position;  // joints with position channels, scene axes, lengthUnit
    bool rootKeyed = true;                        // joint 0's position is a key of this frame, not a held one
};

class Reader {
public:
    virtual ~Reader() = default;
    virtual const Skeleton& skeleton() const = 0;
    // What the source said that the user should know (one line each, with
    // "qmf: warning: "); printed once the writer has accepted the skeleton.
    virtual void warn(std::ostream&) {}
    // The next frame, false after the last. Refusals are FormatError.
    virtual bool next(Frame& frame) = 0;
    // Passes over the next frame, converting as little as the source
    // allows (scratch may be used for it); false after the last.
    virtual bool skip(Frame& scratch) { return next(scratch); }
    // What the frames showed that the output cannot hold, once all are read.
    virtual void warnAfter(std::ostream&) {}
    // For a source of Rotations::Both: the one form its writer reads, so the
    // other is not worked out per frame (its vector may then stay empty).
    // Both, or ignoring this, gives both.
    virtual void serve(Rotations) {}
};

// What a writer reports for the command's closing line.
struct Written {
    std::size_t joints = 0;
    uint32_t frames = 0;
    std::string summary;  // after "converted IN to OUT: "
};

class Writer {
public:
    virtual ~Writer() = default;
    // Refusals of the skeleton, before anything is said or made.
    virtual void check(const Skeleton&) {}
    // Which rotations it reads of a source that gives both.
    virtual Rotations reads() const { return Rotations::Both; }
    virtual void begin(const Skeleton& skeleton, std::ostream& warn) = 0;
    virtual void frame(const Frame& frame) = 0;
    // Writes the output atomically; nothing is there until this returns.
    virtual Written finish(std::ostream& warn) = 0;
};

// The frames options.frames and options.step choose out of a source read
// frame by frame (a capture, a clip): whole frames from 0, within the file.
// The others are passed over with Reader::skip.
std::unique_ptr<Reader> selectFrames(std::unique_ptr<Reader> source, const std::string& frames, uint32_t step);

// Only the joint named root and its descendants (options.root), the
// transform of its ancestors on the first frame folded into it: its offset
// and every frame's rotation and position become world ones. "" keeps all.
std::unique_ptr<Reader> selectRoot(std::unique_ptr<Reader> source, const std::string& root);

// A number of frames as a flag's value (--time, --start); FormatError
// "FLAG needs a number of frames, not 'x'" otherwise, `flag` as the user reads it.
double parseFrameNumber(const std::string& text, const std::string& flag);

// --frames' value: A:B (A <= B), or a FormatError naming what is wrong.
struct FrameRange {
    double first = 0, last = 0;
};
FrameRange parseFrameRange(const std::string& text);

// Every frame of reader through writer, warnings to warn: the writer checks
// the skeleton, the reader's warnings follow, then begin, frames, finish,
// and what the reader saw in the frames.
Written transfer(Reader& reader, Writer& writer, std::ostream& warn);

// "a, b, c" for a warning, at most `limit` names then "and N more".
std::string nameList(const std::vector<std::string>& names, std::size_t limit = 8);

}  // namespace qmf::formats
