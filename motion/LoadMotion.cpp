// Which of the three kinds a file is: by content first, then by name.
#include "motion/MotionBuild.h"

#include "Clip.h"
#include "CommandSupport.h"

#include <kell.h>

#include <fstream>

namespace qmf::motion {

namespace {

enum class Kind { Clip, Maya, Bvh, Unknown };

bool endsWith(const std::string& s, const char* tail) {
    const std::string t(tail);
    if (s.size() < t.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        char c = s[s.size() - t.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != t[i]) return false;
    }
    return true;
}

Kind kindOf(const std::string& path) {
    std::string head(64, '\0');
    {
        std::ifstream in(path, std::ios::binary);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
    }
    std::size_t i = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    if (head.compare(i, 9, "HIERARCHY") == 0) return Kind::Bvh;
    if (head.compare(i, 12, "//Maya ASCII") == 0) return Kind::Maya;
    startLibrary();
    FM_FILE_IDENTIFIER_TYPE id{};
    const std::string abs = absolute(path);
    if (abs.size() < FM_PATH_CAPACITY && fm_path_name_to_file_id_f(abs.c_str(), &id) &&
        dc_file_document_kind_get_f(&id) != DC_KIND_FOREIGN && dc_file_document_kind_get_f(&id) != DC_KIND_UNREADABLE)
        return Kind::Clip;
    if (endsWith(path, ".ma")) return Kind::Maya;
    if (endsWith(path, ".bvh")) return Kind::Bvh;
    if (endsWith(path, ".qmf")) return Kind::Clip;
    return Kind::Unknown;
}

}  // namespace

Motion loadMotion(const std::string& path, const LoadOptions& options, std::ostream& warn) {
    try {
        requireInput(path);
        switch (kindOf(path)) {
        case Kind::Clip: return loadClip(path);
        case Kind::Maya: return loadMayaAscii(path, warn);
        case Kind::Bvh: return loadBvh(path, options, warn);
        case Kind::Unknown: break;
        }
    } catch (const CommandError& e) {
        throw MotionError(e.what());
    }
    throw MotionError(path + ": not a Movantis clip, a Maya ASCII scene or a BVH file");
}

}  // namespace qmf::motion
