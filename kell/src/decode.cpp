// Reading Movantis files. Every count and length a file declares is checked
// against the bytes it holds before anything is sized by it; encode.cpp
// writes the files.
#include "format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "crc32c.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#  error "Kell reads file values in place and needs a little-endian machine"
#endif

namespace kell {

namespace {

// A bounds-checked cursor over one section's payload. Every take checks the
// bytes that remain first, so counts read from the file can be compared with
// what the file can still hold before anything is allocated.
struct Reader {
    const uint8_t *p;
    size_t left;
    std::string &error;
    bool fail(const std::string &why) {
        if (error.empty()) error = why;
        return false;
    }
    bool need(size_t n, const char *what) {
        if (n > left) return fail(std::string("truncated ") + what);
        return true;
    }
    const uint8_t *take(size_t n) {
        const uint8_t *at = p;
        p += n;
        left -= n;
        return at;
    }
    bool u8(uint8_t &v, const char *what) {
        if (!need(1, what)) return false;
        v = *take(1);
        return true;
    }
    bool u16(uint16_t &v, const char *what) {
        if (!need(2, what)) return false;
        std::memcpy(&v, take(2), 2);
        return true;
    }
    bool u32(uint32_t &v, const char *what) {
        if (!need(4, what)) return false;
        std::memcpy(&v, take(4), 4);
        return true;
    }
    bool raw(void *dst, size_t n, const char *what) {
        if (!need(n, what)) return false;
        std::memcpy(dst, take(n), n);
        return true;
    }
    bool name(std::string &s, size_t minLength, size_t maxLength, const char *what) {
        uint16_t n;
        if (!u16(n, what)) return false;
        if (n < minLength || n > maxLength) return fail(std::string(what) + " has a bad length");
        if (!need(static_cast<size_t>(n) + 1, what)) return false;
        const uint8_t *b = take(static_cast<size_t>(n) + 1);
        if (b[n] != 0) return fail(std::string(what) + " has no terminating NUL");
        if (std::memchr(b, 0, n)) return fail(std::string(what) + " contains a NUL byte");
        s.assign(reinterpret_cast<const char *>(b), n);
        return true;
    }
};

bool readSkeleton(Reader &r, Skeleton &s, std::vector<std::unique_ptr<Part>> &parts) {
    if (!r.name(s.name, 0, KELL_MAX_SKELETON_NAME, "skeleton name")) return false;
    uint8_t completed;
    if (!r.u8(completed, "skeleton")) return false;
    if (completed > 1) return r.fail("skeleton completed flag is neither 0 nor 1");
    s.completed = completed != 0;
    if (!r.name(s.completedName, 0, KELL_MAX_SKELETON_NAME, "completion name")) return false;
    if (!s.completed && !s.completedName.empty())
        return r.fail("incomplete skeleton has a completion name");
    uint16_t jointCount;
    if (!r.u16(jointCount, "skeleton")) return false;
    // Smallest joint record: 2+1+1 name, 2 parent, 1 flags, 12 offset, 16 orientation.
    constexpr size_t kMinJoint = 35;
    if (jointCount > KELL_MAX_JOINTS) return r.fail("joint count exceeds 32767");
    if (static_cast<size_t>(jointCount) * kMinJoint > r.left) return r.fail("joint count overruns the section");
    s.joints.resize(jointCount);
    for (size_t i = 0; i < jointCount; ++i) {
        Joint &j = s.joints[i];
        uint16_t parent;
        uint8_t flags;
        if (!r.name(j.name, 1, KELL_MAX_JOINT_NAME, "joint name") || !r.u16(parent, "joint") ||
            !r.u8(flags, "joint") || !r.raw(&j.offset, sizeof j.offset, "joint") ||
            !r.raw(&j.orientation, sizeof j.orientation, "joint"))
            return false;
        j.parent = static_cast<SKL_JOINT_ID>(parent);
        if (j.parent != SKL_NO_JOINT && (j.parent < 0 || j.parent >= jointCount || j.parent == SKL_JOINT_ID(i)))
            return r.fail("joint parent index out of range");
        if (flags & ~(kJointRoot | kJointPart)) return r.fail("joint has unknown flags");
        j.root = (flags & kJointRoot) != 0;
        if (!(flags & kJointPart)) continue;
        uint16_t primitiveCount;
        uint8_t hasBounds;
        if (!r.u16(primitiveCount, "part object") || !r.u8(hasBounds, "part object")) return false;
        if (hasBounds > 1) return r.fail("part object bounds flag is neither 0 nor 1");
        if (static_cast<size_t>(primitiveCount) * 5 > r.left) return r.fail("primitive count overruns the section");
        auto part = std::make_unique<Part>();
        part->tag = 0;  // becomes live only when the whole file is sound
        part->hasBounds = hasBounds != 0;
        if (part->hasBounds && (!r.raw(&part->boundsMin, sizeof(coord3), "bounds") ||
                                !r.raw(&part->boundsMax, sizeof(coord3), "bounds")))
            return false;
        part->primitives.reserve(primitiveCount);
        for (size_t k = 0; k < primitiveCount; ++k) {
            Part::Primitive prim{};
            uint8_t kind;
            if (!r.u8(kind, "primitive")) return false;
            prim.kind = kind;
            if (kind == POB_PRIMITIVE_SPHERE) {
                if (!r.raw(&prim.radius, 4, "sphere")) return false;
            } else if (kind == POB_PRIMITIVE_BONE) {
                if (!r.raw(&prim.length, 4, "bone") || !r.raw(&prim.direction, sizeof(coord3), "bone")) return false;
            } else {
                return r.fail("unknown primitive kind");
            }
            part->primitives.push_back(prim);
        }
        part->owner = &s;
        j.part = part.get();
        parts.push_back(std::move(part));
    }
    // Parents must form a forest: follow each chain, marking joints known to
    // end at a root, so the check stays linear.
    std::vector<uint8_t> state(jointCount, 0);  // 0 unknown, 1 on the current chain, 2 ends at a root
    for (size_t i = 0; i < jointCount; ++i) {
        size_t at = i;
        while (state[at] == 0) {
            state[at] = 1;
            if (s.joints[at].parent == SKL_NO_JOINT) break;
            at = static_cast<size_t>(s.joints[at].parent);
        }
        if (state[at] == 1 && s.joints[at].parent != SKL_NO_JOINT) return r.fail("joint parents form a cycle");
        for (size_t k = i; state[k] == 1; k = static_cast<size_t>(s.joints[k].parent)) {
            state[k] = 2;
            if (s.joints[k].parent == SKL_NO_JOINT) break;
        }
    }
    if (r.left != 0) return r.fail("skeleton section has bytes after its joints");
    return true;
}

bool readTrack(Reader &r, Track &t, int32_t count) {
    uint8_t mode;
    if (!r.u8(mode, "key track")) return false;
    const size_t width = t.width;
    const auto n = static_cast<size_t>(count);
    t.span = count;
    switch (mode) {
    case kPresenceNone:
        return true;
    case kPresenceAll:
        if (count == 0) return r.fail("key track keyed on every frame of an empty animation");
        if (!r.need(n * width, "key values")) return false;
        t.mode = Track::Mode::All;
        t.keys = count;
        t.values = r.take(n * width);
        return true;
    case kPresenceBitmap: {
        uint32_t keys;
        if (!r.u32(keys, "key track")) return false;
        if (keys == 0 || keys >= n) return r.fail("bitmap key count out of range");
        const size_t bitmapBytes = (n + 7) / 8;
        if (!r.need(bitmapBytes, "key bitmap")) return false;
        const uint8_t *bits = r.take(bitmapBytes);
        if ((n & 7) && (bits[bitmapBytes - 1] >> (n & 7)))
            return r.fail("key bitmap has bits past the last frame");
        if (!r.need(static_cast<size_t>(keys) * width, "key values")) return false;
        // Ranks cost 4 bytes per 32 bitmap bytes: bounded by the file.
        t.rank.resize((n + 255) / 256);
        uint32_t seen = 0;
        for (size_t block = 0; block < t.rank.size(); ++block) {
            t.rank[block] = seen;
            const size_t end = std::min(bitmapBytes, (block + 1) * 32);
            for (size_t b = block * 32; b < end; ++b) seen += static_cast<uint32_t>(__builtin_popcount(bits[b]));
        }
        if (seen != keys) return r.fail("key bitmap disagrees with its key count");
        t.mode = Track::Mode::Bitmap;
        t.keys = static_cast<int32_t>(keys);
        t.bits = bits;
        t.values = r.take(static_cast<size_t>(keys) * width);
        return true;
    }
    case kPresenceList: {
        uint32_t keys;
        if (!r.u32(keys, "key track")) return false;
        if (keys == 0 || keys >= n) return r.fail("listed key count out of range");
        if (!r.need(static_cast<size_t>(keys) * (4 + width), "key list")) return false;
        const uint8_t *frames = r.take(static_cast<size_t>(keys) * 4);
        uint32_t previous = 0;
        for (uint32_t k = 0; k < keys; ++k) {
            const uint32_t f = load32(frames + static_cast<size_t>(k) * 4);
            if (f >= n || (k > 0 && f <= previous)) return r.fail("key list frames out of order or range");
            previous = f;
        }
        t.mode = Track::Mode::List;
        t.keys = static_cast<int32_t>(keys);
        t.frames = frames;
        t.values = r.take(static_cast<size_t>(keys) * width);
        return true;
    }
    default:
        return r.fail("unknown key presence encoding");
    }
}

// Reads and checks the fixed header; fills the section count.
bool readHeader(const uint8_t *data, size_t size, uint32_t &sections, uint16_t &kind, std::string &error) {
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) {
        error = "not a Movantis file (no MOVANTIS magic)";
        return false;
    }
    if (size < kHeaderSize) {
        error = "truncated header";
        return false;
    }
    uint32_t crc, flags;
    uint16_t version;
    uint64_t declared;
    std::memcpy(&kind, data + 8, 2);
    std::memcpy(&version, data + 10, 2);
    std::memcpy(&flags, data + 12, 4);
    std::memcpy(&declared, data + 16, 8);
    std::memcpy(&sections, data + 24, 4);
    std::memcpy(&crc, data + 28, 4);
    if (crc32c(0, data, 28) != crc) {
        error = "header checksum mismatch";
        return false;
    }
    if (version != kFormatVersion) {
        error = "unsupported format version " + std::to_string(version);
        return false;
    }
    if (flags != 0) {
        error = "unknown header flags";
        return false;
    }
    if (declared != size) {
        error = "file size " + std::to_string(size) + " differs from the " + std::to_string(declared) +
                " bytes the header declares";
        return false;
    }
    return true;
}

// A section whose checksum has been checked; its payload points into the image.
struct Section {
    uint32_t tag;
    const uint8_t *payload;
    size_t length;
};

// Collects and checks every section first: a damaged byte anywhere refuses
// the file before any of it is interpreted.
bool readSections(const uint8_t *data, size_t size, uint32_t count, std::vector<Section> &sections,
                  std::string &error) {
    sections.reserve(count);
    size_t pos = kHeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - pos < kSectionHeaderSize) {
            error = "truncated section header";
            return false;
        }
        Section s;
        uint32_t crc;
        uint64_t length;
        std::memcpy(&s.tag, data + pos, 4);
        std::memcpy(&crc, data + pos + 4, 4);
        std::memcpy(&length, data + pos + 8, 8);
        pos += kSectionHeaderSize;
        if (length > size - pos) {
            error = "section length overruns the file";
            return false;
        }
        s.payload = data + pos;
        s.length = static_cast<size_t>(length);
        if (crc32c(0, s.payload, s.length) != crc) {
            error = "section " + std::to_string(i) + " checksum mismatch";
            return false;
        }
        pos += s.length;
        sections.push_back(s);
    }
    if (pos != size) {
        error = "bytes after the last section";
        return false;
    }
    return true;
}

// How many skeleton sections, then figure sections, follow the first one.
struct Counts {
    uint32_t skeletons;
    uint32_t figures;
};

// The first section, whose tag and length are checked: frame rate and count,
// and the skeleton and figure counts, which must account for every other section.
bool readAnimationSection(const std::vector<Section> &sections, Animation &anim, Counts &counts,
                          std::string &error) {
    const Section &s = sections[0];
    uint32_t frameCount;
    std::memcpy(&anim.frameRate, s.payload, 4);
    std::memcpy(&frameCount, s.payload + 4, 4);
    std::memcpy(&counts.skeletons, s.payload + 8, 4);
    std::memcpy(&counts.figures, s.payload + 12, 4);
    if (!std::isfinite(anim.frameRate) || !(anim.frameRate > 0.0f)) {
        error = "frame rate is not a positive number";
        return false;
    }
    if (frameCount > KELL_MAX_FRAMES) {
        error = "frame count out of range";
        return false;
    }
    anim.frameCount = static_cast<int32_t>(frameCount);
    if (counts.figures > KELL_MAX_FIGURES || counts.skeletons > counts.figures ||
        uint64_t{1} + counts.skeletons + counts.figures != sections.size()) {
        error = "skeleton and figure counts disagree with the sections";
        return false;
    }
    return true;
}

using Skeletons = std::vector<std::unique_ptr<Skeleton>>;

// `count` skeleton sections from `first` on; their part objects go to `parts`.
bool readSkeletons(const Section *first, uint32_t count, Skeletons &skeletons,
                   std::vector<std::unique_ptr<Part>> &parts, std::string &error) {
    for (uint32_t i = 0; i < count; ++i) {
        const Section &s = first[i];
        if (s.tag != kTagSkel) {
            error = "expected a skeleton section";
            return false;
        }
        auto sk = std::make_unique<Skeleton>();
        sk->tag = 0;
        Reader r{s.payload, s.length, error};
        if (!readSkeleton(r, *sk, parts)) return false;
        skeletons.push_back(std::move(sk));
    }
    return true;
}

// One figure section: its skeleton's index, then the root's channel tracks
// and a track per joint. Marks the skeleton in `used`.
bool readFigure(const Section &s, Animation &anim, const Skeletons &skeletons, std::vector<uint8_t> &used,
                std::string &error) {
    if (s.tag != kTagFigr) {
        error = "expected a figure section";
        return false;
    }
    Reader r{s.payload, s.length, error};
    uint32_t skeletonIndex;
    uint16_t jointCount;
    if (!r.u32(skeletonIndex, "figure") || !r.u16(jointCount, "figure")) return false;
    if (skeletonIndex >= skeletons.size()) {
        error = "figure refers to a missing skeleton";
        return false;
    }
    Skeleton *sk = skeletons[skeletonIndex].get();
    if (jointCount != sk->joints.size()) {
        error = "figure track count differs from its skeleton's joints";
        return false;
    }
    used[skeletonIndex] = 1;
    auto fig = std::make_unique<Figure>();
    fig->animation = &anim;
    fig->skeleton = sk;
    for (auto &t : fig->root) t.width = 4;
    // Each track takes at least its one presence byte.
    if (static_cast<size_t>(jointCount) > r.left) {
        error = "figure track count overruns the section";
        return false;
    }
    fig->joints.assign(jointCount, Track(sizeof(quaternion)));
    for (auto &t : fig->root)
        if (!readTrack(r, t, anim.frameCount)) return false;
    for (auto &t : fig->joints)
        if (!readTrack(r, t, anim.frameCount)) return false;
    if (r.left != 0) {
        error = "figure section has bytes after its tracks";
        return false;
    }
    anim.figures.push_back(std::move(fig));
    return true;
}

// `count` figure sections from `first` on; every skeleton must be used by one.
bool readFigures(const Section *first, uint32_t count, Animation &anim, const Skeletons &skeletons,
                 std::string &error) {
    std::vector<uint8_t> used(skeletons.size(), 0);
    for (uint32_t i = 0; i < count; ++i)
        if (!readFigure(first[i], anim, skeletons, used, error)) return false;
    if (std::find(used.begin(), used.end(), 0) != used.end()) {
        error = "a skeleton belongs to no figure";
        return false;
    }
    return true;
}

// The file is sound: the registry takes everything, which makes it live.
Animation *adopt(std::unique_ptr<Animation> anim, FileImage &&image, Skeletons &skeletons,
                 std::vector<std::unique_ptr<Part>> &parts) {
    Registry &reg = registry();
    Animation *a = anim.release();
    a->tag = kAnimationTag;
    a->image = std::move(image);
    reg.animations.insert(a);
    for (auto &sk : skeletons) {
        sk->tag = kSkeletonTag;
        sk->owner = a;
        reg.skeletons.insert(sk.release());
    }
    for (auto &p : parts) {
        p->tag = kPartTag;
        reg.parts.insert(p.get());
        p.release();
    }
    return a;
}

// The animation in image, which it takes on success.
Animation *decodeImage(FileImage &image, std::string &error) {
    const uint8_t *data = image.data();
    const size_t size = image.size();
    uint32_t sectionCount;
    uint16_t kind;
    if (!readHeader(data, size, sectionCount, kind, error)) return nullptr;
    if (kind != kKindAnimation) {
        error = "Movantis document is not an animation";
        return nullptr;
    }
    if (sectionCount == 0 || sectionCount > (size - kHeaderSize) / kSectionHeaderSize) {
        error = "section count does not fit the file";
        return nullptr;
    }
    std::vector<Section> sections;
    if (!readSections(data, size, sectionCount, sections, error)) return nullptr;

    if (sections[0].tag != kTagAnim || sections[0].length != 16) {
        error = "first section is not a 16-byte animation section";
        return nullptr;
    }
    auto anim = std::make_unique<Animation>();
    anim->tag = 0;  // not live until registered
    Counts counts;
    if (!readAnimationSection(sections, *anim, counts, error)) return nullptr;
    // The counts were checked to account for every section after the first.
    const Section *skeletonSections = sections.data() + 1;
    Skeletons skeletons;
    std::vector<std::unique_ptr<Part>> parts;
    if (!readSkeletons(skeletonSections, counts.skeletons, skeletons, parts, error) ||
        !readFigures(skeletonSections + counts.skeletons, counts.figures, *anim, skeletons, error))
        return nullptr;
    if (image.changed()) {
        error = "the file changed while it was being read";
        return nullptr;
    }
    Animation *a = adopt(std::move(anim), std::move(image), skeletons, parts);
    for (auto &f : a->figures) f->fileChanged = a->image.changedFlag();
    return a;
}

}  // namespace

Animation *decodeAnimation(FileImage image, std::string &error) {
    Animation *a = decodeImage(image, error);
    // Cut short while this ran: the refusal was of the guard's zeros.
    if (!a && image.changed()) error = "the file changed while it was being read";
    return a;
}

}  // namespace kell
