// Loading and unloading the translator module, over and over, must not leave
// memory behind: the animation library it brings in is unloaded with it and
// must release what it holds. This program does not link the library itself,
// so the library really goes away with the module.
#include <gtest/gtest.h>

#include <maya/MPxFileTranslator.h>
#include <qmfhost/Loader.h>
#include <qmfhost/Scene.h>

#include <dlfcn.h>

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

}  // namespace
