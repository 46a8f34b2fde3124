#ifndef MAYA_MANIMCURVECHANGE_H
#define MAYA_MANIMCURVECHANGE_H
// Records edits to curve keys so they can be undone and redone.

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <vector>

class OPENMAYA_EXPORT MAnimCurveChange {
public:
    MAnimCurveChange(MStatus* ReturnStatus = NULL);
    virtual ~MAnimCurveChange();

    // Restores every recorded curve to its state before the first recorded
    // edit; redoIt() brings the edits back.
    MStatus undoIt();
    MStatus redoIt();

    // Host-internal: called before a curve is edited.
    void recordCurve(const MObject& curve);

private:
    MAnimCurveChange(const MAnimCurveChange&) = delete;
    MAnimCurveChange& operator=(const MAnimCurveChange&) = delete;

    struct Snapshot;
    std::vector<Snapshot>* fBefore;
    std::vector<Snapshot>* fAfter;
};

#endif
