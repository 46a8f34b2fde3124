// The C interface of kell.h and kell_authoring.h over the model.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "format.h"
#include "kell.h"
#include "kell_authoring.h"
#include "kell_testing.h"
#include "model.h"

using namespace kell;

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

void setError(std::string why) { lastError() = std::move(why); }

int64_t gFailSaveAfter = -1;

Joint *jointOf(Skeleton *s, SKL_JOINT_ID joint) {
    if (!s || joint < 0 || static_cast<size_t>(joint) >= s->joints.size()) return nullptr;
    return &s->joints[joint];
}

Joint *jointOf(SKL_SKELETON_HANDLE h, SKL_JOINT_ID joint) { return jointOf(liveSkeleton(h), joint); }

// The path of an identifier the library made, or null when it is not one.
const char *identifierPath(const FM_FILE_IDENTIFIER_TYPE *id) {
    if (!id || id->length == 0 || id->length >= FM_PATH_CAPACITY) return nullptr;
    if (id->path[id->length] != '\0' || std::memchr(id->path, 0, id->length) || id->path[0] != '/')
        return nullptr;
    return id->path;
}

bool validFrame(const Figure *f, int32_t frame) {
    return frame >= 0 && frame < f->animation->frameCount;
}

bool validChannel(int32_t channel) { return channel >= 1 && channel <= 3; }

bool validJoint(const Figure *f, SKL_JOINT_ID joint) {
    return joint >= 0 && static_cast<size_t>(joint) < f->skeleton->joints.size();
}

bool goodName(const char *name, size_t maxLength, bool allowEmpty) {
    if (!name) return allowEmpty;
    const size_t n = strnlen(name, maxLength + 1);
    return n <= maxLength && (allowEmpty || n > 0);
}

int32_t copyName(const std::string &name, char *buffer, size_t capacity) {
    if (buffer && capacity > 0) {
        const size_t n = std::min(name.size(), capacity - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(name.size());
}

bool writeAll(int fd, const uint8_t *data, size_t size) {
    size_t done = 0;
    while (done < size) {
        size_t chunk = std::min<size_t>(size - done, size_t{1} << 30);
        if (gFailSaveAfter >= 0) {
            if (done >= static_cast<uint64_t>(gFailSaveAfter)) {
                errno = ENOSPC;
                return false;
            }
            chunk = std::min<size_t>(chunk, static_cast<size_t>(gFailSaveAfter) - done);
        }
        const ssize_t n = ::write(fd, data + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Where a save to path lands: a symbolic link is followed so that its target
// is replaced and the link kept. Relative links resolve against their folder.
bool followLinks(const char *path, std::string &target) {
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char link[PATH_MAX];
        const ssize_t n = hops < 40 ? ::readlink(target.c_str(), link, sizeof link) : -1;
        if (n <= 0 || static_cast<size_t>(n) >= sizeof link) {
            setError(hops < 40 ? "cannot follow the symbolic link at the target" : "too many levels of symbolic links");
            return false;
        }
        const std::string to(link, static_cast<size_t>(n));
        target = to[0] == '/' ? to : target.substr(0, target.rfind('/') + 1) + to;
    }
}

// Temporary file in the target's folder, renamed over the target only once
// its bytes are on disk: the old file survives any failure.
bool saveAtomically(const char *path, const std::vector<uint8_t> &bytes) {
    std::string target;  // absolute, as the identifier's path is
    if (!followLinks(path, target)) return false;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    // The temporary name must stay within the file system's name limit.
    std::string temp = folder + (folder == "/" ? "" : "/") + "." + target.substr(slash + 1, 200) + ".kell-XXXXXX";
    if (temp.size() >= PATH_MAX) {
        setError("path too long for a temporary file");
        return false;
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        setError("target exists and is not a regular file");
        return false;
    }
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) {
        setError(std::string("cannot create a temporary file: ") + std::strerror(errno));
        return false;
    }
    // Keep the permissions an existing file had; a new file gets the usual
    // ones (mkstemp makes it private).
    mode_t mode = 0;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // The replaced file's owner and group too, where permitted (before the
    // mode: a change of owner may clear set-id bits).
    if (exists && ::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    const char *failed = nullptr;
    if (::fchmod(fd, mode) != 0) failed = "setting permissions";
    else if (!writeAll(fd, bytes.data(), bytes.size())) failed = "writing";
    else if (::fsync(fd) != 0) failed = "flushing";
    int error = failed ? errno : 0;
    if (::close(fd) != 0 && !failed) {
        failed = "closing";
        error = errno;
    }
    if (!failed && ::rename(temp.c_str(), target.c_str()) != 0) {
        failed = "renaming";
        error = errno;
    }
    if (failed) {
        setError(std::string("cannot save, ") + failed + " failed: " + std::strerror(error));
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; failing that is not worth refusing for.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Reads up to `size` bytes; fewer only at the end of the file or on an error.
size_t readUpTo(int fd, uint8_t *buffer, size_t size, bool &failed) {
    size_t done = 0;
    failed = false;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO or device from
// hanging the call; such files are then refused by their type.
int openRegular(const char *path, struct stat &st) {
    // Checked before the open as well: opening some devices has effects.
    if (::stat(path, &st) != 0) {
        setError(std::string("cannot open the file: ") + std::strerror(errno));
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        setError("not a regular file");
        return -1;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        setError(std::string("cannot open the file: ") + std::strerror(errno));
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        setError("not a regular file");
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readFile(const char *path, FileImage &image) {
    struct stat st {};
    const int fd = openRegular(path, st);
    if (fd < 0) return false;
    // The header first: a foreign or damaged file, or one whose size is not
    // the one its header declares, is refused before anything is allocated.
    uint8_t header[kHeaderSize];
    bool failed = false;
    const size_t got = readUpTo(fd, header, sizeof header, failed);
    std::string why;
    uint64_t declared = 0;
    if (got == sizeof header) std::memcpy(&declared, header + 16, 8);
    if (failed || got < sizeof header || documentKind(header, got, why) != DC_KIND_MOVANTIS_ANIMATION ||
        declared != static_cast<uint64_t>(st.st_size)) {
        setError(failed ? std::string("cannot read the file: ") + std::strerror(errno)
                 : !why.empty() ? why
                 : got < sizeof header ? std::string("file too short for a Movantis header")
                                       : std::string("file size differs from the size its header declares"));
        ::close(fd);
        return false;
    }
    const auto size = static_cast<size_t>(st.st_size);
    // A large file is read in place, through a guarded mapping.
    image = FileImage::mapFile(fd, size);
    if (image.data()) {
        ::close(fd);
        return true;
    }
    image = FileImage(size);
    if (!image.data()) {
        setError("out of memory reading the file");
        ::close(fd);
        return false;
    }
    std::memcpy(image.data(), header, sizeof header);
    const size_t rest = readUpTo(fd, image.data() + sizeof header, size - sizeof header, failed);
    ::close(fd);
    if (failed || rest != size - sizeof header) {
        setError(failed ? std::string("cannot read the file: ") + std::strerror(errno)
                        : std::string("file changed size while being read"));
        return false;
    }
    return true;
}

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
    try {
        return saveAtomically(path, encodeAnimation(*a)) ? 1 : 0;
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
    return openImage(std::move(image));
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
    if (!a || index < 0 || static_cast<size_t>(index) >= a->figures.size()) return nullptr;
    return a->figures[index].get();
}

float anm_animation_frame_rate_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a ? a->frameRate : 0.0f;
}

int32_t anm_animation_number_of_frames_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a ? a->frameCount : 0;
}

KL_BOOL anm_animation_frame_rate_set_f(ANM_ANIMATION_HANDLE animation, float framesPerSecond) {
    Animation *a = liveAnimation(animation);
    if (!a || !std::isfinite(framesPerSecond) || !(framesPerSecond > 0.0f)) return 0;
    a->frameRate = framesPerSecond;
    return 1;
}

KL_BOOL anm_animation_number_of_frames_set_f(ANM_ANIMATION_HANDLE animation, int32_t count) {
    Animation *a = liveAnimation(animation);
    if (!a || count < 0 || count > KELL_MAX_FRAMES) return 0;
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
        for (auto &p : rebuilt) *p.first = std::move(p.second);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    a->frameCount = count;
    return 1;
}

int32_t anm_animation_number_of_figures_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a ? static_cast<int32_t>(a->figures.size()) : -1;
}

size_t anm_animation_memory_size_get_f(ANM_ANIMATION_HANDLE animation) {
    Animation *a = liveAnimation(animation);
    return a ? animationMemory(*a) : 0;
}

// ---- Figures and frame data --------------------------------------------------

SKL_SKELETON_HANDLE fig_figure_get_skel(FIG_FIGURE_HANDLE figure) {
    Figure *f = liveFigure(figure);
    return f ? handleOf(f->skeleton) : nullptr;
}

// The per-key queries: Track::find checks the frame, and a joint without a
// track has no keys, so no other lookup is needed on this path.
KL_BOOL fgf_frame_value_key_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel)) return 0;
    return f->root[channel - 1].find(frame) ? 1 : 0;
}

float fgf_frame_value_get_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel)) return 0.0f;
    const uint8_t *v = f->root[channel - 1].find(frame);
    float value = 0.0f;
    if (v) std::memcpy(&value, v, sizeof value);
    return value;
}

KL_BOOL fgf_frame_joint_orientation_key_f(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                          int32_t /*flags: any value asks the same*/) {
    Figure *f = liveFigure(figure);
    if (!f) return 0;
    const Track *t = jointTrackIfAny(*f, joint);
    return t && t->find(frame) ? 1 : 0;
}

void fgf_frame_joint_orientation_get(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                     quaternion *orientation, int32_t /*flags: any value reads the same*/) {
    if (!orientation) return;
    *orientation = quaternion{0, 0, 0, 0};
    Figure *f = liveFigure(figure);
    if (!f) return;
    const Track *t = jointTrackIfAny(*f, joint);
    if (const uint8_t *v = t ? t->find(frame) : nullptr) std::memcpy(orientation, v, sizeof *orientation);
}

KL_BOOL fgf_frame_value_set_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel, float value) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel) || !validFrame(f, frame)) return 0;
    try {
        f->root[channel - 1].set(frame, &value, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return 1;
}

KL_BOOL fgf_frame_value_clear_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel) || !validFrame(f, frame)) return 0;
    try {
        f->root[channel - 1].clear(frame, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return 1;
}

KL_BOOL fgf_frame_joint_orientation_set_f(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                          const quaternion *orientation) {
    Figure *f = liveFigure(figure);
    if (!f || !orientation || !validFrame(f, frame) || !validJoint(f, joint)) return 0;
    try {
        jointTrack(*f, joint).set(frame, orientation, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return 1;
}

KL_BOOL fgf_frame_joint_orientation_clear_f(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint) {
    Figure *f = liveFigure(figure);
    if (!f || !validFrame(f, frame) || !validJoint(f, joint)) return 0;
    if (static_cast<size_t>(joint) >= f->joints.size()) return 1;  // nothing keyed
    try {
        f->joints[joint].clear(frame, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return 1;
}

int32_t fgf_frame_value_key_count_f(FIG_FIGURE_HANDLE figure, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel)) return -1;
    return f->root[channel - 1].keys;
}

int32_t fgf_frame_joint_orientation_key_count_f(FIG_FIGURE_HANDLE figure, SKL_JOINT_ID joint) {
    Figure *f = liveFigure(figure);
    if (!f || !validJoint(f, joint)) return -1;
    const Track *t = jointTrackIfAny(*f, joint);
    return t ? t->keys : 0;
}

int32_t fgf_frame_value_next_key_f(FIG_FIGURE_HANDLE figure, int32_t channel, int32_t from) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel)) return -1;
    return f->root[channel - 1].nextKey(from, f->animation->frameCount);
}

int32_t fgf_frame_joint_orientation_next_key_f(FIG_FIGURE_HANDLE figure, SKL_JOINT_ID joint, int32_t from) {
    Figure *f = liveFigure(figure);
    if (!f || !validJoint(f, joint)) return -1;
    const Track *t = jointTrackIfAny(*f, joint);
    return t ? t->nextKey(from, f->animation->frameCount) : -1;
}

// ---- Skeletons -----------------------------------------------------------------

SKL_SKELETON_HANDLE skl_skeleton_skel_create_f(const char *name) {
    if (!goodName(name, KELL_MAX_SKELETON_NAME, true)) return nullptr;
    try {
        return handleOf(newSkeleton(name ? name : ""));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

SKL_JOINT_ID skl_skeleton_joint_create_f(SKL_SKELETON_HANDLE skeleton, const char *name) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s || !goodName(name, KELL_MAX_JOINT_NAME, false) || s->joints.size() >= KELL_MAX_JOINTS)
        return SKL_NO_JOINT;
    try {
        Joint j;
        j.name = name;
        s->joints.push_back(std::move(j));
    } catch (const std::bad_alloc &) {
        return SKL_NO_JOINT;
    }
    jointAdded(*s);
    return static_cast<SKL_JOINT_ID>(s->joints.size() - 1);
}

void skl_skeleton_parent_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, SKL_JOINT_ID parent) {
    Skeleton *s = liveSkeleton(skeleton);
    Joint *j = jointOf(s, joint);
    if (!j) return;
    if (parent != SKL_NO_JOINT && (!jointOf(s, parent) || !parentKeepsForest(*s, joint, parent))) return;
    const SKL_JOINT_ID old = j->parent;
    j->parent = parent;
    parentChanged(*s, joint, old);
}

void skl_skeleton_root_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    Skeleton *s = liveSkeleton(skeleton);
    Joint *j = jointOf(s, joint);
    if (!j || j->root) return;
    j->root = true;
    rootFlagged(*s);
}

void skl_skeleton_offset_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, coord3 offset) {
    if (Joint *j = jointOf(skeleton, joint)) j->offset = offset;
}

void skl_skeleton_joint_orientation_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                        const quaternion *orientation) {
    Joint *j = jointOf(skeleton, joint);
    if (j && orientation) j->orientation = *orientation;
}

KL_BOOL skl_skeleton_part_object_attach_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                          POB_PART_OBJECT_HANDLE partObject) {
    Skeleton *s = liveSkeleton(skeleton);
    Joint *j = jointOf(s, joint);
    Part *p = livePart(partObject);
    if (!j || !p) return 0;
    if (j->part == p) return 1;
    if (p->owner) return 0;  // already another joint's
    // A part object it replaces goes back to being unowned (released at exit),
    // since the caller may still hold its handle.
    if (j->part) j->part->owner = nullptr;
    j->part = p;
    p->owner = s;
    return 1;
}

KL_BOOL skl_skeleton_skel_completed_f(SKL_SKELETON_HANDLE skeleton, const char *name) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s || !goodName(name, KELL_MAX_SKELETON_NAME, true)) return 0;
    try {
        s->completedName = name ? name : "";
    } catch (const std::bad_alloc &) {
        return 0;
    }
    s->completed = true;
    return 1;
}

void skl_skeleton_joint_name_get(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                 char name[SKL_JOINT_NAME_CAPACITY]) {
    if (!name) return;
    const Joint *j = jointOf(skeleton, joint);
    if (j) copyName(j->name, name, SKL_JOINT_NAME_CAPACITY);
    else name[0] = '\0';
}

KL_BOOL sk_skeleton_traverse(SKL_SKELETON_HANDLE skeleton, SK_TRAVERSE_CALLBACK callback, ...) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s || !callback) return 0;
    // The walk's own copy of the order: a callback that edits the skeleton
    // cannot derail it. Children in creation order.
    std::shared_ptr<const Walk> walk;
    try {
        walk = traversalOrder(*s);
    } catch (const std::bad_alloc &) {
        return 0;
    }

    va_list extra;
    va_start(extra, callback);
    auto visit = [&](int16_t kind, SKL_JOINT_ID joint) {
        va_list fresh;
        va_copy(fresh, extra);
        (void)callback(kind, skeleton, joint, fresh);
        va_end(fresh);
    };
    for (const int32_t event : *walk)
        visit(static_cast<int16_t>(event & 1 ? SK_VISIT_LEAVE : SK_VISIT_ENTER), static_cast<SKL_JOINT_ID>(event >> 1));
    va_end(extra);
    return 1;
}

int32_t skl_skeleton_name_get_f(SKL_SKELETON_HANDLE skeleton, char *buffer, size_t capacity) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s) return copyName(std::string(), buffer, capacity), -1;
    return copyName(s->name, buffer, capacity);
}

KL_BOOL skl_skeleton_completed_get_f(SKL_SKELETON_HANDLE skeleton) {
    Skeleton *s = liveSkeleton(skeleton);
    return s && s->completed ? 1 : 0;
}

int32_t skl_skeleton_completed_name_get_f(SKL_SKELETON_HANDLE skeleton, char *buffer, size_t capacity) {
    Skeleton *s = liveSkeleton(skeleton);
    if (!s) return copyName(std::string(), buffer, capacity), -1;
    return copyName(s->completedName, buffer, capacity);
}

int32_t skl_skeleton_number_of_joints_get_f(SKL_SKELETON_HANDLE skeleton) {
    Skeleton *s = liveSkeleton(skeleton);
    return s ? static_cast<int32_t>(s->joints.size()) : -1;
}

SKL_JOINT_ID skl_skeleton_parent_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    const Joint *j = jointOf(skeleton, joint);
    return j ? j->parent : SKL_NO_JOINT;
}

KL_BOOL skl_skeleton_root_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    const Joint *j = jointOf(skeleton, joint);
    return j && j->root ? 1 : 0;
}

KL_BOOL skl_skeleton_offset_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, coord3 *offset) {
    const Joint *j = jointOf(skeleton, joint);
    if (!j || !offset) return 0;
    *offset = j->offset;
    return 1;
}

KL_BOOL skl_skeleton_joint_orientation_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                             quaternion *orientation) {
    const Joint *j = jointOf(skeleton, joint);
    if (!j || !orientation) return 0;
    *orientation = j->orientation;
    return 1;
}

POB_PART_OBJECT_HANDLE skl_skeleton_part_object_get_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint) {
    const Joint *j = jointOf(skeleton, joint);
    return j ? j->part : nullptr;
}

// ---- Part objects --------------------------------------------------------------

POB_PART_OBJECT_HANDLE pob_part_object_obj_create_f(int32_t flags) {
    if (flags != 0) return nullptr;
    try {
        return newPart();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

static KL_BOOL addPrimitive(POB_PART_OBJECT_HANDLE partObject, const Part::Primitive &prim) {
    Part *p = livePart(partObject);
    if (!p || p->primitives.size() >= KELL_MAX_PRIMITIVES) return 0;
    try {
        p->primitives.push_back(prim);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    p->hasBounds = false;  // stale until computed again
    return 1;
}

KL_BOOL pob_part_object_sphere_add(POB_PART_OBJECT_HANDLE partObject, float radius, int32_t flags) {
    if (flags != 0) return 0;
    return addPrimitive(partObject, Part::Primitive{POB_PRIMITIVE_SPHERE, radius, 0.0f, {0, 0, 0}});
}

KL_BOOL pob_part_object_bone_add(POB_PART_OBJECT_HANDLE partObject, float length, const coord3 *direction) {
    if (!direction) return 0;
    return addPrimitive(partObject, Part::Primitive{POB_PRIMITIVE_BONE, 0.0f, length, *direction});
}

void pob_part_object_bounds_calc(POB_PART_OBJECT_HANDLE partObject) {
    if (Part *p = livePart(partObject)) computeBounds(*p);
}

int32_t pob_part_object_number_of_primitives_get_f(POB_PART_OBJECT_HANDLE partObject) {
    Part *p = livePart(partObject);
    return p ? static_cast<int32_t>(p->primitives.size()) : -1;
}

KL_BOOL pob_part_object_primitive_get_f(POB_PART_OBJECT_HANDLE partObject, int32_t index,
                                        POB_PRIMITIVE *primitive) {
    Part *p = livePart(partObject);
    if (!p || !primitive || index < 0 || static_cast<size_t>(index) >= p->primitives.size()) return 0;
    const auto &prim = p->primitives[index];
    *primitive = POB_PRIMITIVE{prim.kind, prim.radius, prim.length, prim.direction};
    return 1;
}

KL_BOOL pob_part_object_bounds_get_f(POB_PART_OBJECT_HANDLE partObject, coord3 *min, coord3 *max) {
    Part *p = livePart(partObject);
    if (!p || !p->hasBounds) return 0;
    if (min) *min = p->boundsMin;
    if (max) *max = p->boundsMax;
    return 1;
}

KL_BOOL pob_part_object_bounds_set_f(POB_PART_OBJECT_HANDLE partObject, const coord3 *min, const coord3 *max) {
    Part *p = livePart(partObject);
    if (!p || !min || !max) return 0;
    p->boundsMin = *min;
    p->boundsMax = *max;
    p->hasBounds = true;
    return 1;
}

}  // extern "C"
