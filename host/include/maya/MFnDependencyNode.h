#ifndef MAYA_MFNDEPENDENCYNODE_H
#define MAYA_MFNDEPENDENCYNODE_H
// Dependency-graph node: name, type and attributes.

#include <maya/MTypes.h>
#include <maya/MFnBase.h>
#include <maya/MString.h>

class MPlug;

class OPENMAYA_EXPORT MFnDependencyNode : public MFnBase {
public:
    MFnDependencyNode() = default;
    MFnDependencyNode(MObject& object, MStatus* ReturnStatus = NULL);
    MFnDependencyNode(const MObject& object, MStatus* ReturnStatus = NULL);
    ~MFnDependencyNode() override;

    MFn::Type type() const override;

    // Creates a dependency (non-DAG) node of any type name and attaches to
    // it. An empty name gives "<type>N". DAG types are refused
    // (kInvalidParameter): use MFnDagNode::create for those.
    MObject create(const MString& type, MStatus* ReturnStatus = NULL);
    MObject create(const MString& type, const MString& name, MStatus* ReturnStatus = NULL);

    // The node's own name (no DAG path); namespaces are part of it.
    MString name(MStatus* ReturnStatus = NULL) const;
    // Renames; the result may differ if the name was taken. Returns the new name.
    MString setName(const MString& name, bool createNamespace = false, MStatus* ReturnStatus = NULL);
    MString absoluteName(MStatus* ReturnStatus = NULL) const;
    MString typeName(MStatus* ReturnStatus = NULL) const;

    // Attribute by long or short name ("rotateX" or "rx"): kInvalidParameter
    // when the node has no such attribute, kFailure when unattached.
    MObject attribute(const MString& attrName, MStatus* ReturnStatus = NULL) const;
    bool hasAttribute(const MString& attrName, MStatus* ReturnStatus = NULL) const;
    unsigned int attributeCount(MStatus* ReturnStatus = NULL) const;
    MObject attribute(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MString& attrName, bool wantNetworkedPlug, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MObject& attribute, bool wantNetworkedPlug, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MString& attrName, MStatus* ReturnStatus = NULL) const;

    bool isLocked(MStatus* ReturnStatus = NULL) const;
};

#endif
