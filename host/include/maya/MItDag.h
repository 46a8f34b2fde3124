#ifndef MAYA_MITDAG_H
#define MAYA_MITDAG_H
// Walk of the DAG below a root (the world by default). The filter selects
// which nodes are returned; the walk still passes through the others. An
// instanced node is visited once per path.

#include <maya/MTypes.h>
#include <maya/MFn.h>
#include <maya/MObject.h>
#include <maya/MDagPath.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <deque>
#include <vector>

class OPENMAYA_EXPORT MItDag {
public:
    enum TraversalType { kInvalidType = 0, kDepthFirst, kBreadthFirst };

    MItDag(TraversalType type = kDepthFirst, MFn::Type filter = MFn::kInvalid,
           MStatus* ReturnStatus = NULL);
    ~MItDag();

    MStatus reset();
    MStatus reset(const MObject& root, TraversalType type = kDepthFirst,
                  MFn::Type filter = MFn::kInvalid);
    MStatus reset(const MDagPath& path, TraversalType type = kDepthFirst,
                  MFn::Type filter = MFn::kInvalid);

    // The current node; a null object with kInvalidParameter at the end.
    MObject item(MStatus* ReturnStatus = NULL);
    MObject currentItem(MStatus* ReturnStatus = NULL);
    MStatus next();
    // Do not descend below the current node.
    MStatus prune();
    bool isDone(MStatus* ReturnStatus = NULL) const;
    MObject root(MStatus* ReturnStatus = NULL);
    // Levels below the root (the root is 0).
    unsigned int depth(MStatus* ReturnStatus = NULL) const;
    MStatus getPath(MDagPath& path) const;
    MString fullPathName(MStatus* ReturnStatus = NULL) const;
    MString partialPathName(MStatus* ReturnStatus = NULL) const;
    bool isInstanced(bool indirect = true, MStatus* ReturnStatus = NULL) const;
    unsigned int instanceCount(bool total, MStatus* ReturnStatus = NULL) const;
    TraversalType getType(MStatus* ReturnStatus = NULL) const;
    MStatus traverseUnderWorld(bool flag);
    bool willTraverseUnderWorld(MStatus* ReturnStatus = NULL) const;

private:
    MItDag(const MItDag&) = delete;
    MItDag& operator=(const MItDag&) = delete;

    // One step of a path: the node and the link of its parent on this path.
    // Links live in fLinks, so walking a deep hierarchy costs no path copies.
    struct Link {
        unsigned long long node;
        long long up;          // index in fLinks, -1 above the root
        unsigned int depth;    // below the root
    };

    MStatus start(const std::vector<unsigned long long>& rootPath, TraversalType type,
                  MFn::Type filter);
    // Moves to the next node in walk order, matching or not; false at the end.
    bool step();
    bool currentMatches() const;
    unsigned long long currentNode() const;
    // Node ids from below the world down to the current node.
    std::vector<unsigned long long> currentPath() const;

    TraversalType fType;
    MFn::Type fFilter;
    std::vector<unsigned long long> fRootPath;   // from below the world to the root
    std::vector<Link> fLinks;
    long long fCurrent;                          // index in fLinks, -1 at the end
    std::deque<long long> fPending;
    bool fPruned;
    bool fUnderWorld;
};

#endif
