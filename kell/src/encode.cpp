// Writing Movantis files. The file is streamed through a bounded buffer
// rather than built whole: a long clip's file is as large as its tracks, and
// a second copy of it would double the memory a save needs.
#include <algorithm>
#include <cstring>
#include <memory>

#include "crc32c.h"
#include "format.h"

namespace kell {

namespace {

// Appends to a sink through a buffer of `chunk` bytes. Each section's
// checksum is carried across flushes, so its payload is read once, as it
// leaves the buffer; its header is patched when the section ends.
class Writer {
public:
    // The buffer is not cleared first: only the bytes written are ever read,
    // and a short file touches only the pages it needs.
    Writer(ByteSink &sink, size_t chunk)
        : sink_(sink), size_(std::max<size_t>(chunk, 1)), buffer_(new uint8_t[size_]) {}

    bool ok() const { return ok_; }
    uint64_t position() const { return flushed_ + used_; }

    void bytes(const void *p, size_t n) {
        const auto *b = static_cast<const uint8_t *>(p);
        while (n > 0 && ok_) {
            if (used_ == size_) flush();
            const size_t take = std::min(n, size_ - used_);
            std::memcpy(buffer_.get() + used_, b, take);
            used_ += take;
            b += take;
            n -= take;
        }
    }
    void zeros(size_t n) {
        while (n > 0 && ok_) {
            if (used_ == size_) flush();
            const size_t take = std::min(n, size_ - used_);
            std::memset(buffer_.get() + used_, 0, take);
            used_ += take;
            n -= take;
        }
    }
    void u8(uint8_t v) { bytes(&v, 1); }
    void u16(uint16_t v) { bytes(&v, 2); }
    void u32(uint32_t v) { bytes(&v, 4); }
    void u64(uint64_t v) { bytes(&v, 8); }
    void f32(float v) { bytes(&v, 4); }
    void name(const std::string &s) {
        u16(static_cast<uint16_t>(s.size()));
        bytes(s.data(), s.size());
        u8(0);
    }

    // Sections do not nest: one is open at a time.
    void beginSection(uint32_t tag) {
        sectionAt_ = position();
        u32(tag);
        u32(0);  // checksum and length, patched by finishSection
        u64(0);
        crc_ = 0;
        crcFrom_ = position();
        inSection_ = true;
    }
    void finishSection() {
        checksumBuffered();
        inSection_ = false;
        const uint64_t length = position() - sectionAt_ - kSectionHeaderSize;
        uint8_t fields[12];
        std::memcpy(fields, &crc_, 4);
        std::memcpy(fields + 4, &length, 8);
        patch(sectionAt_ + 4, fields, sizeof fields);
    }

    // Overwrites bytes already written: in the buffer where they still are,
    // through the sink for those already handed over.
    void patch(uint64_t at, const uint8_t *data, size_t n) {
        if (!ok_) return;
        if (at < flushed_) {
            const size_t out = static_cast<size_t>(std::min<uint64_t>(n, flushed_ - at));
            ok_ = sink_.patch(at, data, out);
            at += out;
            data += out;
            n -= out;
        }
        if (n > 0) std::memcpy(buffer_.get() + (at - flushed_), data, n);
    }

    bool finish() {
        flush();
        return ok_;
    }

private:
    void checksumBuffered() {
        if (!inSection_) return;
        const size_t from = static_cast<size_t>(crcFrom_ - flushed_);
        crc_ = crc32c(crc_, buffer_.get() + from, used_ - from);
        crcFrom_ = position();
    }
    void flush() {
        if (!ok_ || used_ == 0) return;
        checksumBuffered();
        ok_ = sink_.append(buffer_.get(), used_);
        flushed_ += used_;
        used_ = 0;
    }

    ByteSink &sink_;
    size_t size_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
    uint64_t flushed_ = 0;  // bytes already handed to the sink
    bool ok_ = true;
    bool inSection_ = false;
    uint64_t sectionAt_ = 0;
    uint64_t crcFrom_ = 0;  // first byte of the open section not yet in crc_
    uint32_t crc_ = 0;
};

void writeBitmap(Writer &w, const Track &t, int32_t count) {
    // Built a byte at a time: a bitmap can be larger than the buffer.
    const size_t bitmapBytes = (static_cast<size_t>(count) + 7) / 8;
    size_t current = 0;
    uint8_t bits = 0;
    for (int32_t f = t.nextKey(0, count); f >= 0 && w.ok(); f = t.nextKey(f + 1, count)) {
        const size_t at = static_cast<size_t>(f) >> 3;
        if (at != current) {
            w.u8(bits);
            w.zeros(at - current - 1);
            bits = 0;
            current = at;
        }
        bits |= static_cast<uint8_t>(1u << (f & 7));
    }
    w.u8(bits);
    w.zeros(bitmapBytes - current - 1);
}

void writeTrack(Writer &w, const Track &t, int32_t count) {
    const auto keys = static_cast<uint32_t>(t.keys);
    if (keys == 0) {
        w.u8(kPresenceNone);
        return;
    }
    const size_t width = t.width;
    const size_t bitmapBytes = (static_cast<size_t>(count) + 7) / 8;
    if (keys == static_cast<uint32_t>(count)) {
        w.u8(kPresenceAll);
        if (t.mode == Track::Mode::All) {
            w.bytes(t.values, static_cast<size_t>(count) * width);
        } else {
            for (int32_t f = 0; f < count && w.ok(); ++f) w.bytes(t.find(f), width);
        }
        return;
    }
    // The cheaper presence encoding: a bitmap, or the list of keyed frames.
    if (static_cast<size_t>(keys) * 4 < bitmapBytes) {
        w.u8(kPresenceList);
        w.u32(keys);
        for (int32_t f = t.nextKey(0, count); f >= 0 && w.ok(); f = t.nextKey(f + 1, count))
            w.u32(static_cast<uint32_t>(f));
    } else {
        w.u8(kPresenceBitmap);
        w.u32(keys);
        writeBitmap(w, t, count);
    }
    for (int32_t f = t.nextKey(0, count); f >= 0 && w.ok(); f = t.nextKey(f + 1, count)) w.bytes(t.find(f), width);
}

void writeSkeleton(Writer &w, const Skeleton &s) {
    w.beginSection(kTagSkel);
    w.name(s.name);
    w.u8(s.completed ? 1 : 0);
    w.name(s.completed ? s.completedName : std::string());
    w.u16(static_cast<uint16_t>(s.joints.size()));
    for (const Joint &j : s.joints) {
        w.name(j.name);
        w.u16(static_cast<uint16_t>(j.parent));
        w.u8(static_cast<uint8_t>((j.root ? kJointRoot : 0) | (j.part ? kJointPart : 0)));
        w.bytes(&j.offset, sizeof j.offset);
        w.bytes(&j.orientation, sizeof j.orientation);
        if (!j.part) continue;
        const Part &p = *j.part;
        w.u16(static_cast<uint16_t>(p.primitives.size()));
        w.u8(p.hasBounds ? 1 : 0);
        if (p.hasBounds) {
            w.bytes(&p.boundsMin, sizeof p.boundsMin);
            w.bytes(&p.boundsMax, sizeof p.boundsMax);
        }
        for (const auto &prim : p.primitives) {
            w.u8(static_cast<uint8_t>(prim.kind));
            if (prim.kind == POB_PRIMITIVE_SPHERE) {
                w.f32(prim.radius);
            } else {
                w.f32(prim.length);
                w.bytes(&prim.direction, sizeof prim.direction);
            }
        }
    }
    w.finishSection();
}

}  // namespace

bool encodeAnimation(const Animation &a, ByteSink &sink, size_t chunk) {
    // Skeletons in order of first use; figures refer to them by index.
    std::vector<const Skeleton *> skeletons;
    std::vector<uint32_t> figureSkeleton;
    for (const auto &f : a.figures) {
        auto it = std::find(skeletons.begin(), skeletons.end(), f->skeleton);
        figureSkeleton.push_back(static_cast<uint32_t>(it - skeletons.begin()));
        if (it == skeletons.end()) skeletons.push_back(f->skeleton);
    }

    Writer w(sink, chunk);
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, 8);
    std::memcpy(header + 8, &kKindAnimation, 2);
    std::memcpy(header + 10, &kFormatVersion, 2);
    // Flags (12) stay 0; the file size (16) and checksum (28) are known at the end.
    const auto sections = static_cast<uint32_t>(1 + skeletons.size() + a.figures.size());
    std::memcpy(header + 24, &sections, 4);
    w.bytes(header, sizeof header);

    w.beginSection(kTagAnim);
    w.f32(a.frameRate);
    w.u32(static_cast<uint32_t>(a.frameCount));
    w.u32(static_cast<uint32_t>(skeletons.size()));
    w.u32(static_cast<uint32_t>(a.figures.size()));
    w.finishSection();

    for (const Skeleton *s : skeletons) writeSkeleton(w, *s);

    const Track none(sizeof(quaternion));
    for (size_t i = 0; i < a.figures.size() && w.ok(); ++i) {
        const Figure &f = *a.figures[i];
        w.beginSection(kTagFigr);
        w.u32(figureSkeleton[i]);
        const size_t joints = f.skeleton->joints.size();
        w.u16(static_cast<uint16_t>(joints));
        for (const auto &t : f.root) writeTrack(w, t, a.frameCount);
        for (size_t j = 0; j < joints && w.ok(); ++j)
            writeTrack(w, j < f.joints.size() ? f.joints[j] : none, a.frameCount);
        w.finishSection();
    }

    const uint64_t size = w.position();
    std::memcpy(header + 16, &size, 8);
    const uint32_t crc = crc32c(0, header, 28);
    std::memcpy(header + 28, &crc, 4);
    w.patch(16, header + 16, kHeaderSize - 16);
    return w.finish();
}

}  // namespace kell
