#ifndef MAYA_MTRANSFORMATIONMATRIX_H
#define MAYA_MTRANSFORMATIONMATRIX_H
// A transform held as components (scale, rotation, translation), composed with
// row vectors as S * R * T. Only the part of Maya's class the host needs; a
// lone matrix has no parent, so every valid space reads the same components.

#include <maya/MTypes.h>
#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>
#include <maya/MSpace.h>
#include <maya/MVector.h>

class MStatus;

class OPENMAYA_EXPORT MTransformationMatrix {
public:
    // Same sequence as MEulerRotation::RotationOrder, shifted up by one.
    enum RotationOrder { kInvalid, kXYZ, kYZX, kZXY, kXZY, kYXZ, kZYX, kLast };

    MTransformationMatrix();
    MTransformationMatrix(const MTransformationMatrix& src) = default;
    // Splits a matrix into scale, rotation and translation (no shear).
    MTransformationMatrix(const MMatrix& m);
    ~MTransformationMatrix() = default;
    MTransformationMatrix& operator=(const MTransformationMatrix& src) = default;
    MTransformationMatrix& operator=(const MMatrix& m);

    MMatrix asMatrix() const;

    MVector getTranslation(MSpace::Space space, MStatus* ReturnStatus = NULL) const;
    MVector translation(MSpace::Space space, MStatus* ReturnStatus = NULL) const;
    MStatus setTranslation(const MVector& vector, MSpace::Space space);
    MStatus getScale(double scale[3], MSpace::Space space) const;
    MStatus setScale(const double scale[3], MSpace::Space space);

    MQuaternion rotation(MStatus* ReturnStatus = NULL) const;
    MEulerRotation eulerRotation(MStatus* ReturnStatus = NULL) const;
    MTransformationMatrix& rotateTo(const MQuaternion& q, MSpace::Space space = MSpace::kTransform,
                                    MStatus* ReturnStatus = NULL);
    MTransformationMatrix& rotateTo(const MEulerRotation& e, MSpace::Space space = MSpace::kTransform,
                                    MStatus* ReturnStatus = NULL);
    MStatus getRotation(double rotation[3], RotationOrder& order) const;
    // Sets the angles (radians) and the order they are read in.
    MStatus setRotation(const double rotation[3], RotationOrder order);
    RotationOrder rotationOrder(MStatus* ReturnStatus = NULL) const;
    // Keeps the orientation and re-expresses it in the new order.
    MStatus reorderRotation(const RotationOrder& order);

    bool isEquivalent(const MTransformationMatrix& other, double tolerance = kMatrixEpsilon) const;
    bool operator==(const MTransformationMatrix& other) const;
    bool operator!=(const MTransformationMatrix& other) const { return !(*this == other); }

    static const MTransformationMatrix identity;

private:
    MVector trans;
    double scl[3];
    MQuaternion rot;
    MEulerRotation euler;  // the angles as set, with their order
};

#endif
