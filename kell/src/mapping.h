// Read-only mappings of opened files that survive the file being cut short
// by another process: a read past the new end of a mapped file raises SIGBUS,
// which the guard answers by putting zero pages where the mapping was and
// raising the mapping's flag, so the zeros are never taken for keys.
#ifndef KELL_MAPPING_H
#define KELL_MAPPING_H

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kell {

// A guarded mapping: its bytes, and the flag the guard raises (nonzero) from
// the first read past the end of the file cut short behind it.
struct Guarded {
    const uint8_t *data = nullptr;
    const std::atomic<uint32_t> *changed = nullptr;
};

// Maps `size` bytes of the regular file open on `fd`, read-only and
// populated, under the guard. Null data when the file cannot be mapped or
// the guard cannot watch one more mapping: the caller then reads the file.
Guarded mapGuarded(int fd, size_t size);

// How many mappings the guard has seen cut short since the library loaded.
uint32_t changedMappings();

// Unmaps a mapping made by mapGuarded and stops watching it.
void unmapGuarded(const uint8_t *data, size_t size);

}  // namespace kell

#endif
