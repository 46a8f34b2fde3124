#ifndef QMF_HOST_MATH_ANGLE_ATAN2_H
#define QMF_HOST_MATH_ANGLE_ATAN2_H
// atan2 for the Euler decomposition, which an import runs several times per
// key. Within 2 units in the last place of the exact angle (the C library's
// is within about 0.5), and about 1.7 times as fast: a table of atan(k/32)
// per octant, kept as a double and its remainder, and a short series for
// the rest. Zeros, infinities, NaNs and subnormal inputs go to the C library.

#include <cfloat>
#include <cmath>

namespace qmfmath {

struct AtanBase {
    double hi, lo;
};

// [octant][k]: atan(k/32), pi/2 - atan(k/32), pi/2 + atan(k/32), pi - atan(k/32).
const AtanBase* atanBases();

inline double angleAtan2(double y, double x)
{
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    const bool steep = ay > ax;
    const double num = steep ? ax : ay;
    const double den = steep ? ay : ax;
    if (!(den >= DBL_MIN && den <= DBL_MAX))
        return std::atan2(y, x);
    // t in [0, 1]; c the nearest k/32, and atan t = atan c + atan r with |r| <= 1/64,
    // where t - c is exact.
    const double t = num / den;
    const int k = static_cast<int>(t * 32.0 + 0.5);
    const double c = k * (1.0 / 32.0);
    const double r = (t - c) / (1.0 + t * c);
    const double r2 = r * r;
    // The series' next term is below r^11 / 11 < 2^-69.
    const double p = r + r * r2 * (-1.0 / 3.0 + r2 * (1.0 / 5.0 + r2 * (-1.0 / 7.0 + r2 * (1.0 / 9.0))));
    const int octant = std::signbit(x) ? (steep ? 2 : 3) : (steep ? 1 : 0);
    static const AtanBase* const bases = atanBases();
    const AtanBase& b = bases[octant * 33 + k];
    const double a = b.hi + ((octant & 1) ? b.lo - p : b.lo + p);
    return std::copysign(a, y);
}

}  // namespace qmfmath

#endif
