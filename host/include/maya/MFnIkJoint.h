#ifndef MAYA_MFNIKJOINT_H
#define MAYA_MFNIKJOINT_H
// Joint node. Its local matrix is S * RA * R * JO * IS * T (row vectors):
// scale, rotate axis, rotate, joint orient, inverse parent scale, translate.

#include <maya/MTypes.h>
#include <maya/MFnTransform.h>

class OPENMAYA_EXPORT MFnIkJoint : public MFnTransform {
public:
    MFnIkJoint() = default;
    MFnIkJoint(MObject& object, MStatus* ReturnStatus = NULL);
    MFnIkJoint(const MObject& object, MStatus* ReturnStatus = NULL);
    MFnIkJoint(const MDagPath& path, MStatus* ReturnStatus = NULL);
    ~MFnIkJoint() override;

    MFn::Type type() const override;

    // A new joint under parent (null: the world), named "jointN".
    MObject create(MObject parent = MObject::kNullObj, MStatus* ReturnStatus = NULL);

    // The jointOrient attribute (kept as XYZ Euler angles).
    MStatus getOrientation(MQuaternion& quaternion) const;
    MStatus getOrientation(MEulerRotation& rotation) const;
    MStatus getOrientation(double rotation[3], MTransformationMatrix::RotationOrder& order) const;
    MStatus setOrientation(const MQuaternion& quaternion);
    MStatus setOrientation(const MEulerRotation& rotation);
    MStatus setOrientation(const double rotation[3], MTransformationMatrix::RotationOrder order);

    // The rotate axis.
    MStatus getScaleOrientation(MQuaternion& quaternion) const;
    MStatus setScaleOrientation(const MQuaternion& quaternion);
};

#endif
