// Lines of a file or of bytes in memory, read through a window so a large
// file never has to fit in memory, with a way back to a saved place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fileio {
class InputFile;
}

namespace bvh::detail {

class LineSource {
public:
    explicit LineSource(std::string_view text);
    explicit LineSource(const std::string& path);  // throws bvh::Error
    ~LineSource();
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;

    // The next line without its end (LF, CRLF or a lone CR at the very end).
    // False at the end of the input. The view lives until the next call.
    bool next(std::string_view& line);
    // Number of the line last returned (1-based).
    uint64_t lineNumber() const { return line_; }

    struct Mark {
        uint64_t offset;
        uint64_t line;
    };
    Mark mark() const { return {offset_, line_}; }
    void reset(const Mark& m);

private:
    bool fill();  // false when no more bytes
    std::string_view memory_;
    std::unique_ptr<fileio::InputFile> file_;
    uint64_t size_ = 0;
    std::vector<char> buffer_;
    uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::size_t bufferLen_ = 0;
    uint64_t offset_ = 0;       // file offset of the next unread byte
    uint64_t line_ = 0;
};

}  // namespace bvh::detail
