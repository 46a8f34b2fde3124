#include <maya/MEulerRotation.h>

#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>

#include "angle_atan2.h"
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

const AtanBase* atanBases()
{
    // Worked out once in long double, kept as a double and what it misses.
    static const struct Table {
        AtanBase b[4 * 33];
        Table()
        {
            const long double pi = 3.141592653589793238462643383279502884L;
            for (int k = 0; k <= 32; ++k) {
                const long double a = std::atan(static_cast<long double>(k) / 32.0L);
                const long double v[4] = {a, pi / 2 - a, pi / 2 + a, pi - a};
                for (int o = 0; o < 4; ++o) {
                    const double hi = static_cast<double>(v[o]);
                    b[o * 33 + k] = AtanBase{hi, static_cast<double>(v[o] - hi)};
                }
            }
        }
    } table;
    return table.b;
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

// Shifts a by a whole number of turns so it lies within pi of target: by
// nearbyint((target - a) / 2pi) turns.
double cutNear(double a, double target)
{
    // The usual case without the division: rounding d / 2pi and d * (1/2pi)
    // agree unless the quotient is within its rounding of a half turn, which
    // is checked. Adding 1.5 * 2^52 rounds to nearest, ties to even, as
    // nearbyint does; the zero keeps the sign of the quotient as nearbyint's.
    const double d = target - a;
    const double q = d * (1.0 / kTwoPi);
    if (std::fabs(q) < 0x1p20) {
        const double whole = (q + 0x1.8p52) - 0x1.8p52;
        if (std::fabs(std::fabs(q - whole) - 0.5) > 1e-9)
            return a + kTwoPi * std::copysign(whole, q);
    }
    if (!std::isfinite(a) || !std::isfinite(target))
        return a;
    return a + kTwoPi * std::nearbyint(d / kTwoPi);
}

double boundAngle(double a) { return cutNear(a, 0.0); }

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
    double m[3][3];
    if (last.valid && order == kXYZ && last.ax == x && last.ay == y && last.az == z) {
        qmfmath::quaternionRows(last.qx, last.qy, last.qz, last.qw, m);
        return qmfmath::decomposeRows(m, ord);
    }
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
    // computeClosestCut of src and of its alternate solution, written out so
    // an import's per-key call runs straight through.
    const AxisSequence s = axesOf(src.order);
    double alt[3] = {src.x, src.y, src.z};
    alt[s.first] += kPi;
    alt[s.second] = kPi - alt[s.second];
    alt[s.third] += kPi;
    const double to[3] = {dst.x, dst.y, dst.z};
    const double from[3] = {src.x, src.y, src.z};
    double same[3], other[3];
    for (int i = 0; i < 3; ++i) {
        same[i] = cutNear(from[i], to[i]);
        other[i] = cutNear(boundAngle(alt[i]), to[i]);
    }
    // Which is nearer: the summed angle differences, the same way round for both.
    const double dSame = std::fabs(same[0] - to[0]) + std::fabs(same[1] - to[1]) + std::fabs(same[2] - to[2]);
    const double dOther = std::fabs(other[0] - to[0]) + std::fabs(other[1] - to[1]) + std::fabs(other[2] - to[2]);
    const double* pick = dOther < dSame ? other : same;
    return MEulerRotation(pick[0], pick[1], pick[2], src.order);
}

MEulerRotation MEulerRotation::decompose(const MMatrix& matrix, RotationOrder ord)
{
    double m[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = matrix.matrix[r][c];
    return qmfmath::decomposeRows(m, ord);
}

MEulerRotation qmfmath::decomposeRows(const double matrix[3][3], MEulerRotation::RotationOrder ord)
{
    using qmfmath::angleAtan2;
    // Relabel the axes so the order reads as XYZ. For an odd relabelling the
    // handedness flips, which negates every angle; undone at the end.
    const AxisSequence s = axesOf(ord);
    const int p[3] = {s.first, s.second, s.third};
    double m[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = matrix[p[r]][p[c]];

    // XYZ with row vectors: m[0] = (cb cc, cb sc, -sb), m[1][2] = sa cb, m[2][2] = ca cb.
    // Entries of a rotation are at most 1 in size: no overflow to guard against.
    const double cb = std::sqrt(m[0][0] * m[0][0] + m[0][1] * m[0][1]);
    const double b = angleAtan2(-m[0][2], cb);
    double a = 0.0, sa = 0.0, ca = 1.0;
    // At (or within rounding of) gimbal lock only a + c or a - c is defined:
    // a is left at zero and c takes the whole turn. Deriving c from a keeps
    // the matrix exact close to the lock as well.
    if (cb > 8.0 * DBL_EPSILON) {
        a = angleAtan2(m[1][2], m[2][2]);
        // sin a and cos a straight from the entries a came from.
        const double r = std::sqrt(m[1][2] * m[1][2] + m[2][2] * m[2][2]);
        sa = r > 0.0 ? m[1][2] / r : std::sin(a);
        ca = r > 0.0 ? m[2][2] / r : std::cos(a);
    }
    const double c = angleAtan2(sa * m[2][0] - ca * m[1][0], ca * m[1][1] - sa * m[2][1]);

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
