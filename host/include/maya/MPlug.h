#ifndef MAYA_MPLUG_H
#define MAYA_MPLUG_H
// One attribute of one node. Lock flags and connections belong to the
// (node, attribute) pair; a child plug (rotateX) of a locked or driven
// compound (rotate) counts as locked or driven too.

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MString.h>
#include <maya/MStatus.h>
#include <vector>

class MPlugArray;

class OPENMAYA_EXPORT MPlug {
public:
    MPlug() = default;
    MPlug(const MPlug& other) = default;
    MPlug(const MObject& node, const MObject& attribute);
    MPlug& operator=(const MPlug& other) = default;
    ~MPlug() = default;

    bool isNull(MStatus* ReturnStatus = NULL) const;
    MObject node(MStatus* ReturnStatus = NULL) const;
    MObject attribute(MStatus* ReturnStatus = NULL) const;
    // Re-points the plug at another attribute of the same node.
    MStatus setAttribute(MObject& attribute);
    // "node.longAttributeName".
    MString name(MStatus* ReturnStatus = NULL) const;
    // "node.shortName" (or the long name with useLongNames).
    MString partialName(bool includeNodeName = true, bool useLongNames = false,
                        MStatus* ReturnStatus = NULL) const;

    bool isLocked(MStatus* ReturnStatus = nullptr) const;
    MStatus setLocked(bool locked);

    bool isConnected(MStatus* ReturnStatus = NULL) const;
    bool isDestination(MStatus* ReturnStatus = NULL) const;
    bool isSource(MStatus* ReturnStatus = NULL) const;
    // The plug driving this one, or a null plug.
    MPlug source(MStatus* ReturnStatus = NULL) const;
    bool connectedTo(MPlugArray& array, bool asDst, bool asSrc, MStatus* ReturnStatus = NULL) const;

    bool isCompound(MStatus* ReturnStatus = NULL) const;
    unsigned int numChildren(MStatus* ReturnStatus = NULL) const;
    MPlug child(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MPlug parent(MStatus* ReturnStatus = NULL) const;
    bool isChild(MStatus* ReturnStatus = NULL) const;

    // Numeric values of the transform attributes (internal units). Setting a
    // locked plug fails with kFailure, as in Maya.
    double asDouble(MStatus* ReturnStatus = NULL) const;
    int asInt(MStatus* ReturnStatus = NULL) const;
    MStatus getValue(double& value) const;
    MStatus setValue(double value);
    MStatus setDouble(double value) { return setValue(value); }
    MStatus setInt(int value) { return setValue(static_cast<double>(value)); }

    bool operator==(const MPlug& other) const;
    bool operator!=(const MPlug& other) const { return !(*this == other); }

private:
    MObject fNode;
    MObject fAttribute;
};

class OPENMAYA_EXPORT MPlugArray {
public:
    MPlugArray() = default;
    unsigned int length() const { return static_cast<unsigned int>(fPlugs.size()); }
    MStatus setLength(unsigned int length) { fPlugs.resize(length); return MStatus::kSuccess; }
    MStatus append(const MPlug& plug) { fPlugs.push_back(plug); return MStatus::kSuccess; }
    MStatus clear() { fPlugs.clear(); return MStatus::kSuccess; }
    // A null plug outside the array.
    MPlug operator[](unsigned int index) const { return index < fPlugs.size() ? fPlugs[index] : MPlug(); }

private:
    std::vector<MPlug> fPlugs;
};

#endif
