#include "LineSource.h"

#include "bvh/Bvh.h"
#include "fileio/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace bvh::detail {

namespace {
// A quarter of a megabyte: the pages of a larger window cost more to touch
// than the reads they save.
constexpr std::size_t kWindow = std::size_t(256) << 10;
// A frame line of 32,767 joints of six 20-byte values is about 4 MB.
constexpr std::size_t kMaxLine = std::size_t(64) << 20;
}  // namespace

LineSource::LineSource(std::string_view text) : memory_(text), size_(text.size()) {}

LineSource::LineSource(const std::string& path) {
    try {
        file_ = std::make_unique<fileio::InputFile>(path);
    } catch (const fileio::Error& e) {
        throw Error(e.what());
    }
    size_ = file_->size();
    buffer_.resize(std::min<uint64_t>(kWindow, size_ + 1));
}

LineSource::~LineSource() = default;

void LineSource::reset(const Mark& m) {
    offset_ = m.offset;
    line_ = m.line;
}

// Makes the window start at offset_ and hold as much as fits.
bool LineSource::fill() {
    if (offset_ >= size_) return false;
    std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(buffer_.size(), size_ - offset_));
    std::size_t got = 0;
    while (got < want) {
        ssize_t n = ::pread(file_->fd(), buffer_.data() + got, want - got, static_cast<off_t>(offset_ + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Error(std::string("cannot read: ") + std::strerror(errno));
        if (n == 0) break;  // the file shrank while being read
        got += static_cast<std::size_t>(n);
    }
    bufferStart_ = offset_;
    bufferLen_ = got;
    if (got == 0) size_ = offset_;
    return got > 0;
}

bool LineSource::next(std::string_view& line) {
    const char* begin = nullptr;
    std::size_t avail = 0;
    if (!file_) {
        if (offset_ >= size_) return false;
        begin = memory_.data() + offset_;
        avail = static_cast<std::size_t>(size_ - offset_);
    } else {
        if (offset_ >= size_) return false;
        if (offset_ < bufferStart_ || offset_ >= bufferStart_ + bufferLen_) {
            if (!fill()) return false;
        }
        begin = buffer_.data() + (offset_ - bufferStart_);
        avail = bufferLen_ - static_cast<std::size_t>(offset_ - bufferStart_);
        // A line running past the window: refill from its start, growing the
        // window only as far as the line really goes.
        while (!std::memchr(begin, '\n', avail) && offset_ + avail < size_) {
            if (avail == buffer_.size()) {
                if (buffer_.size() >= kMaxLine)
                    throw Error("line " + std::to_string(line_ + 1) + ": longer than " + std::to_string(kMaxLine >> 20) +
                                " MB");
                buffer_.resize(std::min<std::size_t>(buffer_.size() * 2, kMaxLine));
            }
            fill();
            begin = buffer_.data();
            avail = bufferLen_;
            if (avail == 0) return false;
        }
    }
    const char* nl = static_cast<const char*>(std::memchr(begin, '\n', avail));
    std::size_t len = nl ? static_cast<std::size_t>(nl - begin) : avail;
    offset_ += len + (nl ? 1 : 0);
    if (len > 0 && begin[len - 1] == '\r') --len;
    line = std::string_view(begin, len);
    ++line_;
    return true;
}

}  // namespace bvh::detail
