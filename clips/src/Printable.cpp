#include "clips/Printable.h"

#include <cstdint>
#include <cstdio>

namespace qmf {

namespace {

void hexByte(std::string& out, unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", c);
    out += buf;
}

// Length of the well-formed UTF-8 sequence at s[i] (RFC 3629: no overlongs,
// no surrogates, nothing above U+10FFFF), or 0.
std::size_t sequenceLength(std::string_view s, std::size_t i, uint32_t& code) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t n;
    uint32_t lo = 0;
    if (b0 >= 0xc2 && b0 <= 0xdf) n = 2, code = b0 & 0x1fu, lo = 0x80;
    else if (b0 >= 0xe0 && b0 <= 0xef) n = 3, code = b0 & 0x0fu, lo = 0x800;
    else if (b0 >= 0xf0 && b0 <= 0xf4) n = 4, code = b0 & 0x07u, lo = 0x10000;
    else return 0;
    if (s.size() - i < n) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xc0) != 0x80) return 0;
        code = (code << 6) | (b & 0x3fu);
    }
    if (code < lo || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    return n;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            if (c == '\n') out += "\\n";
            else if (c == '\t') out += "\\t";
            else if (c == '\r') out += "\\r";
            else hexByte(out, c);
            ++i;
            continue;
        }
        uint32_t code = 0;
        std::size_t n = sequenceLength(text, i, code);
        if (n == 0) {
            hexByte(out, c);
            ++i;
        } else if (code <= 0x9f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(code));
            out += buf;
            i += n;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace qmf
