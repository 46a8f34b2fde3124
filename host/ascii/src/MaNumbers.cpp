// Numbers as the writer puts them in a scene: the text printf's "%.15g"
// gives when that reads back to the same double, else "%.16g", else "%.17g".
// Built from the shortest round-trip digits (std::to_chars) instead of
// formatting and reading back up to three times: the closest decimal of
// max(15, shortest) digits is those digits (padded with zeros below 15),
// so only the layout of "%g" is left to do (subnormals aside).
#include "qmfhost/MaWriter.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qmfhost::ma {

namespace {

bool significandIsZero(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & ((std::uint64_t(1) << 52) - 1)) == 0;
}

// Whether the shortest text that reads back has more than 15 digits.
bool needsSixteenDigits(double v) {
    char sci[32];
    const char* end = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific).ptr;
    int digits = 0;
    for (const char* p = sci; p < end && *p != 'e'; ++p) digits += *p >= '0' && *p <= '9';
    return digits > 15;
}

}  // namespace

std::size_t formatNumber(double v, char* out) {
    if (v == 0) {
        if (std::signbit(v)) {
            std::memcpy(out, "-0", 2);
            return 2;
        }
        out[0] = '0';
        return 1;
    }
    if (!std::isfinite(v)) {
        // Never written for keys (the host refuses them); printf's spelling.
        const char* t = std::isnan(v) ? (std::signbit(v) ? "-nan" : "nan") : (v < 0 ? "-inf" : "inf");
        std::size_t n = std::strlen(t);
        std::memcpy(out, t, n);
        return n;
    }
    if (std::fabs(v) < DBL_MIN || (significandIsZero(v) && needsSixteenDigits(v))) {
        // Subnormals carry fewer digits than the reasoning above needs, and at
        // a power of two the doubles below are closer than those above, so the
        // closest 16 or 17 digits need not read back: format and read back as
        // printf would.
        char buf[40];
        for (int precision : {15, 16, 17}) {
            std::snprintf(buf, sizeof buf, "%.*g", precision, v);
            if (std::strtod(buf, nullptr) == v) break;
        }
        const std::size_t len = std::strlen(buf);
        std::memcpy(out, buf, len);
        return len;
    }
    const double magnitude = std::fabs(v);
    if (magnitude >= 1e-4 && magnitude < 1e15) {
        // The shortest text in plain decimals, when to_chars picks that, is
        // already "%g"'s layout: the exponent is within what "%g" writes plainly.
        const char* end = std::to_chars(out, out + kNumberCapacity, v).ptr;
        const std::size_t n = static_cast<std::size_t>(end - out);
        // Scientific text ends "e+XX" or "e-XXX"; plain text has no 'e' at all.
        const bool scientific = (n >= 4 && out[n - 4] == 'e') || (n >= 5 && out[n - 5] == 'e');
        if (!scientific) return n;
    }
    char sci[32];
    const char* end = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific).ptr;
    // sci: [-]d[.ddd]e(+|-)XX
    const char* p = sci;
    std::size_t n = 0;
    if (*p == '-') out[n++] = *p++;
    char digits[20];
    int k = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[k++] = *p;
    // to_chars writes no terminating NUL: read the exponent up to end.
    int exponent = 0;
    for (const char* e = p + 2; e < end; ++e) exponent = exponent * 10 + (*e - '0');
    if (p[1] == '-') exponent = -exponent;
    const int precision = k > 15 ? k : 15;
    if (exponent < -4 || exponent >= precision) {
        // "%g" scientific: the shortest digits and at least two exponent digits, as to_chars gives.
        const std::size_t len = static_cast<std::size_t>(end - (sci + (sci[0] == '-' ? 1 : 0)));
        std::memcpy(out + n, sci + (sci[0] == '-' ? 1 : 0), len);
        return n + len;
    }
    if (exponent < 0) {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = -1; i > exponent; --i) out[n++] = '0';
        std::memcpy(out + n, digits, static_cast<std::size_t>(k));
        return n + static_cast<std::size_t>(k);
    }
    // exponent + 1 digits before the point, zeros where the digits run out.
    for (int i = 0; i <= exponent; ++i) out[n++] = i < k ? digits[i] : '0';
    if (k > exponent + 1) {
        out[n++] = '.';
        for (int i = exponent + 1; i < k; ++i) out[n++] = digits[i];
    }
    return n;
}

std::string formatNumber(double v) {
    char buf[kNumberCapacity];
    return std::string(buf, formatNumber(v, buf));
}

std::string formatFrames(double seconds, double fps) {
    // The reader multiplies the frame number by 1 / fps; match that exactly.
    const double spf = 1.0 / fps;
    const double frames = seconds * fps;
    auto readsBack = [&](const char* text) { return std::strtod(text, nullptr) * spf == seconds; };
    char buf[64];
    // Plain decimals first (frame numbers are written that way), fewest digits.
    if (std::isfinite(frames) && std::fabs(frames) < 1e15) {
        for (int decimals = 0; decimals <= 17; ++decimals) {
            std::snprintf(buf, sizeof buf, "%.*f", decimals, frames);
            if (readsBack(buf)) return std::strcmp(buf, "-0") == 0 ? "0" : buf;
        }
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, frames);
        if (readsBack(buf)) return buf;
    }
    return formatNumber(frames);
}

}  // namespace qmfhost::ma
