// Reading and writing the Movantis file format (docs/movantis-file-format.md).
#ifndef KELL_FORMAT_H
#define KELL_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model.h"

namespace kell {

constexpr size_t kHeaderSize = 32;
constexpr size_t kSectionHeaderSize = 16;
constexpr uint16_t kFormatVersion = 1;
constexpr uint16_t kKindAnimation = 0;
extern const uint8_t kMagic[8];

constexpr uint32_t tag4(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kTagAnim = tag4('A', 'N', 'I', 'M');
constexpr uint32_t kTagSkel = tag4('S', 'K', 'E', 'L');
constexpr uint32_t kTagFigr = tag4('F', 'I', 'G', 'R');

enum : uint8_t { kPresenceNone = 0, kPresenceAll = 1, kPresenceBitmap = 2, kPresenceList = 3 };
enum : uint8_t { kJointRoot = 1, kJointPart = 2 };

// Where an encoded file goes. Bytes are appended in order; patch overwrites
// bytes already appended, since a section's checksum and length, and the
// file's size, are known only once what they cover has been written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool append(const uint8_t *data, size_t size) = 0;
    virtual bool patch(uint64_t at, const uint8_t *data, size_t size) = 0;
};

// The encoder hands the sink pieces of at most this many bytes, so a save
// needs no more memory than this beside the animation itself.
constexpr size_t kEncodeChunk = size_t{256} << 10;

// Encodes the whole file for an animation into sink, in pieces of at most
// `chunk` bytes. False as soon as the sink refuses a piece.
bool encodeAnimation(const Animation &animation, ByteSink &sink, size_t chunk = kEncodeChunk);

// Builds an animation that owns `image` (its tracks point into it). Returns
// null and sets `error` when the bytes are not a sound animation file.
Animation *decodeAnimation(FileImage image, std::string &error);

// Document kind (DC_KIND_*) from the first bytes of a file.
int16_t documentKind(const uint8_t *data, size_t size, std::string &error);

}  // namespace kell

#endif
