#include "fileio/SafeFile.h"

#include "fileio/Leftovers.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace fileio {

const char* const kTempPrefix = ".qmf-tmp-";

namespace {

std::string why(int err) { return std::strerror(err); }

std::string nameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void refuseNonRegular(const std::string& path, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) throw Error(path + ": is a folder");
    if (!S_ISREG(st.st_mode)) throw Error(path + ": not a regular file");
}

mode_t modeForNewFile() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

InputFile::InputFile(const std::string& path) : path_(path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) throw Error(path + ": " + why(errno));
    refuseNonRegular(path, st);
    // Non-blocking, so a file swapped for a FIFO after the check cannot hang us.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) throw Error(path + ": " + why(errno));
    if (::fstat(fd_, &st_) != 0 || !S_ISREG(st_.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw Error(path + ": not a regular file");
    }
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::string InputFile::readAll(std::uint64_t limit) {
    if (size() > limit)
        throw Error(path_ + ": larger than the limit of " + std::to_string(limit) + " bytes");
    std::string bytes(static_cast<std::size_t>(size()), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd_, &bytes[done], bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Error(path_ + ": cannot read: " + why(errno));
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    char extra;
    if (done != bytes.size() || ::read(fd_, &extra, 1) > 0) throw Error(path_ + ": changed size while being read");
    return bytes;
}

void requireRegularFile(const std::string& path) {
    InputFile f(path);
}

std::string resolveLinks(const std::string& path) {
    std::string p = path;
    // The kernel's own limit on links followed in one lookup.
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        if (hops == 40) throw Error(path + ": too many levels of symbolic links");
        std::vector<char> buf(PATH_MAX + 1);
        ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0) throw Error(path + ": " + why(errno));
        if (n == 0 || static_cast<std::size_t>(n) >= buf.size()) throw Error(path + ": unusable symbolic link");
        std::string link(buf.data(), static_cast<std::size_t>(n));
        p = link[0] == '/' ? link : folderOf(p) + "/" + link;
    }
}

Output checkOutput(const std::string& path) {
    if (path.empty()) throw Error("empty output path");
    Output out;
    out.path = path;
    out.target = resolveLinks(path);
    if (::stat(out.target.c_str(), &out.st) == 0) {
        out.exists = true;
        if (S_ISDIR(out.st.st_mode)) throw Error(path + ": is a folder");
        if (!S_ISREG(out.st.st_mode)) throw Error(path + ": exists and is not a regular file; not replaced");
    } else if (errno != ENOENT) {
        throw Error(path + ": " + why(errno));
    }
    std::string dir = folderOf(out.target);
    struct stat ds;
    if (::stat(dir.c_str(), &ds) != 0 || !S_ISDIR(ds.st_mode)) throw Error(path + ": no such folder " + dir);
    if (::access(dir.c_str(), W_OK) != 0) throw Error(path + ": cannot write in " + dir + ": " + why(errno));
    if (out.exists && ::access(out.target.c_str(), W_OK) != 0) throw Error(path + ": " + why(errno));
    return out;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void refuseSameFile(const Output& out, const std::string& input) {
    struct stat in;
    if (out.exists && ::stat(input.c_str(), &in) == 0 && in.st_dev == out.st.st_dev && in.st_ino == out.st.st_ino)
        throw Error(out.path + ": is the same file as the input " + input + "; not replaced");
}

std::string temporaryTemplate(const std::string& target) {
    std::string name = nameOf(target);
    // Names may be up to 255 bytes; the prefix, the tail and a library's own
    // temporary name built on ours must still fit.
    std::size_t keep = name.size();
    if (keep > 200) {
        keep = 200;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    }
    std::size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    return dir + kTempPrefix + name.substr(0, keep) + ".XXXXXX";
}

TempFile::TempFile(const Output& out) : out_(out) {
    std::string tmpl = temporaryTemplate(out.target);
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    fd_ = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd_ < 0) throw Error(out.path + ": cannot write in " + folderOf(out.target) + ": " + why(errno));
    path_ = buf.data();
    leftover_ = keepLeftover(path_, false);
}

TempFile::~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
    dropLeftover(leftover_);
}

void TempFile::fail(const std::string& what, int err) {
    throw Error(what + " " + out_.path + ": " + why(err));
}

void TempFile::write(const char* data, std::size_t size) {
    if (fd_ < 0) throw Error("cannot write " + out_.path + ": the temporary file is closed");
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot write", errno);
        done += static_cast<std::size_t>(n);
    }
}

void TempFile::commit() {
    if (fd_ >= 0) {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail("cannot write", errno);
    }
    // A file made on the way, in a private folder that goes with the job,
    // need not reach the disk.
    const bool durable = !insideLeftoverFolder(out_.target);
    // Reopened by name: whoever was handed the name may have replaced the file.
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) fail("cannot write", errno);
    struct stat mine, old;
    bool exists = ::stat(out_.target.c_str(), &old) == 0;
    int err = 0;
    if (::fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode)) {
        err = EINVAL;
    } else if (exists && !S_ISREG(old.st_mode)) {
        // Something else took the target's place since it was checked.
        ::close(fd);
        throw Error(out_.path + ": exists and is not a regular file; not replaced");
    } else {
        if (exists && (old.st_uid != mine.st_uid || old.st_gid != mine.st_gid)) {
            // Where permitted; a user may at least keep a group they belong to.
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        // After the chown, which may clear set-id bits.
        if (::fchmod(fd, exists ? (old.st_mode & 07777) : modeForNewFile()) != 0) err = errno;
        else if (durable && ::fsync(fd) != 0) err = errno;
    }
    if (::close(fd) != 0 && !err) err = errno;
    if (err) fail("cannot write", err);
    if (::rename(path_.c_str(), out_.target.c_str()) != 0) fail("cannot write", errno);
    committed_ = true;
    // Make the rename durable; failing that is no reason to report failure.
    if (!durable) return;
    int dfd = ::open(folderOf(out_.target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    TempFile tmp(checkOutput(path));
    tmp.write(bytes);
    tmp.commit();
}

}  // namespace fileio
