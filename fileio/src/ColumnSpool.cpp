#include "fileio/ColumnSpool.h"

#include "fileio/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fileio {

namespace {

constexpr std::size_t kMinBlockRows = 16;

[[noreturn]] void fail(const std::string& what, int err) {
    throw Error(what + ": " + std::strerror(err));
}

// A file nobody can name: O_TMPFILE where the file system has it, else a
// name removed at once.
int unnamedFile(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = folder + "/.qmf-spool.XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) fail("cannot hold the keys in a temporary file in " + folder, errno);
    ::unlink(name.c_str());
    return fd;
}

}  // namespace

ColumnSpool::ColumnSpool(std::size_t columns, std::string folder, std::size_t expectedRows, std::size_t blockBytes)
    : columns_(columns), folder_(std::move(folder)) {
    const std::size_t rowBytes = std::max<std::size_t>(columns_, 1) * sizeof(double);
    blockRows_ = std::max(kMinBlockRows, blockBytes / rowBytes);
    blockRows_ = std::min(blockRows_, std::max(expectedRows, kMinBlockRows));
    block_.resize(blockRows_ * columns_);
}

ColumnSpool::~ColumnSpool() {
    if (fd_ >= 0) ::close(fd_);
}

void ColumnSpool::endRow() {
    ++rows_;
    if (++inBlock_ == blockRows_) spill();
}

void ColumnSpool::spill() {
    if (fd_ < 0) fd_ = unnamedFile(folder_);
    const char* p = reinterpret_cast<const char*>(block_.data());
    std::size_t left = block_.size() * sizeof(double);
    off_t at = static_cast<off_t>(spilledBlocks_ * left);
    while (left > 0) {
        const ssize_t n = ::pwrite(fd_, p, left, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("cannot hold the keys in a temporary file in " + folder_, n < 0 ? errno : ENOSPC);
        p += n;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    ++spilledBlocks_;
    inBlock_ = 0;
}

void ColumnSpool::read(std::size_t column, std::size_t first, std::size_t count, double* out) const {
    if (column >= columns_ || first > rows_ || count > rows_ - first)
        throw Error("a spooled column was read past its end");
    while (count > 0) {
        const std::size_t block = first / blockRows_, row = first % blockRows_;
        const std::size_t n = std::min(count, blockRows_ - row);
        const std::size_t at = column * blockRows_ + row;
        if (block == spilledBlocks_) {
            std::copy_n(block_.data() + at, n, out);
        } else {
            char* p = reinterpret_cast<char*>(out);
            std::size_t left = n * sizeof(double);
            off_t from = static_cast<off_t>((block * block_.size() + at) * sizeof(double));
            while (left > 0) {
                const ssize_t got = ::pread(fd_, p, left, from);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) fail("cannot read back the keys held in a temporary file in " + folder_, got < 0 ? errno : EIO);
                p += got;
                from += got;
                left -= static_cast<std::size_t>(got);
            }
        }
        out += n;
        first += n;
        count -= n;
    }
}

}  // namespace fileio
