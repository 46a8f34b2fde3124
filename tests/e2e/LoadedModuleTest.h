// What every end-to-end test starts from: a new scene, the built translator
// module loaded through the host's loader, and a scratch folder of its own.
#ifndef QMF_TESTS_E2E_LOADEDMODULETEST_H
#define QMF_TESTS_E2E_LOADEDMODULETEST_H

#include <gtest/gtest.h>

#include <qmfhost/Loader.h>
#include <qmfhost/Scene.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

class LoadedModuleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qmfhost::resetScene();
        ASSERT_TRUE(module.load(QMF_TRANSLATOR_MODULE)) << module.lastError();
        std::string pattern = ::testing::TempDir() + "qmf-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern + "/";
    }
    void TearDown() override
    {
        EXPECT_TRUE(module.unload()) << module.lastError();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    qmfhost::PluginModule module;
    std::string dir;  // ends with '/'
};

#endif
