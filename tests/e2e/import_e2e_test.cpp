// Import through the loaded module and the real stand-in library: a skeleton
// exported from a posed scene, keyed with the authoring interface and read
// back onto the same scene, animates it with the rotations that were keyed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <kell.h>
#include <kell_authoring.h>
#include <maya/MEulerRotation.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>
#include <qmfhost/Loader.h>
#include <qmfhost/PerrorCapture.h>
#include <qmfhost/Scene.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "LoadedModuleTest.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kFrames = 40;
constexpr float kRate = 24.0f;
constexpr double kPi = 3.14159265358979323846;

// Angle between two rotations, whichever sign their quaternions carry.
double angleBetween(const MQuaternion& a, const MQuaternion& b)
{
    const double na = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z + a.w * a.w);
    const double nb = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z + b.w * b.w);
    const double dot = std::abs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w) / (na * nb);
    return 2.0 * std::acos(std::min(1.0, dot));
}

// The file layout of a scene rotation R on a joint oriented O: R * O as
// (-w, x, y, -z) in single precision.
quaternion toFile(const MQuaternion& rotation, const MQuaternion& orientation)
{
    const MQuaternion q = rotation * orientation;
    return quaternion{static_cast<float>(-q.w), static_cast<float>(q.x), static_cast<float>(q.y),
                      static_cast<float>(-q.z)};
}

struct PosedJoint {
    const char* name;
    const char* parent;  // nullptr: under the world
    MVector translation;
    MQuaternion orientation;
    MQuaternion rest;  // the pose's rotation
    MTransformationMatrix::RotationOrder order;
    // The clip's rotation on frames 1 and later.
    std::function<MQuaternion(int)> clip;
};

MQuaternion about(double angle, double x, double y, double z)
{
    return MQuaternion(angle, MVector(x, y, z));
}

class ImportE2ETest : public LoadedModuleTest {
protected:
    static MObject sceneCurve(const MObject& node, const char* attribute)
    {
        qmfhost::Connection connection;
        if (!qmfhost::sourceOf(node, attribute, connection) ||
            !qmfhost::isAnimCurve(connection.sourceNode))
            return MObject::kNullObj;
        return connection.sourceNode;
    }

    static std::vector<qmfhost::CurveKey> keysOf(const MObject& node, const char* attribute)
    {
        qmfhost::CurveData data;
        MObject curve = sceneCurve(node, attribute);
        EXPECT_FALSE(curve.isNull()) << "no curve on " << qmfhost::nodeName(node) << "." << attribute;
        if (!curve.isNull()) {
            EXPECT_TRUE(qmfhost::getCurve(curve, data));
        }
        return data.keys;
    }
};

TEST_F(ImportE2ETest, KeyedClipOfAnExportedSkeletonRebuildsEachJointsRotation)
{
    const std::vector<PosedJoint> pose = {
        {"hip", nullptr, MVector(0, 90, 0), about(0.4, 0, 0, 1), about(0.3, 1, 0, 0),
         MTransformationMatrix::kXYZ,
         [](int f) { return about(0.25 * f, 0, 1, 0); }},  // turns past 180 degrees
        {"spine", "hip", MVector(0, 20, 2), about(-1.2, 1, 1, 0), about(0.7, 0, 1, 1),
         MTransformationMatrix::kZXY,
         [](int f) { return about(0.05 * f, 1, 2, 3) * about(0.2, 1, 0, 0); }},
        {"neck", "spine", MVector(0, 30, 0), MQuaternion(), about(-0.5, 0, 0, 1),
         MTransformationMatrix::kYXZ,
         [](int f) { return about(0.6 * std::sin(0.3 * f), 0, 0, 1); }},
        {"head", "neck", MVector(0, 12, 0), about(0.2, 1, 0, 0), about(0.1, 0, 1, 0),
         MTransformationMatrix::kXYZ, [](int f) { return about(0.02 * f, 1, 0, 0); }},
    };
    std::map<std::string, MObject> nodes;
    for (const PosedJoint& j : pose) {
        MFnDagNode dag;
        MObject parent = j.parent ? nodes.at(j.parent) : MObject::kNullObj;
        MObject node = dag.create("joint", j.name, parent);
        MFnIkJoint fn(node);
        ASSERT_TRUE(fn.setTranslation(j.translation, MSpace::kTransform));
        ASSERT_TRUE(fn.setOrientation(j.orientation));
        ASSERT_TRUE(fn.setRotationOrder(j.order, false));
        ASSERT_TRUE(fn.setRotation(j.rest, MSpace::kTransform));
        nodes[j.name] = node;
    }

    const std::string path = dir + "clip.qmf";
    qmfhost::PerrorCapture capture;
    ASSERT_TRUE(module.write("qmf", path));

    // Key the exported file: the rest pose (its exported orientation) on
    // frame 0, the clip on the frames after, and a sparse root translation.
    {
        FM_FILE_IDENTIFIER_TYPE identifier{};
        ASSERT_TRUE(fm_path_name_to_file_id_f(path.c_str(), &identifier));
        ANM_ANIMATION_HANDLE animation = anm_animation_open_f(&identifier, 1);
        ASSERT_NE(animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
        FIG_FIGURE_HANDLE figure = anm_animation_figure_get_by_index_f(animation, 0);
        SKL_SKELETON_HANDLE skeleton = fig_figure_get_skel(figure);
        ASSERT_NE(skeleton, nullptr);
        ASSERT_TRUE(anm_animation_frame_rate_set_f(animation, kRate));
        ASSERT_TRUE(anm_animation_number_of_frames_set_f(animation, kFrames));

        const int32_t joints = skl_skeleton_number_of_joints_get_f(skeleton);
        ASSERT_EQ(joints, static_cast<int32_t>(pose.size()));
        for (SKL_JOINT_ID id = 0; id < joints; ++id) {
            char name[SKL_JOINT_NAME_CAPACITY] = {};
            skl_skeleton_joint_name_get(skeleton, id, name);
            const PosedJoint* joint = nullptr;
            for (const PosedJoint& j : pose)
                if (name == std::string(j.name))
                    joint = &j;
            ASSERT_NE(joint, nullptr) << name;

            quaternion rest{};
            ASSERT_TRUE(skl_skeleton_joint_orientation_get_f(skeleton, id, &rest));
            ASSERT_TRUE(fgf_frame_joint_orientation_set_f(figure, 0, id, &rest));
            for (int32_t f = 1; f < kFrames; ++f) {
                const quaternion keyed = toFile(joint->clip(f), joint->orientation);
                ASSERT_TRUE(fgf_frame_joint_orientation_set_f(figure, f, id, &keyed));
            }
        }
        for (int32_t f = 0; f < kFrames; f += 3) {
            ASSERT_TRUE(fgf_frame_value_set_f(figure, f, 1, 0.125f * f));
            ASSERT_TRUE(fgf_frame_value_set_f(figure, f, 3, 0.9f - 0.01f * f));
        }
        ASSERT_TRUE(fgf_frame_value_set_f(figure, 7, 2, 0.95f));
        ASSERT_TRUE(anm_animation_save_as_f(animation, &identifier, 0, nullptr));
        anm_animation_dispose(animation);
    }

    ASSERT_TRUE(module.read("qmf", path));
    EXPECT_THAT(capture.lines(), IsEmpty());

    // Playback ends at the count times the frame length; new keys are linear.
    const qmfhost::AnimControlState state = qmfhost::animControlState();
    EXPECT_NEAR(state.maxTime.as(MTime::kSeconds), kFrames / 24.0, 1e-12);
    EXPECT_EQ(state.globalInTangent, MFnAnimCurve::kTangentLinear);
    EXPECT_EQ(state.globalOutTangent, MFnAnimCurve::kTangentLinear);

    // Root translation: only the keyed frames, in centimetres with Z mirrored.
    const MObject hip = nodes.at("hip");
    const auto tx = keysOf(hip, "translateX");
    const auto ty = keysOf(hip, "translateY");
    const auto tz = keysOf(hip, "translateZ");
    ASSERT_EQ(tx.size(), 14u);
    ASSERT_EQ(tz.size(), 14u);
    for (std::size_t k = 0; k < tx.size(); ++k) {
        const int f = static_cast<int>(3 * k);
        EXPECT_NEAR(tx[k].time, f / 24.0, 1e-12);
        EXPECT_EQ(tx[k].value, static_cast<double>(0.125f * f) * 100.0);
        EXPECT_EQ(tz[k].value, -(static_cast<double>(0.9f - 0.01f * f) * 100.0));
    }
    ASSERT_EQ(ty.size(), 1u);
    EXPECT_NEAR(ty[0].time, 7 / 24.0, 1e-12);
    EXPECT_EQ(ty[0].value, static_cast<double>(0.95f) * 100.0);

    for (const PosedJoint& j : pose) {
        const MObject node = nodes.at(j.name);
        if (std::string(j.name) == "head") {
            for (const char* attribute : {"rotateX", "rotateY", "rotateZ"})
                EXPECT_TRUE(sceneCurve(node, attribute).isNull()) << "a leaf is not animated";
            continue;
        }
        const auto rx = keysOf(node, "rotateX");
        const auto ry = keysOf(node, "rotateY");
        const auto rz = keysOf(node, "rotateZ");
        ASSERT_EQ(rx.size(), static_cast<std::size_t>(kFrames)) << j.name;
        ASSERT_EQ(ry.size(), rx.size());
        ASSERT_EQ(rz.size(), rx.size());
        const auto order = static_cast<MEulerRotation::RotationOrder>(static_cast<int>(j.order) - 1);
        for (int f = 0; f < kFrames; ++f) {
            EXPECT_NEAR(rx[f].time, f / 24.0, 1e-12);
            EXPECT_EQ(rx[f].inTangent, MFnAnimCurve::kTangentLinear);
            EXPECT_EQ(rz[f].outTangent, MFnAnimCurve::kTangentLinear);
            const MQuaternion rebuilt =
                MEulerRotation(rx[f].value, ry[f].value, rz[f].value, order).asQuaternion();
            const MQuaternion expected = f == 0 ? j.rest : j.clip(f);
            EXPECT_LT(angleBetween(rebuilt, expected), 1e-6) << j.name << " frame " << f;
            if (f > 0) {
                // Closest solutions: no channel jumps by a turn between keys.
                EXPECT_LT(std::abs(rx[f].value - rx[f - 1].value), kPi) << j.name << " frame " << f;
                EXPECT_LT(std::abs(ry[f].value - ry[f - 1].value), kPi) << j.name << " frame " << f;
                EXPECT_LT(std::abs(rz[f].value - rz[f - 1].value), kPi) << j.name << " frame " << f;
            }
        }
    }
}

TEST_F(ImportE2ETest, FileThatIsNotAnAnimationChangesNothing)
{
    MFnDagNode dag;
    MObject hip = dag.create("joint", "hip", MObject::kNullObj);
    const std::string path = dir + "notes.qmf";
    std::ofstream(path) << "Not an animation.\n";

    qmfhost::PerrorCapture capture;
    EXPECT_FALSE(module.read("qmf", path));
    EXPECT_THAT(capture.texts(), ElementsAre("Failure opening Movantis animation",
                                             "Failure reading Movantis animation"));
    EXPECT_TRUE(sceneCurve(hip, "translateX").isNull());
    EXPECT_EQ(qmfhost::animControlState().globalInTangent, qmfhost::AnimControlState().globalInTangent);
}

}  // namespace
