// Loading and unloading the translator module, over and over, must not leave
// memory behind: the animation library it brings in is unloaded with it and
// must release what it holds. This program does not link the library itself,
// so the library really goes away with the module.
#include <gtest/gtest.h>

#include <maya/MPxFileTranslator.h>
#include <qmfhost/Loader.h>
#include <qmfhost/Scene.h>

#include <dlfcn.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

// Live blocks from operator new, counted across the whole process: this
// program's replacement serves the library and the module as well.
static std::atomic<long> gLiveBlocks{0};

void* operator new(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    ++gLiveBlocks;
    return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept {
    if (!p) return;
    --gLiveBlocks;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

bool libraryLoaded() {
    void* h = dlopen("libKell.so", RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

// One use of the module: load, let the library make and drop an animation
// and remember a failure, unload.
void cycle(const std::string& dir) {
    qmfhost::resetScene();
    qmfhost::PluginModule module;
    ASSERT_TRUE(module.load(QMF_TRANSLATOR_MODULE)) << module.lastError();
    (void)module.write("qmf", dir + "out.qmf");
    (void)module.identifyFile("qmf", dir + "missing.qmf");
    ASSERT_TRUE(module.unload()) << module.lastError();
}

TEST(ModuleUnload, ReleasesWhatTheLibraryHeld) {
    std::string pattern = ::testing::TempDir() + "qmf-unload-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    const std::string dir = pattern + "/";
    ASSERT_FALSE(libraryLoaded());
    cycle(dir);
    ASSERT_FALSE(libraryLoaded()) << "the library stays loaded, so this test cannot see its leaks";
    cycle(dir);  // the host's own first-use allocations settle

    constexpr int kCycles = 20;
    const long before = gLiveBlocks;
    for (int i = 0; i < kCycles; ++i) cycle(dir);
    const long after = gLiveBlocks;
    EXPECT_EQ(after, before) << (after - before) / kCycles << " blocks held per load and unload";
    std::filesystem::remove_all(pattern);
}

void hostBusHandler(int) {}

// Reading a large file maps it and puts the library's SIGBUS guard in front
// of the host's handler; unloading the library must give the host its own
// handler back, not leave one pointing into unloaded code.
TEST(ModuleUnload, GivesTheHostItsBusErrorHandlerBack) {
    std::string pattern = ::testing::TempDir() + "qmf-unload-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    const std::string big = pattern + "/big.qmf";
    ASSERT_EQ(std::system((std::string(QMF_WRITE_BIG_CLIP) + " '" + big + "'").c_str()), 0);
    struct sigaction mine {}, before {};
    mine.sa_handler = &hostBusHandler;
    sigemptyset(&mine.sa_mask);
    ASSERT_EQ(sigaction(SIGBUS, &mine, &before), 0);

    qmfhost::resetScene();
    qmfhost::PluginModule module;
    ASSERT_TRUE(module.load(QMF_TRANSLATOR_MODULE)) << module.lastError();
    (void)module.read("qmf", big);  // no joints to key in this scene: fails after the open
    struct sigaction whileLoaded {};
    ASSERT_EQ(sigaction(SIGBUS, nullptr, &whileLoaded), 0);
    const bool guarded = (whileLoaded.sa_flags & SA_SIGINFO) != 0;
    ASSERT_TRUE(module.unload()) << module.lastError();

    struct sigaction after {};
    ASSERT_EQ(sigaction(SIGBUS, nullptr, &after), 0);
    sigaction(SIGBUS, &before, nullptr);
    std::filesystem::remove_all(pattern);
    ASSERT_TRUE(guarded) << "the library did not map the file, so this test cannot see its guard";
    EXPECT_FALSE(after.sa_flags & SA_SIGINFO);
    EXPECT_EQ(after.sa_handler, &hostBusHandler);
}

}  // namespace
