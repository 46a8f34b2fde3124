#include <maya/MStatus.h>
#include <maya/MString.h>

#include "HostState.h"

#include <cstdio>
#include <iostream>

namespace {

const char* defaultMessage(MStatus::MStatusCode code) {
    switch (code) {
    case MStatus::kSuccess: return "No error";
    case MStatus::kFailure: return "Unexpected Internal Failure";
    case MStatus::kInsufficientMemory: return "Insufficient memory";
    case MStatus::kInvalidParameter: return "Object is incompatible with this method";
    case MStatus::kLicenseFailure: return "License failure";
    case MStatus::kUnknownParameter: return "Unknown parameter";
    case MStatus::kNotImplemented: return "Not implemented";
    case MStatus::kNotFound: return "Not found";
    case MStatus::kEndOfFile: return "End of file";
    }
    return "Unknown status";
}

const char* internalMessage(unsigned char internal) {
    using namespace qmfhost::detail;
    switch (internal) {
    case kMsgNoElement: return "No element at given index";
    case kMsgNotFoundType: return "Cannot find item of required type";
    case kMsgObjectMissing: return "Object does not exist";
    case kMsgNotAttached: return "Function set is not attached to a valid object";
    case kMsgLocked: return "Plug is locked";
    case kMsgConnected: return "Plug is already connected";
    case kMsgEndOfIteration: return "Null DAG object, end of iteration";
    case kMsgBadArgument: return "Invalid argument";
    default: return nullptr;
    }
}

}  // namespace

const char* MStatusCodeName(MStatus::MStatusCode code) {
    switch (code) {
    case MStatus::kSuccess: return "kSuccess";
    case MStatus::kFailure: return "kFailure";
    case MStatus::kInsufficientMemory: return "kInsufficientMemory";
    case MStatus::kInvalidParameter: return "kInvalidParameter";
    case MStatus::kLicenseFailure: return "kLicenseFailure";
    case MStatus::kUnknownParameter: return "kUnknownParameter";
    case MStatus::kNotImplemented: return "kNotImplemented";
    case MStatus::kNotFound: return "kNotFound";
    case MStatus::kEndOfFile: return "kEndOfFile";
    }
    return "kUnknown";
}

void MStatus::set(bool status, unsigned char statusCode, unsigned char internalStatusCode) {
    if (status) {
        clear();
        return;
    }
    fStatusCode = statusCode <= kEndOfFile && statusCode != kSuccess ? static_cast<MStatusCode>(statusCode)
                                                                     : kFailure;
    fInternalStatusCode = internalStatusCode;
}

MString MStatus::errorString() const {
    const char* message = fStatusCode == kSuccess ? nullptr : internalMessage(fInternalStatusCode);
    std::string s = std::string("(") + MStatusCodeName(fStatusCode) + "): " +
                    (message ? message : defaultMessage(fStatusCode));
    return MString(s.c_str());
}

void MStatus::perror(const char* text) const {
    const std::string prefix = text ? text : "";
    const std::string line =
        prefix.empty() ? std::string(errorString().asChar()) : prefix + ": " + errorString().asChar();
    bool print = true;
    if (qmfhost::PerrorCapture* capture = qmfhost::detail::currentCapture())
        print = capture->record(qmfhost::PerrorLine{prefix, fStatusCode, line});
    if (print) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

void MStatus::perror(const MString& text) const { perror(text.asChar()); }

std::ostream& operator<<(std::ostream& os, MStatus& s) { return os << s.errorString().asChar(); }

void MStatusReportApiError(const MStatus& status, const char* file, int line) {
    std::cerr << "\nAPI error detected in " << (file ? file : "?") << " at line " << line << std::endl;
    status.perror("");
}

namespace qmfhost {

namespace detail {
MStatus makeStatus(MStatus::MStatusCode code, Message message) {
    MStatus s;
    s.set(code == MStatus::kSuccess, static_cast<unsigned char>(code), message);
    return s;
}
}  // namespace detail

PerrorCapture::PerrorCapture(bool echo) : fEcho(echo), fOuter(detail::currentCapture()) {
    detail::setCurrentCapture(this);
}

PerrorCapture::~PerrorCapture() {
    // Usually the innermost ends first; if not, unlink this one from the chain
    // so no capture is left pointing at it.
    if (detail::currentCapture() == this) {
        detail::setCurrentCapture(fOuter);
        return;
    }
    for (PerrorCapture* c = detail::currentCapture(); c; c = c->fOuter)
        if (c->fOuter == this) {
            c->fOuter = fOuter;
            return;
        }
}

std::vector<std::string> PerrorCapture::texts() const {
    std::vector<std::string> out;
    out.reserve(fLines.size());
    for (const PerrorLine& l : fLines) out.push_back(l.text);
    return out;
}

bool PerrorCapture::record(const PerrorLine& line) {
    fLines.push_back(line);
    return fEcho;
}

}  // namespace qmfhost
