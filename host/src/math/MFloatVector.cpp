#include <maya/MFloatVector.h>

#include <maya/MStatus.h>
#include <maya/MVector.h>

#include <cmath>
#include <ostream>

MFloatVector::MFloatVector(const MVector& v)
    : x(static_cast<float>(v.x)), y(static_cast<float>(v.y)), z(static_cast<float>(v.z))
{
}

MFloatVector MFloatVector::operator^(const MFloatVector& r) const
{
    return MFloatVector(y * r.z - z * r.y, z * r.x - x * r.z, x * r.y - y * r.x);
}

bool MFloatVector::isEquivalent(const MFloatVector& o, float tolerance) const
{
    return (*this - o).length() <= tolerance;
}

float MFloatVector::length() const { return std::sqrt(x * x + y * y + z * z); }

MFloatVector MFloatVector::normal() const
{
    MFloatVector v(*this);
    v.normalize();
    return v;
}

MStatus MFloatVector::normalize()
{
    const float sq = x * x + y * y + z * z;
    if (sq > 1.0e-20f) {
        const float inv = 1.0f / std::sqrt(sq);
        x *= inv;
        y *= inv;
        z *= inv;
    }
    return MS::kSuccess;
}

std::ostream& operator<<(std::ostream& os, const MFloatVector& v)
{
    return os << "[" << v.x << ", " << v.y << ", " << v.z << "]";
}
