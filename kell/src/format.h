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

// The whole file for an animation.
std::vector<uint8_t> encodeAnimation(const Animation &animation);

// Builds an animation that owns `image` (its tracks point into it). Returns
// null and sets `error` when the bytes are not a sound animation file.
Animation *decodeAnimation(FileImage image, std::string &error);

// Document kind (DC_KIND_*) from the first bytes of a file.
int16_t documentKind(const uint8_t *data, size_t size, std::string &error);

}  // namespace kell

#endif
