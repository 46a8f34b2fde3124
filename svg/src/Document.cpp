#include "svg/Document.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace svg {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0 when
// the bytes there are not one (overlong, surrogate, past U+10FFFF, cut short).
std::size_t decode(std::string_view s, std::size_t i, std::uint32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    std::size_t n;
    std::uint32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < n) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        std::size_t n = decode(text, i, cp);
        if (n == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        switch (cp) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default:
                // XML has no place for other C0 controls nor for U+FFFE/U+FFFF;
                // DEL and C1 controls are legal but never wanted in a picture.
                if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xFFFE || cp == 0xFFFF)
                    out += kReplacement;
                else
                    out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string num(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    // Picture coordinates never need more; this keeps every number short.
    constexpr double kLimit = 1e9;
    if (value > kLimit) value = kLimit;
    if (value < -kLimit) value = -kLimit;
    if (decimals < 0) decimals = 0;
    if (decimals > 6) decimals = 6;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s(buf);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string clip(std::string_view text, std::size_t maxChars) {
    if (maxChars == 0) return {};
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (chars == maxChars) {
            // Room for the ellipsis: drop the last kept character.
            std::size_t cut = i;
            do --cut;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80);
            return std::string(text.substr(0, cut)) + "\xE2\x80\xA6";
        }
        ++chars;
    }
    return std::string(text);
}

Document::Document(double width, double height) {
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(width) + "\" height=\"" +
            num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) + "\">\n";
    open_.push_back("svg");
}

void Document::style(std::string_view css) {
    out_ += "<style>";
    for (char c : css) {
        if (c == '<') out_ += "&lt;";
        else if (c == '&') out_ += "&amp;";
        else out_ += c;
    }
    out_ += "</style>\n";
}

void Document::attrs(const Attr* begin, const Attr* end) {
    for (const Attr* a = begin; a != end; ++a) {
        out_ += ' ';
        out_ += a->first;
        out_ += "=\"";
        out_ += escape(a->second);
        out_ += '"';
    }
}

void Document::open(std::string_view tag, std::initializer_list<Attr> list) {
    out_ += '<';
    out_ += tag;
    attrs(list.begin(), list.end());
    out_ += ">\n";
    open_.emplace_back(tag);
}

void Document::close() {
    // The root stays open until finish().
    if (open_.size() <= 1) return;
    out_ += "</" + open_.back() + ">\n";
    open_.pop_back();
}

void Document::element(std::string_view tag, std::initializer_list<Attr> list) {
    out_ += '<';
    out_ += tag;
    attrs(list.begin(), list.end());
    out_ += "/>\n";
}

void Document::element(std::string_view tag, const std::vector<Attr>& list) {
    out_ += '<';
    out_ += tag;
    attrs(list.data(), list.data() + list.size());
    out_ += "/>\n";
}

void Document::text(std::string_view tag, std::initializer_list<Attr> list, std::string_view body) {
    out_ += '<';
    out_ += tag;
    attrs(list.begin(), list.end());
    out_ += '>';
    out_ += escape(body);
    out_ += "</";
    out_ += tag;
    out_ += ">\n";
}

void Document::polyline(const std::vector<std::pair<double, double>>& points, std::initializer_list<Attr> list,
                        int decimals) {
    out_ += "<polyline";
    attrs(list.begin(), list.end());
    out_ += " points=\"";
    bool first = true;
    for (const auto& [x, y] : points) {
        if (!first) out_ += ' ';
        first = false;
        out_ += num(x, decimals);
        out_ += ',';
        out_ += num(y, decimals);
    }
    out_ += "\"/>\n";
}

std::string Document::finish() {
    while (!open_.empty()) {
        out_ += "</" + open_.back() + ">\n";
        open_.pop_back();
    }
    return std::move(out_);
}

}  // namespace svg
