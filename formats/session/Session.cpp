// The headless-host session: files checked, the translator loaded, scenes
// read into the host.
#include "formats/Session.h"

#include "formats/Model.h"

#include "qmfhost/Scene.h"

#include <maya/MFnTransform.h>

#include <kell_authoring.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_set>
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

qmfhost::ma::Binding bindScene(const std::string& path, qmfhost::ma::Scene& scene) {
    try {
        return qmfhost::ma::loadIntoHost(scene, qmfhost::ma::SceneKeys::HandedOver);
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

// Depth first without recursion. A joint's parent is its DAG parent when
// that is a joint; under anything else it starts a hierarchy, as in export.
std::vector<SceneJoint> walkSceneJoints(const std::string& path, std::size_t maxVisits) {
    std::vector<SceneJoint> out;
    struct Level {
        std::vector<MObject> nodes;
        std::size_t next;
        int joint;  // index of the node this level hangs from when it is a joint, else -1
        unsigned depth;   // the length of the path to that node
    };
    std::vector<Level> stack{{qmfhost::children(qmfhost::world()), 0, -1, 0}};
    std::size_t visits = 0;
    MDagPath at;   // the path to the node last taken
    at.setNodeIds({});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next >= level.nodes.size()) {
            stack.pop_back();
            continue;
        }
        const MObject node = level.nodes[level.next++];
        at.pop(at.length() - level.depth);
        at.push(node);
        // Instanced groups repeat their subtrees on every path; bound the walk, not only its joints.
        if (++visits > maxVisits)
            throw FormatError(path + ": instancing repeats the hierarchy more than " + std::to_string(maxVisits) +
                              " times over");
        const int parent = level.joint;
        int self = -1;
        if (qmfhost::typeName(node) == "joint") {
            if (out.size() >= KELL_MAX_JOINTS)
                throw FormatError(path + ": more than " + std::to_string(KELL_MAX_JOINTS) +
                                  " joints (counting instances); a skeleton holds no more");
            self = static_cast<int>(out.size());
            out.push_back({node, parent, at});
        }
        stack.push_back({qmfhost::children(node), 0, self, at.length()});
    }
    return out;
}

std::vector<std::string> unevenlyScaled(const std::vector<MObject>& joints) {
    std::vector<std::string> names;
    std::unordered_set<unsigned long long> seen;
    for (const MObject& joint : joints)
        for (MObject node = joint; !node.isNull() && node != qmfhost::world();) {
            if (!seen.insert(node.id()).second) break;  // this node and what is above it are done
            double s[3] = {1, 1, 1};
            MFnTransform(node).getScale(s);
            // Uneven beyond what a file's digits or a float's rounding leave.
            const double most = std::max({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2])});
            const double least = std::min({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2])});
            if (s[0] < 0 || s[1] < 0 || s[2] < 0 || most - least > 1e-6 * most) names.push_back(qmfhost::nodeName(node));
            const std::vector<MObject> parents = qmfhost::parents(node);
            node = parents.empty() ? MObject::kNullObj : parents.front();
        }
    return names;
}

std::string unevenScaleWarning(const std::vector<std::string>& names, const std::string& what) {
    return "negative or non-uniform scale on " + formats::nameList(names) + " moves their children as Maya shows them and " + what +
           " cannot";
}

}  // namespace qmf
