// Which way is up in a rest pose, as --up auto finds it.
#include "formats/UpAxis.h"

#include "formats/Error.h"

#include <gtest/gtest.h>

using namespace qmf::formats;

TEST(UpAxis, FeetToHeadOrRootToItsFarthestEndGivesTheAxis) {
    using P = std::array<double, 3>;
    const struct {
        std::vector<std::string> names;
        std::vector<int> parents;
        std::vector<P> at;
        char axis;
        const char* how;
    } cases[] = {
        // A figure lying along +Y would read as Y; names decide over extents.
        {{"Hips", "Head", "LeftFoot", "RightToe"}, {-1, 0, 0, 0}, {P{0, 0, 90}, P{0, 0, 170}, P{10, 5, 0}, P{-10, 15, 0}}, 'z',
         "Z up (from the feet to the head)"},
        {{"hips", "HEAD_top", "l_ankle"}, {-1, 0, 0}, {P{0, 90, 0}, P{0, 175, 10}, P{10, 8, 0}}, 'y', "Y up (from the feet to the head)"},
        {{"Root", "Tail", "Neck", "Skull"}, {-1, 0, 0, 2}, {P{0, 0, 0}, P{0, 0, -20}, P{0, 0, 30}, P{0, 2, 60}}, 'z',
         "Z up (from the root to its farthest end)"},
        {{"Hips", "Head", "Foot"}, {-1, 0, 0}, {P{0, 0, 0}, P{0, -80, 0}, P{0, 80, 0}}, 'y',
         "up is -Y (from the feet to the head), which --up does not turn; read as Y up"},
        {{"Hips", "Head", "Foot"}, {-1, 0, 0}, {P{0, 0, 0}, P{90, 0, 0}, P{-80, 0, 0}}, 'y',
         "up is +X (from the feet to the head), which --up does not turn; read as Y up"},
    };
    for (const auto& c : cases) {
        const UpGuess g = guessUp(c.names, c.parents, c.at);
        EXPECT_EQ(g.axis, c.axis) << c.how;
        EXPECT_EQ(g.how, c.how);
    }
    EXPECT_EQ(guessUp({}, {}, {}).axis, 'y');
    EXPECT_EQ(guessUp({"a"}, {-1}, {{0, 0, 0}}).how, "") << "a point says nothing";
}

TEST(UpAxis, OnlyAutoYAndZAreTaken) {
    EXPECT_EQ(parseUp("Z"), "z");
    EXPECT_EQ(parseUp("auto"), "auto");
    try {
        parseUp("x");
        ADD_FAILURE();
    } catch (const qmf::FormatError& e) {
        EXPECT_STREQ(e.what(), "--up takes auto, y or z, not 'x'");
    }
}
