// qmf.bake and qmf.retarget: a clip made through the formats and retarget
// libraries, as `qmf convert SCENE.ma CLIP.qmf` and `qmf retarget` make it,
// then opened.
#include "Bake.h"

#include "fileio/PrivateFolder.h"
#include "formats/Formats.h"
#include "formats/Routes.h"
#include "formats/Session.h"
#include "retarget/Retarget.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace qmfpy {

namespace {

// A private folder, removed with what is named in it; its failure is the module's Error.
class TempFolder {
public:
    TempFolder() try : folder_("qmf-bake") {
    } catch (const fileio::Error& e) {
        throw qmf::FormatError(e.what());
    }
    std::string clip() { return folder_.file("baked.qmf"); }
    std::string map() { return folder_.file("joints.map"); }

private:
    fileio::PrivateFolder folder_;
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
    const std::string clip = folder.clip();
    std::ostringstream warn;
    qmf::formats::convert(format, qmf::formats::Format::Clip, path, clip, o, warn);
    std::istringstream lines(warn.str());
    for (std::string line; std::getline(lines, line);) warnings.push_back(line);
    return Animation::open(clip);
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
                                         TempFolder& folder) {
    qmf::retarget::RetargetOptions o = options;
    if (o.read.plugin.empty()) o.read.plugin = modulePlugin();
    if (o.read.plugin.empty()) throw qmf::FormatError("the translator module was not found beside the Python module; give plugin=PATH");
    if (!pairs.empty()) {
        o.mapFile = folder.map();
        std::ofstream map(o.mapFile);
        for (const auto& [source, rig] : pairs) map << quoted(source) << " " << quoted(rig) << "\n";
        if (!map.flush()) throw qmf::FormatError("cannot write a temporary map file");
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
    const std::string clip = folder.clip();
    std::ostringstream warn;
    qmf::retarget::retarget(source, rig, clip, o, false, warn);
    lines(warn.str(), warnings);
    return Animation::open(clip);
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
