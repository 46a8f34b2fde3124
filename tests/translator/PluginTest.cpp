// Loading and unloading: registration of "qmf", start and stop of the
// library, and what each failure reports.
#include <algorithm>

#include <qmfhost/Loader.h>

#include "TranslatorFixture.h"

MStatus initializePlugin(MObject obj);
MStatus uninitializePlugin(MObject obj);

using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

bool qmfRegistered()
{
    const auto all = qmfhost::registeredTranslators();
    return std::any_of(all.begin(), all.end(),
                       [](const qmfhost::TranslatorInfo& t) { return t.name == "qmf"; });
}

class PluginTest : public TranslatorTest
{
protected:
    void SetUp() override
    {
        TranslatorTest::SetUp();
        plugin = qmfhost::makePluginObject("qmfTranslator");
    }
    void TearDown() override
    {
        qmfhost::releasePluginObject(plugin);
        TranslatorTest::TearDown();
    }

    MObject plugin;
};

TEST_F(PluginTest, LoadRegistersQmfThenStartsTheLibrary)
{
    qmfhost::PerrorCapture capture;
    bool registeredAtStart = false;
    kell().onCall("mvl_movantis_lib_initialize_lite_f",
                  [&] { registeredAtStart = qmfRegistered(); });

    EXPECT_EQ(initializePlugin(plugin).statusCode(), MStatus::kSuccess);
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_TRUE(registeredAtStart);
    EXPECT_THAT(kell().names(), ElementsAre("mvl_movantis_lib_initialize_lite_f"));

    const auto all = qmfhost::registeredTranslators();
    ASSERT_EQ(all.size(), 1u);
    const qmfhost::TranslatorInfo& qmf = all[0];
    EXPECT_EQ(qmf.name, "qmf");
    EXPECT_EQ(qmf.pixmap, "MovantisFileTranslator.rgb");
    EXPECT_EQ(qmf.optionsScript, "");
    EXPECT_EQ(qmf.defaultOptions, "");
    EXPECT_FALSE(qmf.requiresFullMel);
    EXPECT_EQ(qmf.vendor, "Movantis File Translator");
    EXPECT_EQ(qmf.version, "3.0");
    EXPECT_TRUE(qmf.haveRead);
    EXPECT_TRUE(qmf.haveWrite);
    EXPECT_TRUE(qmf.canBeOpened);
    EXPECT_EQ(qmf.defaultExtension, "qmf");

    EXPECT_EQ(uninitializePlugin(plugin).statusCode(), MStatus::kSuccess);
    EXPECT_FALSE(qmfRegistered());
}

TEST_F(PluginTest, RefusedRegistrationReturnsTheHostsOwnStatusAndStartsNothing)
{
    for (const auto code : {MStatus::kFailure, MStatus::kInsufficientMemory,
                            MStatus::kInvalidParameter}) {
        kell().reset();
        qmfhost::injectFault("MFnPlugin::registerFileTranslator", code);
        qmfhost::PerrorCapture capture;

        EXPECT_EQ(initializePlugin(plugin).statusCode(), code);
        EXPECT_THAT(printed(capture), ElementsAre(Pair("registerFileTranslator", code)));
        EXPECT_EQ(kell().count("mvl_movantis_lib_initialize_lite_f"), 0u);
        EXPECT_FALSE(qmfRegistered());
    }
}

TEST_F(PluginTest, LibraryThatFailsToStartLeavesQmfRegisteredAndFails)
{
    kell().failCall("mvl_movantis_lib_initialize_lite_f", 1);
    qmfhost::PerrorCapture capture;

    EXPECT_EQ(initializePlugin(plugin).statusCode(), MStatus::kFailure);
    // Printed on the registration's own status, which succeeded.
    EXPECT_THAT(printed(capture),
                ElementsAre(Pair("Failure initializing Kell.dll", MStatus::kSuccess)));
    EXPECT_TRUE(qmfRegistered());
}

TEST_F(PluginTest, UnloadStopsTheLibraryBeforeWithdrawingTheTranslator)
{
    ASSERT_TRUE(initializePlugin(plugin));
    bool registeredAtExit = false;
    kell().onCall("mvl_movantis_lib_exit", [&] { registeredAtExit = qmfRegistered(); });
    qmfhost::PerrorCapture capture;

    EXPECT_TRUE(uninitializePlugin(plugin));
    EXPECT_TRUE(registeredAtExit);
    EXPECT_EQ(kell().count("mvl_movantis_lib_exit"), 1u);
    EXPECT_FALSE(qmfRegistered());
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(PluginTest, UnloadStopsTheLibraryEvenWhenNothingWasRegistered)
{
    qmfhost::PerrorCapture capture;
    const MStatus status = uninitializePlugin(plugin);

    EXPECT_FALSE(status);
    EXPECT_EQ(kell().count("mvl_movantis_lib_exit"), 1u);
    EXPECT_THAT(printed(capture),
                ElementsAre(Pair("deregisterFileTranslator", status.statusCode())));
}

TEST_F(PluginTest, FailedDeregistrationReturnsTheHostsStatus)
{
    ASSERT_TRUE(initializePlugin(plugin));
    qmfhost::injectFault("MFnPlugin::deregisterFileTranslator", MStatus::kInvalidParameter);
    qmfhost::PerrorCapture capture;

    EXPECT_EQ(uninitializePlugin(plugin).statusCode(), MStatus::kInvalidParameter);
    EXPECT_EQ(kell().count("mvl_movantis_lib_exit"), 1u);
    EXPECT_THAT(printed(capture),
                ElementsAre(Pair("deregisterFileTranslator", MStatus::kInvalidParameter)));
}

}  // namespace
