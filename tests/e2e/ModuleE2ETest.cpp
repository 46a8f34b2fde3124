// The built module as the host loads it: version record, the one translator
// it registers, and identification of real files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <kell.h>
#include <maya/MPxFileTranslator.h>
#include <qmfhost/Loader.h>
#include <qmfhost/PerrorCapture.h>
#include <qmfhost/Scene.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "LoadedModuleTest.h"

namespace {


class ModuleE2ETest : public LoadedModuleTest
{
};

TEST_F(ModuleE2ETest, LoadsAsVersion450WithOneReadWriteTranslator)
{
    EXPECT_EQ(module.apiVersion(), "450");
    EXPECT_EQ(module.vendor(), "Movantis File Translator");
    EXPECT_EQ(module.version(), "3.0");

    const auto translators = module.translators();
    ASSERT_EQ(translators.size(), 1u);
    const qmfhost::TranslatorInfo& qmf = translators[0];
    EXPECT_EQ(qmf.name, "qmf");
    EXPECT_EQ(qmf.pixmap, "MovantisFileTranslator.rgb");
    EXPECT_TRUE(qmf.haveRead);
    EXPECT_TRUE(qmf.haveWrite);
    EXPECT_EQ(qmf.defaultExtension, "qmf");
    EXPECT_TRUE(qmf.canBeOpened);
}

TEST_F(ModuleE2ETest, IdentifiesFilesByTheLibrarysDocumentKind)
{
    // A Movantis animation written by the library itself.
    const std::string animationPath = dir + "made-by-kell.qmf";
    ANM_ANIMATION_HANDLE animation = anm_animation_create_f();
    ASSERT_NE(animation, nullptr);
    SKL_SKELETON_HANDLE skeleton = skl_skeleton_skel_create_f("figure");
    ASSERT_NE(skeleton, nullptr);
    ASSERT_GE(skl_skeleton_joint_create_f(skeleton, "root"), 0);
    skl_skeleton_root_set(skeleton, 0);
    skl_skeleton_skel_completed_f(skeleton, "figure");
    ASSERT_NE(anm_animation_figure_add_f(animation, skeleton, 0), nullptr);
    FM_FILE_IDENTIFIER_TYPE identifier{};
    ASSERT_TRUE(fm_path_name_to_file_id_f(animationPath.c_str(), &identifier));
    ASSERT_TRUE(anm_animation_save_as_f(animation, &identifier, 0, nullptr));
    anm_animation_dispose(animation);

    const std::string textPath = dir + "notes.qmf";
    std::ofstream(textPath) << "Not an animation, whatever the extension says.\n";

    qmfhost::PerrorCapture capture;
    EXPECT_EQ(module.identifyFile("qmf", animationPath), MPxFileTranslator::kIsMyFileType);
    EXPECT_EQ(module.identifyFile("qmf", textPath), MPxFileTranslator::kNotMyFileType);
    EXPECT_EQ(module.identifyFile("qmf", dir + "missing.qmf"), MPxFileTranslator::kNotMyFileType);
    EXPECT_TRUE(capture.lines().empty());
}

}  // namespace
