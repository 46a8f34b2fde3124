// The headless-host session: files checked, the translator loaded, scenes
// read into the host.
#include "formats/Session.h"

#include "qmfhost/Scene.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace qmf {

namespace {

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string defaultPlugin() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "qmfTranslator.so";
    buf[n] = '\0';
    std::string exe(buf);
    std::string dir = exe.substr(0, exe.rfind('/'));
    return dir + "/../plug-ins/qmfTranslator.so";
}

}  // namespace

void requireInput(const std::string& path) {
    try {
        fileio::requireRegularFile(path);
    } catch (const fileio::Error& e) {
        throw FormatError(e.what());
    }
}

fileio::Output requireOutput(const std::string& path, const std::vector<std::string>& inputs) {
    try {
        fileio::Output out = fileio::checkOutput(path);
        for (const auto& in : inputs) fileio::refuseSameFile(out, in);
        return out;
    } catch (const fileio::Error& e) {
        throw FormatError(e.what());
    }
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) throw FormatError("cannot find the current folder");
    return std::string(buf) + "/" + path;
}

std::string pluginPath(const std::string& chosen) { return chosen.empty() ? defaultPlugin() : chosen; }

std::unique_ptr<qmfhost::PluginModule> loadTranslator(const std::string& chosen) {
    std::string path = pluginPath(chosen);
    if (!fileExists(path)) throw FormatError("translator module not found: " + path + " (use --plugin PATH)");
    auto module = std::make_unique<qmfhost::PluginModule>();
    if (!module->load(path)) throw FormatError("cannot load " + path + ": " + module->lastError());
    if (!module->translator("qmf", nullptr))
        throw FormatError(path + " registers no \"qmf\" translator");
    return module;
}

qmfhost::ma::Scene readScene(const std::string& path) {
    requireInput(path);
    try {
        return qmfhost::ma::readFile(path);
    } catch (const qmfhost::ma::ParseError& e) {
        throw FormatError(path + ": " + e.what());
    }
}

qmfhost::ma::Binding bindScene(const std::string& path, const qmfhost::ma::Scene& scene) {
    try {
        return qmfhost::ma::loadIntoHost(scene);
    } catch (const qmfhost::ma::ParseError& e) {
        throw FormatError(path + ": " + e.what());
    }
}

std::vector<MObject> jointsDepthFirst() {
    std::vector<MObject> out;
    std::size_t limit = 10 * qmfhost::allNodes().size() + 16;  // instancing repeats subtrees
    std::vector<std::vector<MObject>> stack{qmfhost::children(qmfhost::world())};
    std::vector<std::size_t> next{0};
    while (!stack.empty() && out.size() <= limit) {
        if (next.back() >= stack.back().size()) {
            stack.pop_back();
            next.pop_back();
            continue;
        }
        MObject node = stack.back()[next.back()++];
        if (qmfhost::typeName(node) == "joint") out.push_back(node);
        stack.push_back(qmfhost::children(node));
        next.push_back(0);
    }
    return out;
}

bool hasJointChild(const MObject& node) {
    for (const MObject& c : qmfhost::children(node))
        if (qmfhost::typeName(c) == "joint") return true;
    return false;
}

}  // namespace qmf
