#ifndef MAYA_MSTRING_H
#define MAYA_MSTRING_H
// Byte string (UTF-8 text) with Maya's interface.

#include <maya/MTypes.h>
#include <iosfwd>
#include <string>

class MStatus;

class OPENMAYA_EXPORT MString {
public:
    MString() = default;
    // A null pointer gives the empty string.
    MString(const char* charString);
    // The first charLength bytes; a negative length or null pointer gives "".
    MString(const char* charString, int charLength);
    MString(const wchar_t* wideString);
    MString(const MString& other) = default;
    MString(MString&& other) noexcept = default;
    ~MString() = default;

    MString& operator=(const MString& other) = default;
    MString& operator=(MString&& other) noexcept = default;
    MString& operator=(const char* other);
    MString& operator=(double value);

    // Valid while this string lives and is not changed.
    const char* asChar() const { return fText.c_str(); }
    const char* asChar(int& charLength) const;
    // Bytes.
    unsigned int length() const { return static_cast<unsigned int>(fText.size()); }
    // Characters (UTF-8 sequences).
    unsigned int numChars() const;

    MString& operator+=(const MString& other);
    MString& operator+=(const char* other);
    MString& operator+=(double value);
    MString& operator+=(int value);
    MString& operator+=(unsigned int value);

    bool operator==(const MString& other) const { return fText == other.fText; }
    bool operator==(const char* other) const;
    bool operator!=(const MString& other) const { return !(*this == other); }
    bool operator!=(const char* other) const { return !(*this == other); }

    MString operator+(const MString& other) const;
    MString operator+(const char* other) const;
    MString operator+(double value) const;
    MString operator+(int value) const;

    MStatus set(const char* charString);
    MStatus set(const char* charString, int charLength);
    MStatus set(double value);

    // Bytes start..end inclusive; out-of-range indices are clipped.
    MString substring(int start, int end) const;
    // Byte index of the first/last occurrence, -1 if absent.
    int index(char c) const;
    int rindex(char c) const;
    MString toLowerCase() const;
    MString toUpperCase() const;
    bool isInt() const;
    bool isDouble() const;
    int asInt() const;
    double asDouble() const;

private:
    std::string fText;
};

OPENMAYA_EXPORT MString operator+(const char* left, const MString& right);
OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MString& s);

#endif
