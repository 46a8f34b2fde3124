// CRC-32C (Castagnoli), the checksum of every Movantis file section.
#ifndef KELL_CRC32C_H
#define KELL_CRC32C_H

#include <cstddef>
#include <cstdint>

namespace kell {

// Continues a CRC: pass 0 to start. Matches the usual CRC-32C check value
// (crc32c("123456789") == 0xE3069283).
uint32_t crc32c(uint32_t crc, const void *data, size_t size);

// The table-driven computation used where the CPU has no CRC instruction.
uint32_t crc32cPortable(uint32_t crc, const void *data, size_t size);

}  // namespace kell

#endif
