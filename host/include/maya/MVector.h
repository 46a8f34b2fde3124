#ifndef MAYA_MVECTOR_H
#define MAYA_MVECTOR_H
// A 3D direction in double precision. Row-vector convention: v * M.

#include <maya/MTypes.h>
#include <iosfwd>

class MStatus;
class MMatrix;
class MQuaternion;
class MEulerRotation;
class MFloatVector;

#define kVectorEpsilon 1.0e-10

class OPENMAYA_EXPORT MVector {
public:
    enum Axis { kXaxis, kYaxis, kZaxis, kWaxis };

    MVector() : x(0.0), y(0.0), z(0.0) {}
    MVector(const MVector& src) = default;
    MVector(const MFloatVector& src);
    MVector(double xx, double yy, double zz = 0.0) : x(xx), y(yy), z(zz) {}
    MVector(const double d[3]) : x(d[0]), y(d[1]), z(d[2]) {}
    MVector(const float f[3]) : x(f[0]), y(f[1]), z(f[2]) {}
    ~MVector() = default;

    MVector& operator=(const MVector& src) = default;
    double operator()(unsigned int i) const { return (&x)[i < 3 ? i : 2]; }
    double operator[](unsigned int i) const { return (&x)[i < 3 ? i : 2]; }
    double& operator[](unsigned int i) { return (&x)[i < 3 ? i : 2]; }
    MStatus get(double dest[3]) const;

    MVector operator^(const MVector& right) const;   // cross product
    double operator*(const MVector& right) const;    // dot product
    MVector operator*(double scale) const { return MVector(x * scale, y * scale, z * scale); }
    MVector operator/(double scale) const { return MVector(x / scale, y / scale, z / scale); }
    MVector& operator*=(double scale);
    MVector& operator/=(double scale);
    MVector operator+(const MVector& other) const { return MVector(x + other.x, y + other.y, z + other.z); }
    MVector operator-(const MVector& other) const { return MVector(x - other.x, y - other.y, z - other.z); }
    MVector operator-() const { return MVector(-x, -y, -z); }
    MVector& operator+=(const MVector& other);
    MVector& operator-=(const MVector& other);

    // Row vector times matrix; a direction, so the translation row is ignored.
    MVector operator*(const MMatrix& right) const;
    MVector& operator*=(const MMatrix& right);

    bool operator==(const MVector& other) const;
    bool operator!=(const MVector& other) const { return !(*this == other); }
    bool isEquivalent(const MVector& other, double tolerance = kVectorEpsilon) const;
    bool isParallel(const MVector& other, double tolerance = kVectorEpsilon) const;

    MVector rotateBy(Axis axis, double angle) const;
    MVector rotateBy(const MQuaternion& q) const;
    MVector rotateBy(const MEulerRotation& e) const;
    MQuaternion rotateTo(const MVector& target) const;

    double length() const;
    MVector normal() const;
    // Always succeeds; a zero or tiny vector is left as it is.
    MStatus normalize();
    double angle(const MVector& other) const;

    static const MVector zero;
    static const MVector one;
    static const MVector xAxis;
    static const MVector yAxis;
    static const MVector zAxis;
    static const MVector xNegAxis;
    static const MVector yNegAxis;
    static const MVector zNegAxis;

    double x;
    double y;
    double z;
};

OPENMAYA_EXPORT MVector operator*(double scale, const MVector& v);
OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MVector& v);

#endif
