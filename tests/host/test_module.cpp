// A tiny plug-in module for the loader tests. Built several times; each
// definition removes or breaks one thing a module needs.

#if defined(TEST_MODULE_NO_VERSION) || defined(TEST_MODULE_BAD_VERSION) || defined(TEST_MODULE_EMPTY_VERSION)
#define MNoVersionString
#endif

#include <maya/MFnPlugin.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFileObject.h>
#include <maya/MPxFileTranslator.h>

#include <cstdio>
#include <cstring>

#if defined(TEST_MODULE_BAD_VERSION)
extern "C" {
PLUGIN_EXPORT char MApiVersion[] = "4.5a";
}
#elif defined(TEST_MODULE_EMPTY_VERSION)
extern "C" {
PLUGIN_EXPORT char MApiVersion[] = "";
}
#endif

namespace {

class DummyTranslator : public MPxFileTranslator {
public:
    // Writes "DUMMY <mode>" so the caller can see the call and its access mode.
    MStatus writer(const MFileObject& file, const MString& options, FileAccessMode mode) override {
        FILE* f = std::fopen(file.resolvedFullName().asChar(), "w");
        if (!f) return MStatus::kFailure;
        std::fprintf(f, "DUMMY %d %d %s", static_cast<int>(mode), static_cast<int>(fileAccessMode()),
                     options.asChar());
        std::fclose(f);
        return MStatus::kSuccess;
    }
    // Leaves a node named after the file in the host's scene.
    MStatus reader(const MFileObject& file, const MString&, FileAccessMode) override {
        MFnDependencyNode fn;
        MStatus status;
        fn.create("dummyRead", MString("read_") + file.name(), &status);
        return status;
    }
    bool haveReadMethod() const override { return true; }
    bool haveWriteMethod() const override { return true; }
    bool canBeOpened() const override { return false; }
    MString defaultExtension() const override { return "dmy"; }
    MFileKind identifyFile(const MFileObject&, const char* buffer, short size) const override {
        return size >= 5 && std::memcmp(buffer, "DUMMY", 5) == 0 ? kIsMyFileType : kNotMyFileType;
    }
};

[[maybe_unused]] void* creator() { return new DummyTranslator; }

}  // namespace

#if !defined(TEST_MODULE_NO_ENTRY_POINTS)

#if defined(TEST_MODULE_CPP_ENTRY_POINTS)
#define ENTRY PLUGIN_EXPORT
#else
#define ENTRY extern "C" PLUGIN_EXPORT
// C names returning a C++ class are what such modules export; the loader
// must take them as they are.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
#endif

ENTRY MStatus initializePlugin(MObject obj) {
    MFnPlugin plugin(obj, "Test Vendor", "1.5");
    MStatus status = plugin.registerFileTranslator("dummy", "dummy.xpm", creator, "dummyOptions", "a=1");
#if defined(TEST_MODULE_FAILING_INIT)
    // Registered first, then failed: the host must not keep the registration.
    return status ? MStatus(MStatus::kFailure) : status;
#else
    return status;
#endif
}

ENTRY MStatus uninitializePlugin(MObject obj) {
    MFnPlugin plugin(obj);
#if defined(TEST_MODULE_FAILING_UNINIT)
    return MStatus::kFailure;
#else
    return plugin.deregisterFileTranslator("dummy");
#endif
}

#endif
