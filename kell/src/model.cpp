#include "model.h"

#include <sys/mman.h>

#include "mapping.h"

#include <algorithm>
#include <cmath>

namespace kell {

// ---- File images ----------------------------------------------------------

const std::atomic<uint32_t> kNeverChanged{0};

namespace {
// Below this, the heap is as quick, and sanitizers watch heap blocks closely.
constexpr size_t kMapThreshold = size_t{8} << 20;
constexpr size_t kHugePage = size_t{2} << 20;
}  // namespace

FileImage::FileImage(size_t size) {
    if (size >= kMapThreshold) {
        const size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
        void *p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
            (void)::madvise(p, length, MADV_HUGEPAGE);  // a hint; fine if refused
#endif
            data_ = static_cast<uint8_t *>(p);
            size_ = size;
            mapped_ = length;
        }
        return;
    }
    data_ = new (std::nothrow) uint8_t[size ? size : 1];
    if (data_) size_ = size;
}

FileImage FileImage::mapFile(int fd, size_t size) {
    FileImage image;
    if (size < kMapThreshold) return image;
    const Guarded g = mapGuarded(fd, size);
    if (g.data) {
        image.data_ = const_cast<uint8_t *>(g.data);
        image.size_ = image.mapped_ = size;
        image.file_ = true;
        image.changed_ = g.changed;
    }
    return image;
}

FileImage::~FileImage() { release(); }

FileImage::FileImage(FileImage &&other) noexcept
    : data_(other.data_), size_(other.size_), mapped_(other.mapped_), file_(other.file_), changed_(other.changed_) {
    other.data_ = nullptr;
    other.size_ = other.mapped_ = 0;
    other.file_ = false;
    other.changed_ = nullptr;
}

FileImage &FileImage::operator=(FileImage &&other) noexcept {
    if (this != &other) {
        release();
        data_ = other.data_;
        size_ = other.size_;
        mapped_ = other.mapped_;
        file_ = other.file_;
        changed_ = other.changed_;
        other.data_ = nullptr;
        other.size_ = other.mapped_ = 0;
        other.file_ = false;
        other.changed_ = nullptr;
    }
    return *this;
}

void FileImage::release() {
    if (file_) unmapGuarded(data_, mapped_);
    else if (mapped_) ::munmap(data_, mapped_);
    else delete[] data_;
    data_ = nullptr;
    size_ = mapped_ = 0;
    file_ = false;
    changed_ = nullptr;
}

// ---- Tracks ----------------------------------------------------------------

const uint8_t *Track::findBitmap(uint32_t f) const {
    const uint32_t byte = f >> 3;
    if (!((bits[byte] >> (f & 7)) & 1u)) return nullptr;
    // Rank: keys before the 256-frame block, then the block's bytes before f.
    uint32_t index = rank[f >> 8];
    uint32_t p = (f >> 8) << 5;
    for (; p + 8 <= byte; p += 8) {
        uint64_t w;
        std::memcpy(&w, bits + p, 8);
        index += static_cast<uint32_t>(__builtin_popcountll(w));
    }
    for (; p < byte; ++p) index += static_cast<uint32_t>(__builtin_popcount(bits[p]));
    index += static_cast<uint32_t>(__builtin_popcount(bits[byte] & ((1u << (f & 7)) - 1u)));
    // Only a file rewritten while mapped can make the bits disagree with the
    // count checked at open; the values must still be read within bounds.
    if (index >= static_cast<uint32_t>(keys)) return nullptr;
    return values + static_cast<size_t>(index) * width;
}

const uint8_t *Track::findList(uint32_t f) const {
    uint32_t lo = 0, hi = static_cast<uint32_t>(keys);
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        const uint32_t at = load32(frames + static_cast<size_t>(mid) * 4);
        if (at == f) return values + static_cast<size_t>(mid) * width;
        if (at < f) lo = mid + 1;
        else hi = mid;
    }
    return nullptr;
}

int32_t Track::nextKey(int32_t from, int32_t count) const {
    if (from < 0) from = 0;
    count = std::min(count, span);
    if (from >= count || mode == Mode::Empty) return -1;
    const auto f = static_cast<uint32_t>(from);
    const auto n = static_cast<uint32_t>(count);
    switch (mode) {
    case Mode::Empty:
        return -1;
    case Mode::All:
        return from;
    case Mode::Bitmap:
        for (uint32_t i = f; i < n; ++i) {
            if ((i & 7) == 0 && bits[i >> 3] == 0) {  // skip an empty byte at once
                i += 7;
                continue;
            }
            if ((bits[i >> 3] >> (i & 7)) & 1u) return static_cast<int32_t>(i);
        }
        return -1;
    case Mode::List: {
        uint32_t lo = 0, hi = static_cast<uint32_t>(keys);
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            if (load32(frames + static_cast<size_t>(mid) * 4) < f) lo = mid + 1;
            else hi = mid;
        }
        if (lo == static_cast<uint32_t>(keys)) return -1;
        const uint32_t at = load32(frames + static_cast<size_t>(lo) * 4);
        return at < n ? static_cast<int32_t>(at) : -1;
    }
    case Mode::Dense:
        for (uint32_t w = f >> 6; w < present.size(); ++w) {
            uint64_t word = present[w];
            if (w == (f >> 6)) word &= ~uint64_t{0} << (f & 63);
            if (word) {
                const uint32_t i = (w << 6) + static_cast<uint32_t>(__builtin_ctzll(word));
                return i < n ? static_cast<int32_t>(i) : -1;
            }
        }
        return -1;
    }
    return -1;
}

void Track::makeDense(int32_t count) {
    std::vector<uint64_t> newPresent((static_cast<size_t>(count) + 63) / 64, 0);
    std::vector<uint8_t> newSlots(static_cast<size_t>(count) * width, 0);
    int32_t kept = 0;
    if (mode != Mode::Empty) {
        // Only keys below the new count survive.
        const int32_t limit = std::min(count, span);
        for (int32_t f = nextKey(0, limit); f >= 0; f = nextKey(f + 1, limit)) {
            const uint8_t *value = find(f);
            if (!value) continue;  // a mapped file rewritten meanwhile
            newPresent[static_cast<uint32_t>(f) >> 6] |= uint64_t{1} << (f & 63);
            std::memcpy(newSlots.data() + static_cast<size_t>(f) * width, value, width);
            ++kept;
        }
    }
    mode = Mode::Dense;
    keys = kept;
    span = count;
    bits = frames = values = nullptr;
    rank = {};
    present = std::move(newPresent);
    slots = std::move(newSlots);
}

void Track::set(int32_t frame, const void *value, int32_t count) {
    if (mode != Mode::Dense) makeDense(count);
    uint64_t &word = present[static_cast<uint32_t>(frame) >> 6];
    const uint64_t bit = uint64_t{1} << (frame & 63);
    if (!(word & bit)) ++keys;
    word |= bit;
    std::memcpy(slots.data() + static_cast<size_t>(frame) * width, value, width);
}

void Track::clear(int32_t frame, int32_t count) {
    if (mode == Mode::Empty || !find(frame)) return;
    if (mode != Mode::Dense) makeDense(count);
    present[static_cast<uint32_t>(frame) >> 6] &= ~(uint64_t{1} << (frame & 63));
    std::memset(slots.data() + static_cast<size_t>(frame) * width, 0, width);
    if (--keys == 0) *this = Track(width);
}

size_t Track::memory() const {
    return sizeof(Track) + rank.capacity() * sizeof(uint32_t) + present.capacity() * sizeof(uint64_t) +
           slots.capacity();
}

// ---- Registry and object lifetime ------------------------------------------

namespace {

Registry *gRegistry = nullptr;
Skeleton *gLastSkeleton = nullptr;  // the last handle found live

// Runs when the library is unloaded (dlclose, or the end of the process,
// after the code that uses the library has finished its own clean-up):
// nothing can reach the objects afterwards, so they and the registry go.
struct ReleaseOnUnload {
    ~ReleaseOnUnload() {
        if (!gRegistry) return;
        releaseEverything();
        delete gRegistry;
        gRegistry = nullptr;
    }
} gReleaseOnUnload;

}  // namespace

Registry &registry() {
    // Made on first use, so a call during another library's clean-up still
    // finds one (an empty one once the library is being unloaded).
    if (!gRegistry) gRegistry = new Registry;
    return *gRegistry;
}

Animation *liveAnimation(ANM_ANIMATION_HANDLE handle) {
    if (!handle || handle == ANM_INVALID_ANIMATION) return nullptr;
    return registry().animations.count(handle) ? handle : nullptr;
}

Skeleton *liveSkeleton(SKL_SKELETON_HANDLE handle) {
    if (!handle) return nullptr;
    // The handle is the address of the skeleton's first member.
    auto *s = reinterpret_cast<Skeleton *>(handle);
    // Calls come in runs on one skeleton (a traversal's callback asks for
    // every joint's name): the last one found live needs no lookup.
    if (s == gLastSkeleton) return s;
    if (!registry().skeletons.count(s)) return nullptr;
    gLastSkeleton = s;
    return s;
}

Part *livePart(POB_PART_OBJECT_HANDLE handle) {
    if (!handle) return nullptr;
    return registry().parts.count(handle) ? handle : nullptr;
}

Animation *newAnimation() {
    auto a = std::make_unique<Animation>();
    registry().animations.insert(a.get());
    return a.release();
}

Skeleton *newSkeleton(std::string name) {
    auto s = std::make_unique<Skeleton>();
    s->name = std::move(name);
    s->forest.valid = true;  // no joints, nothing to index yet
    registry().skeletons.insert(s.get());
    return s.release();
}

Part *newPart() {
    auto p = std::make_unique<Part>();
    registry().parts.insert(p.get());
    return p.release();
}

Figure *addFigure(Animation *animation, Skeleton *skeleton) {
    auto f = std::make_unique<Figure>();
    f->animation = animation;
    f->skeleton = skeleton;
    for (auto &t : f->root) t.width = 4;
    animation->figures.push_back(std::move(f));
    skeleton->owner = animation;
    return animation->figures.back().get();
}

void releasePart(Part *part) {
    registry().parts.erase(part);
    part->tag = 0;
    delete part;
}

void releaseSkeleton(Skeleton *skeleton) {
    for (auto &j : skeleton->joints)
        if (j.part) releasePart(j.part);
    registry().skeletons.erase(skeleton);
    if (gLastSkeleton == skeleton) gLastSkeleton = nullptr;
    skeleton->tag = 0;
    delete skeleton;
}

void releaseAnimation(Animation *animation) {
    std::vector<Skeleton *> owned;
    for (auto &f : animation->figures) {
        if (f->skeleton && f->skeleton->owner == animation &&
            std::find(owned.begin(), owned.end(), f->skeleton) == owned.end())
            owned.push_back(f->skeleton);
        f->tag = 0;
    }
    for (Skeleton *s : owned) releaseSkeleton(s);
    registry().animations.erase(animation);
    animation->tag = 0;
    delete animation;
}

void releaseEverything() {
    Registry &r = registry();
    while (!r.animations.empty()) releaseAnimation(*r.animations.begin());
    while (!r.skeletons.empty()) releaseSkeleton(*r.skeletons.begin());
    while (!r.parts.empty()) releasePart(*r.parts.begin());
}

size_t animationMemory(const Animation &a) {
    size_t total = sizeof(Animation) + a.image.size() + a.figures.capacity() * sizeof(void *);
    std::vector<const Skeleton *> counted;
    for (const auto &f : a.figures) {
        total += sizeof(Figure) - sizeof(f->root) + f->joints.capacity() * sizeof(Track);
        for (const auto &t : f->root) total += t.memory();
        for (const auto &t : f->joints) total += t.memory() - sizeof(Track);
        const Skeleton *s = f->skeleton;
        if (std::find(counted.begin(), counted.end(), s) != counted.end()) continue;
        counted.push_back(s);
        total += sizeof(Skeleton) + s->name.capacity() + s->completedName.capacity() +
                 s->joints.capacity() * sizeof(Joint);
        for (const auto &j : s->joints) {
            if (j.name.capacity() > 15) total += j.name.capacity();
            if (j.part) total += sizeof(Part) + j.part->primitives.capacity() * sizeof(Part::Primitive);
        }
    }
    return total;
}

Track &jointTrack(Figure &figure, SKL_JOINT_ID joint) {
    if (static_cast<size_t>(joint) >= figure.joints.size())
        figure.joints.resize(static_cast<size_t>(joint) + 1, Track(sizeof(quaternion)));
    return figure.joints[joint];
}

void computeBounds(Part &part) {
    // The box around the joint's origin, spheres of their radius centred there
    // and bone segments from the origin to direction x length. Non-finite
    // values are skipped so one bad primitive cannot poison the box.
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    auto take = [&](int axis, float v) {
        if (!std::isfinite(v)) return;
        lo[axis] = std::min(lo[axis], v);
        hi[axis] = std::max(hi[axis], v);
    };
    for (const auto &p : part.primitives) {
        if (p.kind == POB_PRIMITIVE_SPHERE) {
            const float r = std::fabs(p.radius);
            for (int a = 0; a < 3; ++a) {
                take(a, -r);
                take(a, r);
            }
        } else {
            take(0, p.direction.x * p.length);
            take(1, p.direction.y * p.length);
            take(2, p.direction.z * p.length);
        }
    }
    part.boundsMin = {lo[0], lo[1], lo[2]};
    part.boundsMax = {hi[0], hi[1], hi[2]};
    part.hasBounds = true;
}

}  // namespace kell
