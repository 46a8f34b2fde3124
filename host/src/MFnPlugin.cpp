// The host library is built with MNoVersionString: it must not carry a
// version record of its own (see host/CMakeLists.txt).
#include <maya/MFnPlugin.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MFileObject.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <cctype>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace qmfhost::detail;

// ---- MFnPlugin ---------------------------------------------------------------

MFnPlugin::MFnPlugin() = default;

MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version, const char*,
                     MStatus* ReturnStatus) {
    MStatus injected;
    if (qmfhost::detail::fault("MFnPlugin::MFnPlugin", &injected)) {
        report(ReturnStatus, injected);
        return;
    }
    MStatus s = attach(object);
    if (s) {
        PluginRec* p = plugin(fObject);
        if (vendor) p->vendor = vendor;
        if (version) p->version = version;
    }
    report(ReturnStatus, s);
}

MFnPlugin::~MFnPlugin() = default;

MFn::Type MFnPlugin::type() const { return MFn::kPlugin; }

MString MFnPlugin::vendor(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString(plugin(fObject)->vendor.c_str());
}

MString MFnPlugin::version(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString(plugin(fObject)->version.c_str());
}

MString MFnPlugin::apiVersion(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString(plugin(fObject)->apiVersion.c_str());
}

MString MFnPlugin::name(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString(plugin(fObject)->name.c_str());
}

MString MFnPlugin::loadPath(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    const std::string& path = plugin(fObject)->path;
    const size_t slash = path.rfind('/');
    return MString(slash == std::string::npos ? "." : path.substr(0, slash).c_str());
}

MStatus MFnPlugin::registerFileTranslator(const MString& translatorName, const char* pixmapName,
                                          MCreatorFunction creatorFunction, const char* optionsScriptName,
                                          const char* defaultOptionsString, bool requiresFullMel) {
    MStatus s;
    if (qmfhost::detail::fault("MFnPlugin::registerFileTranslator", &s)) return s;
    if (!isAttached() || translatorName.length() == 0 || !creatorFunction) return makeStatus(MStatus::kFailure);
    HostState& h = host();
    for (const TranslatorRec& t : h.translators)
        if (t.name == translatorName.asChar()) return makeStatus(MStatus::kFailure);
    h.translators.push_back(TranslatorRec{translatorName.asChar(), pixmapName ? pixmapName : "",
                                          creatorFunction, optionsScriptName ? optionsScriptName : "",
                                          defaultOptionsString ? defaultOptionsString : "", requiresFullMel,
                                          fObject.id()});
    return MStatus::kSuccess;
}

MStatus MFnPlugin::deregisterFileTranslator(const MString& translatorName) {
    MStatus s;
    if (qmfhost::detail::fault("MFnPlugin::deregisterFileTranslator", &s)) return s;
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    auto& ts = host().translators;
    for (auto it = ts.begin(); it != ts.end(); ++it)
        if (it->name == translatorName.asChar() && it->plugin == fObject.id()) {
            ts.erase(it);
            return MStatus::kSuccess;
        }
    return makeStatus(MStatus::kFailure);
}

// ---- MPxFileTranslator ---------------------------------------------------------

MPxFileTranslator::MPxFileTranslator() = default;
MPxFileTranslator::~MPxFileTranslator() = default;

MStatus MPxFileTranslator::reader(const MFileObject&, const MString&, FileAccessMode) {
    return makeStatus(MStatus::kFailure);
}
MStatus MPxFileTranslator::writer(const MFileObject&, const MString&, FileAccessMode) {
    return makeStatus(MStatus::kFailure);
}
bool MPxFileTranslator::haveReadMethod() const { return false; }
bool MPxFileTranslator::haveWriteMethod() const { return false; }
bool MPxFileTranslator::haveNamespaceSupport() const { return false; }
bool MPxFileTranslator::haveReferenceMethod() const { return false; }
MString MPxFileTranslator::defaultExtension() const { return MString(); }
MString MPxFileTranslator::filter() const {
    MString ext = defaultExtension();
    return ext.length() ? MString("*.") + ext : MString("*.*");
}
bool MPxFileTranslator::canBeOpened() const { return true; }
MPxFileTranslator::MFileKind MPxFileTranslator::identifyFile(const MFileObject&, const char*, short) const {
    return kNotMyFileType;
}
MPxFileTranslator::FileAccessMode MPxFileTranslator::fileAccessMode() { return host().accessMode; }
void MPxFileTranslator::setFileAccessMode(FileAccessMode mode) { host().accessMode = mode; }

// ---- MFileObject ---------------------------------------------------------------

MFileObject::~MFileObject() = default;

MStatus MFileObject::setRawFullName(const MString& fullName) {
    const std::string s = fullName.asChar();
    const size_t slash = s.rfind('/');
    if (slash == std::string::npos) {
        fPath = ".";
        fName = s.c_str();
    } else {
        fPath = s.substr(0, slash).c_str();
        fName = s.substr(slash + 1).c_str();
    }
    fSet = !s.empty();
    return MStatus::kSuccess;
}

MStatus MFileObject::setRawName(const MString& name) {
    fName = name;
    fSet = fSet || name.length() > 0;
    return MStatus::kSuccess;
}

MStatus MFileObject::setRawPath(const MString& path) {
    fPath = path;
    fSet = fSet || path.length() > 0;
    return MStatus::kSuccess;
}

MString MFileObject::rawFullName() const {
    if (!fSet) return MString();
    if (fPath.length() == 0 && fName.length() == 0) return MString();
    return fPath + "/" + fName;
}

namespace {
// "$VAR" and "${VAR}" replaced by the environment's value ("" when unset).
std::string expand(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '$' || i + 1 >= in.size()) {
            out += in[i];
            continue;
        }
        size_t start = i + 1, end;
        std::string var;
        if (in[start] == '{') {
            end = in.find('}', start);
            if (end == std::string::npos) {
                out += in.substr(i);
                break;
            }
            var = in.substr(start + 1, end - start - 1);
            i = end;
        } else {
            end = start;
            while (end < in.size() && (std::isalnum(static_cast<unsigned char>(in[end])) || in[end] == '_')) ++end;
            if (end == start) {
                out += '$';
                continue;
            }
            var = in.substr(start, end - start);
            i = end - 1;
        }
        if (const char* v = std::getenv(var.c_str())) out += v;
    }
    return out;
}

std::string absolute(const std::string& p) {
    if (p.empty() || p[0] == '/') return p;
    std::string rel = p;
    while (rel.compare(0, 2, "./") == 0) rel.erase(0, 2);
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return p;
    std::string cwd = buf;
    if (rel.empty() || rel == ".") return cwd;
    return cwd == "/" ? "/" + rel : cwd + "/" + rel;
}
}  // namespace

MString MFileObject::expandedFullName() const { return MString(expand(rawFullName().asChar()).c_str()); }

MString MFileObject::expandedPath() const { return MString(expand(fPath.asChar()).c_str()); }

MString MFileObject::resolvedFullName() const {
    if (!fSet) return MString();
    return MString(absolute(expandedFullName().asChar()).c_str());
}

MString MFileObject::resolvedName() const { return MString(expand(fName.asChar()).c_str()); }

MString MFileObject::resolvedPath() const {
    if (!fSet) return MString();
    return MString(absolute(expandedPath().asChar()).c_str());
}

bool MFileObject::exists() const {
    MString full = resolvedFullName();
    struct stat st;
    return full.length() > 0 && ::stat(full.asChar(), &st) == 0;
}
