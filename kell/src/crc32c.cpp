#include "crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#  include <nmmintrin.h>
#  define KELL_CRC_X86 1
#endif

namespace kell {
namespace {

constexpr uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    return t;
}

constexpr Tables kTables = makeTables();

// Portable slicing-by-8: eight table lookups per eight bytes.
uint32_t crcSoftware(uint32_t crc, const uint8_t *p, size_t n) {
    crc = ~crc;
    while (n >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= crc;
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF];
    return ~crc;
}

#if KELL_CRC_X86
// Multiplies two polynomials modulo the CRC polynomial, in the reflected bit
// order CRCs use (bit 31 is x^0).
uint32_t multiplyModP(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m; m >>= 1) {
        if (a & m) product ^= b;
        b = (b & 1u) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// x^(8 * bytes) modulo the polynomial: what appending that many zero bytes
// multiplies a CRC register by.
uint32_t zeroBytesOperator(size_t bytes) {
    uint32_t result = 1u << 31;  // x^0
    uint32_t square = 1u << 30;  // x^1
    for (uint64_t e = static_cast<uint64_t>(bytes) * 8; e; e >>= 1) {
        if (e & 1) result = multiplyModP(result, square);
        square = multiplyModP(square, square);
    }
    return result;
}

constexpr size_t kStripe = 8192;

__attribute__((target("sse4.2"))) uint64_t crcStripe(uint64_t c, const uint8_t *p, size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c = _mm_crc32_u64(c, v);
    }
    return c;
}

// The SSE4.2 instruction computes exactly this polynomial. It has a latency
// of three cycles, so three stripes run side by side and are joined with the
// zero-bytes operator: checking a 100 MB clip then costs a few milliseconds.
__attribute__((target("sse4.2"))) uint32_t crcHardware(uint32_t crc, const uint8_t *p, size_t n) {
    static const uint32_t shift = zeroBytesOperator(kStripe);
    uint32_t c = ~crc;
    while (n >= 3 * kStripe) {
        uint64_t a = c, b = 0, d = 0;
        for (size_t i = 0; i < kStripe; i += 8) {
            uint64_t va, vb, vd;
            std::memcpy(&va, p + i, 8);
            std::memcpy(&vb, p + kStripe + i, 8);
            std::memcpy(&vd, p + 2 * kStripe + i, 8);
            a = _mm_crc32_u64(a, va);
            b = _mm_crc32_u64(b, vb);
            d = _mm_crc32_u64(d, vd);
        }
        c = multiplyModP(shift, multiplyModP(shift, static_cast<uint32_t>(a)) ^ static_cast<uint32_t>(b)) ^
            static_cast<uint32_t>(d);
        p += 3 * kStripe;
        n -= 3 * kStripe;
    }
    c = static_cast<uint32_t>(crcStripe(c, p, n));
    p += n & ~size_t{7};
    for (n &= 7; n; --n) c = _mm_crc32_u8(c, *p++);
    return ~c;
}

bool haveHardware() {
    static const bool have = __builtin_cpu_supports("sse4.2");
    return have;
}
#endif

}  // namespace

uint32_t crc32c(uint32_t crc, const void *data, size_t size) {
    const auto *p = static_cast<const uint8_t *>(data);
#if KELL_CRC_X86
    if (haveHardware()) return crcHardware(crc, p, size);
#endif
    return crcSoftware(crc, p, size);
}

uint32_t crc32cPortable(uint32_t crc, const void *data, size_t size) {
    return crcSoftware(crc, static_cast<const uint8_t *>(data), size);
}

}  // namespace kell
