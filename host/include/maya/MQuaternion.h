#ifndef MAYA_MQUATERNION_H
#define MAYA_MQUATERNION_H
// Rotation quaternion, x y z imaginary, w real. Products follow the matrix
// convention of the rest of the API: a*b applies a, then b, so that
// (a*b).asMatrix() == a.asMatrix() * b.asMatrix().

#include <maya/MTypes.h>
#include <maya/MVector.h>
#include <iosfwd>

class MMatrix;
class MEulerRotation;

#define kQuaternionEpsilon 1.0e-10

class OPENMAYA_EXPORT MQuaternion {
public:
    MQuaternion() : x(0.0), y(0.0), z(0.0), w(1.0) {}
    MQuaternion(const MQuaternion& src) = default;
    MQuaternion(double xx, double yy, double zz, double ww) : x(xx), y(yy), z(zz), w(ww) {}
    MQuaternion(const double q[4]) : x(q[0]), y(q[1]), z(q[2]), w(q[3]) {}
    // Rotation carrying a onto b; angleFactor scales the angle (1 = all the way).
    MQuaternion(const MVector& a, const MVector& b, double angleFactor = 1.0);
    // Rotation of angle radians about axis; the identity if the axis is too short.
    MQuaternion(double angle, const MVector& axis);
    ~MQuaternion() = default;

    MQuaternion& operator=(const MQuaternion& src) = default;
    MQuaternion& operator=(const MMatrix& matrix);
    MQuaternion& operator=(const MEulerRotation& euler);
    MQuaternion& setValue(double xx, double yy, double zz, double ww);
    MQuaternion& setValue(const MMatrix& matrix);
    MQuaternion& setValue(const MEulerRotation& euler);
    MQuaternion& setValue(const MQuaternion& q);

    MMatrix asMatrix() const;
    // In order kXYZ; use MEulerRotation::reorderIt for another order.
    MEulerRotation asEulerRotation() const;

    MQuaternion& setAxisAngle(const MVector& axis, double theta);
    bool getAxisAngle(MVector& axis, double& theta) const;
    MQuaternion& setToXAxis(double theta);
    MQuaternion& setToYAxis(double theta);
    MQuaternion& setToZAxis(double theta);

    MStatus get(double dest[4]) const;
    double operator[](unsigned int i) const { return (&x)[i < 4 ? i : 3]; }
    double& operator[](unsigned int i) { return (&x)[i < 4 ? i : 3]; }

    MQuaternion operator+(const MQuaternion& other) const;
    MQuaternion operator-(const MQuaternion& other) const;
    MQuaternion operator-() const;
    MQuaternion operator*(const MQuaternion& other) const;
    MQuaternion& operator*=(const MQuaternion& rhs);

    bool operator==(const MQuaternion& other) const;
    bool operator!=(const MQuaternion& other) const { return !(*this == other); }
    // Component-wise; q and -q (the same rotation) are not equivalent here.
    bool isEquivalent(const MQuaternion& other, double tolerance = kQuaternionEpsilon) const;

    MQuaternion& scaleIt(double scale);
    MQuaternion normal() const;
    // Unit length; a zero or tiny quaternion becomes the identity.
    MQuaternion& normalizeIt();
    MQuaternion conjugate() const;
    MQuaternion& conjugateIt();
    // conjugate / |q|^2; the zero quaternion has no inverse and gives the identity.
    MQuaternion inverse() const;
    MQuaternion& invertIt();
    MQuaternion log() const;
    MQuaternion exp() const;
    MQuaternion& negateIt();

    static const MQuaternion identity;

    double x;
    double y;
    double z;
    double w;
};

OPENMAYA_EXPORT MQuaternion operator*(double scale, const MQuaternion& q);
OPENMAYA_EXPORT double dot(const MQuaternion& p, const MQuaternion& q);
// Spherical interpolation from p (t = 0) to q (t = 1) along the shorter arc;
// spin adds whole extra turns.
OPENMAYA_EXPORT MQuaternion slerp(const MQuaternion& p, const MQuaternion& q, double t, short spin = 0);
OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MQuaternion& q);

#endif
