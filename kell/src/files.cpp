// Reading and saving whole files: regular files only, never blocking on a
// FIFO, saves atomic and durable.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "api_support.h"
#include "format.h"

namespace kell::api {

int64_t gFailSaveAfter = -1;
size_t gSaveChunk = kEncodeChunk;
bool gSaveSync = true;
bool gSaveInPlace = false;

namespace {

// The temporary file as the encoder's sink. Failures keep errno for the
// caller's message.
class FileSink final : public ByteSink {
public:
    explicit FileSink(int fd) : fd_(fd) {}

    bool append(const uint8_t *data, size_t size) override {
        size_t done = 0;
        while (done < size) {
            size_t chunk = std::min<size_t>(size - done, size_t{1} << 30);
            if (gFailSaveAfter >= 0) {
                const auto limit = static_cast<uint64_t>(gFailSaveAfter);
                if (appended_ >= limit) {
                    errno = ENOSPC;
                    return false;
                }
                chunk = static_cast<size_t>(std::min<uint64_t>(chunk, limit - appended_));
            }
            const ssize_t n = ::write(fd_, data + done, chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += static_cast<size_t>(n);
            appended_ += static_cast<uint64_t>(n);
        }
        return true;
    }

    bool patch(uint64_t at, const uint8_t *data, size_t size) override {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(at + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int fd_;
    uint64_t appended_ = 0;
};

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

// Runs the encoder into fd. An allocation failure while encoding fails the
// save like a failed write, so the temporary file is still removed.
bool produceInto(int fd, const std::function<bool(ByteSink &)> &produce) {
    FileSink sink(fd);
    try {
        return produce(sink);
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
        return false;
    }
}

// Has produce write into fd (given mode first, when there is one), syncs it
// unless gSaveSync is off and closes it: the step that failed, with its
// errno in error, or null.
const char *writeAndClose(int fd, const std::function<bool(ByteSink &)> &produce, const mode_t *mode, int &error) {
    const char *failed = nullptr;
    if (mode && ::fchmod(fd, *mode) != 0) failed = "setting permissions";
    else if (!produceInto(fd, produce)) failed = "writing";
    else if (gSaveSync && ::fsync(fd) != 0) failed = "flushing";
    error = failed ? errno : 0;
    if (::close(fd) != 0 && !failed) {
        failed = "closing";
        error = errno;
    }
    return failed;
}

// The target itself truncated and written (kell_save_in_place_set): a file
// the caller made for the purpose and removes when a save fails.
bool saveInPlace(const std::string &target, const std::function<bool(ByteSink &)> &produce) {
    int error = 0;
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) error = errno;
    const char *failed = fd < 0 ? "opening" : writeAndClose(fd, produce, nullptr, error);
    if (failed) setError(std::string("cannot save, ") + failed + " failed: " + std::strerror(error));
    return !failed;
}

}  // namespace

// Temporary file in the target's folder, renamed over the target only once
// its bytes are on disk: the old file survives any failure.
bool saveAtomically(const char *path, const std::function<bool(ByteSink &)> &produce) {
    std::string target;  // absolute, as the identifier's path is
    if (!followLinks(path, target)) return false;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        setError("target exists and is not a regular file");
        return false;
    }
    if (gSaveInPlace) return saveInPlace(target, produce);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    // The temporary name must stay within the file system's name limit.
    std::string temp = folder + (folder == "/" ? "" : "/") + "." + target.substr(slash + 1, 200) + ".kell-XXXXXX";
    if (temp.size() >= PATH_MAX) {
        setError("path too long for a temporary file");
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
    int error = 0;
    const char *failed = writeAndClose(fd, produce, &mode, error);
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
    if (!gSaveSync) return true;
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

}  // namespace kell::api
