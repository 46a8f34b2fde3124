#include "clips/Clip.h"

#include "clips/ClipLibrary.h"
#include "clips/PackJson.h"
#include "fileio/SafeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using json = qmf::Json;

namespace qmf {

namespace {

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) throw ClipError("cannot find the current folder: " + std::string(std::strerror(errno)));
    return std::string(buf) + "/" + path;
}

FM_FILE_IDENTIFIER_TYPE fileId(const std::string& path) {
    FM_FILE_IDENTIFIER_TYPE id{};
    std::string abs = absolutePath(path);
    if (abs.size() >= FM_PATH_CAPACITY || !fm_path_name_to_file_id_f(abs.c_str(), &id))
        throw ClipError(path + ": path too long for the animation library");
    return id;
}

std::string lastLibraryError() {
    const char* m = kell_last_error_message();
    return m && *m ? std::string(m) : std::string("the animation library gave no reason");
}

}  // namespace

void startLibrary() {
    static bool started = false;
    if (started) return;
    if (!mvl_movantis_lib_initialize_lite_f()) throw ClipError("the animation library did not start");
    started = true;
}

json floatToJson(float v) {
    if (std::isnan(v)) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        if (bits == 0x7fc00000u) return "nan";
        char buf[32];
        std::snprintf(buf, sizeof buf, "nan:0x%08x", bits);
        return buf;
    }
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    if (static_cast<float>(std::strtod(buf, nullptr)) != v)
        std::snprintf(buf, sizeof buf, "%.17g", static_cast<double>(v));  // exact value of the float
    double d = std::strtod(buf, nullptr);
    if (d == 0 && std::signbit(v)) return json(-0.0);
    return json(d);
}

float floatFromJson(const json& v, const std::string& where) {
    if (v.is_number()) {
        double d = v.get<double>();
        if (std::isfinite(d) && std::fabs(d) > 3.4028235677973366e38)
            throw ClipError(where + " is out of range for a float");
        return static_cast<float>(d);
    }
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        if (s == "inf") return INFINITY;
        if (s == "-inf") return -INFINITY;
        if (s == "nan") return NAN;
        if (s.rfind("nan:0x", 0) == 0 && s.size() == 14) {
            char* end = nullptr;
            unsigned long bits = std::strtoul(s.c_str() + 6, &end, 16);
            float f;
            uint32_t b = static_cast<uint32_t>(bits);
            std::memcpy(&f, &b, sizeof f);
            if (*end == '\0' && std::isnan(f)) return f;
        }
    }
    throw ClipError(where + " must be a number (or \"inf\", \"-inf\", \"nan\")");
}

namespace {
// A JSON document (the dump `qmf info --json` writes and `qmf pack` reads)
// starts with '{' after blanks and perhaps a byte order mark.
bool looksLikeJson(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    char head[256];
    const ssize_t got = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, head, sizeof head) : -1;
    ::close(fd);
    const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
    std::size_t i = n >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (i < n && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    return i < n && head[i] == '{';
}

FM_FILE_IDENTIFIER_TYPE checkedHeader(const std::string& path) {
    startLibrary();
    if (access(path.c_str(), F_OK) != 0) throw ClipError(path + ": no such file");
    FM_FILE_IDENTIFIER_TYPE id = fileId(path);
    int16_t kind = dc_file_document_kind_get_f(&id);
    if (kind == DC_KIND_UNREADABLE) throw ClipError(path + ": unreadable or damaged: " + lastLibraryError());
    if (kind == DC_KIND_FOREIGN && looksLikeJson(path))
        throw ClipError(path + ": not a Movantis file but JSON; 'qmf pack " + path + " CLIP.qmf' makes a clip of it");
    if (kind == DC_KIND_FOREIGN) throw ClipError(path + ": not a Movantis file");
    if (kind != DC_KIND_MOVANTIS_ANIMATION) throw ClipError(path + ": a Movantis document, but not an animation");
    return id;
}
}  // namespace

void checkClipHeader(const std::string& path) { checkedHeader(path); }

std::string libraryError() { return lastLibraryError(); }

ANM_ANIMATION_HANDLE openClip(const std::string& path) {
    FM_FILE_IDENTIFIER_TYPE id = checkedHeader(path);
    ANM_ANIMATION_HANDLE anm = anm_animation_open_f(&id, 1);  // read-only open, as the translator does
    if (anm == ANM_INVALID_ANIMATION || anm == nullptr) throw ClipError(path + ": damaged animation: " + lastLibraryError());
    return anm;
}

void checkClip(const std::string& path) { anm_animation_dispose(openClip(path)); }

std::string changedWhileRead(const std::string& path) {
    return path + " changed while it was being read; nothing was written";
}

void refuseIfChanged(ANM_ANIMATION_HANDLE anm, const std::string& path) {
    if (anm_animation_file_changed_f(anm)) throw ClipError(changedWhileRead(path));
}

BuiltAnimation::BuiltAnimation(const PackedClip& clip) {
    startLibrary();
    anm_ = anm_animation_create_f();
    if (!anm_) throw ClipError("the animation library could not create an animation");
    try {
        buildPackedClip(clip, anm_);
    } catch (...) {
        anm_animation_dispose(anm_);
        throw;
    }
}

BuiltAnimation::~BuiltAnimation() { anm_animation_dispose(anm_); }

void packClip(std::string_view text, const std::string& path) {
    // Everything is checked before the library sees any of it, so a refusal
    // leaves no half-built skeleton behind.
    PackedClip clip = parsePackJson(text);
    checkPackedClip(clip, text.size());

    const BuiltAnimation anm(clip);
    saveAnimation(anm.handle(), path);
}

void saveAnimation(ANM_ANIMATION_HANDLE anm, const std::string& path) {
    // Saved beside the output under a temporary name, then put in its place
    // keeping the replaced file's mode and owner and any symlink to it.
    try {
        fileio::TempFile tmp(fileio::checkOutput(path));
        FM_FILE_IDENTIFIER_TYPE id = fileId(tmp.path());
        if (!anm_animation_save_as_f(anm, &id, 0, nullptr)) throw ClipError(path + ": cannot write: " + lastLibraryError());
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw ClipError(e.what());
    }
}

}  // namespace qmf
