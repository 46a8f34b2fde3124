// The module's array and retime code at the edges of its loops (no frames,
// no joints, a key only on the last frame, one frame), in process so that the
// sanitizer build checks every index the Python tests reach.
#include "Animation.h"
#include "clips/Clip.h"
#include "Keys.h"
#include "Rotations.h"

#include <gtest/gtest.h>
#include <kell_authoring.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Shape {
    int32_t frames, joints;
    int keyEvery;  // 0: no key; k: every k-th frame, counted back from the last
};

class KeysTest : public ::testing::TestWithParam<Shape> {};

TEST_P(KeysTest, ArraysRoundTripThroughTheLibrary) {
    const Shape s = GetParam();
    auto clip = qmfpy::Animation::create(30.0f, s.frames);
    qmfpy::NewSkeleton sk;
    for (int32_t j = 0; j < s.joints; ++j) {
        sk.jointNames.push_back("j" + std::to_string(j));
        sk.parents.push_back(j - 1);
        sk.roots.push_back(j == 0);
        sk.offsets.push_back({0, 0, 0});
        sk.orientations.push_back({-1, 0, 0, 0});
    }
    FIG_FIGURE_HANDLE fig = clip->figure(qmfpy::addFigure(*clip, sk));

    const std::size_t slots = static_cast<std::size_t>(s.frames) * static_cast<std::size_t>(s.joints);
    std::vector<float> values(static_cast<std::size_t>(s.frames)), keys(4 * slots);
    std::vector<uint8_t> keyed(static_cast<std::size_t>(s.frames)), mask(slots);
    for (int32_t f = 0; f < s.frames; ++f) {
        const bool on = s.keyEvery && (s.frames - 1 - f) % s.keyEvery == 0;
        values[f] = static_cast<float>(f) + 0.5f;
        keyed[f] = on;
        for (int32_t j = 0; j < s.joints; ++j) {
            const std::size_t at = static_cast<std::size_t>(f) * s.joints + j;
            mask[at] = on && (j % 2 == 0 || f == s.frames - 1);
            for (int i = 0; i < 4; ++i) keys[4 * at + i] = static_cast<float>(at * 4 + i) + 1.0f;
        }
    }
    qmfpy::writeChannel(fig, 2, s.frames, values.data(), keyed.data());
    qmfpy::writeOrientations(fig, s.frames, s.joints, keys.data(), mask.data());

    std::vector<float> gotValues(values.size(), -1), gotKeys(keys.size(), -1);
    std::vector<uint8_t> gotKeyed(keyed.size(), 9), gotMask(mask.size(), 9);
    qmfpy::readChannel(fig, 2, s.frames, gotValues.data(), gotKeyed.data());
    qmfpy::readOrientations(fig, s.frames, s.joints, gotKeys.data(), gotMask.data());
    EXPECT_EQ(gotKeyed, keyed);
    EXPECT_EQ(gotMask, mask);
    for (std::size_t f = 0; f < values.size(); ++f) EXPECT_EQ(gotValues[f], keyed[f] ? values[f] : 0.0f) << f;
    for (std::size_t k = 0; k < keys.size(); ++k) EXPECT_EQ(gotKeys[k], mask[k / 4] ? keys[k] : 0.0f) << k;
}

INSTANTIATE_TEST_SUITE_P(Shapes, KeysTest,
                         ::testing::Values(Shape{0, 3, 1}, Shape{5, 0, 1}, Shape{1, 1, 1}, Shape{7, 3, 0},
                                           Shape{300, 4, 1}, Shape{300, 5, 7}, Shape{257, 2, 256}));

struct Retiming {
    int32_t frames;
    float rate;
    int32_t expectedFrames;
};

class RetimeTest : public ::testing::TestWithParam<Retiming> {};

TEST_P(RetimeTest, ResamplesOverTheSameDuration) {
    const Retiming r = GetParam();
    auto clip = qmfpy::Animation::create(30.0f, r.frames);
    qmfpy::NewSkeleton sk{"s", {"a"}, {-1}, {true}, {{0, 0, 0}}, {{-1, 0, 0, 0}}};
    FIG_FIGURE_HANDLE fig = clip->figure(qmfpy::addFigure(*clip, sk));
    for (int32_t f = 0; f < r.frames; ++f) {
        const float v = static_cast<float>(f);
        const float half = static_cast<float>(f) * 0.01f;
        const quaternion q{-std::cos(half), std::sin(half), 0, 0};
        ASSERT_TRUE(fgf_frame_value_set_f(fig, f, 1, v));
        ASSERT_TRUE(fgf_frame_joint_orientation_set_f(fig, f, 0, &q));
    }
    qmfpy::retime(*clip, r.rate, true);
    ASSERT_EQ(clip->frameCount(), r.expectedFrames);
    EXPECT_EQ(clip->frameRate(), r.rate);
    fig = clip->figure(0);
    const double step = 30.0 / static_cast<double>(r.rate);
    for (int32_t g = 0; g < r.expectedFrames; ++g) {
        ASSERT_TRUE(fgf_frame_value_key_f(fig, g, 1)) << g;
        EXPECT_NEAR(fgf_frame_value_get_f(fig, g, 1), g * step, 1e-4) << g;
        quaternion q{};
        fgf_frame_joint_orientation_get(fig, g, 0, &q, 0);
        EXPECT_NEAR(q.f1, std::sin(g * step * 0.01), 1e-6) << g;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, RetimeTest,
                         ::testing::Values(Retiming{0, 60, 0}, Retiming{1, 60, 1}, Retiming{16, 60, 31},
                                           Retiming{16, 15, 8}, Retiming{10, 20, 7}, Retiming{10, 29.97f, 9}));

TEST(RotationsTest, UnkeyedFramesAreNaNAndSkippedForContinuity) {
    // A turn about X in steps of 40 degrees; frame 2 is not keyed.
    std::vector<double> degrees;
    for (int f = 0; f < 12; ++f) degrees.insert(degrees.end(), {40.0 * f, 0, 0});
    const double orient[3] = {0, 0, 0};
    std::vector<float> keys(4 * 12);
    qmfpy::eulerToOrientations(degrees.data(), 12, orient, 0, keys.data());
    std::vector<uint8_t> keyed(12, 1);
    keyed[2] = 0;
    std::vector<double> back(3 * 12);
    qmfpy::orientationsToEuler(keys.data(), keyed.data(), 12, orient, 0, back.data());
    for (int f = 0; f < 12; ++f) {
        if (f == 2) {
            EXPECT_TRUE(std::isnan(back[3 * f]));
            continue;
        }
        EXPECT_NEAR(back[3 * f], 40.0 * f, 1e-4) << f;
    }
}

}  // namespace
