#ifndef MAYA_MFNDAGNODE_H
#define MAYA_MFNDAGNODE_H
// DAG node: parents, children, instancing, paths. The world node is a DAG
// node too; top-level nodes have it as parent 0.

#include <maya/MTypes.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MDagPath.h>

class OPENMAYA_EXPORT MFnDagNode : public MFnDependencyNode {
public:
    MFnDagNode() = default;
    MFnDagNode(MObject& object, MStatus* ReturnStatus = NULL);
    MFnDagNode(const MObject& object, MStatus* ReturnStatus = NULL);
    MFnDagNode(const MDagPath& path, MStatus* ReturnStatus = NULL);
    ~MFnDagNode() override;

    MFn::Type type() const override;

    // Creates a DAG node of the type under parent (null: the world) and
    // attaches to it. A shape type (mesh, locator, ...) created without a
    // parent gets a new transform as its parent, and that transform is
    // returned, as Maya does.
    MObject create(const MString& type, const MObject& parent = MObject::kNullObj,
                   MStatus* ReturnStatus = NULL);
    MObject create(const MString& type, const MString& name,
                   const MObject& parent = MObject::kNullObj, MStatus* ReturnStatus = NULL);

    unsigned int childCount(MStatus* ReturnStatus = NULL) const;
    MObject child(unsigned int i, MStatus* ReturnStatus = NULL) const;
    unsigned int parentCount(MStatus* ReturnStatus = NULL) const;
    MObject parent(unsigned int i, MStatus* ReturnStatus = NULL) const;
    // Makes child a child of this node at index (kNextPos: last). Without
    // keepExistingParents the child leaves its other parents; with it the
    // child gains an instance path.
    MStatus addChild(MObject& child, unsigned int index = kNextPos,
                     bool keepExistingParents = false);
    MStatus removeChild(MObject& child);
    MStatus removeChildAt(unsigned int index);
    bool hasChild(const MObject& node, MStatus* ReturnStatus = NULL) const;
    bool hasParent(const MObject& node, MStatus* ReturnStatus = NULL) const;
    bool isChildOf(const MObject& node, MStatus* ReturnStatus = NULL) const;
    bool isParentOf(const MObject& node, MStatus* ReturnStatus = NULL) const;
    // The top-level ancestor along the first path.
    MObject dagRoot(MStatus* ReturnStatus = NULL);
    bool isInstanced(bool indirect = true, MStatus* ReturnStatus = NULL) const;
    unsigned int instanceCount(bool total, MStatus* ReturnStatus = NULL) const;

    // The node's own (object space) matrix: a transform's or joint's local
    // matrix as it composes its channels, the identity for other nodes.
    MMatrix transformationMatrix(MStatus* ReturnStatus = NULL) const;

    // Paths of the attached path, or of the first path when attached to an object.
    MString fullPathName(MStatus* ReturnStatus = NULL) const;
    MString partialPathName(MStatus* ReturnStatus = NULL) const;
    MStatus getPath(MDagPath& path) const;
    MDagPath dagPath(MStatus* ReturnStatus = NULL) const;

protected:
    MDagPath fPath;   // set when built from a path
};

#endif
