// Read-only mappings of opened files that survive the file being cut short
// by another process: a read past the new end of a mapped file raises SIGBUS,
// which the guard answers by putting zero pages where the mapping was.
#ifndef KELL_MAPPING_H
#define KELL_MAPPING_H

#include <cstddef>
#include <cstdint>

namespace kell {

// Maps `size` bytes of the regular file open on `fd`, read-only and
// populated, under the guard. Null when the file cannot be mapped or the
// guard cannot watch one more mapping: the caller then reads the file.
const uint8_t *mapGuarded(int fd, size_t size);

// Unmaps a mapping made by mapGuarded and stops watching it.
void unmapGuarded(const uint8_t *data, size_t size);

}  // namespace kell

#endif
