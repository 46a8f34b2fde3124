// The rules that carry values between scene and file: units, the mirrored Z
// axis, the rotation layout, and frames to seconds.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "convert/SpaceConversion.h"

namespace {

TEST(SceneVectorToFile, ScalesToFileUnitsAndMirrorsZ)
{
    struct Case {
        MVector scene;
        coord3 file;
    };
    const Case cases[] = {
        {MVector(100, 200, 300), {1.0f, 2.0f, -3.0f}},
        {MVector(-50, 0, -250), {-0.5f, 0.0f, 2.5f}},
        {MVector(0, 0, 0), {0.0f, 0.0f, -0.0f}},
    };
    for (const Case& c : cases) {
        const coord3 file = sceneVectorToFile(c.scene);
        EXPECT_EQ(file.x, c.file.x);
        EXPECT_EQ(file.y, c.file.y);
        EXPECT_EQ(file.z, c.file.z);
    }
    // Z of a zero vector is a negated zero, as the library receives it.
    EXPECT_TRUE(std::signbit(sceneVectorToFile(MVector(0, 0, 0)).z));
}

TEST(SceneVectorToFile, NarrowsOnlyAfterScalingInDouble)
{
    const double x = 16777217.0;  // 2^24 + 1: no float holds it
    const coord3 file = sceneVectorToFile(MVector(x, 0, 0));
    EXPECT_EQ(file.x, static_cast<float>(x * 0.01));
    // Narrowing first would lose the odd unit before the scale.
    ASSERT_NE(static_cast<float>(x * 0.01), static_cast<float>(static_cast<float>(x) * 0.01));
}

TEST(SceneToFileScale, IsSetBeforeAnyEntryPoint)
{
    EXPECT_EQ(gSceneToFileScale, 1.0 / 100.0);
}

TEST(FileTranslationToScene, ScalesByHundredAndMirrorsZ)
{
    EXPECT_EQ(fileTranslationToScene(kell::kRootChannelX, 1.0f), 100.0);
    EXPECT_EQ(fileTranslationToScene(kell::kRootChannelY, 2.0f), 200.0);
    EXPECT_EQ(fileTranslationToScene(kell::kRootChannelZ, 3.0f), -300.0);
}

TEST(FileTranslationToScene, WidensBeforeMultiplying)
{
    // 0.1f is not 0.1; in float arithmetic the product would round to 10.
    const double expected = static_cast<double>(0.1f) * 100.0;
    EXPECT_EQ(fileTranslationToScene(kell::kRootChannelX, 0.1f), expected);
    EXPECT_NE(fileTranslationToScene(kell::kRootChannelX, 0.1f), 10.0);
    EXPECT_EQ(fileTranslationToScene(kell::kRootChannelZ, 0.1f), -expected);
}

TEST(SceneRotationToFile, IdentityIsMinusOneFirst)
{
    const quaternion file = sceneRotationToFile(MQuaternion(), MQuaternion());
    EXPECT_EQ(file.f0, -1.0f);
    EXPECT_EQ(file.f1, 0.0f);
    EXPECT_EQ(file.f2, 0.0f);
    EXPECT_EQ(file.f3, 0.0f);

    const MQuaternion back = fileRotationToScene(file, MQuaternion());
    EXPECT_EQ(back.x, 0.0);
    EXPECT_EQ(back.y, 0.0);
    EXPECT_EQ(back.z, 0.0);
    EXPECT_EQ(back.w, 1.0);
}

TEST(SceneRotationToFile, RotationComesBeforeOrientation)
{
    // R a quarter turn about X, O a quarter turn about Y. In the host's
    // product R * O (apply R, then O) the Z part is -1/2; O * R would give +1/2.
    const double s = std::sqrt(0.5);
    const MQuaternion rotation(s, 0, 0, s);
    const MQuaternion orientation(0, s, 0, s);
    const quaternion file = sceneRotationToFile(rotation, orientation);
    EXPECT_NEAR(file.f0, -0.5f, 1e-6);
    EXPECT_NEAR(file.f1, 0.5f, 1e-6);
    EXPECT_NEAR(file.f2, 0.5f, 1e-6);
    EXPECT_NEAR(file.f3, 0.5f, 1e-6);
}

MQuaternion randomRotation(std::mt19937& random)
{
    std::normal_distribution<double> normal;
    const double x = normal(random), y = normal(random), z = normal(random), w = normal(random);
    const double n = std::sqrt(x * x + y * y + z * z + w * w);
    return MQuaternion(x / n, y / n, z / n, w / n);
}

TEST(RotationRules, ExportThenImportGivesTheRotationBack)
{
    std::mt19937 random(20261207);
    for (int i = 0; i < 500; ++i) {
        const MQuaternion rotation = randomRotation(random);
        const MQuaternion orientation = randomRotation(random);
        const MQuaternion back =
            fileRotationToScene(sceneRotationToFile(rotation, orientation), orientation);
        // Same sign, not merely the same rotation: the rules invert exactly
        // apart from float rounding.
        EXPECT_NEAR(back.x, rotation.x, 1e-6) << i;
        EXPECT_NEAR(back.y, rotation.y, 1e-6) << i;
        EXPECT_NEAR(back.z, rotation.z, 1e-6) << i;
        EXPECT_NEAR(back.w, rotation.w, 1e-6) << i;
    }
}

TEST(RotationRules, ImportThenExportGivesTheFileRotationBack)
{
    std::mt19937 random(7);
    for (int i = 0; i < 500; ++i) {
        const MQuaternion q = randomRotation(random);
        const quaternion file{static_cast<float>(q.w), static_cast<float>(q.x),
                              static_cast<float>(q.y), static_cast<float>(q.z)};
        const MQuaternion orientation = randomRotation(random);
        const quaternion again =
            sceneRotationToFile(fileRotationToScene(file, orientation), orientation);
        EXPECT_NEAR(again.f0, file.f0, 1e-6) << i;
        EXPECT_NEAR(again.f1, file.f1, 1e-6) << i;
        EXPECT_NEAR(again.f2, file.f2, 1e-6) << i;
        EXPECT_NEAR(again.f3, file.f3, 1e-6) << i;
    }
}

TEST(FrameToTime, FramesAreSecondsPerFrameApart)
{
    const MTime time = frameToTime(50, 1.0 / 25.0);
    EXPECT_EQ(time.unit(), MTime::kSeconds);
    EXPECT_DOUBLE_EQ(time.value(), 2.0);
    EXPECT_EQ(frameToTime(0, 1.0 / 30.0).value(), 0.0);
    // Frames are unsigned: the largest is far ahead, never before zero.
    EXPECT_DOUBLE_EQ(frameToTime(0xFFFFFFFFu, 1.0).value(), 4294967295.0);
}

}  // namespace
