#include <maya/MQuaternion.h>

#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>
#include <maya/MStatus.h>

#include "rotation_axes.h"

#include <cmath>
#include <ostream>

const MQuaternion MQuaternion::identity(0.0, 0.0, 0.0, 1.0);

using qmfmath::kTinyNorm2;

namespace {

MQuaternion fromAxisAngle(const MVector& axis, double theta)
{
    const double len = axis.length();
    if (!(len * len > kTinyNorm2))
        return MQuaternion();
    const double s = std::sin(0.5 * theta) / len;
    return MQuaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(0.5 * theta));
}

}  // namespace

MQuaternion::MQuaternion(const MVector& a, const MVector& b, double angleFactor) : MQuaternion()
{
    const double la = a.length();
    const double lb = b.length();
    if (!(la * la > kTinyNorm2) || !(lb * lb > kTinyNorm2))
        return;
    const MVector ua = a / la;
    const MVector ub = b / lb;
    MVector axis = ua ^ ub;
    const double s = axis.length();
    const double c = ua * ub;
    const double angle = std::atan2(s, c);
    if (s <= 1.0e-12) {
        if (c > 0.0)
            return;  // already aligned
        // Opposite directions: any axis at right angles to a will do; build
        // it from a reference axis that is not nearly parallel to a.
        const MVector ref = (std::fabs(ua.x) < 0.9) ? MVector::xAxis : MVector::yAxis;
        axis = ua ^ ref;
    }
    *this = fromAxisAngle(axis, angle * angleFactor);
}

MQuaternion::MQuaternion(double angle, const MVector& axis) : MQuaternion(fromAxisAngle(axis, angle)) {}

MQuaternion& MQuaternion::operator=(const MMatrix& m) { return setValue(m); }
MQuaternion& MQuaternion::operator=(const MEulerRotation& e) { return setValue(e); }

MQuaternion& MQuaternion::setValue(double xx, double yy, double zz, double ww)
{
    x = xx;
    y = yy;
    z = zz;
    w = ww;
    return *this;
}

MQuaternion& MQuaternion::setValue(const MQuaternion& q) { return *this = q; }

MQuaternion& MQuaternion::setValue(const MEulerRotation& e) { return *this = e.asQuaternion(); }

MQuaternion& MQuaternion::setValue(const MMatrix& matrix)
{
    // Only the rotation is taken: rows are rescaled to unit length so that a
    // scaled matrix still yields a unit quaternion. A matrix that flattens an
    // axis away has no rotation to recover; it reads as the identity.
    double r[3][3];
    for (int i = 0; i < 3; ++i) {
        const double len = std::sqrt(matrix.matrix[i][0] * matrix.matrix[i][0] +
                                     matrix.matrix[i][1] * matrix.matrix[i][1] +
                                     matrix.matrix[i][2] * matrix.matrix[i][2]);
        if (!(len > 0.0) || !std::isfinite(len))
            return *this = MQuaternion();
        for (int j = 0; j < 3; ++j)
            r[i][j] = matrix.matrix[i][j] / len;
    }
    // Row-vector matrix: the transpose of the usual column-vector rotation.
    // Take the largest of w, x, y, z first so the division is well conditioned.
    const double trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(trace + 1.0);
        w = 0.25 * s;
        x = (r[1][2] - r[2][1]) / s;
        y = (r[2][0] - r[0][2]) / s;
        z = (r[0][1] - r[1][0]) / s;
    } else if (r[0][0] >= r[1][1] && r[0][0] >= r[2][2]) {
        const double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[0][0] - r[1][1] - r[2][2]));
        if (s == 0.0)
            return *this = MQuaternion();
        w = (r[1][2] - r[2][1]) / s;
        x = 0.25 * s;
        y = (r[0][1] + r[1][0]) / s;
        z = (r[0][2] + r[2][0]) / s;
    } else if (r[1][1] >= r[2][2]) {
        const double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[1][1] - r[0][0] - r[2][2]));
        if (s == 0.0)
            return *this = MQuaternion();
        w = (r[2][0] - r[0][2]) / s;
        x = (r[0][1] + r[1][0]) / s;
        y = 0.25 * s;
        z = (r[1][2] + r[2][1]) / s;
    } else {
        const double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[2][2] - r[0][0] - r[1][1]));
        if (s == 0.0)
            return *this = MQuaternion();
        w = (r[0][1] - r[1][0]) / s;
        x = (r[0][2] + r[2][0]) / s;
        y = (r[1][2] + r[2][1]) / s;
        z = 0.25 * s;
    }
    return normalizeIt();
}

MMatrix MQuaternion::asMatrix() const
{
    double r[3][3];
    qmfmath::quaternionRows(x, y, z, w, r);
    MMatrix m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.matrix[i][j] = r[i][j];
    return m;
}

MEulerRotation MQuaternion::asEulerRotation() const
{
    double r[3][3];
    qmfmath::quaternionRows(x, y, z, w, r);
    const MEulerRotation e = qmfmath::decomposeRows(r, MEulerRotation::kXYZ);
    qmfmath::LastEulerConversion& last = qmfmath::lastEulerConversion();
    last.valid = true;
    last.ax = e.x;
    last.ay = e.y;
    last.az = e.z;
    last.qx = x;
    last.qy = y;
    last.qz = z;
    last.qw = w;
    return e;
}

MQuaternion& MQuaternion::setAxisAngle(const MVector& axis, double theta)
{
    return *this = fromAxisAngle(axis, theta);
}

bool MQuaternion::getAxisAngle(MVector& axis, double& theta) const
{
    const MQuaternion u = normal();
    const double n = x * x + y * y + z * z + w * w;
    const double s = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
    if (!(n > kTinyNorm2)) {
        axis = MVector::zAxis;
        theta = 0.0;
        return false;
    }
    if (s <= 1.0e-15) {
        // No rotation: any axis is right.
        axis = MVector::zAxis;
        theta = 0.0;
        return true;
    }
    axis = MVector(u.x / s, u.y / s, u.z / s);
    theta = 2.0 * std::atan2(s, u.w);
    return true;
}

namespace {

// sin and cos of half the angle. A zero angle (a fifth of a motion capture's
// channels) skips the library call: sin(±0) is ±0 and cos(±0) is 1 exactly.
void halfAngle(double theta, double& s, double& c)
{
    if (theta == 0.0) {
        s = 0.5 * theta;
        c = 1.0;
        return;
    }
    s = std::sin(0.5 * theta);
    c = std::cos(0.5 * theta);
}

}  // namespace

MQuaternion& MQuaternion::setToXAxis(double theta)
{
    double s, c;
    halfAngle(theta, s, c);
    return setValue(s, 0.0, 0.0, c);
}

MQuaternion& MQuaternion::setToYAxis(double theta)
{
    double s, c;
    halfAngle(theta, s, c);
    return setValue(0.0, s, 0.0, c);
}

MQuaternion& MQuaternion::setToZAxis(double theta)
{
    double s, c;
    halfAngle(theta, s, c);
    return setValue(0.0, 0.0, s, c);
}

MStatus MQuaternion::get(double dest[4]) const
{
    if (dest == nullptr)
        return MS::kInvalidParameter;
    dest[0] = x;
    dest[1] = y;
    dest[2] = z;
    dest[3] = w;
    return MS::kSuccess;
}

MQuaternion MQuaternion::operator+(const MQuaternion& o) const { return MQuaternion(x + o.x, y + o.y, z + o.z, w + o.w); }
MQuaternion MQuaternion::operator-(const MQuaternion& o) const { return MQuaternion(x - o.x, y - o.y, z - o.z, w - o.w); }
MQuaternion MQuaternion::operator-() const { return MQuaternion(-x, -y, -z, -w); }

// a*b applies a, then b: the Hamilton product b (x) a.
MQuaternion MQuaternion::operator*(const MQuaternion& b) const
{
    const MQuaternion& a = *this;
    return MQuaternion(a.w * b.x + b.w * a.x + (b.y * a.z - b.z * a.y),
                       a.w * b.y + b.w * a.y + (b.z * a.x - b.x * a.z),
                       a.w * b.z + b.w * a.z + (b.x * a.y - b.y * a.x),
                       a.w * b.w - (a.x * b.x + a.y * b.y + a.z * b.z));
}

MQuaternion& MQuaternion::operator*=(const MQuaternion& rhs) { return *this = *this * rhs; }

bool MQuaternion::operator==(const MQuaternion& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }

bool MQuaternion::isEquivalent(const MQuaternion& o, double tol) const
{
    return std::fabs(x - o.x) <= tol && std::fabs(y - o.y) <= tol && std::fabs(z - o.z) <= tol &&
           std::fabs(w - o.w) <= tol;
}

MQuaternion& MQuaternion::scaleIt(double s)
{
    x *= s;
    y *= s;
    z *= s;
    w *= s;
    return *this;
}

MQuaternion MQuaternion::normal() const { return MQuaternion(*this).normalizeIt(); }

MQuaternion& MQuaternion::normalizeIt()
{
    const double n = x * x + y * y + z * z + w * w;
    if (!(n > kTinyNorm2) || !std::isfinite(n))
        return *this = MQuaternion();
    return scaleIt(1.0 / std::sqrt(n));
}

MQuaternion MQuaternion::conjugate() const { return MQuaternion(-x, -y, -z, w); }

MQuaternion& MQuaternion::conjugateIt()
{
    x = -x;
    y = -y;
    z = -z;
    return *this;
}

MQuaternion MQuaternion::inverse() const { return MQuaternion(*this).invertIt(); }

MQuaternion& MQuaternion::invertIt()
{
    const double n = x * x + y * y + z * z + w * w;
    if (!(n > kTinyNorm2))
        return *this = MQuaternion();
    return conjugateIt().scaleIt(1.0 / n);
}

MQuaternion MQuaternion::log() const
{
    const double vlen = std::sqrt(x * x + y * y + z * z);
    const double n = std::sqrt(vlen * vlen + w * w);
    if (!(n > 0.0))
        return MQuaternion(0.0, 0.0, 0.0, 0.0);
    const double angle = std::atan2(vlen, w);
    const double k = (vlen > 0.0) ? angle / vlen : 0.0;
    return MQuaternion(x * k, y * k, z * k, std::log(n));
}

MQuaternion MQuaternion::exp() const
{
    const double vlen = std::sqrt(x * x + y * y + z * z);
    const double ew = std::exp(w);
    const double k = (vlen > 0.0) ? ew * std::sin(vlen) / vlen : ew;
    return MQuaternion(x * k, y * k, z * k, ew * std::cos(vlen));
}

MQuaternion& MQuaternion::negateIt() { return scaleIt(-1.0); }

MQuaternion operator*(double s, const MQuaternion& q) { return MQuaternion(q).scaleIt(s); }

double dot(const MQuaternion& p, const MQuaternion& q) { return p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w; }

MQuaternion slerp(const MQuaternion& p, const MQuaternion& q, double t, short spin)
{
    const MQuaternion a = p.normal();
    MQuaternion b = q.normal();
    double c = dot(a, b);
    if (c < 0.0) {  // q and -q are one rotation: take the shorter way
        b.negateIt();
        c = -c;
    }
    if (c > 1.0)
        c = 1.0;
    const double omega = std::acos(c);
    const double phase = omega + spin * 3.14159265358979323846;
    const double s = std::sin(omega);
    double ka = 1.0 - t;
    double kb = t;
    if (s > 1.0e-9) {
        ka = std::sin(omega - t * phase) / s;
        kb = std::sin(t * phase) / s;
    }
    return (ka * a + kb * b).normal();
}

std::ostream& operator<<(std::ostream& os, const MQuaternion& q)
{
    return os << "[" << q.x << ", " << q.y << ", " << q.z << ", " << q.w << "]";
}
