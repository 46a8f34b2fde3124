// qmf.bake and qmf.retarget: a clip made through the formats and retarget
// libraries, as `qmf convert SCENE.ma CLIP.qmf` and `qmf retarget` make it,
// then opened.
#include "Bake.h"

#include "formats/Formats.h"
#include "formats/Routes.h"
#include "formats/Session.h"
#include "retarget/Retarget.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qmfpy {

namespace {

// A private folder for the baked clip, removed with what is in it.
class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmf-bake-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data())) throw qmf::FormatError("cannot make a temporary folder: " + std::string(std::strerror(errno)));
        path_ = buf.data();
    }
    ~TempFolder() {
        ::unlink(clip().c_str());
        ::unlink(map().c_str());
        ::rmdir(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string clip() const { return path_ + "/baked.qmf"; }
    std::string map() const { return path_ + "/joints.map"; }

private:
    std::string path_;
};

bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string modulePlugin() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&modulePlugin), &info) || !info.dli_fname) return {};
    std::string dir = info.dli_fname;
    dir = dir.substr(0, dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
    if (dir.empty()) dir = ".";
    // The build tree (python/ beside plug-ins/), a module tree
    // (lib/python3/dist-packages under it) and the Debian package
    // (/usr/lib/python3/dist-packages beside /usr/lib/qmf).
    for (const char* rel : {"/../plug-ins", "/../../../plug-ins", "/../../qmf/plug-ins"}) {
        const std::string candidate = dir + rel + "/qmfTranslator.so";
        if (isFile(candidate)) return candidate;
    }
    return {};
}

namespace {

std::shared_ptr<Animation> throughClip(qmf::formats::Format format, const std::string& path,
                                       const qmf::formats::ConvertOptions& options, std::vector<std::string>& warnings) {
    qmf::formats::ConvertOptions o = options;
    if (o.plugin.empty()) o.plugin = modulePlugin();
    if (o.plugin.empty()) throw qmf::FormatError("the translator module was not found beside the Python module; give plugin=PATH");
    TempFolder folder;
    std::ostringstream warn;
    qmf::formats::convert(format, qmf::formats::Format::Clip, path, folder.clip(), o, warn);
    std::istringstream lines(warn.str());
    for (std::string line; std::getline(lines, line);) warnings.push_back(line);
    return Animation::open(folder.clip());
}

}  // namespace

std::shared_ptr<Animation> bake(const std::string& scene, const qmf::formats::ConvertOptions& options,
                                std::vector<std::string>& warnings) {
    return throughClip(qmf::formats::Format::MayaAscii, scene, options, warnings);
}

std::shared_ptr<Animation> readMotion(const std::string& path, const qmf::formats::ConvertOptions& options,
                                      std::vector<std::string>& warnings) {
    qmf::requireInput(path);
    qmf::formats::Format format = qmf::formats::Format::Clip;
    if (!qmf::formats::formatOfContent(path, format))
        throw qmf::FormatError(path + ": cannot tell the format " + qmf::formats::extensionHint());
    if (format == qmf::formats::Format::Clip) return Animation::open(path);
    return throughClip(format, path, options, warnings);
}

namespace {

// A name as a map file line holds it: quoted, with \" and \\ inside.
std::string quoted(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

void lines(const std::string& text, std::vector<std::string>& into) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) into.push_back(line);
}

// The job with the pairs given in code written to a map file in folder.
qmf::retarget::RetargetOptions withPairs(const qmf::retarget::RetargetOptions& options,
                                         const std::vector<std::pair<std::string, std::string>>& pairs,
                                         const TempFolder& folder) {
    qmf::retarget::RetargetOptions o = options;
    if (o.read.plugin.empty()) o.read.plugin = modulePlugin();
    if (o.read.plugin.empty()) throw qmf::FormatError("the translator module was not found beside the Python module; give plugin=PATH");
    if (!pairs.empty()) {
        std::ofstream map(folder.map());
        for (const auto& [source, rig] : pairs) map << quoted(source) << " " << quoted(rig) << "\n";
        if (!map.flush()) throw qmf::FormatError("cannot write a temporary map file");
        o.mapFile = folder.map();
    }
    return o;
}

}  // namespace

std::shared_ptr<Animation> retarget(const std::string& source, const std::string& rig,
                                    const qmf::retarget::RetargetOptions& options,
                                    const std::vector<std::pair<std::string, std::string>>& pairs,
                                    std::vector<std::string>& warnings) {
    TempFolder folder;
    const qmf::retarget::RetargetOptions o = withPairs(options, pairs, folder);
    std::ostringstream warn;
    qmf::retarget::retarget(source, rig, folder.clip(), o, false, warn);
    lines(warn.str(), warnings);
    return Animation::open(folder.clip());
}

std::vector<MatchRow> matchJoints(const std::string& source, const std::string& rig,
                                  const qmf::retarget::RetargetOptions& options,
                                  const std::vector<std::pair<std::string, std::string>>& pairs,
                                  std::vector<std::string>& warnings) {
    TempFolder folder;
    const qmf::retarget::RetargetOptions o = withPairs(options, pairs, folder);
    std::ostringstream warn;
    const qmf::retarget::Retargeted r = qmf::retarget::retarget(source, rig, std::string(), o, true, warn);
    lines(warn.str(), warnings);
    std::vector<MatchRow> rows;
    for (const qmf::retarget::Pair& p : r.table.pairs)
        rows.push_back({r.sourceNames[p.source], r.targetNames[p.target],
                        p.how == qmf::retarget::How::BodyPart ? std::string("body part: ") + p.part
                                                              : std::string(qmf::retarget::howName(p.how))});
    return rows;
}

}  // namespace qmfpy
