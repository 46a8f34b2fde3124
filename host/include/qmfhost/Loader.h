#ifndef QMFHOST_LOADER_H
#define QMFHOST_LOADER_H
// Loads a plug-in module (.so) the way Maya's plug-in manager does and
// gives access to the file translators it registers.
//
// load(): dlopen the file; read its exported MApiVersion record (must be
// present and a decimal number); find initializePlugin/uninitializePlugin
// (extern "C", else the C++ names for a global MObject); call
// initializePlugin with the plug-in's object. A failing initializePlugin
// unloads the module again, withdrawing whatever it registered first.
// unload(): uninitializePlugin, then dlclose. Every failure leaves one clear
// line in lastError() and a failed status.
//
//   qmfhost::PluginModule module;
//   if (!module.load("build/plug-ins/qmfTranslator.so")) puts(module.lastError().c_str());
//   qmfhost::TranslatorInfo info;
//   module.translator("qmf", &info);
//   MStatus s = module.write("qmf", "/tmp/out.qmf");
//
// Translators made by createTranslator() belong to the module's code: destroy
// them before unloading it.

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MObject.h>
#include <maya/MPxFileTranslator.h>

#include <memory>
#include <string>
#include <vector>

namespace qmfhost {

// A registered file translator as the host sees it.
struct TranslatorInfo {
    std::string name;
    std::string pixmap;
    std::string optionsScript;     // "" when none was given
    std::string defaultOptions;    // "" when none was given
    bool requiresFullMel = false;
    std::string plugin;            // name of the registering plug-in
    std::string vendor;
    std::string version;
    // Answers of a freshly created translator.
    bool haveRead = false;
    bool haveWrite = false;
    bool haveNamespaceSupport = false;
    bool haveReferenceMethod = false;
    bool canBeOpened = false;
    std::string defaultExtension;
    std::string filter;
};

// Every translator registered with the host (by any plug-in), in
// registration order, with capabilities asked of a new instance of each.
OPENMAYA_EXPORT std::vector<TranslatorInfo> registeredTranslators();

// A plug-in object for code that calls initializePlugin itself (tests): it
// is accepted by MFnPlugin. releasePluginObject withdraws what it registered.
OPENMAYA_EXPORT MObject makePluginObject(const std::string& name, const std::string& path = std::string());
OPENMAYA_EXPORT void releasePluginObject(const MObject& plugin);

class OPENMAYA_EXPORT PluginModule {
public:
    PluginModule();
    // Unloads if still loaded; if uninitializePlugin fails then, the
    // module's registrations are withdrawn and it is closed anyway.
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    MStatus load(const std::string& path);
    // A failing uninitializePlugin leaves the module loaded, as in Maya.
    MStatus unload();
    bool isLoaded() const { return fHandle != nullptr; }
    // The message of the last failure, "" after a success.
    const std::string& lastError() const { return fError; }

    const std::string& path() const { return fPath; }
    // Plug-in name: the file name without directory and extension.
    const std::string& name() const { return fName; }
    const std::string& apiVersion() const { return fApiVersion; }
    std::string vendor() const;
    std::string version() const;
    MObject pluginObject() const { return fPlugin; }

    // Translators this module registered, in registration order.
    std::vector<TranslatorInfo> translators() const;
    // kNotFound if this module registered no translator of that name.
    MStatus translator(const std::string& name, TranslatorInfo* info) const;
    // A new instance from the registered creator; null (and the status) if
    // there is none or the creator returned null.
    std::unique_ptr<MPxFileTranslator> createTranslator(const std::string& name,
                                                        MStatus* status = nullptr) const;

    // One-shot calls on a new instance. identifyFile passes the first bytes
    // of the file (up to 2048; none if it cannot be read); reader/writer are
    // called with fileAccessMode() set to mode for the duration.
    MPxFileTranslator::MFileKind identifyFile(const std::string& translatorName,
                                              const std::string& filePath,
                                              MStatus* status = nullptr) const;
    MStatus read(const std::string& translatorName, const std::string& filePath,
                 const std::string& options = std::string(),
                 MPxFileTranslator::FileAccessMode mode = MPxFileTranslator::kImportAccessMode) const;
    MStatus write(const std::string& translatorName, const std::string& filePath,
                  const std::string& options = std::string(),
                  MPxFileTranslator::FileAccessMode mode = MPxFileTranslator::kExportAccessMode) const;

private:
    using FileSlot = MStatus (MPxFileTranslator::*)(const MFileObject&, const MString&,
                                                    MPxFileTranslator::FileAccessMode);
    MStatus callSlot(const std::string& translatorName, const std::string& filePath,
                     const std::string& options, MPxFileTranslator::FileAccessMode mode,
                     FileSlot slot) const;
    MStatus fail(MStatus::MStatusCode code, const std::string& message);
    void close();

    void* fHandle = nullptr;
    void* fUninitialize = nullptr;
    bool fUninitializeIsC = true;
    std::string fPath;
    std::string fName;
    std::string fApiVersion;
    std::string fError;
    MObject fPlugin;
};

}  // namespace qmfhost

#endif
