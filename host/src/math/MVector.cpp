#include <maya/MVector.h>

#include <maya/MEulerRotation.h>
#include <maya/MFloatVector.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>
#include <maya/MStatus.h>

#include <cmath>
#include <ostream>

const MVector MVector::zero(0.0, 0.0, 0.0);
const MVector MVector::one(1.0, 1.0, 1.0);
const MVector MVector::xAxis(1.0, 0.0, 0.0);
const MVector MVector::yAxis(0.0, 1.0, 0.0);
const MVector MVector::zAxis(0.0, 0.0, 1.0);
const MVector MVector::xNegAxis(-1.0, 0.0, 0.0);
const MVector MVector::yNegAxis(0.0, -1.0, 0.0);
const MVector MVector::zNegAxis(0.0, 0.0, -1.0);

MVector::MVector(const MFloatVector& src) : x(src.x), y(src.y), z(src.z) {}

MStatus MVector::get(double dest[3]) const
{
    if (dest == nullptr)
        return MS::kInvalidParameter;
    dest[0] = x;
    dest[1] = y;
    dest[2] = z;
    return MS::kSuccess;
}

MVector MVector::operator^(const MVector& r) const
{
    return MVector(y * r.z - z * r.y, z * r.x - x * r.z, x * r.y - y * r.x);
}

double MVector::operator*(const MVector& r) const { return x * r.x + y * r.y + z * r.z; }

MVector& MVector::operator*=(double s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

MVector& MVector::operator/=(double s)
{
    x /= s;
    y /= s;
    z /= s;
    return *this;
}

MVector& MVector::operator+=(const MVector& o)
{
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
}

MVector& MVector::operator-=(const MVector& o)
{
    x -= o.x;
    y -= o.y;
    z -= o.z;
    return *this;
}

MVector MVector::operator*(const MMatrix& m) const
{
    const double (&a)[4][4] = m.matrix;
    return MVector(x * a[0][0] + y * a[1][0] + z * a[2][0],
                   x * a[0][1] + y * a[1][1] + z * a[2][1],
                   x * a[0][2] + y * a[1][2] + z * a[2][2]);
}

MVector& MVector::operator*=(const MMatrix& m) { return *this = *this * m; }

bool MVector::operator==(const MVector& o) const { return x == o.x && y == o.y && z == o.z; }

bool MVector::isEquivalent(const MVector& o, double tolerance) const
{
    return (*this - o).length() <= tolerance;
}

bool MVector::isParallel(const MVector& o, double tolerance) const
{
    const double la = length();
    const double lb = o.length();
    if (la <= tolerance || lb <= tolerance)
        return true;  // a null vector has no direction to disagree with
    return ((*this ^ o).length() / (la * lb)) <= tolerance;
}

MVector MVector::rotateBy(Axis axis, double angle) const
{
    switch (axis) {
    case kXaxis: return rotateBy(MQuaternion().setToXAxis(angle));
    case kYaxis: return rotateBy(MQuaternion().setToYAxis(angle));
    case kZaxis: return rotateBy(MQuaternion().setToZAxis(angle));
    default: return *this;
    }
}

MVector MVector::rotateBy(const MQuaternion& q) const { return *this * q.asMatrix(); }

MVector MVector::rotateBy(const MEulerRotation& e) const { return *this * e.asMatrix(); }

MQuaternion MVector::rotateTo(const MVector& target) const { return MQuaternion(*this, target); }

double MVector::length() const { return std::sqrt(x * x + y * y + z * z); }

MVector MVector::normal() const
{
    MVector v(*this);
    v.normalize();
    return v;
}

MStatus MVector::normalize()
{
    const double sq = x * x + y * y + z * z;
    if (sq > 1.0e-20) {
        const double inv = 1.0 / std::sqrt(sq);
        x *= inv;
        y *= inv;
        z *= inv;
    }
    return MS::kSuccess;
}

double MVector::angle(const MVector& o) const
{
    const double c = *this * o;
    const double s = (*this ^ o).length();
    if (c == 0.0 && s == 0.0)
        return 0.0;
    return std::atan2(s, c);
}

MVector operator*(double scale, const MVector& v) { return v * scale; }

std::ostream& operator<<(std::ostream& os, const MVector& v)
{
    return os << "[" << v.x << ", " << v.y << ", " << v.z << "]";
}
