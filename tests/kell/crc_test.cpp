#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "crc32c.h"

namespace {

TEST(Crc32c, MatchesTheStandardCheckValues) {
    struct Case {
        const char *text;
        uint32_t crc;
    };
    // Published CRC-32C check values.
    const Case cases[] = {
        {"", 0x00000000u},
        {"a", 0xC1D04330u},
        {"123456789", 0xE3069283u},
        {"The quick brown fox jumps over the lazy dog", 0x22620404u},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kell::crc32c(0, c.text, std::strlen(c.text)), c.crc) << c.text;
        EXPECT_EQ(kell::crc32cPortable(0, c.text, std::strlen(c.text)), c.crc) << c.text;
    }
}

TEST(Crc32c, BothPathsAgreeAtEveryLengthAndAlignmentAndCanBeContinued) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data(300);
    for (auto &b : data) b = static_cast<uint8_t>(rng());
    for (size_t start = 0; start < 9; ++start) {
        for (size_t n = 0; start + n <= data.size(); n += 7) {
            const uint32_t whole = kell::crc32c(0, data.data() + start, n);
            ASSERT_EQ(whole, kell::crc32cPortable(0, data.data() + start, n)) << start << "+" << n;
            const size_t half = n / 2;
            const uint32_t first = kell::crc32c(0, data.data() + start, half);
            ASSERT_EQ(whole, kell::crc32c(first, data.data() + start + half, n - half));
        }
    }
}

TEST(Crc32c, StripedPathAgreesAroundStripeBoundaries) {
    // The instruction path works on three 8 KiB stripes at a time.
    std::mt19937 rng(11);
    std::vector<uint8_t> data(160 * 1024);
    for (auto &b : data) b = static_cast<uint8_t>(rng());
    for (size_t n : {size_t{24575}, size_t{24576}, size_t{24577}, size_t{49152 + 9}, size_t{5 * 24576 + 13},
                     data.size() - 3}) {
        for (size_t start = 0; start < 3; ++start)
            ASSERT_EQ(kell::crc32c(0x12345678u, data.data() + start, n),
                      kell::crc32cPortable(0x12345678u, data.data() + start, n))
                << start << "+" << n;
    }
}

}  // namespace
