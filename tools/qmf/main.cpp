// qmf: export and import Movantis animation files on Maya ASCII scenes without
// Maya, by driving the qmf translator module through the headless host.
#include "Clip.h"

#include "fileio/SafeFile.h"
#include "qmfhost/PerrorCapture.h"
#include "qmfhost/Loader.h"
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"
#include "qmfhost/Scene.h"

#include <maya/MTime.h>

#include <kell.h>
#include <kell_authoring.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using qmf::CommandError;

namespace {

const char* const kUsage =
    "usage: qmf <command> [options]\n"
    "\n"
    "Commands:\n"
    "  export SCENE.ma OUT.qmf        write the scene's skeleton to a Movantis file\n"
    "  import CLIP.qmf SCENE.ma -o OUT.ma\n"
    "                                 key a Movantis clip onto the scene's joints\n"
    "  identify FILE...               ask the translator whether each file is its own\n"
    "  info FILE.qmf [--json]         show what a Movantis file holds\n"
    "  pack FILE.json OUT.qmf         write a Movantis file from info --json output\n"
    "\n"
    "Run 'qmf <command> --help' for the options of a command.\n";

const std::map<std::string, std::string>& helpTexts() {
    static const std::map<std::string, std::string> m = {
        {"export",
         "usage: qmf export SCENE.ma OUT.qmf [--plugin PATH]\n"
         "\n"
         "Reads a Maya ASCII scene into the headless host, loads the qmf translator\n"
         "module and calls its writer: the scene's joints become the skeleton of a new\n"
         "Movantis animation saved at OUT.qmf. OUT.qmf is replaced only on success.\n"
         "\n"
         "  --plugin PATH   translator module to load (default: ../plug-ins/qmfTranslator.so\n"
         "                  beside this program)\n"},
        {"import",
         "usage: qmf import CLIP.qmf SCENE.ma -o OUT.ma [--replace] [--plugin PATH]\n"
         "\n"
         "Reads a Maya ASCII scene into the headless host, calls the qmf translator's\n"
         "reader on CLIP.qmf (translate curves on the first joint, rotate curves on every\n"
         "joint with joint children, playback end, linear tangents) and writes the\n"
         "animated scene to OUT.ma, atomically. Nothing is written when the translator\n"
         "fails. The input scene is replaced only when -o names it.\n"
         "\n"
         "  -o, --output OUT.ma  the scene to write (required)\n"
         "  --replace            first disconnect and delete the curves that already drive\n"
         "                       the channels the import will key\n"
         "  --plugin PATH        translator module to load (default: ../plug-ins/qmfTranslator.so\n"
         "                       beside this program)\n"},
        {"identify",
         "usage: qmf identify FILE... [--plugin PATH]\n"
         "\n"
         "Prints the qmf translator's answer for each file: 0 (is mine), 1 (could be\n"
         "mine) or 2 (not mine). A missing file is an error.\n"
         "\n"
         "  --plugin PATH   translator module to load\n"},
        {"info",
         "usage: qmf info FILE.qmf [--json]\n"
         "\n"
         "Shows what a Movantis file holds, read through the animation library: the\n"
         "skeleton tree with offsets, orientations and body volumes, the frame rate and\n"
         "frame count, and the keys per channel and joint.\n"
         "\n"
         "  --json   print every value of the file as JSON (see docs/info-json.md);\n"
         "           qmf pack turns it back into the same file\n"},
        {"pack",
         "usage: qmf pack FILE.json OUT.qmf\n"
         "\n"
         "Writes a Movantis file from the JSON form printed by 'qmf info --json'\n"
         "(see docs/info-json.md), through the animation library's authoring interface.\n"
         "OUT.qmf is replaced only on success.\n"},
    };
    return m;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Inputs are regular files only: a FIFO or device would block or never end.
void requireInput(const std::string& path) {
    try {
        fileio::requireRegularFile(path);
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
}

// The output's folder must exist and be writable; the output itself (a
// symlink's target) must be absent or a regular file, and never one of the
// inputs, however spelled.
fileio::Output requireOutput(const std::string& path, const std::vector<std::string>& inputs) {
    try {
        fileio::Output out = fileio::checkOutput(path);
        for (const auto& in : inputs) fileio::refuseSameFile(out, in);
        return out;
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) throw CommandError("cannot find the current folder");
    return std::string(buf) + "/" + path;
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

struct Args {
    std::vector<std::string> positional;
    std::string plugin;
    std::string output;
    bool replace = false;
    bool json = false;
    bool help = false;
};

Args parseArgs(const std::string& command, int argc, char** argv, const std::vector<std::string>& allowed) {
    Args a;
    auto allows = [&](const std::string& f) {
        for (const auto& x : allowed)
            if (x == f) return true;
        return false;
    };
    bool endOfFlags = false;
    for (int i = 0; i < argc; ++i) {
        std::string s = argv[i];
        if (!endOfFlags && s.size() > 1 && s[0] == '-') {
            if (s == "--") {
                endOfFlags = true;
                continue;
            }
            if (s == "-h" || s == "--help") {
                a.help = true;
                continue;
            }
            std::string flag = s, value;
            bool inlineValue = false;
            std::size_t eq = s.find('=');
            if (s.rfind("--", 0) == 0 && eq != std::string::npos) {
                flag = s.substr(0, eq);
                value = s.substr(eq + 1);
                inlineValue = true;
            }
            if (flag == "--output") flag = "-o";
            if (!allows(flag)) throw CommandError(command + ": unknown option " + s + " (see qmf " + command + " --help)");
            if (flag == "--plugin" || flag == "-o") {
                if (!inlineValue) {
                    if (i + 1 >= argc) throw CommandError(command + ": " + flag + " needs a value");
                    value = argv[++i];
                }
                (flag == "-o" ? a.output : a.plugin) = value;
            } else if (flag == "--replace") {
                a.replace = true;
            } else if (flag == "--json") {
                a.json = true;
            }
            continue;
        }
        a.positional.push_back(s);
    }
    return a;
}

void needPositional(const std::string& command, const Args& a, std::size_t n) {
    if (a.positional.size() != n)
        throw CommandError(command + ": expected " + std::to_string(n) + " file arguments, got " +
                           std::to_string(a.positional.size()) + " (see qmf " + command + " --help)");
}

std::string pluginPath(const std::string& chosen) { return chosen.empty() ? defaultPlugin() : chosen; }

std::unique_ptr<qmfhost::PluginModule> loadTranslator(const std::string& chosen) {
    std::string path = pluginPath(chosen);
    if (!fileExists(path)) throw CommandError("translator module not found: " + path + " (use --plugin PATH)");
    auto module = std::make_unique<qmfhost::PluginModule>();
    if (!module->load(path)) throw CommandError("cannot load " + path + ": " + module->lastError());
    if (!module->translator("qmf", nullptr))
        throw CommandError(path + " registers no \"qmf\" translator");
    return module;
}

qmfhost::ma::Scene readScene(const std::string& path) {
    requireInput(path);
    try {
        return qmfhost::ma::readFile(path);
    } catch (const qmfhost::ma::ParseError& e) {
        throw CommandError(path + ": " + e.what());
    }
}

qmfhost::ma::Binding bindScene(const std::string& path, const qmfhost::ma::Scene& scene) {
    try {
        return qmfhost::ma::loadIntoHost(scene);
    } catch (const qmfhost::ma::ParseError& e) {
        throw CommandError(path + ": " + e.what());
    }
}

// Joints in the order of the translator's depth-first walk, without
// recursion so a deep hierarchy cannot exhaust the stack.
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

int cmdExport(int argc, char** argv) {
    Args a = parseArgs("export", argc, argv, {"--plugin"});
    if (a.help) {
        std::cout << helpTexts().at("export");
        return 0;
    }
    needPositional("export", a, 2);
    const std::string& scenePath = a.positional[0];
    const std::string& out = a.positional[1];
    qmfhost::ma::Scene scene = readScene(scenePath);
    fileio::Output target = requireOutput(out, {scenePath, pluginPath(a.plugin)});
    auto module = loadTranslator(a.plugin);
    bindScene(scenePath, scene);
    std::size_t joints = jointsDepthFirst().size();

    // The translator saves to a temporary file beside the output, so a failed
    // export leaves any existing output as it was.
    try {
        fileio::TempFile tmp(target);
        bool saveFailed = false;
        MStatus st;
        {
            qmfhost::PerrorCapture capture(true);
            st = module->write("qmf", absolute(tmp.path()));
            for (const auto& line : capture.lines()) saveFailed = saveFailed || line.text == "Failure saving Movantis file";
        }
        if (!st) {
            // The library says why its save failed (a full disk, say).
            const char* why = saveFailed ? kell_last_error_message() : nullptr;
            throw CommandError("export failed: the translator could not write " + out +
                               (why && *why ? std::string(": ") + why : std::string()));
        }
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    std::cout << "exported " << joints << " joint" << (joints == 1 ? "" : "s") << " from " << scenePath << " to " << out
              << "\n";
    return 0;
}

// A progress line on stderr while the translator keys curves, when stderr
// is a terminal; the host calls back on every key it adds.
class ProgressLine {
public:
    explicit ProgressLine(std::string what) : what_(std::move(what)), enabled_(::isatty(2) != 0) {
        if (!enabled_) return;
        qmfhost::setKeyAddedHook(&ProgressLine::onKey, this);
        draw();
    }
    ~ProgressLine() {
        if (!enabled_) return;
        qmfhost::setKeyAddedHook(nullptr, nullptr);
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    static void onKey(const MObject& curve, void* self) {
        auto* p = static_cast<ProgressLine*>(self);
        // Keys come frame by frame across several curves; remember each curve once.
        if (curve != p->lastCurve_) {
            p->lastCurve_ = curve;
            p->seen_.insert(curve.id());
        }
        if (++p->keys_ % 256 == 0) p->draw();
    }
    void draw() {
        std::fprintf(stderr, "\r%s: %zu curves, %zu keys", what_.c_str(), seen_.size(), keys_);
        std::fflush(stderr);
    }

    std::string what_;
    bool enabled_;
    MObject lastCurve_;
    std::set<unsigned long long> seen_;
    std::size_t keys_ = 0;
};

int cmdImport(int argc, char** argv) {
    Args a = parseArgs("import", argc, argv, {"--plugin", "-o", "--replace"});
    if (a.help) {
        std::cout << helpTexts().at("import");
        return 0;
    }
    needPositional("import", a, 2);
    const std::string& clip = a.positional[0];
    const std::string& scenePath = a.positional[1];
    if (a.output.empty()) throw CommandError("import: -o OUT.ma is required (the input scene is never replaced otherwise)");
    requireInput(clip);
    qmfhost::ma::Scene scene = readScene(scenePath);
    // The scene itself may be the output (documented); the clip and module may not.
    requireOutput(a.output, {clip, pluginPath(a.plugin)});
    auto module = loadTranslator(a.plugin);
    qmf::checkClip(clip);
    if (module->identifyFile("qmf", absolute(clip)) != MPxFileTranslator::kIsMyFileType)
        throw CommandError(clip + ": not a Movantis animation the translator can read");
    qmfhost::ma::Binding binding = bindScene(scenePath, scene);

    int replaced = 0;
    if (a.replace) {
        auto joints = jointsDepthFirst();
        for (std::size_t i = 0; i < joints.size(); ++i) {
            if (i == 0) replaced += qmfhost::ma::deleteDrivingCurves(joints[i], {"translateX", "translateY", "translateZ"});
            if (hasJointChild(joints[i]))
                replaced += qmfhost::ma::deleteDrivingCurves(joints[i], {"rotateX", "rotateY", "rotateZ"});
        }
    }
    {
        ProgressLine progress("importing " + clip);
        MStatus st = module->read("qmf", absolute(clip));
        if (!st) throw CommandError("import failed: the translator could not apply " + clip + "; nothing written");
    }
    qmfhost::ma::Edits edits = qmfhost::ma::collectEdits(scene, binding);
    std::string text = qmfhost::ma::writeScene(scene, edits);
    try {
        qmfhost::ma::writeFileAtomically(a.output, text);
    } catch (const std::exception& e) {
        throw CommandError(e.what());
    }
    std::size_t keys = 0;
    for (const auto& c : edits.newCurves) keys += c.curve.keys.size();
    std::cout << "imported " << clip << " onto " << scenePath << ": " << edits.newCurves.size() << " curves, " << keys
              << " keys";
    if (replaced) std::cout << " (" << replaced << " old curves replaced)";
    auto ac = qmfhost::animControlState();
    double fps = scene.units.framesPerSecond;
    std::cout << "; playback " << qmfhost::ma::formatNumber(ac.minTime.as(MTime::kSeconds) * fps) << " to "
              << qmfhost::ma::formatNumber(ac.maxTime.as(MTime::kSeconds) * fps) << " (" << scene.units.timeName
              << " frames); wrote " << a.output << "\n";
    return 0;
}

int cmdIdentify(int argc, char** argv) {
    Args a = parseArgs("identify", argc, argv, {"--plugin"});
    if (a.help) {
        std::cout << helpTexts().at("identify");
        return 0;
    }
    if (a.positional.empty()) throw CommandError("identify: no files given (see qmf identify --help)");
    auto module = loadTranslator(a.plugin);
    int failures = 0;
    for (const auto& f : a.positional) {
        struct stat st;
        if (::stat(f.c_str(), &st) != 0) {
            std::cerr << "qmf: " << f << ": " << std::strerror(errno) << "\n";
            ++failures;
            continue;
        }
        if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode)) {
            // Anything but a regular file could block the read or never end.
            std::cerr << "qmf: " << f << (S_ISDIR(st.st_mode) ? ": is a folder\n" : ": not a regular file\n");
            ++failures;
            continue;
        }
        MStatus status;
        auto kind = module->identifyFile("qmf", absolute(f), &status);
        const char* what = kind == MPxFileTranslator::kIsMyFileType       ? "is mine"
                           : kind == MPxFileTranslator::kCouldBeMyFileType ? "could be mine"
                                                                             : "not mine";
        std::cout << f << ": " << static_cast<int>(kind) << " (" << what << ")\n";
    }
    return failures ? 1 : 0;
}

int cmdInfo(int argc, char** argv) {
    Args a = parseArgs("info", argc, argv, {"--json"});
    if (a.help) {
        std::cout << helpTexts().at("info");
        return 0;
    }
    needPositional("info", a, 1);
    requireInput(a.positional[0]);
    qmf::Json clip = qmf::dumpClip(a.positional[0]);
    if (a.json) {
        std::string text;
        try {
            text = clip.dump(2);
        } catch (const qmf::Json::exception&) {
            throw CommandError(a.positional[0] + ": a name in the file is not UTF-8 and cannot be written as JSON");
        }
        std::cout << text << "\n";
    } else {
        std::cout << qmf::describeClip(clip);
    }
    return 0;
}

int cmdPack(int argc, char** argv) {
    Args a = parseArgs("pack", argc, argv, {});
    if (a.help) {
        std::cout << helpTexts().at("pack");
        return 0;
    }
    needPositional("pack", a, 2);
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    requireInput(in);
    requireOutput(out, {in});
    // A clip's JSON is far smaller than this; refuse before reading it all in.
    constexpr std::uintmax_t kMaxJsonBytes = std::uintmax_t(1) << 30;
    std::string text;
    try {
        fileio::InputFile f(in);
        if (f.size() > kMaxJsonBytes) throw CommandError(in + ": larger than the limit of 1 GiB for a JSON clip");
        text = f.readAll(kMaxJsonBytes);
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    qmf::Json clip;
    try {
        clip = qmf::Json::parse(text);
    } catch (const qmf::Json::parse_error& e) {
        std::string what = e.what();
        std::size_t p = what.find("parse error");
        throw CommandError(in + ": bad JSON: " + (p == std::string::npos ? what : what.substr(p)));
    }
    try {
        qmf::packClip(clip, out);
    } catch (const CommandError& e) {
        throw CommandError(in + ": " + e.what());
    } catch (const qmf::Json::exception& e) {
        throw CommandError(in + ": " + e.what());
    }
    std::cout << "packed " << in << " into " << out << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        if (argc > 2 && helpTexts().count(argv[2])) std::cout << helpTexts().at(argv[2]);
        else std::cout << kUsage;
        return 0;
    }
    static const std::map<std::string, std::function<int(int, char**)>> commands = {
        {"export", cmdExport}, {"import", cmdImport}, {"identify", cmdIdentify}, {"info", cmdInfo}, {"pack", cmdPack}};
    auto it = commands.find(cmd);
    if (it == commands.end()) {
        std::cerr << "qmf: unknown command '" << cmd << "' (see qmf --help)\n";
        return 2;
    }
    try {
        return it->second(argc - 2, argv + 2);
    } catch (const CommandError& e) {
        std::cerr << "qmf: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "qmf: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "qmf: " << e.what() << "\n";
    }
    return 1;
}
