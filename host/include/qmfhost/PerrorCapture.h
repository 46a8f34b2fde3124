#ifndef QMFHOST_PERRORCAPTURE_H
#define QMFHOST_PERRORCAPTURE_H
// Captures what MStatus::perror prints, for tests.
//
//   qmfhost::PerrorCapture capture;        // quiet: nothing reaches stderr
//   ... run the code under test ...
//   capture.lines()[0].text    == "Failure creating X rotation curve"
//   capture.lines()[0].code    == MStatus::kInvalidParameter
//   capture.lines()[0].line    == "Failure creating X rotation curve: (kInvalidParameter): ..."
//
// Captures nest: only the innermost live capture records. The CHECK_MSTATUS
// macros' location line is not a perror line and is not captured.

#include <maya/MTypes.h>
#include <maya/MStatus.h>

#include <string>
#include <vector>

namespace qmfhost {

struct PerrorLine {
    std::string text;           // the caller's text (may be empty)
    MStatus::MStatusCode code;  // the status perror was called on
    std::string line;           // the full line as printed, without the newline
};

class OPENMAYA_EXPORT PerrorCapture {
public:
    // With echo the lines still go to stderr as well.
    explicit PerrorCapture(bool echo = false);
    ~PerrorCapture();
    PerrorCapture(const PerrorCapture&) = delete;
    PerrorCapture& operator=(const PerrorCapture&) = delete;

    const std::vector<PerrorLine>& lines() const { return fLines; }
    // Just the callers' texts, in order.
    std::vector<std::string> texts() const;
    void clear() { fLines.clear(); }

    // Host-internal: called by MStatus::perror. Returns whether to also print.
    bool record(const PerrorLine& line);

private:
    bool fEcho;
    PerrorCapture* fOuter;
    std::vector<PerrorLine> fLines;
};

}  // namespace qmfhost

#endif
