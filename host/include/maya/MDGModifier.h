#ifndef MAYA_MDGMODIFIER_H
#define MAYA_MDGMODIFIER_H
// A queue of dependency-graph edits: doIt() carries them out, undoIt()
// reverts what doIt() did, in reverse order.

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <vector>

class MPlug;

class OPENMAYA_EXPORT MDGModifier {
public:
    MDGModifier();
    virtual ~MDGModifier();

    // Creates the node at once (as Maya does, so the object can be used) and
    // removes it again on undoIt().
    MObject createNode(const MString& type, MStatus* ReturnStatus = NULL);
    MStatus renameNode(const MObject& node, const MString& newName);
    MStatus deleteNode(const MObject& node);
    MStatus connect(const MObject& sourceNode, const MObject& sourceAttr,
                    const MObject& destNode, const MObject& destAttr);
    MStatus connect(const MPlug& source, const MPlug& dest);
    MStatus disconnect(const MObject& sourceNode, const MObject& sourceAttr,
                       const MObject& destNode, const MObject& destAttr);
    MStatus disconnect(const MPlug& source, const MPlug& dest);

    MStatus doIt();
    MStatus undoIt();

    // Host-internal: a node created elsewhere that undoIt() should delete.
    void recordCreatedNode(const MObject& node);

private:
    MDGModifier(const MDGModifier&) = delete;
    MDGModifier& operator=(const MDGModifier&) = delete;

    struct Op;
    std::vector<Op>* fOps;
    size_t fDone;   // ops carried out by doIt()
};

#endif
