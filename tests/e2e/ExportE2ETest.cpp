// Export through the loaded module and the real stand-in library: the file it
// writes, opened again, holds exactly the scene's skeleton.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <kell.h>
#include <kell_authoring.h>
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
#include <iterator>
#include <string>
#include <vector>

#include "LoadedModuleTest.h"

using ::testing::ElementsAre;

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

MObject makeJoint(const char* name, const MObject& parent, const MVector& translation)
{
    MFnDagNode dag;
    MObject node = dag.create("joint", name, parent);
    MFnIkJoint joint(node);
    joint.setTranslation(translation, MSpace::kTransform);
    return node;
}

class ExportE2ETest : public LoadedModuleTest
{
};

struct Opened {
    ANM_ANIMATION_HANDLE animation = ANM_INVALID_ANIMATION;
    ~Opened()
    {
        if (animation != ANM_INVALID_ANIMATION)
            anm_animation_dispose(animation);
    }
};

std::string jointName(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint)
{
    char name[SKL_JOINT_NAME_CAPACITY] = {};
    skl_skeleton_joint_name_get(skeleton, joint, name);
    return name;
}

std::vector<POB_PRIMITIVE> primitives(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint)
{
    std::vector<POB_PRIMITIVE> result;
    POB_PART_OBJECT_HANDLE part = skl_skeleton_part_object_get_f(skeleton, joint);
    if (!part)
        return result;
    const int32_t count = pob_part_object_number_of_primitives_get_f(part);
    for (int32_t i = 0; i < count; ++i) {
        POB_PRIMITIVE p{};
        if (pob_part_object_primitive_get_f(part, i, &p))
            result.push_back(p);
    }
    return result;
}

TEST_F(ExportE2ETest, SavedFileHoldsTheScenesSkeleton)
{
    const double s = std::sqrt(0.5);
    MObject hip = makeJoint("hip", MObject::kNullObj, MVector(0, 90, 0));
    MObject spine = makeJoint("spine", hip, MVector(300, 400, 0));
    makeJoint("head", spine, MVector(0, 0, 250));
    MFnIkJoint spineFn(spine);
    spineFn.setRotation(MQuaternion(s, 0, 0, s), MSpace::kTransform);
    spineFn.setOrientation(MQuaternion(0, s, 0, s));

    const std::string path = dir + "walk.qmf";
    qmfhost::PerrorCapture capture;
    ASSERT_TRUE(module.write("qmf", path));
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(module.identifyFile("qmf", path), MPxFileTranslator::kIsMyFileType);

    FM_FILE_IDENTIFIER_TYPE identifier{};
    ASSERT_TRUE(fm_path_name_to_file_id_f(path.c_str(), &identifier));
    Opened opened;
    opened.animation = anm_animation_open_f(&identifier, 1);
    ASSERT_NE(opened.animation, ANM_INVALID_ANIMATION) << kell_last_error_message();
    EXPECT_EQ(anm_animation_number_of_figures_get_f(opened.animation), 1);

    FIG_FIGURE_HANDLE figure = anm_animation_figure_get_by_index_f(opened.animation, 0);
    ASSERT_NE(figure, nullptr);
    SKL_SKELETON_HANDLE skeleton = fig_figure_get_skel(figure);
    ASSERT_NE(skeleton, nullptr);

    char skeletonName[16] = "unset";
    EXPECT_EQ(skl_skeleton_name_get_f(skeleton, skeletonName, sizeof skeletonName), 0);
    EXPECT_TRUE(skl_skeleton_completed_get_f(skeleton));
    ASSERT_EQ(skl_skeleton_number_of_joints_get_f(skeleton), 3);
    EXPECT_EQ(jointName(skeleton, 0), "hip");
    EXPECT_EQ(jointName(skeleton, 1), "spine");
    EXPECT_EQ(jointName(skeleton, 2), "head");

    EXPECT_TRUE(skl_skeleton_root_get_f(skeleton, 0));
    EXPECT_FALSE(skl_skeleton_root_get_f(skeleton, 1));
    EXPECT_FALSE(skl_skeleton_root_get_f(skeleton, 2));
    EXPECT_EQ(skl_skeleton_parent_get_f(skeleton, 0), SKL_NO_JOINT);
    EXPECT_EQ(skl_skeleton_parent_get_f(skeleton, 1), 0);
    EXPECT_EQ(skl_skeleton_parent_get_f(skeleton, 2), 1);

    coord3 offset{};
    ASSERT_TRUE(skl_skeleton_offset_get_f(skeleton, 1, &offset));
    EXPECT_EQ(offset.x, 3.0f);
    EXPECT_EQ(offset.y, 4.0f);
    EXPECT_EQ(offset.z, 0.0f);
    ASSERT_TRUE(skl_skeleton_offset_get_f(skeleton, 2, &offset));
    EXPECT_EQ(offset.x, 0.0f);
    EXPECT_EQ(offset.y, 0.0f);
    EXPECT_EQ(offset.z, -2.5f);

    quaternion rotation{};
    ASSERT_TRUE(skl_skeleton_joint_orientation_get_f(skeleton, 0, &rotation));
    EXPECT_EQ(rotation.f0, -1.0f);
    EXPECT_EQ(rotation.f1, 0.0f);
    EXPECT_EQ(rotation.f2, 0.0f);
    EXPECT_EQ(rotation.f3, 0.0f);
    ASSERT_TRUE(skl_skeleton_joint_orientation_get_f(skeleton, 1, &rotation));
    EXPECT_NEAR(rotation.f0, -0.5f, 1e-6);
    EXPECT_NEAR(rotation.f1, 0.5f, 1e-6);
    EXPECT_NEAR(rotation.f2, 0.5f, 1e-6);
    EXPECT_NEAR(rotation.f3, 0.5f, 1e-6);

    // hip: root sphere of a third of 5, bone of 5 towards (0.6, 0.8, -0).
    const auto hipParts = primitives(skeleton, 0);
    ASSERT_EQ(hipParts.size(), 2u);
    EXPECT_EQ(hipParts[0].kind, POB_PRIMITIVE_SPHERE);
    EXPECT_EQ(hipParts[0].radius, 1.6666666f);
    EXPECT_EQ(hipParts[1].kind, POB_PRIMITIVE_BONE);
    EXPECT_EQ(hipParts[1].length, 5.0f);
    EXPECT_EQ(hipParts[1].direction.x, 0.6f);
    EXPECT_EQ(hipParts[1].direction.y, 0.8f);
    EXPECT_EQ(hipParts[1].direction.z, 0.0f);
    // spine: one bone to head; head: a leaf sphere.
    const auto spineParts = primitives(skeleton, 1);
    ASSERT_EQ(spineParts.size(), 1u);
    EXPECT_EQ(spineParts[0].kind, POB_PRIMITIVE_BONE);
    EXPECT_EQ(spineParts[0].length, 2.5f);
    EXPECT_EQ(spineParts[0].direction.z, -1.0f);
    const auto headParts = primitives(skeleton, 2);
    ASSERT_EQ(headParts.size(), 1u);
    EXPECT_EQ(headParts[0].kind, POB_PRIMITIVE_SPHERE);
    EXPECT_EQ(headParts[0].radius, 0.25f);

    // Bounds were computed for every part object.
    for (SKL_JOINT_ID j = 0; j < 3; ++j) {
        coord3 low{}, high{};
        EXPECT_TRUE(pob_part_object_bounds_get_f(skl_skeleton_part_object_get_f(skeleton, j), &low,
                                                 &high))
            << j;
    }
}

TEST_F(ExportE2ETest, FailedExportLeavesTheTargetFileUntouched)
{
    const std::string path = dir + "keep.qmf";
    const std::string before = "an earlier file, not to be replaced\n";
    std::ofstream(path, std::ios::binary) << before;

    // A joint name longer than the library holds stops the export.
    MObject root = makeJoint("root", MObject::kNullObj, MVector());
    makeJoint(std::string(200, 'x').c_str(), root, MVector(0, 10, 0));

    qmfhost::PerrorCapture capture;
    EXPECT_FALSE(module.write("qmf", path));
    EXPECT_THAT(capture.texts(),
                ElementsAre("Failure in creating joint", std::string(200, 'x'),
                            "Failure creating skeleton",
                            "Failure converting Maya scene graph to Movantis animation"));
    EXPECT_EQ(readAll(path), before);
}

TEST_F(ExportE2ETest, UnwritablePathFailsWithTheWriteChain)
{
    makeJoint("root", MObject::kNullObj, MVector());
    qmfhost::PerrorCapture capture;
    EXPECT_FALSE(module.write("qmf", dir + "no-such-dir/walk.qmf"));
    EXPECT_THAT(capture.texts(),
                ElementsAre("Failure saving Movantis file", "Failure writing Movantis file"));
}

}  // namespace
