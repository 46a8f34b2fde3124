// What the reading child hands back: the same after a trip through bytes,
// and any damage to the bytes one refusal, never a crash or a huge allocation.
#include "formats/assimp/Imported.h"

#include <gtest/gtest.h>

#include <random>

using namespace qmf::formats::assimp;

namespace {

Imported sample() {
    Imported m;
    m.joints = {{"Hips", -1, {1, 2, 3}, {0, 0, 0, 1}, 1}, {"Spine", 0, {0, 10, 0}, {0.5, 0.5, 0.5, 0.5}, 1},
                {"Head_end", 1, {0, 5, 0}, {0, 0, 0, 1}, 0}};
    m.takes = {{"walk", 1.5, 30, 46}, {"", 0, 30, 0}};
    m.take = 0;
    m.frameTime = 1.0 / 30;
    m.frames = 2;
    for (uint32_t f = 0; f < m.frames * 3; ++f) m.rotations.insert(m.rotations.end(), {0.f, 0.f, 0.f, 1.f});
    m.rootPosition = {1, 2, 3, 4, 5, 6};
    m.notes = {"metres → cm (×100)"};
    m.warnings = {"a clip moves only its root"};
    return m;
}

}  // namespace

TEST(Encoding, ATripThroughBytesKeepsEverything) {
    const Imported a = sample();
    const Imported b = decode(encode(a));
    ASSERT_EQ(b.joints.size(), a.joints.size());
    for (std::size_t i = 0; i < a.joints.size(); ++i) {
        EXPECT_EQ(b.joints[i].name, a.joints[i].name);
        EXPECT_EQ(b.joints[i].parent, a.joints[i].parent);
        EXPECT_EQ(b.joints[i].offset, a.joints[i].offset);
        EXPECT_EQ(b.joints[i].rest, a.joints[i].rest);
        EXPECT_EQ(b.joints[i].keyed, a.joints[i].keyed);
    }
    ASSERT_EQ(b.takes.size(), 2u);
    EXPECT_EQ(b.takes[0].name, "walk");
    EXPECT_EQ(b.takes[0].frames, 46u);
    EXPECT_EQ(b.take, 0);
    EXPECT_EQ(b.rotations, a.rotations);
    EXPECT_EQ(b.rootPosition, a.rootPosition);
    EXPECT_EQ(b.notes, a.notes);
    EXPECT_EQ(b.warnings, a.warnings);
}

TEST(Encoding, EveryCutAndManyPatchesAreRefusedOrReadWhole) {
    const std::string bytes = encode(sample());
    for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_THROW(decode(bytes.substr(0, n)), ImportedError) << n;
    EXPECT_THROW(decode(bytes + "x"), ImportedError);
    std::mt19937 random(7);
    for (int i = 0; i < 5000; ++i) {
        std::string patched = bytes;
        patched[random() % patched.size()] = static_cast<char>(random());
        try {
            const Imported m = decode(patched);
            // What is read is consistent: a parent before each joint, values for every frame.
            for (std::size_t j = 1; j < m.joints.size(); ++j) EXPECT_LT(m.joints[j].parent, static_cast<int32_t>(j));
            EXPECT_EQ(m.rotations.size(), std::size_t(m.frames) * m.joints.size() * 4);
        } catch (const ImportedError& e) {
            EXPECT_EQ(e.what, "the reader's answer is damaged");
        }
    }
}

TEST(Encoding, ACountLargerThanTheBytesIsRefusedBeforeAllocating) {
    std::string bytes = encode(sample());
    // The joint count follows the 4-byte magic.
    const uint64_t huge = uint64_t(1) << 60;
    bytes.replace(4, 8, reinterpret_cast<const char*>(&huge), 8);
    EXPECT_THROW(decode(bytes), ImportedError);
}
