// The library's in-memory model: animations, figures with their key tracks,
// skeletons and part objects, and the registry of live objects.
#ifndef KELL_MODEL_H
#define KELL_MODEL_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "forest.h"
#include "kell.h"
#include "kell_authoring.h"

namespace kell {

// The flag of every image that is not a mapped file: never raised.
extern const std::atomic<uint32_t> kNeverChanged;

// The bytes of an opened file, kept for the animation's life. Large files
// are mapped read-only (mapping.h), so opening one neither allocates nor
// copies it; other images are read into memory of their own, large ones
// into a mapping with transparent huge pages requested.
class FileImage {
public:
    FileImage() = default;
    // Writable memory for `size` bytes; null data when memory runs out.
    explicit FileImage(size_t size);
    // The file open on `fd` mapped read-only; an empty image when it cannot
    // be mapped. Its bytes must not be written.
    static FileImage mapFile(int fd, size_t size);
    ~FileImage();
    FileImage(FileImage &&other) noexcept;
    FileImage &operator=(FileImage &&other) noexcept;
    FileImage(const FileImage &) = delete;
    FileImage &operator=(const FileImage &) = delete;
    uint8_t *data() const { return data_; }
    size_t size() const { return size_; }
    // The file behind a mapped image was cut short while open: its bytes
    // now read as zeros, which are not what the file held.
    bool changed() const { return changed_ && changed_->load(std::memory_order_relaxed) != 0; }
    const std::atomic<uint32_t> *changedFlag() const { return changed_ ? changed_ : &kNeverChanged; }

private:
    void release();
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;  // length of the mapping, 0 when from the heap
    bool file_ = false;  // a guarded mapping of the file itself
    const std::atomic<uint32_t> *changed_ = nullptr;  // the guard's flag for it
};

// A sequence of keys for one channel (4-byte values) or one joint (16-byte
// quaternions). An opened file's tracks point into the animation's file image
// and keep the file's presence encoding, so opening costs no copy; the first
// edit turns a track into the Dense form, which authoring can change freely.
struct Track {
    enum class Mode : uint8_t { Empty, All, Bitmap, List, Dense };

    Mode mode = Mode::Empty;
    uint32_t width = 4;   // bytes per key value
    int32_t keys = 0;     // keyed frames
    int32_t span = 0;     // frames the track covers (the animation's count)

    // All / Bitmap / List: views into the file image.
    const uint8_t *bits = nullptr;    // Bitmap: ceil(count / 8) bytes, frame f at bit f % 8 of byte f / 8
    const uint8_t *frames = nullptr;  // List: `keys` little-endian u32 frames, increasing
    const uint8_t *values = nullptr;  // the keyed values in frame order
    std::vector<uint32_t> rank;       // Bitmap: keys before each 256-frame block

    // Dense: one presence bit and one value slot per frame.
    std::vector<uint64_t> present;
    std::vector<uint8_t> slots;

    explicit Track(uint32_t valueWidth = 4) : width(valueWidth) {}

    // Address of the value keyed at `frame`, or null, for any frame: a
    // keyed track always spans exactly the animation's frame count, so this
    // one unsigned comparison also refuses negative frames and frame `count`.
    const uint8_t *find(int32_t frame) const {
        const auto f = static_cast<uint32_t>(frame);
        if (f >= static_cast<uint32_t>(span)) return nullptr;
        switch (mode) {
        case Mode::Empty:
            return nullptr;
        case Mode::All:
            return values + static_cast<size_t>(f) * width;
        case Mode::Dense:
            if (!((present[f >> 6] >> (f & 63)) & 1u)) return nullptr;
            return slots.data() + static_cast<size_t>(f) * width;
        case Mode::Bitmap:
            return findBitmap(f);
        case Mode::List:
            return findList(f);
        }
        return nullptr;
    }

    int32_t nextKey(int32_t from, int32_t count) const;
    // Turns the track into the Dense form for `count` frames, dropping keys at
    // frames >= count. Throws std::bad_alloc when memory runs out.
    void makeDense(int32_t count);
    void set(int32_t frame, const void *value, int32_t count);
    void clear(int32_t frame, int32_t count);
    size_t memory() const;

private:
    const uint8_t *findBitmap(uint32_t f) const;
    const uint8_t *findList(uint32_t f) const;
};

// Tags that tell live objects apart from stale or foreign pointers.
constexpr uint32_t kAnimationTag = 0x4D494E41u;  // "ANIM"
constexpr uint32_t kFigureTag = 0x52474946u;     // "FIGR"
constexpr uint32_t kSkeletonTag = 0x4C454B53u;   // "SKEL"
constexpr uint32_t kPartTag = 0x54524150u;       // "PART"

}  // namespace kell

struct POB_PART_OBJECT_STRUCT {
    struct Primitive {
        int32_t kind;
        float radius;
        float length;
        coord3 direction;
    };
    uint32_t tag = kell::kPartTag;
    std::vector<Primitive> primitives;
    bool hasBounds = false;
    coord3 boundsMin{0, 0, 0};
    coord3 boundsMax{0, 0, 0};
    DT_DATA_DIRECTORY_TYPE_STRUCT *owner = nullptr;  // the skeleton it is attached to
};

namespace kell {
struct Joint {
    std::string name;
    SKL_JOINT_ID parent = SKL_NO_JOINT;
    bool root = false;
    coord3 offset{0, 0, 0};
    quaternion orientation{0, 0, 0, 0};
    POB_PART_OBJECT_STRUCT *part = nullptr;
};
}  // namespace kell

// The skeleton. Its handle is the address of `self`, which points back at the
// skeleton: the pointer-to-pointer shape the traversal callback receives.
struct DT_DATA_DIRECTORY_TYPE_STRUCT {
    DT_DATA_DIRECTORY_TYPE_STRUCT *self = this;
    uint32_t tag = kell::kSkeletonTag;
    std::string name;
    bool completed = false;
    std::string completedName;
    std::vector<kell::Joint> joints;
    ANM_ANIMATION_STRUCT *owner = nullptr;  // the animation it was added to
    // Indexes of the links (forest.h); they change only through its calls.
    kell::ForestIndex forest;
    std::shared_ptr<const kell::Walk> walk;
};

struct FIG_FIGURE_STRUCT {
    uint32_t tag = kell::kFigureTag;
    ANM_ANIMATION_STRUCT *animation = nullptr;
    DT_DATA_DIRECTORY_TYPE_STRUCT *skeleton = nullptr;
    kell::Track root[3];                 // channels 1..3
    std::vector<kell::Track> joints;      // grows with the skeleton; missing = no keys
    // The animation's file image's flag, here for the per-key path.
    const std::atomic<uint32_t> *fileChanged = &kell::kNeverChanged;
};

struct ANM_ANIMATION_STRUCT {
    uint32_t tag = kell::kAnimationTag;
    float frameRate = 30.0f;
    int32_t frameCount = 0;
    std::vector<std::unique_ptr<FIG_FIGURE_STRUCT>> figures;
    // The bytes of the file it was opened from; tracks point into them.
    kell::FileImage image;
    std::string path;  // the file it was opened from, "" when from memory
};

namespace kell {

using Skeleton = DT_DATA_DIRECTORY_TYPE_STRUCT;
using Part = POB_PART_OBJECT_STRUCT;
using Animation = ANM_ANIMATION_STRUCT;
using Figure = FIG_FIGURE_STRUCT;

// Every object the library has handed out and not yet released. Handles are
// checked against it, so a stale or foreign handle is refused, and the last
// library exit releases whatever is still alive.
struct Registry {
    std::unordered_set<Animation *> animations;
    std::unordered_set<Skeleton *> skeletons;
    std::unordered_set<Part *> parts;
    int initCount = 0;
};
Registry &registry();

Animation *liveAnimation(ANM_ANIMATION_HANDLE handle);
Skeleton *liveSkeleton(SKL_SKELETON_HANDLE handle);
Part *livePart(POB_PART_OBJECT_HANDLE handle);
inline Figure *liveFigure(FIG_FIGURE_HANDLE handle) {
    // Figures sit on the per-key path, so only their tag is checked.
    return handle && handle->tag == kFigureTag ? handle : nullptr;
}
inline SKL_SKELETON_HANDLE handleOf(Skeleton *s) { return &s->self; }

// False once the file a figure's keys are read from was cut short while
// open: from then on every read of it fails, so zeros are never keys.
inline bool intact(const Figure *f) { return f->fileChanged->load(std::memory_order_relaxed) == 0; }
inline bool intact(const Animation *a) { return !a->image.changed(); }

Animation *newAnimation();
Skeleton *newSkeleton(std::string name);
Part *newPart();
Figure *addFigure(Animation *animation, Skeleton *skeleton);
void releaseAnimation(Animation *animation);
void releaseSkeleton(Skeleton *skeleton);
void releasePart(Part *part);
void releaseEverything();

size_t animationMemory(const Animation &animation);

// Track of a joint for writing, created on demand; the joint id is valid.
Track &jointTrack(Figure &figure, SKL_JOINT_ID joint);
inline const Track *jointTrackIfAny(const Figure &figure, SKL_JOINT_ID joint) {
    return static_cast<size_t>(joint) < figure.joints.size() ? &figure.joints[joint] : nullptr;
}

void computeBounds(Part &part);

inline uint32_t load32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace kell

#endif
