// Plug-in module loading (qmfhost/Loader.h).
#include <qmfhost/Loader.h>
#include <maya/MFileObject.h>

#include "HostState.h"

#include <dlfcn.h>
#include <link.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qmfhost {

using namespace detail;

namespace {

using EntryPoint = MStatus (*)(MObject);

// dlerror() text on one line.
std::string lastDlError() {
    const char* e = dlerror();
    std::string s = e ? e : "unknown error";
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

// The symbol if the module itself defines it (not one of its dependencies,
// such as the host library, which dlsym would also search).
void* ownSymbol(void* handle, const char* name, size_t* size = nullptr) {
    dlerror();
    void* sym = dlsym(handle, name);
    if (!sym) return nullptr;
    struct link_map* moduleMap = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &moduleMap) != 0 || !moduleMap) return nullptr;
    Dl_info info;
    void* extra = nullptr;
    if (!dladdr1(sym, &info, &extra, RTLD_DL_LINKMAP) || extra != moduleMap) return nullptr;
    if (size) {
        *size = 0;
        void* symEntry = nullptr;
        if (dladdr1(sym, &info, &symEntry, RTLD_DL_SYMENT) && symEntry)
            *size = static_cast<size_t>(static_cast<const ElfW(Sym)*>(symEntry)->st_size);
    }
    return sym;
}

// Printable form of an untrusted string for a message.
std::string printable(const char* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

TranslatorInfo describe(const TranslatorRec& t) {
    TranslatorInfo info;
    info.name = t.name;
    info.pixmap = t.pixmap;
    info.optionsScript = t.optionsScript;
    info.defaultOptions = t.defaultOptions;
    info.requiresFullMel = t.requiresFullMel;
    auto p = host().plugins.find(t.plugin);
    if (p != host().plugins.end()) {
        info.plugin = p->second.name;
        info.vendor = p->second.vendor;
        info.version = p->second.version;
    }
    std::unique_ptr<MPxFileTranslator> instance(static_cast<MPxFileTranslator*>(t.creator()));
    if (instance) {
        info.haveRead = instance->haveReadMethod();
        info.haveWrite = instance->haveWriteMethod();
        info.haveNamespaceSupport = instance->haveNamespaceSupport();
        info.haveReferenceMethod = instance->haveReferenceMethod();
        info.canBeOpened = instance->canBeOpened();
        info.defaultExtension = instance->defaultExtension().asChar();
        info.filter = instance->filter().asChar();
    }
    return info;
}

// Up to size leading bytes of a regular file; none of anything else, which is
// never opened in a way that could block (a FIFO without a writer).
std::size_t firstBytes(const std::string& path, char* buffer, std::size_t size) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return 0;
    std::size_t got = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        while (got < size) {
            const ssize_t n = ::read(fd, buffer + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return got;
}

void releasePlugin(Id id) {
    withdrawTranslatorsOf(id);
    host().plugins.erase(id);
}

// Restores the access mode when a read or write ends.
struct AccessModeScope {
    explicit AccessModeScope(MPxFileTranslator::FileAccessMode mode) : previous(MPxFileTranslator::fileAccessMode()) {
        MPxFileTranslator::setFileAccessMode(mode);
    }
    ~AccessModeScope() { MPxFileTranslator::setFileAccessMode(previous); }
    MPxFileTranslator::FileAccessMode previous;
};

}  // namespace

std::vector<TranslatorInfo> registeredTranslators() {
    std::vector<TranslatorRec> copy = host().translators;   // creators may register more
    std::vector<TranslatorInfo> out;
    for (const TranslatorRec& t : copy) out.push_back(describe(t));
    return out;
}

MObject makePluginObject(const std::string& name, const std::string& path) {
    PluginRec rec;
    rec.id = newId();
    rec.name = name;
    rec.path = path;
    rec.apiVersion = MAYA_API_VERSION_STRING;
    host().plugins.emplace(rec.id, rec);
    return MObject(MObject::kPluginKind, rec.id);
}

void releasePluginObject(const MObject& pluginObject) {
    if (plugin(pluginObject)) releasePlugin(pluginObject.id());
}

PluginModule::PluginModule() = default;

PluginModule::~PluginModule() {
    if (!isLoaded()) return;
    if (!unload()) close();
}

MStatus PluginModule::fail(MStatus::MStatusCode code, const std::string& message) {
    fError = message;
    return makeStatus(code);
}

void PluginModule::close() {
    if (!fPlugin.isNull()) releasePlugin(fPlugin.id());
    if (fHandle) dlclose(fHandle);
    fHandle = nullptr;
    fUninitialize = nullptr;
    fPlugin = MObject();
}

MStatus PluginModule::load(const std::string& path) {
    if (isLoaded()) return fail(MStatus::kFailure, "Plug-in " + fPath + " is already loaded");
    fError.clear();
    fPath = path;
    fName = baseName(path);
    fApiVersion.clear();
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(MStatus::kNotFound, "Cannot load plug-in " + path + ": no such file");

    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return fail(MStatus::kFailure, "Cannot load plug-in " + path + ": " + lastDlError());

    size_t size = 0;
    const char* version = static_cast<const char*>(ownSymbol(handle, "MApiVersion", &size));
    if (!version) {
        dlclose(handle);
        return fail(MStatus::kFailure, "Cannot load plug-in " + path + ": it has no MApiVersion record");
    }
    // Never read past the record: its symbol size bounds it.
    const size_t limit = size ? size : 16;
    const size_t length = strnlen(version, limit);
    bool usable = length > 0 && length < limit && length <= 9;
    for (size_t i = 0; usable && i < length; ++i) usable = version[i] >= '0' && version[i] <= '9';
    if (!usable) {
        std::string shown = printable(version, length);
        dlclose(handle);
        return fail(MStatus::kFailure,
                    "Cannot load plug-in " + path + ": unusable API version \"" + shown + "\"");
    }

    void* init = ownSymbol(handle, "initializePlugin");
    void* uninit = ownSymbol(handle, "uninitializePlugin");
    bool cNames = init && uninit;
    if (!cNames) {
        init = ownSymbol(handle, "_Z16initializePlugin7MObject");
        uninit = ownSymbol(handle, "_Z18uninitializePlugin7MObject");
    }
    if (!init || !uninit) {
        dlclose(handle);
        return fail(MStatus::kFailure,
                    "Cannot load plug-in " + path + ": it does not export initializePlugin and uninitializePlugin");
    }

    fHandle = handle;
    fUninitialize = uninit;
    fUninitializeIsC = cNames;
    fApiVersion.assign(version, length);
    fPlugin = makePluginObject(fName, path);
    plugin(fPlugin)->apiVersion = fApiVersion;

    MStatus result;
    try {
        result = reinterpret_cast<EntryPoint>(init)(fPlugin);
    } catch (...) {
        result = makeStatus(MStatus::kFailure);
    }
    if (!result) {
        // As Maya does: a plug-in that fails to initialise is unloaded again,
        // and nothing it registered stays behind.
        std::string text = result.errorString().asChar();
        close();
        return fail(result.statusCode(), "Cannot load plug-in " + path + ": initializePlugin failed " + text);
    }
    return MStatus::kSuccess;
}

MStatus PluginModule::unload() {
    if (!isLoaded()) return fail(MStatus::kFailure, "Plug-in " + (fPath.empty() ? fName : fPath) + " is not loaded");
    fError.clear();
    MStatus result;
    try {
        result = reinterpret_cast<EntryPoint>(fUninitialize)(fPlugin);
    } catch (...) {
        result = makeStatus(MStatus::kFailure);
    }
    if (!result)
        return fail(result.statusCode(),
                    "Cannot unload plug-in " + fPath + ": uninitializePlugin failed " + result.errorString().asChar());
    close();
    return MStatus::kSuccess;
}

std::string PluginModule::vendor() const {
    const PluginRec* p = plugin(fPlugin);
    return p ? p->vendor : std::string();
}

std::string PluginModule::version() const {
    const PluginRec* p = plugin(fPlugin);
    return p ? p->version : std::string();
}

std::vector<TranslatorInfo> PluginModule::translators() const {
    std::vector<TranslatorInfo> out;
    if (!isLoaded()) return out;
    std::vector<TranslatorRec> copy = host().translators;
    for (const TranslatorRec& t : copy)
        if (t.plugin == fPlugin.id()) out.push_back(describe(t));
    return out;
}

MStatus PluginModule::translator(const std::string& name, TranslatorInfo* info) const {
    if (isLoaded())
        for (const TranslatorRec& t : host().translators)
            if (t.plugin == fPlugin.id() && t.name == name) {
                if (info) *info = describe(t);
                return MStatus::kSuccess;
            }
    return makeStatus(MStatus::kNotFound);
}

std::unique_ptr<MPxFileTranslator> PluginModule::createTranslator(const std::string& name, MStatus* status) const {
    if (isLoaded())
        for (const TranslatorRec& t : host().translators)
            if (t.plugin == fPlugin.id() && t.name == name) {
                std::unique_ptr<MPxFileTranslator> made(static_cast<MPxFileTranslator*>(t.creator()));
                report(status, made ? MStatus(MStatus::kSuccess) : makeStatus(MStatus::kFailure));
                return made;
            }
    report(status, makeStatus(MStatus::kNotFound));
    return nullptr;
}

MPxFileTranslator::MFileKind PluginModule::identifyFile(const std::string& translatorName,
                                                        const std::string& filePath, MStatus* status) const {
    std::unique_ptr<MPxFileTranslator> t = createTranslator(translatorName, status);
    if (!t) return MPxFileTranslator::kNotMyFileType;
    char buffer[2048];
    const short got = static_cast<short>(firstBytes(filePath, buffer, sizeof buffer));
    MFileObject file;
    file.setRawFullName(MString(filePath.c_str()));
    report(status, MStatus::kSuccess);
    return t->identifyFile(file, buffer, got);
}

MStatus PluginModule::read(const std::string& translatorName, const std::string& filePath,
                           const std::string& options, MPxFileTranslator::FileAccessMode mode) const {
    return callSlot(translatorName, filePath, options, mode, &MPxFileTranslator::reader);
}

MStatus PluginModule::write(const std::string& translatorName, const std::string& filePath,
                            const std::string& options, MPxFileTranslator::FileAccessMode mode) const {
    return callSlot(translatorName, filePath, options, mode, &MPxFileTranslator::writer);
}

// A fresh translator for one call of its reader or writer, as the host's
// file commands make one.
MStatus PluginModule::callSlot(const std::string& translatorName, const std::string& filePath,
                               const std::string& options, MPxFileTranslator::FileAccessMode mode,
                               FileSlot slot) const {
    MStatus s;
    std::unique_ptr<MPxFileTranslator> t = createTranslator(translatorName, &s);
    if (!t) return s;
    MFileObject file;
    file.setRawFullName(MString(filePath.c_str()));
    AccessModeScope scope(mode);
    return ((*t).*slot)(file, MString(options.c_str()), mode);
}

}  // namespace qmfhost
