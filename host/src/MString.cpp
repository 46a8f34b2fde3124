#include <maya/MString.h>
#include <maya/MStatus.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <ostream>

namespace {
std::string formatDouble(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}
}  // namespace

MString::MString(const char* s) : fText(s ? s : "") {}

MString::MString(const char* s, int n) {
    if (s && n > 0) fText.assign(s, static_cast<size_t>(n));
}

MString::MString(const wchar_t* w) {
    if (!w) return;
    // Wide text as UTF-8, code point by code point.
    for (; *w; ++w) {
        unsigned long c = static_cast<unsigned long>(*w);
        if (c < 0x80) {
            fText += static_cast<char>(c);
        } else if (c < 0x800) {
            fText += static_cast<char>(0xC0 | (c >> 6));
            fText += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            fText += static_cast<char>(0xE0 | (c >> 12));
            fText += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            fText += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x110000) {
            fText += static_cast<char>(0xF0 | (c >> 18));
            fText += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            fText += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            fText += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

MString& MString::operator=(const char* other) {
    fText = other ? other : "";
    return *this;
}

MString& MString::operator=(double value) {
    fText = formatDouble(value);
    return *this;
}

const char* MString::asChar(int& charLength) const {
    charLength = static_cast<int>(fText.size());
    return fText.c_str();
}

unsigned int MString::numChars() const {
    unsigned int n = 0;
    for (unsigned char c : fText)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

MString& MString::operator+=(const MString& other) {
    fText += other.fText;
    return *this;
}
MString& MString::operator+=(const char* other) {
    if (other) fText += other;
    return *this;
}
MString& MString::operator+=(double value) {
    fText += formatDouble(value);
    return *this;
}
MString& MString::operator+=(int value) {
    fText += std::to_string(value);
    return *this;
}
MString& MString::operator+=(unsigned int value) {
    fText += std::to_string(value);
    return *this;
}

bool MString::operator==(const char* other) const { return fText == (other ? other : ""); }

MString MString::operator+(const MString& other) const {
    MString r(*this);
    r += other;
    return r;
}
MString MString::operator+(const char* other) const {
    MString r(*this);
    r += other;
    return r;
}
MString MString::operator+(double value) const {
    MString r(*this);
    r += value;
    return r;
}
MString MString::operator+(int value) const {
    MString r(*this);
    r += value;
    return r;
}

MStatus MString::set(const char* s) {
    *this = s;
    return MStatus::kSuccess;
}
MStatus MString::set(const char* s, int n) {
    *this = MString(s, n);
    return MStatus::kSuccess;
}
MStatus MString::set(double value) {
    *this = value;
    return MStatus::kSuccess;
}

MString MString::substring(int start, int end) const {
    const int size = static_cast<int>(fText.size());
    if (start < 0) start = 0;
    if (end >= size) end = size - 1;
    if (start > end) return MString();
    return MString(fText.c_str() + start, end - start + 1);
}

int MString::index(char c) const {
    size_t p = fText.find(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int MString::rindex(char c) const {
    size_t p = fText.rfind(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

MString MString::toLowerCase() const {
    MString r(*this);
    for (char& c : r.fText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

MString MString::toUpperCase() const {
    MString r(*this);
    for (char& c : r.fText) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

bool MString::isInt() const {
    if (fText.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(fText.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0' && v >= -2147483647L - 1 && v <= 2147483647L;
}

bool MString::isDouble() const {
    if (fText.empty()) return false;
    char* end = nullptr;
    std::strtod(fText.c_str(), &end);
    return end && *end == '\0';
}

int MString::asInt() const { return isInt() ? static_cast<int>(std::strtol(fText.c_str(), nullptr, 10)) : 0; }

double MString::asDouble() const { return isDouble() ? std::strtod(fText.c_str(), nullptr) : 0.0; }

MString operator+(const char* left, const MString& right) {
    MString r(left);
    r += right;
    return r;
}

std::ostream& operator<<(std::ostream& os, const MString& s) { return os << s.asChar(); }
