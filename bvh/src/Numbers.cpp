#include "Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace bvh::detail {

namespace {

// Plain decimals of at most 15 digits (what captures hold: -12.345678) read
// without the general parser: the digits make an integer below 2^53 and a
// power of ten up to 10^22 is exact, so one division rounds correctly and
// gives the very double the general parser gives. False for anything else.
bool parsePlainDecimal(const char* b, const char* e, double& out) {
    static const double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = b != e && *b == '-';
    if (negative) ++b;
    uint64_t digits = 0;
    int count = 0, fraction = 0;
    bool point = false, any = false;
    for (; b != e; ++b) {
        const char c = *b;
        if (c >= '0' && c <= '9') {
            any = true;
            if (digits == 0 && c == '0') {
                if (point) ++fraction;  // leading zeros count no digit
                continue;
            }
            if (++count > 15) return false;
            digits = digits * 10 + static_cast<uint64_t>(c - '0');
            if (point) ++fraction;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;  // an exponent, or not a number: the general parser decides
        }
    }
    if (!any || fraction > 22) return false;
    const double v = static_cast<double>(digits) / kTens[fraction];
    out = negative ? -v : v;
    return true;
}

}  // namespace

bool parseNumber(std::string_view w, double& out) {
    const char* b = w.data();
    const char* e = b + w.size();
    if (b != e && *b == '+') ++b;
    if (b == e || *b == '+') return false;
    if (parsePlainDecimal(b, e, out)) return true;
    auto r = std::from_chars(b, e, out, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

}  // namespace bvh::detail
