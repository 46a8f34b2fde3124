// qmf.bake: a scene's animation baked into a clip through the formats
// library's route, as `qmf convert SCENE.ma CLIP.qmf` does, then opened.
#include "Bake.h"

#include "formats/Routes.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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
        ::rmdir(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string clip() const { return path_ + "/baked.qmf"; }

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

std::shared_ptr<Animation> bake(const std::string& scene, const qmf::formats::ConvertOptions& options,
                                std::vector<std::string>& warnings) {
    qmf::formats::ConvertOptions o = options;
    if (o.plugin.empty()) o.plugin = modulePlugin();
    if (o.plugin.empty()) throw qmf::FormatError("the translator module was not found beside the Python module; give plugin=PATH");
    TempFolder folder;
    std::ostringstream warn;
    qmf::formats::convert(qmf::formats::Format::MayaAscii, qmf::formats::Format::Clip, scene, folder.clip(), o, warn);
    std::istringstream lines(warn.str());
    for (std::string line; std::getline(lines, line);) warnings.push_back(line);
    return Animation::open(folder.clip());
}

}  // namespace qmfpy
