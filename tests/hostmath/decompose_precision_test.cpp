// The angles the Euler decomposition gives back against the exact angle of
// the matrix it was handed, and whole-turn cuts against nearbyint. The
// decomposition uses its own atan2 and the cut a division-free rounding:
// both must stay within the last bits of the obvious computation.
#include "math_test_util.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

using namespace mathtest;

namespace {

// |got - want| in units in the last place of want (as a double).
double ulps(double got, long double want)
{
    const double w = std::fabs(static_cast<double>(want));
    const double ulp = std::nextafter(w, std::numeric_limits<double>::infinity()) - w;
    return static_cast<double>(std::fabs(static_cast<long double>(got) - want) / ulp);
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

MMatrix aboutAxis(int axis, double angle) { return axis == 0 ? rx(angle) : axis == 1 ? ry(angle) : rz(angle); }

}  // namespace

TEST(EulerPrecision, AnglesAboutOneAxisComeBackWithinTheLastBits)
{
    std::vector<double> angles;
    for (int i = -2000; i <= 2000; ++i)
        angles.push_back(i * (kPi / 2000));
    // Octant edges, where the arctangent's reduction changes branch.
    for (int k = -4; k <= 4; ++k)
        for (double e : {-4e-16, 0.0, 4e-16})
            angles.push_back(k * kPi / 4 + e);
    // Tiny angles, down to a subnormal sine.
    for (double tiny : {1e-8, 1e-20, 1e-300, 4e-320}) {
        angles.push_back(tiny);
        angles.push_back(-tiny);
    }
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> any(-kPi, kPi);
    for (int i = 0; i < 2000; ++i)
        angles.push_back(any(rng));

    double worst = 0.0;
    for (MEulerRotation::RotationOrder order : kOrders)
        for (int axis = 0; axis < 3; ++axis) {
            // The middle axis of the order only turns through [-pi/2, pi/2].
            const int middle[] = {1, 2, 0, 2, 0, 1};
            for (double a : angles) {
                const MMatrix m = aboutAxis(axis, a);
                const int p = (axis + 1) % 3, q = (axis + 2) % 3;
                if (axis == middle[order] && !(m.matrix[p][p] > 0.0))
                    continue;
                // The exact angle of the matrix: its sine and cosine entries.
                const long double want = std::atan2(static_cast<long double>(m.matrix[p][q]),
                                                    static_cast<long double>(m.matrix[p][p]));
                const MEulerRotation e = MEulerRotation::decompose(m, order);
                const double u = ulps(e[axis], want);
                worst = std::max(worst, u);
                ASSERT_LE(u, 3.0) << "order " << order << " axis " << axis << " angle " << a << ": " << e;
                EXPECT_EQ(e[(axis + 1) % 3], 0.0) << e;
                EXPECT_EQ(e[(axis + 2) % 3], 0.0) << e;
            }
        }
    RecordProperty("worst_ulps", std::to_string(worst));
}

TEST(EulerPrecision, QuaternionAnglesMatchTheMatrixDecomposition)
{
    // The quaternion path builds its own rows; both must give the same bits.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 3000; ++i) {
        const MQuaternion q(u(rng), u(rng), u(rng), u(rng));
        const MEulerRotation viaQuaternion = q.asEulerRotation();
        const MEulerRotation viaMatrix = MEulerRotation::decompose(q.asMatrix(), MEulerRotation::kXYZ);
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(sameBits(viaQuaternion[k], viaMatrix[k])) << viaQuaternion << " vs " << viaMatrix;
        for (MEulerRotation::RotationOrder order : kOrders) {
            const MEulerRotation reordered = q.asEulerRotation().reorder(order);
            const MEulerRotation direct = MEulerRotation::decompose(q.asMatrix(), order);
            for (int k = 0; k < 3; ++k)
                ASSERT_TRUE(sameBits(reordered[k], direct[k])) << reordered << " vs " << direct;
        }
    }
}

TEST(EulerPrecision, ClosestCutShiftsByTheNearestWholeTurnWithTiesToEven)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The obvious computation, for comparison bit for bit.
    auto expected = [](double a, double to) {
        if (!std::isfinite(a) || !std::isfinite(to))
            return a;
        return a + 2 * kPi * std::nearbyint((to - a) / (2 * kPi));
    };
    std::vector<std::pair<double, double>> cases = {
        // Exactly half a turn apart, either way and one and a half turns.
        {0, kPi}, {0, -kPi}, {kPi, 0}, {-kPi, 0}, {0, 3 * kPi}, {0, -3 * kPi}, {2, 2 + kPi}, {-2, -2 - 5 * kPi},
        // Just either side of a half turn.
        {0, kPi * (1 + 1e-12)}, {0, kPi * (1 - 1e-12)}, {0, -kPi * (1 + 1e-15)}, {0, std::nextafter(kPi, 4.0)},
        // Far apart: past the range the division-free rounding covers.
        {0, 1e7}, {0, -1e13}, {1e12, 0}, {0, 1e300}, {-1e300, 1e300},
        // Signed zeros.
        {-0.0, 0.0}, {0.0, -0.0}, {-0.0, -0.0}, {-0.0, 2 * kPi}, {0.0, -2 * kPi},
        // Not finite: left alone.
        {nan, 0}, {0, nan}, {inf, 0}, {0, -inf}, {inf, inf},
    };
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> start(-20.0, 20.0);
    std::uniform_int_distribution<int> halfTurns(-9, 9);
    const double nudges[] = {0.0, 1e-16, -1e-16, 1e-13, -1e-13, 1e-9, -1e-9, 0.3, -0.3};
    for (int i = 0; i < 20000; ++i) {
        const double a = start(rng);
        cases.emplace_back(a, a + halfTurns(rng) * kPi + nudges[i % 9]);
    }
    for (const auto& [a, to] : cases) {
        const MEulerRotation cut = MEulerRotation(a, to, a).closestCut(MEulerRotation(to, a, -to));
        const double want[] = {expected(a, to), expected(to, a), expected(a, -to)};
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(sameBits(cut[k], want[k]) || (std::isnan(cut[k]) && std::isnan(want[k])))
                << "cut of " << (k == 1 ? to : a) << " towards " << (k == 0 ? to : k == 1 ? a : -to) << ": "
                << cut[k] << ", want " << want[k];
    }
}
