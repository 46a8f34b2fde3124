#ifndef MAYA_MDAGPATH_H
#define MAYA_MDAGPATH_H
// One path from the world to a DAG node; an instanced node has several.

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MMatrix.h>
#include <maya/MString.h>
#include <vector>

class MStatus;

class OPENMAYA_EXPORT MDagPath {
public:
    MDagPath() = default;
    MDagPath(const MDagPath& other) = default;
    MDagPath& operator=(const MDagPath& other) = default;
    ~MDagPath() = default;

    // The first path (through parent 0 at every level) to a DAG node.
    static MStatus getAPathTo(const MObject& node, MDagPath& path);
    // Every path to a DAG node, in parent order.
    static MStatus getAllPathsTo(const MObject& node, std::vector<MDagPath>& paths);

    // False for a default-constructed path and for one a scene edit broke.
    bool isValid(MStatus* ReturnStatus = NULL) const;
    MObject node(MStatus* ReturnStatus = NULL) const;
    // Nodes below the world on this path (the world alone has length 0).
    unsigned int length(MStatus* ReturnStatus = NULL) const;
    MStatus push(const MObject& child);
    MStatus pop(unsigned int num = 1);
    MString fullPathName(MStatus* ReturnStatus = NULL) const;
    MString partialPathName(MStatus* ReturnStatus = NULL) const;
    // Index of this path among the paths to its node.
    unsigned int instanceNumber(MStatus* ReturnStatus = NULL) const;
    // The world matrix of the path's node: every local matrix on the path,
    // the node's own first (joints with their inverse-scale compensation).
    // exclusiveMatrix leaves the node's own out. Identity and
    // kInvalidParameter for a path that refers to nothing.
    MMatrix inclusiveMatrix(MStatus* ReturnStatus = NULL) const;
    MMatrix exclusiveMatrix(MStatus* ReturnStatus = NULL) const;

    bool operator==(const MDagPath& other) const { return fSet == other.fSet && fNodes == other.fNodes; }
    bool operator!=(const MDagPath& other) const { return !(*this == other); }

    // Host-internal: the node ids from the world down.
    const std::vector<unsigned long long>& nodeIds() const { return fNodes; }
    void setNodeIds(const std::vector<unsigned long long>& ids) {
        fNodes = ids;
        fSet = true;
    }

private:
    std::vector<unsigned long long> fNodes;
    bool fSet = false;   // a default-constructed path refers to nothing
};

#endif
