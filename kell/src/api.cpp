// The C interface of kell.h and kell_authoring.h over the model: the
// library's lifetime, files, animations and frame data (skeletons and part
// objects are in api_skeleton.cpp).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "format.h"
#include "kell.h"
#include "kell_authoring.h"
#include "kell_testing.h"
#include "api_support.h"
#include "files.h"
#include "mapping.h"
#include "model.h"

using namespace kell;
using namespace kell::api;

namespace {

std::string *gLastError = nullptr;

std::string &lastError() {
    if (!gLastError) gLastError = new std::string;
    return *gLastError;
}

// Given back when the library is unloaded, like the registry.
struct ReleaseLastError {
    ~ReleaseLastError() {
        delete gLastError;
        gLastError = nullptr;
    }
} gReleaseLastError;

}  // namespace

void kell::api::setError(std::string why) { lastError() = std::move(why); }

namespace {

// The path of an identifier the library made, or null when it is not one.
const char *identifierPath(const FM_FILE_IDENTIFIER_TYPE *id) {
    if (!id || id->length == 0 || id->length >= FM_PATH_CAPACITY) return nullptr;
    if (id->path[id->length] != '\0' || std::memchr(id->path, 0, id->length) || id->path[0] != '/')
        return nullptr;
    return id->path;
}

constexpr const char *kChanged = "the file changed while it was being read";

// Decodes a whole file image; every refusal leaves its reason for
// kell_last_error_message.
ANM_ANIMATION_HANDLE openImage(FileImage &&image) {
    try {
        std::string why;
        Animation *a = decodeAnimation(std::move(image), why);
        if (!a) {
            setError(why);
            return ANM_INVALID_ANIMATION;
        }
        return a;
    } catch (const std::bad_alloc &) {
        setError("out of memory reading the animation");
        return ANM_INVALID_ANIMATION;
    }
}

}  // namespace

extern "C" {

// ---- Library lifetime --------------------------------------------------------

KL_BOOL mvl_movantis_lib_initialize_lite_f(void) {
    ++registry().initCount;
    return 1;
}

void mvl_movantis_lib_exit(void) {
    Registry &r = registry();
    if (r.initCount == 0) return;  // an exit without a start changes nothing
    if (--r.initCount == 0) releaseEverything();
}

const char *kell_last_error_message(void) { return lastError().c_str(); }

void kell_testing_fail_save_after(int64_t bytes) { gFailSaveAfter = bytes < 0 ? -1 : bytes; }

void kell_testing_save_chunk(size_t bytes) { gSaveChunk = bytes == 0 ? kEncodeChunk : bytes; }

void kell_save_sync_set(KL_BOOL sync) { gSaveSync = sync != 0; }

void kell_save_in_place_set(KL_BOOL inPlace) { gSaveInPlace = inPlace != 0; }

void kell_testing_cut_file_at_read(int64_t reads) { gCutAtRead = reads > 0 ? reads : 0; }

uint32_t kell_changed_files_count(void) { return changedMappings(); }

// ---- Files and documents -----------------------------------------------------

KL_BOOL fm_path_name_to_file_id_f(const char *path, FM_FILE_IDENTIFIER_TYPE *identifier) {
    if (!identifier) return 0;
    identifier->length = 0;
    identifier->path[0] = '\0';
    if (!path || path[0] == '\0') return 0;
    std::string full;
    if (path[0] != '/') {
        char cwd[FM_PATH_CAPACITY];
        if (!::getcwd(cwd, sizeof cwd)) return 0;
        full = cwd;
        if (full.back() != '/') full += '/';
    }
    const size_t n = strnlen(path, FM_PATH_CAPACITY);
    if (full.size() + n >= FM_PATH_CAPACITY) return 0;
    full.append(path, n);
    std::memcpy(identifier->path, full.c_str(), full.size() + 1);
    identifier->length = static_cast<uint32_t>(full.size());
    return 1;
}

int16_t dc_file_document_kind_get_f(const FM_FILE_IDENTIFIER_TYPE *identifier) {
    const char *path = identifierPath(identifier);
    if (!path) return DC_KIND_UNREADABLE;
    struct stat st {};
    const int fd = openRegular(path, st);
    if (fd < 0) return DC_KIND_UNREADABLE;
    uint8_t header[kHeaderSize];
    bool failed = false;
    const size_t got = readUpTo(fd, header, sizeof header, failed);
    ::close(fd);
    if (failed) return DC_KIND_UNREADABLE;
    std::string why;
    return documentKind(header, got, why);
}

int16_t dc_memory_document_kind_get_f(const void *data, size_t size) {
    if (!data) return DC_KIND_UNREADABLE;
    std::string why;
    return documentKind(static_cast<const uint8_t *>(data), size, why);
}

// ---- Animations --------------------------------------------------------------

ANM_ANIMATION_HANDLE anm_animation_create_f(void) {
    try {
        Animation *a = newAnimation();
        return a;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

FIG_FIGURE_HANDLE anm_animation_figure_add_f(ANM_ANIMATION_HANDLE animation, SKL_SKELETON_HANDLE skeleton,
                                             int32_t flags) {
    Animation *a = liveAnimation(animation);
    Skeleton *s = liveSkeleton(skeleton);
    if (!a || !s || flags != 0) return nullptr;
    // A skeleton belongs to one animation; two figures of it may share it.
    if (s->owner && s->owner != a) return nullptr;
    if (a->figures.size() >= KELL_MAX_FIGURES) return nullptr;
    try {
        return addFigure(a, s);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

KL_BOOL anm_animation_save_as_f(ANM_ANIMATION_HANDLE animation, const FM_FILE_IDENTIFIER_TYPE *identifier,
                                int32_t flags, void *reserved) {
    Animation *a = liveAnimation(animation);
    const char *path = identifierPath(identifier);
    if (!a || !path || flags != 0 || reserved) {
        setError("bad animation, identifier or arguments");
        return 0;
    }
    if (!intact(a)) {
        setError(kChanged);
        return 0;
    }
    try {
        // A cut while encoding is seen before the file is put in place.
        const auto encode = [a](ByteSink &sink) {
            if (encodeAnimation(*a, sink, gSaveChunk) && intact(a)) return true;
            if (!intact(a)) setError(kChanged);
            return false;
        };
        return saveAtomically(path, encode) ? 1 : 0;
    } catch (const std::bad_alloc &) {
        setError("out of memory encoding the animation");
        return 0;
    }
}

ANM_ANIMATION_HANDLE anm_animation_open_f(const FM_FILE_IDENTIFIER_TYPE *identifier, int32_t flags) {
    const char *path = identifierPath(identifier);
    if (!path || flags != 1) {
        setError("bad identifier or open flags");
        return ANM_INVALID_ANIMATION;
    }
    FileImage image;
    if (!readFile(path, image)) return ANM_INVALID_ANIMATION;
    ANM_ANIMATION_HANDLE a = openImage(std::move(image));
    if (a != ANM_INVALID_ANIMATION) {
        try {
            a->path = path;
        } catch (const std::bad_alloc &) {
            // Only the test hook of the frame reads (api_frames.cpp) wants it.
        }
    }
    return a;
}

ANM_ANIMATION_HANDLE anm_animation_open_memory_f(const void *data, size_t size) {
    if (!data && size) return ANM_INVALID_ANIMATION;
    FileImage image(size);
    if (!image.data()) {
        setError("out of memory reading the animation");
        return ANM_INVALID_ANIMATION;
    }
    if (size) std::memcpy(image.data(), data, size);
    return openImage(std::move(image));
}

void anm_animation_dispose(ANM_ANIMATION_HANDLE animation) {
    if (Animation *a = liveAnimation(animation)) releaseAnimation(a);
}

FIG_FIGURE_HANDLE anm_animation_figure_get_by_index_f(ANM_ANIMATION_HANDLE animation, int32_t index) {
    Animation *a = liveAnimation(animation);
    if (!a || !intact(a) || index < 0 || static_cast<size_t>(index) >= a->figures.size()) return nullptr;
    return a->figures[index].get();
}

float anm_animation_frame_rate_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a && intact(a) ? a->frameRate : 0.0f;
}

int32_t anm_animation_number_of_frames_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a && intact(a) ? a->frameCount : 0;
}

KL_BOOL anm_animation_frame_rate_set_f(ANM_ANIMATION_HANDLE animation, float framesPerSecond) {
    Animation *a = liveAnimation(animation);
    if (!a || !std::isfinite(framesPerSecond) || !(framesPerSecond > 0.0f)) return 0;
    a->frameRate = framesPerSecond;
    return 1;
}

KL_BOOL anm_animation_number_of_frames_set_f(ANM_ANIMATION_HANDLE animation, int32_t count) {
    Animation *a = liveAnimation(animation);
    if (!a || !intact(a) || count < 0 || count > KELL_MAX_FRAMES) return 0;
    if (count == a->frameCount) return 1;
    try {
        // Rebuild every keyed track for the new length first, so running out
        // of memory half-way leaves the animation as it was.
        std::vector<std::pair<Track *, Track>> rebuilt;
        for (auto &f : a->figures) {
            auto add = [&](Track &t) {
                if (t.mode == Track::Mode::Empty) return;
                Track copy = t;
                copy.makeDense(count);
                if (copy.keys == 0) copy = Track(t.width);
                rebuilt.emplace_back(&t, std::move(copy));
            };
            for (auto &t : f->root) add(t);
            for (auto &t : f->joints) add(t);
        }
        if (!intact(a)) return 0;  // the copies were of the guard's zeros
        for (auto &p : rebuilt) *p.first = std::move(p.second);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    a->frameCount = count;
    return 1;
}

int32_t anm_animation_number_of_figures_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a && intact(a) ? static_cast<int32_t>(a->figures.size()) : -1;
}

KL_BOOL anm_animation_file_changed_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a && !intact(a) ? 1 : 0;
}

size_t anm_animation_memory_size_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a ? animationMemory(*a) : 0;
}

}  // extern "C"
