// Every row of the shared reference table (computed with an independent
// library under the same conventions) must be reproduced.

#include "math_test_util.h"

#include <fstream>
#include <sstream>
#include <string>

using namespace mathtest;

namespace {

struct Row {
    std::string kind;
    int line = 0;
    std::vector<double> v;  // every number after the kind, in file order
};

const char* tablePath() { return QMF_SHARED_DIR "/reference/rotations.tsv"; }

// Empty when the table is not there; the tests then skip.
std::vector<Row> loadTable()
{
    std::vector<Row> rows;
    std::ifstream in(tablePath());
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream ss(line);
        Row r;
        r.line = n;
        ss >> r.kind;
        double d;
        while (ss >> d)
            r.v.push_back(d);
        rows.push_back(r);
    }
    return rows;
}

std::vector<Row> rowsOf(const std::string& kind, size_t width)
{
    std::vector<Row> out;
    for (const Row& r : loadTable())
        if (r.kind == kind) {
            EXPECT_EQ(r.v.size(), width) << "malformed row at line " << r.line;
            if (r.v.size() == width)
                out.push_back(r);
        }
    return out;
}

#define SKIP_WITHOUT_TABLE(rows)                                                           \
    if ((rows).empty())                                                                    \
        GTEST_SKIP() << "reference table " << tablePath() << " is absent; nothing to check"

MEulerRotation::RotationOrder orderOf(double v)
{
    const int o = static_cast<int>(v);
    EXPECT_TRUE(o >= 0 && o < 6) << "order " << v;
    return (o >= 0 && o < 6) ? static_cast<MEulerRotation::RotationOrder>(o) : MEulerRotation::kXYZ;
}

}  // namespace

TEST(ReferenceRotations, EulerToQuaternionInEveryOrder)
{
    const std::vector<Row> rows = rowsOf("euler2quat", 8);
    SKIP_WITHOUT_TABLE(rows);
    bool seen[6] = {};
    for (const Row& r : rows) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        const int o = static_cast<int>(r.v[0]);
        ASSERT_TRUE(o >= 0 && o < 6);
        seen[o] = true;
        const MEulerRotation::RotationOrder order = orderOf(o);
        const MEulerRotation e(r.v[1], r.v[2], r.v[3], order);
        const MQuaternion expected(r.v[4], r.v[5], r.v[6], r.v[7]);
        EXPECT_TRUE(sameRotation(e.asQuaternion(), expected, 1e-12));
        // The Euler matrix path must describe the same rotation.
        EXPECT_TRUE(matricesNear(e.asMatrix(), expected.asMatrix(), 1e-12));
        // And going back lands on the same orientation in the same order.
        MEulerRotation back(0, 0, 0, order);
        back = expected;
        EXPECT_EQ(back.order, order);
        EXPECT_TRUE(matricesNear(back.asMatrix(), e.asMatrix(), 1e-12));
    }
    for (int o = 0; o < 6; ++o)
        EXPECT_TRUE(seen[o]) << "the table has no row for order " << o;
}

TEST(ReferenceRotations, ProductAppliesLeftOperandFirst)
{
    const std::vector<Row> rows = rowsOf("product", 12);
    SKIP_WITHOUT_TABLE(rows);
    for (const Row& r : rows) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        const MQuaternion a(r.v[0], r.v[1], r.v[2], r.v[3]);
        const MQuaternion b(r.v[4], r.v[5], r.v[6], r.v[7]);
        const MQuaternion expected(r.v[8], r.v[9], r.v[10], r.v[11]);
        EXPECT_TRUE(sameRotation(a * b, expected, 1e-12));
        MQuaternion inPlace = a;
        inPlace *= b;
        EXPECT_TRUE(sameRotation(inPlace, expected, 1e-12));
    }
}

TEST(ReferenceRotations, ClosestSolution)
{
    const std::vector<Row> rows = rowsOf("closest", 10);
    SKIP_WITHOUT_TABLE(rows);
    for (const Row& r : rows) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        const MEulerRotation::RotationOrder order = orderOf(r.v[0]);
        const MEulerRotation e(r.v[1], r.v[2], r.v[3], order);
        const MEulerRotation target(r.v[4], r.v[5], r.v[6], order);
        const MEulerRotation expected(r.v[7], r.v[8], r.v[9], order);
        EXPECT_TRUE(e.closestSolution(target).isEquivalent(expected, 1e-9)) << e.closestSolution(target);
        MEulerRotation inPlace = e;
        inPlace.setToClosestSolution(target);
        EXPECT_TRUE(inPlace.isEquivalent(expected, 1e-9)) << inPlace;
        // Whatever the cut, it is still the same orientation.
        EXPECT_TRUE(matricesNear(inPlace.asMatrix(), e.asMatrix(), 1e-9));
    }
}
