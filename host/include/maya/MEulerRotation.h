#ifndef MAYA_MEULERROTATION_H
#define MAYA_MEULERROTATION_H
// Euler rotation in radians. The order names the axes in the order they are
// applied: kXYZ rotates about X first, then Y, then Z (fixed axes), so its
// matrix is RX * RY * RZ with row vectors.

#include <maya/MTypes.h>
#include <maya/MVector.h>
#include <iosfwd>

class MMatrix;
class MQuaternion;

#define kEulerRotationEpsilon 1.0e-10

class OPENMAYA_EXPORT MEulerRotation {
public:
    enum RotationOrder { kXYZ, kYZX, kZXY, kXZY, kYXZ, kZYX };

    MEulerRotation() : x(0.0), y(0.0), z(0.0), order(kXYZ) {}
    MEulerRotation(const MEulerRotation& src) = default;
    MEulerRotation(const MVector& v, RotationOrder ord = kXYZ) : x(v.x), y(v.y), z(v.z), order(ord) {}
    MEulerRotation(double xx, double yy, double zz, RotationOrder ord = kXYZ)
        : x(xx), y(yy), z(zz), order(ord) {}
    ~MEulerRotation() = default;

    MEulerRotation& operator=(const MEulerRotation& src) = default;
    // The conversions keep this rotation's order and re-express the input in it.
    MEulerRotation& operator=(const MQuaternion& q);
    MEulerRotation& operator=(const MMatrix& m);
    MEulerRotation& operator=(const MVector& v);
    MEulerRotation& setValue(const MVector& v, RotationOrder ord = kXYZ);
    MEulerRotation& setValue(double xx, double yy, double zz, RotationOrder ord = kXYZ);
    MEulerRotation& setValue(const MQuaternion& q);

    MQuaternion asQuaternion() const;
    MMatrix asMatrix() const;
    MVector asVector() const { return MVector(x, y, z); }

    double operator[](unsigned int i) const { return (&x)[i < 3 ? i : 2]; }
    double& operator[](unsigned int i) { return (&x)[i < 3 ? i : 2]; }

    // Angle-wise arithmetic in this rotation's order: a right operand in
    // another order is first re-expressed in this one.
    MEulerRotation operator+(const MEulerRotation& other) const;
    MEulerRotation& operator+=(const MEulerRotation& other);
    MEulerRotation operator-(const MEulerRotation& other) const;
    MEulerRotation& operator-=(const MEulerRotation& other);
    MEulerRotation operator-() const;
    // Composition (this, then other), expressed in this rotation's order.
    MEulerRotation operator*(const MEulerRotation& other) const;
    MEulerRotation operator*(const MQuaternion& other) const;
    MEulerRotation& operator*=(const MEulerRotation& other);
    MEulerRotation& operator*=(const MQuaternion& other);
    MEulerRotation operator*(double scale) const;
    MEulerRotation& operator*=(double scale);

    bool operator==(const MEulerRotation& other) const;
    bool operator!=(const MEulerRotation& other) const { return !(*this == other); }
    // Same order and every angle within tolerance.
    bool isEquivalent(const MEulerRotation& other, double tolerance = kEulerRotationEpsilon) const;
    bool isZero(double tolerance = kEulerRotationEpsilon) const;

    MEulerRotation& incrementalRotateBy(const MVector& axis, double angle);

    // Negated angles applied in reverse order: XYZ becomes ZYX.
    MEulerRotation inverse() const;
    MEulerRotation& invertIt();

    // Same orientation, expressed in another order.
    MEulerRotation reorder(RotationOrder ord) const;
    MEulerRotation& reorderIt(RotationOrder ord);

    // Every angle shifted by a multiple of 2*pi into [-pi, pi].
    MEulerRotation bound() const;
    MEulerRotation& boundIt();
    MEulerRotation& boundIt(const MEulerRotation& src);

    // The other angle triple for the same orientation, bounded, same order.
    MEulerRotation alternateSolution() const;
    MEulerRotation& setToAlternateSolution();
    MEulerRotation& setToAlternateSolution(const MEulerRotation& src);

    // Each angle shifted by a multiple of 2*pi to lie within pi of dst.
    MEulerRotation closestCut(const MEulerRotation& dst) const;
    MEulerRotation& setToClosestCut(const MEulerRotation& dst);
    MEulerRotation& setToClosestCut(const MEulerRotation& src, const MEulerRotation& dst);

    // The equivalent angles nearest to dst: the closest cut of this rotation
    // or of its alternate solution, whichever has the smaller sum of angle
    // differences.
    MEulerRotation closestSolution(const MEulerRotation& dst) const;
    MEulerRotation& setToClosestSolution(const MEulerRotation& dst);
    MEulerRotation& setToClosestSolution(const MEulerRotation& src, const MEulerRotation& dst);

    static MEulerRotation decompose(const MMatrix& matrix, RotationOrder ord);
    // Static forms of the members above, as the API also offers them.
    static MEulerRotation bound(const MEulerRotation& src);
    static MEulerRotation alternateSolution(const MEulerRotation& src);
    static MEulerRotation closestCut(const MEulerRotation& src, const MEulerRotation& dst);
    static MEulerRotation closestSolution(const MEulerRotation& src, const MEulerRotation& dst);
    static MEulerRotation computeBound(const MEulerRotation& src);
    static MEulerRotation computeAlternateSolution(const MEulerRotation& src);
    static MEulerRotation computeClosestCut(const MEulerRotation& src, const MEulerRotation& dst);
    static MEulerRotation computeClosestSolution(const MEulerRotation& src, const MEulerRotation& dst);

    static const MEulerRotation identity;

    double x;
    double y;
    double z;
    RotationOrder order;
};

OPENMAYA_EXPORT MEulerRotation operator*(double scale, const MEulerRotation& e);
// Prints the order and the angles in degrees.
OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MEulerRotation& e);

#endif
