#include "math_test_util.h"

#include <maya/MTransformationMatrix.h>
#include <maya/MVector.h>

using namespace mathtest;

TEST(EulerRotation, OrderEnumsKeepTheirValues)
{
    // Both enums are stored in files and attributes as integers.
    const int euler[] = {MEulerRotation::kXYZ, MEulerRotation::kYZX, MEulerRotation::kZXY,
                         MEulerRotation::kXZY, MEulerRotation::kYXZ, MEulerRotation::kZYX};
    const int transform[] = {MTransformationMatrix::kInvalid, MTransformationMatrix::kXYZ, MTransformationMatrix::kYZX,
                             MTransformationMatrix::kZXY,     MTransformationMatrix::kXZY, MTransformationMatrix::kYXZ,
                             MTransformationMatrix::kZYX,     MTransformationMatrix::kLast};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(euler[i], i);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(transform[i], i);
}

TEST(EulerRotation, MatrixAndQuaternionFollowTheOrder)
{
    std::mt19937 rng(7);
    for (MEulerRotation::RotationOrder order : kOrders)
        for (const MVector& v : sampleAngles(rng, 40)) {
            const MEulerRotation e(v.x, v.y, v.z, order);
            SCOPED_TRACE(::testing::Message() << e);
            const MMatrix expected = eulerMatrix(v.x, v.y, v.z, order);
            EXPECT_TRUE(matricesNear(e.asMatrix(), expected, 1e-12));
            EXPECT_TRUE(matricesNear(e.asQuaternion().asMatrix(), expected, 1e-12));
        }
}

TEST(EulerRotation, QuaternionRoundTripInEveryOrderIncludingGimbalLock)
{
    std::mt19937 rng(11);
    for (MEulerRotation::RotationOrder order : kOrders)
        for (const MVector& v : sampleAngles(rng, 200)) {
            const MEulerRotation e = withMiddle(v, order);
            SCOPED_TRACE(::testing::Message() << e);
            const MQuaternion q = e.asQuaternion();
            MEulerRotation back(0, 0, 0, order);
            back = q;
            ASSERT_EQ(back.order, order);
            // The orientation always survives; near the lock the split
            // between the outer angles is free, so compare matrices.
            EXPECT_TRUE(matricesNear(back.asMatrix(), e.asMatrix(), 1e-12));
            EXPECT_TRUE(sameRotation(back.asQuaternion(), q, 1e-12));
            // Decomposed angles are bounded, the middle one to +-90 degrees.
            EXPECT_LE(std::fabs(back.x), kPi + 1e-12);
            EXPECT_LE(std::fabs(back.y), kPi + 1e-12);
            EXPECT_LE(std::fabs(back.z), kPi + 1e-12);
            // Away from the lock, a bounded triple with the middle angle inside
            // +-90 degrees is the unique answer: it must come back exactly.
            const MEulerRotation bounded = e.bound();
            const double middle = bounded[(order == MEulerRotation::kXYZ || order == MEulerRotation::kZYX) ? 1
                                         : (order == MEulerRotation::kYZX || order == MEulerRotation::kXZY) ? 2 : 0];
            const bool inside = std::fabs(middle) < kPi / 2 - 1e-3 && std::fabs(bounded.x) < kPi - 1e-6 &&
                                std::fabs(bounded.y) < kPi - 1e-6 && std::fabs(bounded.z) < kPi - 1e-6;
            if (inside) {
                EXPECT_TRUE(back.isEquivalent(bounded, 1e-9)) << back;
            }
        }
}

TEST(EulerRotation, DecomposeAtExactLockPutsTheTurnInTheLastAngle)
{
    // XYZ (a, 90deg, c) depends only on c - a; the host keeps a at zero.
    const MEulerRotation locked(0.3, kPi / 2, 0.5);
    const MEulerRotation back = MEulerRotation::decompose(locked.asMatrix(), MEulerRotation::kXYZ);
    EXPECT_NEAR(back.x, 0.0, 1e-12);
    EXPECT_NEAR(back.y, kPi / 2, 1e-7);
    EXPECT_NEAR(back.z, 0.2, 1e-7);
    EXPECT_TRUE(matricesNear(back.asMatrix(), locked.asMatrix(), 1e-12));
}

TEST(EulerRotation, QuaternionToEulerIsXYZ)
{
    const MEulerRotation e = MQuaternion().setToYAxis(0.3).asEulerRotation();
    EXPECT_EQ(e.order, MEulerRotation::kXYZ);
    EXPECT_TRUE(e.isEquivalent(MEulerRotation(0, 0.3, 0), 1e-12)) << e;
    // Hand value: 90deg about X then 90deg about Z is XYZ (90, 0, 90).
    const MQuaternion q = MQuaternion().setToXAxis(kPi / 2) * MQuaternion().setToZAxis(kPi / 2);
    EXPECT_TRUE(q.asEulerRotation().isEquivalent(MEulerRotation(kPi / 2, 0, kPi / 2), 1e-12)) << q.asEulerRotation();
}

TEST(EulerRotation, ReorderKeepsOrientation)
{
    std::mt19937 rng(3);
    for (MEulerRotation::RotationOrder from : kOrders)
        for (MEulerRotation::RotationOrder to : kOrders)
            for (const MVector& v : sampleAngles(rng, 10)) {
                const MEulerRotation e = withMiddle(v, from);
                MEulerRotation r = e;
                r.reorderIt(to);
                EXPECT_EQ(r.order, to);
                EXPECT_TRUE(matricesNear(r.asMatrix(), e.asMatrix(), 1e-12)) << e << " -> " << r;
            }
    // A turn about a single axis reads the same in every order.
    for (MEulerRotation::RotationOrder to : kOrders) {
        EXPECT_TRUE(MEulerRotation(0, 0.7, 0).reorder(to).isEquivalent(MEulerRotation(0, 0.7, 0, to), 1e-12));
        EXPECT_TRUE(MEulerRotation(0, 0, -1.2).reorder(to).isEquivalent(MEulerRotation(0, 0, -1.2, to), 1e-12));
    }
    // Hand value: XYZ (90, 90, 0) sends x to -z, y to x and z to -y; so does
    // ZYX (90, 0, -90), the only such triple with the middle angle inside +-90.
    const MEulerRotation zyx = MEulerRotation(kPi / 2, kPi / 2, 0).reorder(MEulerRotation::kZYX);
    EXPECT_TRUE(zyx.isEquivalent(MEulerRotation(kPi / 2, 0, -kPi / 2, MEulerRotation::kZYX), 1e-12)) << zyx;
}

TEST(EulerRotation, BoundAndClosestCut)
{
    struct Case {
        double in, bounded;
    } cases[] = {{deg(270), deg(-90)}, {deg(-270), deg(90)}, {deg(725), deg(5)}, {deg(-725), deg(-5)},
                 {deg(180), deg(180)}, {deg(-180), deg(-180)}, {0.0, 0.0}, {deg(3600 + 10), deg(10)}};
    for (const Case& c : cases) {
        const MEulerRotation b = MEulerRotation(c.in, -c.in, c.in, MEulerRotation::kYXZ).bound();
        EXPECT_NEAR(b.x, c.bounded, 1e-12) << c.in;
        EXPECT_NEAR(b.y, -c.bounded, 1e-12) << c.in;
        EXPECT_EQ(b.order, MEulerRotation::kYXZ);
    }
    const MEulerRotation cut = MEulerRotation(deg(10), deg(-170), deg(0)).closestCut(MEulerRotation(deg(350), deg(170), deg(-720)));
    EXPECT_TRUE(cut.isEquivalent(MEulerRotation(deg(370), deg(190), deg(-720)), 1e-12)) << cut;

    // The static forms, as code written against the API calls them.
    const MEulerRotation b = MEulerRotation::bound(MEulerRotation(deg(270), deg(-725), 0, MEulerRotation::kZXY));
    EXPECT_TRUE(b.isEquivalent(MEulerRotation(deg(-90), deg(-5), 0, MEulerRotation::kZXY), 1e-12)) << b;
    const MEulerRotation c = MEulerRotation::closestCut(MEulerRotation(deg(10), 0, 0), MEulerRotation(deg(350), 0, 0));
    EXPECT_TRUE(c.isEquivalent(MEulerRotation(deg(370), 0, 0), 1e-12)) << c;
}

TEST(EulerRotation, AlternateSolutionIsTheSameOrientation)
{
    std::mt19937 rng(5);
    for (MEulerRotation::RotationOrder order : kOrders)
        for (const MVector& v : sampleAngles(rng, 20)) {
            const MEulerRotation e = withMiddle(v, order);
            const MEulerRotation alt = e.alternateSolution();
            EXPECT_EQ(alt.order, order);
            EXPECT_TRUE(matricesNear(alt.asMatrix(), e.asMatrix(), 1e-12)) << e << " vs " << alt;
            EXPECT_TRUE(matricesNear(alt.alternateSolution().asMatrix(), e.asMatrix(), 1e-12));
        }
    // Hand value: XYZ (10, 20, 30) deg -> (190, 160, 210) deg, bounded.
    const MEulerRotation alt = MEulerRotation(deg(10), deg(20), deg(30)).alternateSolution();
    EXPECT_TRUE(alt.isEquivalent(MEulerRotation(deg(-170), deg(160), deg(-150)), 1e-12)) << alt;
    const MEulerRotation staticAlt = MEulerRotation::alternateSolution(MEulerRotation(deg(10), deg(20), deg(30)));
    EXPECT_TRUE(staticAlt.isEquivalent(alt, 0.0)) << staticAlt;
}

TEST(EulerRotation, ClosestSolutionKeepsSampledCurvesContinuous)
{
    // Sample smooth angle curves, lose the curve by going through a
    // quaternion (as a file would), and rebuild it frame by frame from the
    // previous frame. The x curve crosses +-180 and beyond 360; the y curve
    // crosses the 90-degree lock, which only the alternate solution matches.
    for (MEulerRotation::RotationOrder order : kOrders) {
        MEulerRotation previous;
        for (int frame = 0; frame <= 40; ++frame) {
            const MVector v(deg(300 + 3 * frame), deg(70.5 + frame), deg(-20 - 2 * frame));
            const MEulerRotation original = withMiddle(v, order);
            MEulerRotation rebuilt(0, 0, 0, order);
            rebuilt = original.asQuaternion();
            if (frame == 0)
                rebuilt = original;  // the first key is read as stored
            else
                rebuilt.setToClosestSolution(previous);
            EXPECT_TRUE(rebuilt.isEquivalent(original, 1e-9)) << "order " << order << " frame " << frame << ": "
                                                              << rebuilt << " vs " << original;
            previous = rebuilt;
        }
    }
    // 350 degrees followed by 10 degrees continues to 370.
    MEulerRotation next(deg(10), 0, 0);
    next.setToClosestSolution(MEulerRotation(deg(350), 0, 0));
    EXPECT_TRUE(next.isEquivalent(MEulerRotation(deg(370), 0, 0), 1e-12)) << next;
    const MEulerRotation viaStatic =
        MEulerRotation::closestSolution(MEulerRotation(deg(10), 0, 0), MEulerRotation(deg(350), 0, 0));
    EXPECT_TRUE(viaStatic.isEquivalent(MEulerRotation(deg(370), 0, 0), 1e-12)) << viaStatic;
}

TEST(EulerRotation, SumAndDifferenceReorderTheRightOperandFirst)
{
    // XYZ (90, 45, 0) and ZYX (90, 0, -45) are the same orientation (worked
    // out by hand from the axis matrices): the ZYX operand counts as XYZ (90, 45, 0).
    const MEulerRotation zyx(deg(90), 0, deg(-45), MEulerRotation::kZYX);
    const struct {
        MEulerRotation left;
        bool add;
        MEulerRotation want;
    } cases[] = {
        {MEulerRotation(0, 0, 0), true, MEulerRotation(deg(90), deg(45), 0)},
        {MEulerRotation(0.1, -0.2, 0.3), true, MEulerRotation(deg(90) + 0.1, deg(45) - 0.2, 0.3)},
        {MEulerRotation(deg(90), deg(45), 0), false, MEulerRotation(0, 0, 0)},
        // Same order: plain angle-wise arithmetic, nothing re-expressed.
        {MEulerRotation(0.5, 0.5, 0.5, MEulerRotation::kZYX), true,
         MEulerRotation(deg(90) + 0.5, 0.5, 0.5 - deg(45), MEulerRotation::kZYX)},
    };
    for (const auto& c : cases) {
        const MEulerRotation got = c.add ? c.left + zyx : c.left - zyx;
        EXPECT_TRUE(got.isEquivalent(c.want, 1e-12)) << c.left << (c.add ? " + " : " - ") << zyx << " = " << got;
        MEulerRotation inPlace = c.left;
        if (c.add)
            inPlace += zyx;
        else
            inPlace -= zyx;
        EXPECT_TRUE(inPlace.isEquivalent(got, 0.0)) << inPlace;
    }
}

TEST(EulerRotation, InverseUndoesTheRotation)
{
    const MEulerRotation::RotationOrder reversed[] = {MEulerRotation::kZYX, MEulerRotation::kXZY, MEulerRotation::kYXZ,
                                                      MEulerRotation::kYZX, MEulerRotation::kZXY, MEulerRotation::kXYZ};
    for (MEulerRotation::RotationOrder order : kOrders) {
        const MEulerRotation e(0.4, -1.1, 2.0, order);
        const MEulerRotation inv = e.inverse();
        EXPECT_EQ(inv.order, reversed[order]);
        EXPECT_TRUE(inv.isEquivalent(MEulerRotation(-0.4, 1.1, -2.0, reversed[order]), 0.0));
        EXPECT_TRUE(matricesNear(e.asMatrix() * inv.asMatrix(), MMatrix(), 1e-12));
    }
}

TEST(EulerRotation, CompositionAndIncrementalRotation)
{
    const MEulerRotation a(0.3, 0.2, -0.5, MEulerRotation::kZXY);
    const MEulerRotation b(-1.0, 0.4, 0.9, MEulerRotation::kXYZ);
    const MEulerRotation ab = a * b;
    EXPECT_EQ(ab.order, MEulerRotation::kZXY);
    EXPECT_TRUE(matricesNear(ab.asMatrix(), a.asMatrix() * b.asMatrix(), 1e-12));

    // A small turn about world Z near 180 degrees stays on the same side.
    MEulerRotation e(0, 0, deg(179));
    e.incrementalRotateBy(MVector::zAxis, deg(2));
    EXPECT_TRUE(e.isEquivalent(MEulerRotation(0, 0, deg(181)), 1e-12)) << e;
}
