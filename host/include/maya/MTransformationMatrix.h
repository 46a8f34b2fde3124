#ifndef MAYA_MTRANSFORMATIONMATRIX_H
#define MAYA_MTRANSFORMATIONMATRIX_H
// A transform held as components (scale, rotation, translation), composed with
// row vectors as S * R * T. Only what the host needs of Maya's class is here.

#include <maya/MTypes.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>
#include <maya/MEulerRotation.h>
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

    MMatrix asMatrix() const;

    MVector translation() const { return trans; }
    MStatus setTranslation(const MVector& t);
    void getScale(double scale[3]) const;
    MStatus setScale(const double scale[3]);

    MQuaternion rotation() const { return rot; }
    MEulerRotation eulerRotation() const;
    MTransformationMatrix& rotateTo(const MQuaternion& q);
    MTransformationMatrix& rotateTo(const MEulerRotation& e);
    RotationOrder rotationOrder(MStatus* ReturnStatus = NULL) const;
    // With reorder the orientation is kept and re-expressed in the new order;
    // without it the order is only relabelled.
    MStatus setRotationOrder(RotationOrder order, bool reorder);

    bool isEquivalent(const MTransformationMatrix& other, double tolerance = kMatrixEpsilon) const;

    static const MTransformationMatrix identity;

private:
    MVector trans;
    double scl[3];
    MQuaternion rot;
    MEulerRotation euler;   // keeps the angles as set, with their order
};

#endif
