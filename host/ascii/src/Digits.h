// Runs of decimal digits eight bytes at a time: the long key lists of a
// scene are mostly digits, and a byte at a time was the parser's main cost.
#ifndef QMFHOST_ASCII_DIGITS_H
#define QMFHOST_ASCII_DIGITS_H

#include <cstdint>
#include <cstring>

namespace qmfhost::ma {

// How many of the bytes from p (before end) are '0'..'9' in a row.
inline const char* skipDigits(const char* p, const char* end) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull, kThrees = 0x3030303030303030ull;
    while (end - p >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        // A byte is a digit when its high nibble is 3 and stays 3 with 6
        // added (0x30..0x39); the 7 bit is cleared first so no add carries
        // into the next byte (a byte of 0x80 or more fails the first test).
        const std::uint64_t notDigit =
            ((v & kHigh) ^ kThrees) | ((((v & 0x7F7F7F7F7F7F7F7Full) + 0x0606060606060606ull) & kHigh) ^ kThrees);
        if (notDigit) return p + (__builtin_ctzll(notDigit) >> 3);
        p += 8;
    }
#endif
    while (p < end && *p >= '0' && *p <= '9') ++p;
    return p;
}

}  // namespace qmfhost::ma

#endif
