// The module loader on a working module and on broken ones.
#include <maya/MFnDependencyNode.h>
#include <qmfhost/Loader.h>
#include <qmfhost/Scene.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

bool translatorRegistered(const std::string& name) {
    for (const auto& t : qmfhost::registeredTranslators())
        if (t.name == name) return true;
    return false;
}

// Per process: ctest runs the instances of a parameterised test side by
// side, and they must not share a file (a FIFO made twice fails).
std::string tempPrefix() { return "host_loader_" + std::to_string(::getpid()) + "_"; }

std::string tempPath(const std::string& leaf) {
    return testing::TempDir() + tempPrefix() + leaf;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class Loader : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override { qmfhost::resetScene(); }
};

TEST_P(Loader, LoadsAModuleAndExposesItsTranslator) {
    qmfhost::PluginModule module;
    ASSERT_TRUE(module.load(GetParam())) << module.lastError();
    EXPECT_TRUE(module.isLoaded());
    EXPECT_EQ(module.apiVersion(), "450");
    EXPECT_EQ(module.vendor(), "Test Vendor");
    EXPECT_EQ(module.version(), "1.5");

    auto list = module.translators();
    ASSERT_EQ(list.size(), 1u);
    const qmfhost::TranslatorInfo& t = list[0];
    EXPECT_EQ(t.name, "dummy");
    EXPECT_EQ(t.pixmap, "dummy.xpm");
    EXPECT_EQ(t.optionsScript, "dummyOptions");
    EXPECT_EQ(t.defaultOptions, "a=1");
    EXPECT_TRUE(t.haveRead);
    EXPECT_TRUE(t.haveWrite);
    EXPECT_FALSE(t.canBeOpened);
    EXPECT_FALSE(t.haveNamespaceSupport);
    EXPECT_EQ(t.defaultExtension, "dmy");
    EXPECT_EQ(t.filter, "*.dmy");
    EXPECT_TRUE(translatorRegistered("dummy"));

    // write: the translator sees the access mode both as an argument and from
    // fileAccessMode() (kExportAccessMode = 5).
    const std::string out = tempPath("out.dmy");
    ASSERT_TRUE(module.write("dummy", out, "opts"));
    EXPECT_EQ(readFile(out), "DUMMY 5 5 opts");
    EXPECT_EQ(module.identifyFile("dummy", out), MPxFileTranslator::kIsMyFileType);
    const std::string other = tempPath("other.txt");
    writeFile(other, "not mine");
    EXPECT_EQ(module.identifyFile("dummy", other), MPxFileTranslator::kNotMyFileType);
    EXPECT_EQ(module.identifyFile("dummy", tempPath("missing")), MPxFileTranslator::kNotMyFileType);
    // A FIFO with no writer would block a plain open for ever; it is not read.
    const std::string fifo = tempPath("fifo.dmy");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(module.identifyFile("dummy", fifo), MPxFileTranslator::kNotMyFileType);
    std::remove(fifo.c_str());
    EXPECT_EQ(MPxFileTranslator::fileAccessMode(), MPxFileTranslator::kUnknownAccessMode);

    ASSERT_TRUE(module.read("dummy", out));
    EXPECT_TRUE(qmfhost::exists(qmfhost::findNode("read_" + tempPrefix() + "out.dmy")));
    MStatus s;
    EXPECT_EQ(module.createTranslator("nope", &s), nullptr);
    EXPECT_EQ(s, MStatus::kNotFound);

    ASSERT_TRUE(module.unload()) << module.lastError();
    EXPECT_FALSE(module.isLoaded());
    EXPECT_FALSE(translatorRegistered("dummy"));
    std::remove(out.c_str());
    std::remove(other.c_str());
}

INSTANTIATE_TEST_SUITE_P(EntryPointNames, Loader, testing::Values(MODULE_good_c, MODULE_good_cpp));

struct BrokenCase {
    const char* what;
    std::string path;
    const char* mentions;
    MStatus::MStatusCode code;
};

TEST(LoaderRefusal, EachBrokenModuleGivesOneClearLine) {
    qmfhost::resetScene();
    const std::string text = tempPath("text.so");
    writeFile(text, "this is not a shared library");
    const BrokenCase cases[] = {
        {"missing file", tempPath("absent.so"), "no such file", MStatus::kNotFound},
        {"not a library", text, "Cannot load plug-in", MStatus::kFailure},
        {"no entry points", MODULE_no_entry, "initializePlugin", MStatus::kFailure},
        {"no version record", MODULE_no_version, "no MApiVersion record", MStatus::kFailure},
        {"version not a number", MODULE_bad_version, "unusable API version \"4.5a\"", MStatus::kFailure},
        {"empty version", MODULE_empty_version, "unusable API version \"\"", MStatus::kFailure},
        {"initializePlugin fails", MODULE_failing_init, "initializePlugin failed", MStatus::kFailure},
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.what);
        qmfhost::PluginModule module;
        MStatus s = module.load(c.path);
        EXPECT_EQ(s, c.code);
        EXPECT_FALSE(module.isLoaded());
        EXPECT_NE(module.lastError().find(c.mentions), std::string::npos) << module.lastError();
        EXPECT_NE(module.lastError().find(c.path), std::string::npos) << module.lastError();
        EXPECT_EQ(module.lastError().find('\n'), std::string::npos);
        EXPECT_TRUE(module.translators().empty());
        // What a failing initializePlugin registered does not outlive it.
        EXPECT_FALSE(translatorRegistered("dummy"));
    }
    std::remove(text.c_str());
}

TEST(LoaderRefusal, FailingUninitializeKeepsTheModuleUntilItIsDestroyed) {
    qmfhost::resetScene();
    {
        qmfhost::PluginModule module;
        ASSERT_TRUE(module.load(MODULE_failing_uninit)) << module.lastError();
        EXPECT_EQ(module.load(MODULE_failing_uninit), MStatus::kFailure);   // already loaded
        EXPECT_NE(module.lastError().find("already loaded"), std::string::npos);
        EXPECT_EQ(module.unload(), MStatus::kFailure);
        EXPECT_NE(module.lastError().find("uninitializePlugin failed"), std::string::npos);
        EXPECT_TRUE(module.isLoaded());
        EXPECT_TRUE(translatorRegistered("dummy"));
    }
    EXPECT_FALSE(translatorRegistered("dummy"));
}

}  // namespace
