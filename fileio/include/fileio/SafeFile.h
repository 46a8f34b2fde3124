// Reading and replacing user files without surprises.
//
// Inputs: only regular files are read, and the check comes before the open,
// which never blocks (a FIFO or device named as input is refused, not waited on).
//
// Outputs: the file is written beside its target under a short recognisable
// temporary name (".qmf-tmp-NAME.XXXXXX"), synced, given the mode (and, where
// permitted, the owner and group) of the file it replaces, and renamed over
// it. A symlink at the output path is followed: its target is replaced and the
// link kept. An output that exists and is not a regular file is refused.
//
//   fileio::Output out = fileio::checkOutput("scene.ma");
//   fileio::refuseSameFile(out, "clip.qmf");
//   fileio::writeFileAtomically("scene.ma", text);
//
// Every failure is a fileio::Error whose message is one line naming the path.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace fileio {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Prefix of every temporary file this code makes; such leftovers of a killed
// process can be deleted.
extern const char* const kTempPrefix;

// An open regular file for reading. The type is checked with stat before the
// open and again on the descriptor, so a swap in between is caught too.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int fd() const { return fd_; }
    std::uint64_t size() const { return static_cast<std::uint64_t>(st_.st_size); }
    const struct stat& info() const { return st_; }
    // The whole file; refused when larger than limit bytes.
    std::string readAll(std::uint64_t limit);

private:
    std::string path_;
    int fd_ = -1;
    struct stat st_ {};
};

// Refuses (Error) a path that is missing, a folder, not a regular file or not readable.
void requireRegularFile(const std::string& path);

// The folder part of a path: "." for a bare name, "/" at the root.
std::string folderOf(const std::string& path);

// Where a write to path lands: symbolic links followed to the final name,
// which need not exist yet.
std::string resolveLinks(const std::string& path);

struct Output {
    std::string path;      // as given
    std::string target;    // links followed: the name that is replaced
    bool exists = false;
    struct stat st {};     // of target when it exists
};

// Checks that path may be written: its target is absent or a regular file we
// may replace, and the target's folder exists and is writable.
Output checkOutput(const std::string& path);

// True when both paths name the same existing file (device and inode, so
// hard links, symlinks and other spellings count).
bool sameFile(const std::string& a, const std::string& b);

// Refuses (Error) an output that is the same file as input.
void refuseSameFile(const Output& out, const std::string& input);

// A temporary file beside an output's target, removed again unless committed.
class TempFile {
public:
    explicit TempFile(const Output& out);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
    void write(const char* data, std::size_t size);
    // Whatever is at path() now (written here or by someone handed the name)
    // gets the replaced file's mode and owner, or the umask's mode for a new
    // file, is synced and renamed over the target.
    void commit();

private:
    [[noreturn]] void fail(const std::string& what, int err);
    Output out_;
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
    int leftover_ = -1;  // its slot in the list a signal empties (Leftovers.h)
};

// Writes bytes to path atomically as described above.
void writeFileAtomically(const std::string& path, const std::string& bytes);

// The temporary name for a target: its folder, the prefix and at most 200
// bytes of its name (cut on a character boundary), then a unique tail.
std::string temporaryTemplate(const std::string& target);

}  // namespace fileio
