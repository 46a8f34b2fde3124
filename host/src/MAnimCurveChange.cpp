#include <maya/MAnimCurveChange.h>

#include "HostState.h"

using namespace qmfhost::detail;

struct MAnimCurveChange::Snapshot {
    MObject curve;
    CurveStore data;
};

MAnimCurveChange::MAnimCurveChange(MStatus* ReturnStatus)
    : fBefore(new std::vector<Snapshot>), fAfter(new std::vector<Snapshot>) {
    report(ReturnStatus, MStatus::kSuccess);
}

MAnimCurveChange::~MAnimCurveChange() {
    delete fBefore;
    delete fAfter;
}

void MAnimCurveChange::recordCurve(const MObject& curve) {
    Node* n = node(curve);
    if (!n || !n->curve) return;
    for (const Snapshot& s : *fBefore)
        if (s.curve == curve) return;   // the state before the first edit is what counts
    fBefore->push_back(Snapshot{curve, *n->curve});
    fAfter->clear();
}

MStatus MAnimCurveChange::undoIt() {
    if (fBefore->empty()) return MStatus::kSuccess;
    fAfter->clear();
    for (auto it = fBefore->rbegin(); it != fBefore->rend(); ++it) {
        Node* n = node(it->curve);
        if (!n || !n->curve) continue;
        fAfter->push_back(Snapshot{it->curve, *n->curve});
        *n->curve = it->data;
    }
    return MStatus::kSuccess;
}

MStatus MAnimCurveChange::redoIt() {
    for (const Snapshot& s : *fAfter) {
        Node* n = node(s.curve);
        if (n && n->curve) *n->curve = s.data;
    }
    return MStatus::kSuccess;
}
