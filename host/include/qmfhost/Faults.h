#ifndef QMFHOST_FAULTS_H
#define QMFHOST_FAULTS_H
// Fault injection for tests: make a named host call fail on purpose.
//
// A call checks the armed faults each time it runs (before doing anything);
// the first armed fault that matches fires, the call fails with the fault's
// status code and changes nothing. Faults are armed until cleared or used up.
//
//   qmfhost::FaultScope faults;                         // clears on exit
//   qmfhost::injectFault("MAnimControl::setMaxTime");   // next call fails once
//   qmfhost::injectFault("MFnAnimCurve::create", MStatus::kInvalidParameter,
//                        qmfhost::kAlways);
//   qmfhost::injectFaultFor("MFnAnimCurve::create", "spine", "rotateY");
//
// Call names: see faultPoints().

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MObject.h>

#include <string>
#include <vector>

namespace qmfhost {

// Pass as `times` for a fault that never runs out.
constexpr int kAlways = -1;

struct FaultRequest {
    std::string call;                               // e.g. "MFnAnimCurve::create"
    MStatus::MStatusCode code = MStatus::kFailure;  // what the call returns
    int times = 1;                                  // failures to give, or kAlways
    int skip = 0;                                   // matching calls to let through first
    std::string node;                               // "" = any; a node name or full path
    std::string attribute;                          // "" = any; long or short name
};

// Arms a fault. kInvalidParameter (and nothing armed) for an unknown call
// name, a success code, times == 0 or below kAlways, or a negative skip.
OPENMAYA_EXPORT MStatus injectFault(const FaultRequest& request);
OPENMAYA_EXPORT MStatus injectFault(const std::string& call,
                                    MStatus::MStatusCode code = MStatus::kFailure,
                                    int times = 1, int skip = 0);
// Only calls on this node (and attribute, if not empty) fail. Calls that
// concern no node (MAnimControl, MItDag, registration) never match.
OPENMAYA_EXPORT MStatus injectFaultFor(const std::string& call, const std::string& node,
                                       const std::string& attribute = std::string(),
                                       MStatus::MStatusCode code = MStatus::kFailure,
                                       int times = 1);
// Disarms every fault and zeroes the counters.
OPENMAYA_EXPORT void clearFaults();

// How often the call ran / how often an injected fault made it fail, since
// the last clearFaults().
OPENMAYA_EXPORT int callCount(const std::string& call);
OPENMAYA_EXPORT int faultsFired(const std::string& call);

// Every call name that can be made to fail.
OPENMAYA_EXPORT std::vector<std::string> faultPoints();

// Clears faults when constructed and when destroyed.
class OPENMAYA_EXPORT FaultScope {
public:
    FaultScope() { clearFaults(); }
    ~FaultScope() { clearFaults(); }
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
};

namespace detail {
// Used by the host's calls: counts the call and tells whether a fault fires
// for it; when one does, *status holds its code. node/attribute may be null.
OPENMAYA_EXPORT bool fault(const char* call, MStatus* status,
                           const MObject* node = nullptr, const char* attribute = nullptr);
}  // namespace detail

}  // namespace qmfhost

#endif
