#ifndef MAYA_MFNTRANSFORM_H
#define MAYA_MFNTRANSFORM_H
// Transform node: translate (cm), rotate (Euler radians in the node's
// rotateOrder), scale. Values are in the node's own space.

#include <maya/MTypes.h>
#include <maya/MFnDagNode.h>
#include <maya/MSpace.h>
#include <maya/MVector.h>
#include <maya/MQuaternion.h>
#include <maya/MEulerRotation.h>
#include <maya/MTransformationMatrix.h>

class OPENMAYA_EXPORT MFnTransform : public MFnDagNode {
public:
    MFnTransform() = default;
    MFnTransform(MObject& object, MStatus* ReturnStatus = NULL);
    MFnTransform(const MObject& object, MStatus* ReturnStatus = NULL);
    MFnTransform(const MDagPath& path, MStatus* ReturnStatus = NULL);
    ~MFnTransform() override;

    MFn::Type type() const override;

    // A new transform under parent (null: the world), named "transformN".
    MObject create(MObject parent = MObject::kNullObj, MStatus* ReturnStatus = NULL);

    // The local transformation: scale, rotation (for a joint rotate axis,
    // rotate and joint orient together) and translation. A joint's inverse
    // parent scale is not part of it.
    MTransformationMatrix transformation(MStatus* ReturnStatus = NULL) const;

    // The local spaces (kTransform, kPreTransform, kPostTransform) give the
    // translate value. kWorld needs a set built from an MDagPath (the
    // position along that path, every joint on it composed with its inverse
    // parent scale); otherwise it, and kInvalid, give kInvalidParameter.
    MVector translation(MSpace::Space space, MStatus* ReturnStatus = NULL) const;
    MVector getTranslation(MSpace::Space space, MStatus* ReturnStatus = NULL) const;
    MStatus setTranslation(const MVector& vec, MSpace::Space space);
    MStatus translateBy(const MVector& vec, MSpace::Space space);

    // The rotate attribute only (for a joint: not the joint orient). Spaces
    // other than kWorld are read as kTransform. kWorld, for a set built from
    // an MDagPath, is the orientation of the node's world matrix (every local
    // rotation along the path; scale is left out); otherwise kInvalidParameter.
    MStatus getRotation(MQuaternion& quaternion, MSpace::Space space = MSpace::kTransform) const;
    MStatus getRotation(MEulerRotation& rotation) const;
    MStatus getRotation(double rotation[3], MTransformationMatrix::RotationOrder& order) const;
    // A quaternion is stored as Euler angles in the node's rotateOrder. An
    // Euler rotation in another order is re-expressed in the node's order
    // (same orientation); the node's rotateOrder does not change.
    MStatus setRotation(const MQuaternion& quaternion, MSpace::Space space = MSpace::kTransform);
    MStatus setRotation(const MEulerRotation& rotation);
    MStatus setRotation(const double rotation[3], MTransformationMatrix::RotationOrder order);

    MTransformationMatrix::RotationOrder rotationOrder(MStatus* ReturnStatus = NULL) const;
    // With reorder the orientation is kept and the angles re-expressed;
    // without it the angles stay and only the order changes.
    MStatus setRotationOrder(MTransformationMatrix::RotationOrder order, bool reorder);

    MStatus getScale(double scale[3]) const;
    MStatus setScale(const double scale[3]);

    // The rotate axis ("rotate orient") as a rotation.
    MStatus getRotateOrientation(MQuaternion& quaternion) const;
    MStatus setRotateOrientation(const MQuaternion& quaternion);

protected:
    // Spaces served for local reads; sets *status.
    static bool localSpace(MSpace::Space space, MStatus* status);
};

#endif
