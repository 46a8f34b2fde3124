#include "Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace bvh::detail {

const char* scanPlainDecimal(const char* b, const char* e, double& out) {
    static const double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const auto digit = [](char c) { return static_cast<unsigned>(c - '0') < 10u; };
    const bool negative = b != e && *b == '-';
    if (negative) ++b;
    // At most 19 digits fit the integer without overflow; fewer than 10^15
    // of it is what makes the division exact enough.
    uint64_t digits = 0;
    const char* p = b;
    for (; p != e && digit(*p); ++p) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    const long whole = p - b;
    long fraction = 0;
    if (p != e && *p == '.') {
        const char* f = ++p;
        for (; p != e && digit(*p); ++p) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
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
