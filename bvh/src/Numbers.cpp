#include "Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace bvh::detail {

namespace {

constexpr uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The digits at p, up to e, appended to digits (wrapping past 19 digits,
// which the caller refuses); returns where they end. Eight bytes at a time
// while eight remain: the leading digits found and combined in a register.
const char* appendDigits(const char* p, const char* e, uint64_t& digits) {
    while (e - p >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        const uint64_t t = v ^ 0x3030303030303030ull;  // a digit byte becomes its value
        // A byte's high bit is set unless it was a digit; a carry can only
        // come from such a byte and go to a later one.
        const uint64_t other = ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
        const unsigned n = other ? static_cast<unsigned>(__builtin_ctzll(other)) >> 3 : 8;
        if (n == 0) return p;
        uint64_t d = n == 8 ? t : (t & ((uint64_t(1) << (8 * n)) - 1)) << (8 * (8 - n));
        d = d * 10 + (d >> 8);  // pairs of digits
        d = (((d & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
             (((d >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >> 32;
        digits = digits * kPowersOfTen[n] + d;
        p += n;
        if (n < 8) return p;
    }
    for (; p != e && static_cast<unsigned>(*p - '0') < 10u; ++p) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    return p;
}

}  // namespace

const char* scanPlainDecimal(const char* b, const char* e, double& out) {
    static const double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = b != e && *b == '-';
    if (negative) ++b;
    // At most 19 digits fit the integer without overflow; fewer than 10^15
    // of it is what makes the division exact enough.
    uint64_t digits = 0;
    const char* p = appendDigits(b, e, digits);
    const long whole = p - b;
    long fraction = 0;
    if (p != e && *p == '.') {
        const char* f = ++p;
        p = appendDigits(p, e, digits);
        fraction = p - f;
    }
    // An exponent or anything else glued on: the general parser decides.
    if (whole + fraction == 0 || whole + fraction > 19 || digits >= 1000000000000000ull || fraction > 22 ||
        (p != e && (*p == 'e' || *p == 'E' || *p == '.')))
        return nullptr;
    const double v = static_cast<double>(digits) / kTens[fraction];
    out = negative ? -v : v;
    return p;
}

bool parseNumber(std::string_view w, double& out) {
    const char* b = w.data();
    const char* e = b + w.size();
    if (b != e && *b == '+') ++b;
    if (b == e || *b == '+') return false;
    if (scanPlainDecimal(b, e, out) == e) return true;
    auto r = std::from_chars(b, e, out, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

}  // namespace bvh::detail
