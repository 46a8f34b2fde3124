#include <maya/MEulerRotation.h>

#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>

#include "rotation_axes.h"

#include <cfloat>
#include <cmath>
#include <ostream>

using qmfmath::AxisSequence;
using qmfmath::axesOf;
using qmfmath::kPi;
using qmfmath::kTwoPi;

namespace qmfmath {

bool isValidOrder(int order) { return order >= MEulerRotation::kXYZ && order <= MEulerRotation::kZYX; }

LastEulerConversion& lastEulerConversion()
{
    thread_local LastEulerConversion last;
    return last;
}

AxisSequence axesOf(MEulerRotation::RotationOrder order)
{
    switch (order) {
    case MEulerRotation::kYZX: return {1, 2, 0, false};
    case MEulerRotation::kZXY: return {2, 0, 1, false};
    case MEulerRotation::kXZY: return {0, 2, 1, true};
    case MEulerRotation::kYXZ: return {1, 0, 2, true};
    case MEulerRotation::kZYX: return {2, 1, 0, true};
    case MEulerRotation::kXYZ:
    default: return {0, 1, 2, false};
    }
}

MMatrix axisMatrix(int axis, double angle)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const int a = (axis + 1) % 3;
    const int b = (axis + 2) % 3;
    MMatrix m;
    m.matrix[a][a] = c;
    m.matrix[a][b] = s;
    m.matrix[b][a] = -s;
    m.matrix[b][b] = c;
    return m;
}

}  // namespace qmfmath

namespace {

MQuaternion axisQuaternion(int axis, double angle)
{
    MQuaternion q;
    switch (axis) {
    case 0: q.setToXAxis(angle); break;
    case 1: q.setToYAxis(angle); break;
    default: q.setToZAxis(angle); break;
    }
    return q;
}

// Shifts a by a whole number of turns so it lies within pi of target.
double cutNear(double a, double target)
{
    // Already within half a turn (the usual case from key to key): the
    // rounding below gives a zero of the difference's sign.
    const double d = target - a;
    if (std::fabs(d) < 3.0)
        return a + std::copysign(0.0, d);
    if (!std::isfinite(a) || !std::isfinite(target))
        return a;
    const double turns = (target - a) / kTwoPi;
    // Within half a turn the rounding is a (signed) zero; skip the library call.
    const double whole = std::fabs(turns) < 0.5 ? std::copysign(0.0, turns) : std::nearbyint(turns);
    return a + kTwoPi * whole;
}

double boundAngle(double a) { return cutNear(a, 0.0); }

double distance(const MEulerRotation& a, const MEulerRotation& b)
{
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z);
}

}  // namespace

const MEulerRotation MEulerRotation::identity;

MEulerRotation& MEulerRotation::operator=(const MQuaternion& q) { return setValue(q); }

MEulerRotation& MEulerRotation::operator=(const MMatrix& m) { return *this = decompose(m, order); }

MEulerRotation& MEulerRotation::operator=(const MVector& v)
{
    x = v.x;
    y = v.y;
    z = v.z;
    return *this;
}

MEulerRotation& MEulerRotation::setValue(const MVector& v, RotationOrder ord) { return setValue(v.x, v.y, v.z, ord); }

MEulerRotation& MEulerRotation::setValue(double xx, double yy, double zz, RotationOrder ord)
{
    x = xx;
    y = yy;
    z = zz;
    order = ord;
    return *this;
}

MEulerRotation& MEulerRotation::setValue(const MQuaternion& q) { return *this = decompose(q.asMatrix(), order); }

MQuaternion MEulerRotation::asQuaternion() const
{
    const AxisSequence s = axesOf(order);
    return axisQuaternion(s.first, (*this)[s.first]) * axisQuaternion(s.second, (*this)[s.second]) *
           axisQuaternion(s.third, (*this)[s.third]);
}

MMatrix MEulerRotation::asMatrix() const
{
    const AxisSequence s = axesOf(order);
    return qmfmath::axisMatrix(s.first, (*this)[s.first]) * qmfmath::axisMatrix(s.second, (*this)[s.second]) *
           qmfmath::axisMatrix(s.third, (*this)[s.third]);
}

MEulerRotation MEulerRotation::operator+(const MEulerRotation& o) const { return MEulerRotation(*this) += o; }

MEulerRotation& MEulerRotation::operator+=(const MEulerRotation& o)
{
    const MEulerRotation r = o.order == order ? o : o.reorder(order);
    x += r.x;
    y += r.y;
    z += r.z;
    return *this;
}

MEulerRotation MEulerRotation::operator-(const MEulerRotation& o) const { return MEulerRotation(*this) -= o; }

MEulerRotation& MEulerRotation::operator-=(const MEulerRotation& o)
{
    const MEulerRotation r = o.order == order ? o : o.reorder(order);
    x -= r.x;
    y -= r.y;
    z -= r.z;
    return *this;
}

MEulerRotation MEulerRotation::operator-() const { return MEulerRotation(-x, -y, -z, order); }

MEulerRotation MEulerRotation::operator*(const MEulerRotation& o) const { return *this * o.asQuaternion(); }

MEulerRotation MEulerRotation::operator*(const MQuaternion& o) const
{
    return decompose((asQuaternion() * o).asMatrix(), order);
}

MEulerRotation& MEulerRotation::operator*=(const MEulerRotation& o) { return *this = *this * o; }
MEulerRotation& MEulerRotation::operator*=(const MQuaternion& o) { return *this = *this * o; }

MEulerRotation MEulerRotation::operator*(double s) const { return MEulerRotation(x * s, y * s, z * s, order); }

MEulerRotation& MEulerRotation::operator*=(double s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

bool MEulerRotation::operator==(const MEulerRotation& o) const
{
    return x == o.x && y == o.y && z == o.z && order == o.order;
}

bool MEulerRotation::isEquivalent(const MEulerRotation& o, double tol) const
{
    return order == o.order && std::fabs(x - o.x) <= tol && std::fabs(y - o.y) <= tol && std::fabs(z - o.z) <= tol;
}

bool MEulerRotation::isZero(double tol) const
{
    return std::fabs(x) <= tol && std::fabs(y) <= tol && std::fabs(z) <= tol;
}

MEulerRotation& MEulerRotation::incrementalRotateBy(const MVector& axis, double angle)
{
    const MEulerRotation turned = *this * MQuaternion(angle, axis);
    return *this = turned.closestSolution(*this);
}

MEulerRotation MEulerRotation::inverse() const
{
    static const RotationOrder reversed[] = {kZYX, kXZY, kYXZ, kYZX, kZXY, kXYZ};
    const RotationOrder ord = qmfmath::isValidOrder(order) ? reversed[order] : kZYX;
    return MEulerRotation(-x, -y, -z, ord);
}

MEulerRotation& MEulerRotation::invertIt() { return *this = inverse(); }

MEulerRotation MEulerRotation::reorder(RotationOrder ord) const
{
    if (ord == order)
        return *this;
    const qmfmath::LastEulerConversion& last = qmfmath::lastEulerConversion();
    if (last.valid && last.angles == *this)
        return decompose(last.matrix, ord);
    return decompose(asMatrix(), ord);
}

MEulerRotation& MEulerRotation::reorderIt(RotationOrder ord) { return *this = reorder(ord); }

MEulerRotation MEulerRotation::bound() const { return computeBound(*this); }
MEulerRotation& MEulerRotation::boundIt() { return *this = computeBound(*this); }
MEulerRotation& MEulerRotation::boundIt(const MEulerRotation& src) { return *this = computeBound(src); }

MEulerRotation MEulerRotation::alternateSolution() const { return computeAlternateSolution(*this); }
MEulerRotation& MEulerRotation::setToAlternateSolution() { return *this = computeAlternateSolution(*this); }
MEulerRotation& MEulerRotation::setToAlternateSolution(const MEulerRotation& src)
{
    return *this = computeAlternateSolution(src);
}

MEulerRotation MEulerRotation::closestCut(const MEulerRotation& dst) const { return computeClosestCut(*this, dst); }
MEulerRotation& MEulerRotation::setToClosestCut(const MEulerRotation& dst) { return *this = computeClosestCut(*this, dst); }
MEulerRotation& MEulerRotation::setToClosestCut(const MEulerRotation& src, const MEulerRotation& dst)
{
    return *this = computeClosestCut(src, dst);
}

MEulerRotation MEulerRotation::closestSolution(const MEulerRotation& dst) const
{
    return computeClosestSolution(*this, dst);
}
MEulerRotation& MEulerRotation::setToClosestSolution(const MEulerRotation& dst)
{
    return *this = computeClosestSolution(*this, dst);
}
MEulerRotation& MEulerRotation::setToClosestSolution(const MEulerRotation& src, const MEulerRotation& dst)
{
    return *this = computeClosestSolution(src, dst);
}

MEulerRotation MEulerRotation::bound(const MEulerRotation& src) { return computeBound(src); }
MEulerRotation MEulerRotation::alternateSolution(const MEulerRotation& src) { return computeAlternateSolution(src); }
MEulerRotation MEulerRotation::closestCut(const MEulerRotation& src, const MEulerRotation& dst)
{
    return computeClosestCut(src, dst);
}
MEulerRotation MEulerRotation::closestSolution(const MEulerRotation& src, const MEulerRotation& dst)
{
    return computeClosestSolution(src, dst);
}

MEulerRotation MEulerRotation::computeBound(const MEulerRotation& src)
{
    return MEulerRotation(boundAngle(src.x), boundAngle(src.y), boundAngle(src.z), src.order);
}

MEulerRotation MEulerRotation::computeAlternateSolution(const MEulerRotation& src)
{
    // R1(a) R2(b) R3(c) == R1(a + pi) R2(pi - b) R3(c + pi) for any three
    // distinct axes: the two half turns about the outer axes cancel into a
    // half turn about the middle one.
    const AxisSequence s = axesOf(src.order);
    MEulerRotation alt(src);
    alt[s.first] += kPi;
    alt[s.second] = kPi - alt[s.second];
    alt[s.third] += kPi;
    return computeBound(alt);
}

MEulerRotation MEulerRotation::computeClosestCut(const MEulerRotation& src, const MEulerRotation& dst)
{
    return MEulerRotation(cutNear(src.x, dst.x), cutNear(src.y, dst.y), cutNear(src.z, dst.z), src.order);
}

MEulerRotation MEulerRotation::computeClosestSolution(const MEulerRotation& src, const MEulerRotation& dst)
{
    const MEulerRotation same = computeClosestCut(src, dst);
    const MEulerRotation other = computeClosestCut(computeAlternateSolution(src), dst);
    return distance(other, dst) < distance(same, dst) ? other : same;
}

MEulerRotation MEulerRotation::decompose(const MMatrix& matrix, RotationOrder ord)
{
    // Relabel the axes so the order reads as XYZ. For an odd relabelling the
    // handedness flips, which negates every angle; undone at the end.
    const AxisSequence s = axesOf(ord);
    const int p[3] = {s.first, s.second, s.third};
    double m[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = matrix.matrix[p[r]][p[c]];

    // XYZ with row vectors: m[0] = (cb cc, cb sc, -sb), m[1][2] = sa cb, m[2][2] = ca cb.
    // Entries of a rotation are at most 1 in size: no overflow to guard against.
    const double cb = std::sqrt(m[0][0] * m[0][0] + m[0][1] * m[0][1]);
    const double b = std::atan2(-m[0][2], cb);
    double a = 0.0, sa = 0.0, ca = 1.0;
    // At (or within rounding of) gimbal lock only a + c or a - c is defined:
    // a is left at zero and c takes the whole turn. Deriving c from a keeps
    // the matrix exact close to the lock as well.
    if (cb > 8.0 * DBL_EPSILON) {
        a = std::atan2(m[1][2], m[2][2]);
        // sin a and cos a straight from the entries a came from.
        const double r = std::sqrt(m[1][2] * m[1][2] + m[2][2] * m[2][2]);
        sa = r > 0.0 ? m[1][2] / r : std::sin(a);
        ca = r > 0.0 ? m[2][2] / r : std::cos(a);
    }
    const double c = std::atan2(sa * m[2][0] - ca * m[1][0], ca * m[1][1] - sa * m[2][1]);

    const double sign = s.odd ? -1.0 : 1.0;
    MEulerRotation e(0.0, 0.0, 0.0, ord);
    e[s.first] = sign * a;
    e[s.second] = sign * b;
    e[s.third] = sign * c;
    return e;
}

MEulerRotation operator*(double s, const MEulerRotation& e) { return e * s; }

std::ostream& operator<<(std::ostream& os, const MEulerRotation& e)
{
    static const char* const names[] = {"XYZ", "YZX", "ZXY", "XZY", "YXZ", "ZYX"};
    const double deg = 180.0 / kPi;
    os << "[" << e.x * deg << ", " << e.y * deg << ", " << e.z * deg << "] ";
    return os << (qmfmath::isValidOrder(e.order) ? names[e.order] : "invalid");
}
