// The renaming rules behind convert and import --maya-names, and the edit
// distance behind the missing-joint hint, checked in process.
#include "clips/JointNames.h"
#include "clips/MayaNames.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

TEST(MayaNames, InvalidCharactersLeadingDigitsAndNamespaces) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Hips", "Hips"},
        {"pelvis.R", "pelvis_R"},
        {"Left Arm", "Left_Arm"},
        {"1st", "_1st"},
        {"9", "_9"},
        {"a-b/c|d", "a_b_c_d"},
        {"mixamorig:Hips", "mixamorig:Hips"},
        {"ns:2nd", "ns:_2nd"},       // each namespace part is a name of its own
        {":Hips", "_Hips"},          // ':' only between two parts
        {"Hips:", "Hips_"},
        {"a::b", "a_:b"},
        {"h\xc3\xbc" "fte", "h_fte"},   // one '_' per UTF-8 character, not per byte
        {"\xff", "_"},
    };
    for (const auto& c : cases) {
        std::vector<qmf::NameChange> changes;
        EXPECT_EQ(qmf::mayaNames({c.in}, &changes).at(0), c.out) << c.in;
        EXPECT_EQ(changes.size(), std::string(c.in) == c.out ? 0u : 1u) << c.in;
        EXPECT_TRUE(qmf::isMayaName(c.out)) << c.out;
    }
}

TEST(MayaNames, ChangedNamesGiveWayToNamesAlreadyValid) {
    std::vector<qmf::NameChange> changes;
    // "a.b" would take "a_b", which a later valid name holds; a repeated
    // valid name is changed too.
    auto out = qmf::mayaNames({"a.b", "a b", "a_b", "x", "x", "a_b_1"}, &changes);
    EXPECT_EQ(out, (std::vector<std::string>{"a_b_2", "a_b_3", "a_b", "x", "x_1", "a_b_1"}));
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(qmf::renameWarning(changes),
              "warning: 3 names changed to valid Maya names: a.b -> a_b_2, a b -> a_b_3, x -> x_1");
    EXPECT_EQ(qmf::renameWarning({}), "");
}

TEST(MayaNames, TheWarningOfManyChangesIsOneShortLine) {
    std::vector<std::string> names;
    for (int i = 0; i < 173; ++i) names.push_back("rig.Joint" + std::to_string(i));
    std::vector<qmf::NameChange> changes;
    qmf::mayaNames(names, &changes);
    ASSERT_EQ(changes.size(), 173u);
    const std::string line = qmf::renameWarning(changes);
    EXPECT_EQ(line.rfind("warning: 173 names changed to valid Maya names: rig.Joint0 -> rig_Joint0, ", 0), 0u) << line;
    EXPECT_NE(line.find("rig.Joint7 -> rig_Joint7 and 165 more"), std::string::npos) << line;
    EXPECT_LT(line.size(), 400u);
    // Nine are all shown: "and 1 more" would save nothing.
    changes.resize(9);
    EXPECT_NE(qmf::renameWarning(changes).find("rig.Joint8 -> rig_Joint8"), std::string::npos);
}

TEST(MayaNames, ResultsFitTheLengthLimitAndStayUnique) {
    const std::string longName(127, 'j');
    std::vector<std::string> in{"1" + std::string(126, 'j'), longName, longName + ".", std::string(200, '.')};
    auto out = qmf::mayaNames(in, nullptr, 127);
    std::set<std::string> seen;
    for (const auto& n : out) {
        EXPECT_LE(n.size(), 127u) << n;
        EXPECT_TRUE(qmf::isMayaName(n)) << n;
        EXPECT_TRUE(seen.insert(n).second) << n;
    }
    EXPECT_EQ(out[1], longName);
}

std::size_t plainDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j)
            cur[j] = std::min({prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1), prev[j] + 1, cur[j - 1] + 1});
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

TEST(EditDistance, AgreesWithTheUnboundedOneWithinTheLimit) {
    std::mt19937 rng(7);
    auto word = [&] {
        std::string s(rng() % 14, ' ');
        for (char& c : s) c = "abcd"[rng() % 4];
        return s;
    };
    for (int i = 0; i < 3000; ++i) {
        const std::string a = word(), b = word();
        const std::size_t limit = rng() % 8, d = plainDistance(a, b);
        EXPECT_EQ(qmf::boundedEditDistance(a, b, limit), d <= limit ? d : limit + 1) << a << " / " << b << " " << limit;
    }
    EXPECT_EQ(qmf::boundedEditDistance("", "", 0), 0u);
    EXPECT_EQ(qmf::boundedEditDistance(std::string(127, 'a'), std::string(127, 'b'), 12), 13u);
}

TEST(MissingJointHint, ListsOnlyNeededJointsTheClipLacks) {
    EXPECT_EQ(qmf::missingJointHint({"a", "b"}, {"a", "b", "c"}, {"a", "b"}), "");
    // A clip joint the scene has is no suggestion; nothing close is no suggestion either.
    EXPECT_EQ(qmf::missingJointHint({"root", "arm"}, {"root", "zzzzzzzzzzzzzzzzzzzz"}, {"root", "arm"}),
              "the clip names none of these scene joints, which the import needs (closest first): arm; "
              "see --map and --strip-namespaces");
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i) many.push_back("j" + std::to_string(i));
    const std::string hint = qmf::missingJointHint(many, {}, many);
    EXPECT_NE(hint.find("j11 and 8 more;"), std::string::npos) << hint;
}

}  // namespace
