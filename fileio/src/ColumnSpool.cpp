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

// All size bytes through io (pread or pwrite) from offset at; a call that
// moves none fails with `none` as the reason.
template <typename Io, typename Byte>
void whole(Io io, int fd, Byte* p, std::size_t size, off_t at, const std::string& what, int none) {
    while (size > 0) {
        const ssize_t n = io(fd, p, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(what, n < 0 ? errno : none);
        p += n;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
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
    const std::size_t bytes = block_.size() * sizeof(double);
    whole(::pwrite, fd_, reinterpret_cast<const char*>(block_.data()), bytes, static_cast<off_t>(spilledBlocks_ * bytes),
          "cannot hold the keys in a temporary file in " + folder_, ENOSPC);
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
            whole(::pread, fd_, reinterpret_cast<char*>(out), n * sizeof(double),
                  static_cast<off_t>((block * block_.size() + at) * sizeof(double)),
                  "cannot read back the keys held in a temporary file in " + folder_, EIO);
        }
        out += n;
        first += n;
        count -= n;
    }
}

}  // namespace fileio
