// Reading Movantis files; encode.cpp writes them.
#include "format.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "crc32c.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#  error "Kell reads file values in place and needs a little-endian machine"
#endif

namespace kell {

const uint8_t kMagic[8] = {'M', 'O', 'V', 'A', 'N', 'T', 'I', 'S'};

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

}  // namespace

int16_t documentKind(const uint8_t *data, size_t size, std::string &error) {
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) {
        error = "not a Movantis file (no MOVANTIS magic)";
        return DC_KIND_FOREIGN;
    }
    uint32_t sections;
    uint16_t kind;
    // Only the header is looked at; a header that is ours but damaged or of a
    // newer version is a Movantis document this library cannot read.
    if (size < kHeaderSize) {
        error = "truncated header";
        return DC_KIND_MOVANTIS_OTHER;
    }
    uint32_t crc;
    uint16_t version;
    std::memcpy(&kind, data + 8, 2);
    std::memcpy(&version, data + 10, 2);
    std::memcpy(&sections, data + 24, 4);
    std::memcpy(&crc, data + 28, 4);
    if (crc32c(0, data, 28) != crc) {
        error = "header checksum mismatch";
        return DC_KIND_MOVANTIS_OTHER;
    }
    if (version != kFormatVersion || kind != kKindAnimation) {
        error = "not an animation of a version this library reads";
        return DC_KIND_MOVANTIS_OTHER;
    }
    return DC_KIND_MOVANTIS_ANIMATION;
}

Animation *decodeAnimation(FileImage image, std::string &error) {
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

    // Collect and check every section first: a damaged byte anywhere refuses
    // the file before any of it is interpreted.
    struct Section {
        uint32_t tag;
        const uint8_t *payload;
        size_t length;
    };
    std::vector<Section> sections;
    sections.reserve(sectionCount);
    size_t pos = kHeaderSize;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        if (size - pos < kSectionHeaderSize) {
            error = "truncated section header";
            return nullptr;
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
            return nullptr;
        }
        s.payload = data + pos;
        s.length = static_cast<size_t>(length);
        if (crc32c(0, s.payload, s.length) != crc) {
            error = "section " + std::to_string(i) + " checksum mismatch";
            return nullptr;
        }
        pos += s.length;
        sections.push_back(s);
    }
    if (pos != size) {
        error = "bytes after the last section";
        return nullptr;
    }

    if (sections[0].tag != kTagAnim || sections[0].length != 16) {
        error = "first section is not a 16-byte animation section";
        return nullptr;
    }
    auto anim = std::make_unique<Animation>();
    anim->tag = 0;  // not live until registered
    uint32_t frameCount, skeletonCount, figureCount;
    std::memcpy(&anim->frameRate, sections[0].payload, 4);
    std::memcpy(&frameCount, sections[0].payload + 4, 4);
    std::memcpy(&skeletonCount, sections[0].payload + 8, 4);
    std::memcpy(&figureCount, sections[0].payload + 12, 4);
    if (!std::isfinite(anim->frameRate) || !(anim->frameRate > 0.0f)) {
        error = "frame rate is not a positive number";
        return nullptr;
    }
    if (frameCount > KELL_MAX_FRAMES) {
        error = "frame count out of range";
        return nullptr;
    }
    anim->frameCount = static_cast<int32_t>(frameCount);
    if (figureCount > KELL_MAX_FIGURES || skeletonCount > figureCount ||
        uint64_t{1} + skeletonCount + figureCount != sectionCount) {
        error = "skeleton and figure counts disagree with the sections";
        return nullptr;
    }

    std::vector<std::unique_ptr<Skeleton>> skeletons;
    std::vector<std::unique_ptr<Part>> parts;
    for (uint32_t i = 0; i < skeletonCount; ++i) {
        const Section &s = sections[1 + i];
        if (s.tag != kTagSkel) {
            error = "expected a skeleton section";
            return nullptr;
        }
        auto sk = std::make_unique<Skeleton>();
        sk->tag = 0;
        Reader r{s.payload, s.length, error};
        if (!readSkeleton(r, *sk, parts)) return nullptr;
        skeletons.push_back(std::move(sk));
    }

    std::vector<uint8_t> used(skeletonCount, 0);
    for (uint32_t i = 0; i < figureCount; ++i) {
        const Section &s = sections[1 + skeletonCount + i];
        if (s.tag != kTagFigr) {
            error = "expected a figure section";
            return nullptr;
        }
        Reader r{s.payload, s.length, error};
        uint32_t skeletonIndex;
        uint16_t jointCount;
        if (!r.u32(skeletonIndex, "figure") || !r.u16(jointCount, "figure")) return nullptr;
        if (skeletonIndex >= skeletonCount) {
            error = "figure refers to a missing skeleton";
            return nullptr;
        }
        Skeleton *sk = skeletons[skeletonIndex].get();
        if (jointCount != sk->joints.size()) {
            error = "figure track count differs from its skeleton's joints";
            return nullptr;
        }
        used[skeletonIndex] = 1;
        auto fig = std::make_unique<Figure>();
        fig->animation = anim.get();
        fig->skeleton = sk;
        for (auto &t : fig->root) t.width = 4;
        if (static_cast<size_t>(jointCount) > r.left) {
            error = "figure track count overruns the section";
            return nullptr;
        }
        fig->joints.assign(jointCount, Track(sizeof(quaternion)));
        for (auto &t : fig->root)
            if (!readTrack(r, t, anim->frameCount)) return nullptr;
        for (auto &t : fig->joints)
            if (!readTrack(r, t, anim->frameCount)) return nullptr;
        if (r.left != 0) {
            error = "figure section has bytes after its tracks";
            return nullptr;
        }
        anim->figures.push_back(std::move(fig));
    }
    if (std::find(used.begin(), used.end(), 0) != used.end()) {
        error = "a skeleton belongs to no figure";
        return nullptr;
    }

    // Sound: hand everything to the registry.
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

}  // namespace kell
