// What reading and writing Movantis files share: the magic, and a file's
// kind told from its header alone. decode.cpp reads files, encode.cpp writes them.
#include "format.h"

#include <cstring>

#include "crc32c.h"

namespace kell {

const uint8_t kMagic[8] = {'M', 'O', 'V', 'A', 'N', 'T', 'I', 'S'};

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

}  // namespace kell
