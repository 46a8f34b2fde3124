#ifndef MAYA_MSTATUS_H
#define MAYA_MSTATUS_H
// Result of an API call: a public status code plus an internal code that
// selects the message errorString() and perror() print.

#include <maya/MTypes.h>
#include <iosfwd>

class MString;

class OPENMAYA_EXPORT MStatus {
public:
    enum MStatusCode {
        kSuccess = 0,
        kFailure,
        kInsufficientMemory,
        kInvalidParameter,
        kLicenseFailure,
        kUnknownParameter,
        kNotImplemented,
        kNotFound,
        kEndOfFile
    };

    MStatus() : fStatusCode(kSuccess), fInternalStatusCode(0) {}
    MStatus(MStatusCode code) : fStatusCode(code), fInternalStatusCode(0) {}
    MStatus(const MStatus& other) = default;
    MStatus& operator=(const MStatus& other) = default;

    // Comparisons look at the public code only, as Maya's do.
    bool operator==(const MStatus& other) const { return fStatusCode == other.fStatusCode; }
    bool operator==(const MStatusCode code) const { return fStatusCode == code; }
    bool operator!=(const MStatus& other) const { return fStatusCode != other.fStatusCode; }
    bool operator!=(const MStatusCode code) const { return fStatusCode != code; }

    // True when the status holds no error.
    operator bool() const { return fStatusCode == kSuccess; }
    bool error() const { return fStatusCode != kSuccess; }
    MStatusCode statusCode() const { return fStatusCode; }
    void clear() { fStatusCode = kSuccess; fInternalStatusCode = 0; }

    // "(kCodeName): message".
    MString errorString() const;
    // Prints "<text>: <errorString()>" on stderr; an empty text prints the
    // error string alone.
    void perror(const char* text) const;
    void perror(const MString& text) const;

    // For the host's own use: set the code and the internal message selector.
    void set(bool status, unsigned char statusCode, unsigned char internalStatusCode);
    void setSuccess() { clear(); }
    unsigned char internalStatusCode() const { return fInternalStatusCode; }

    friend bool operator==(const MStatusCode code, const MStatus& s) { return s.fStatusCode == code; }
    friend bool operator!=(const MStatusCode code, const MStatus& s) { return s.fStatusCode != code; }
    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, MStatus& s);

private:
    MStatusCode fStatusCode;
    unsigned char fInternalStatusCode;
};

typedef MStatus MS;

// Text of a status code name, e.g. "kFailure"; "kUnknown" for values outside the enum.
OPENMAYA_EXPORT const char* MStatusCodeName(MStatus::MStatusCode code);

// Writes the location line on stderr, then perror(""), as Maya's macros do.
OPENMAYA_EXPORT void MStatusReportApiError(const MStatus& status, const char* file, int line);

#define MFAIL(status) (MStatus::kSuccess != (status))

#define CHECK_MSTATUS(_status)                                       \
    do {                                                             \
        MStatus _maStat = (_status);                                 \
        if (MStatus::kSuccess != _maStat) {                          \
            MStatusReportApiError(_maStat, __FILE__, __LINE__);      \
        }                                                            \
    } while (0)

#define CHECK_MSTATUS_AND_RETURN(_status, _retVal)                   \
    do {                                                             \
        MStatus _maStat = (_status);                                 \
        if (MStatus::kSuccess != _maStat) {                          \
            MStatusReportApiError(_maStat, __FILE__, __LINE__);      \
            return (_retVal);                                        \
        }                                                            \
    } while (0)

#define CHECK_MSTATUS_AND_RETURN_IT(_status)                         \
    CHECK_MSTATUS_AND_RETURN((_status), (_status))

#endif
