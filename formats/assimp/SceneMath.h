// The little rotation maths the scene reader needs, in double.
#pragma once

#include <array>
#include <cmath>

namespace qmf::formats::assimp {

struct Quat {
    double w = 1, x = 0, y = 0, z = 0;
};
using Vec = std::array<double, 3>;

inline Quat operator*(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

inline Quat normalized(const Quat& q) {
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (!(n > 0) || !std::isfinite(n)) return {};
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

inline Vec rotate(const Quat& q, const Vec& v) {
    const Quat p = q * Quat{0, v[0], v[1], v[2]} * Quat{q.w, -q.x, -q.y, -q.z};
    return {p.x, p.y, p.z};
}

// The shorter way from a to b, at t in [0, 1].
inline Quat slerp(const Quat& a, Quat b, double t) {
    double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    if (d < 0) {
        d = -d;
        b = {-b.w, -b.x, -b.y, -b.z};
    }
    double ka = 1 - t, kb = t;
    if (d < 0.9995) {
        const double angle = std::acos(d), s = std::sin(angle);
        ka = std::sin((1 - t) * angle) / s;
        kb = std::sin(t * angle) / s;
    }
    return normalized({ka * a.w + kb * b.w, ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z});
}

// The shortest turn taking unit vector from onto unit vector to.
inline Quat turnBetween(const Vec& from, const Vec& to) {
    const double d = from[0] * to[0] + from[1] * to[1] + from[2] * to[2];
    if (d < -1 + 1e-12) {
        // Opposite: half a turn about any axis across them.
        const Vec axis = std::fabs(from[0]) < 0.9 ? Vec{0, -from[2], from[1]} : Vec{from[2], 0, -from[0]};
        return normalized({0, axis[0], axis[1], axis[2]});
    }
    const Vec c = {from[1] * to[2] - from[2] * to[1], from[2] * to[0] - from[0] * to[2], from[0] * to[1] - from[1] * to[0]};
    return normalized({1 + d, c[0], c[1], c[2]});
}

}  // namespace qmf::formats::assimp
