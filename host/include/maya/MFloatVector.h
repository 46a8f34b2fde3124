#ifndef MAYA_MFLOATVECTOR_H
#define MAYA_MFLOATVECTOR_H
// Single-precision counterpart of MVector, for attributes stored as floats.

#include <maya/MTypes.h>
#include <iosfwd>

class MVector;
class MStatus;

class OPENMAYA_EXPORT MFloatVector {
public:
    MFloatVector() : x(0.0f), y(0.0f), z(0.0f) {}
    MFloatVector(float xx, float yy, float zz = 0.0f) : x(xx), y(yy), z(zz) {}
    MFloatVector(const float f[3]) : x(f[0]), y(f[1]), z(f[2]) {}
    MFloatVector(const MVector& v);

    float operator[](unsigned int i) const { return (&x)[i < 3 ? i : 2]; }
    float& operator[](unsigned int i) { return (&x)[i < 3 ? i : 2]; }

    MFloatVector operator+(const MFloatVector& o) const { return MFloatVector(x + o.x, y + o.y, z + o.z); }
    MFloatVector operator-(const MFloatVector& o) const { return MFloatVector(x - o.x, y - o.y, z - o.z); }
    MFloatVector operator-() const { return MFloatVector(-x, -y, -z); }
    MFloatVector operator*(float s) const { return MFloatVector(x * s, y * s, z * s); }
    float operator*(const MFloatVector& o) const { return x * o.x + y * o.y + z * o.z; }
    MFloatVector operator^(const MFloatVector& o) const;
    bool operator==(const MFloatVector& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const MFloatVector& o) const { return !(*this == o); }
    bool isEquivalent(const MFloatVector& o, float tolerance = 1.0e-5f) const;

    float length() const;
    MFloatVector normal() const;
    // Leaves a zero or tiny vector unchanged, as MVector does.
    MStatus normalize();

    float x;
    float y;
    float z;
};

OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MFloatVector& v);

#endif
