// The scene's text on its way out, and the new curves' nodes written into it.
#pragma once

#include "qmfhost/MaParser.h"
#include "qmfhost/MaWriter.h"

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qmfhost::ma {

// A node or plug name as the file writes it.
inline std::string fileName(const std::string& name) { return quote(name); }

// Text out through a buffer, handed on in large pieces; remembers whether
// the last byte was a newline so inserted blocks start on a line of their own.
class Out {
public:
    explicit Out(const TextOut& sink) : sink_(sink) { buf_.resize(kBufferBytes); }
    ~Out() = default;
    void put(std::string_view text) {
        if (text.empty()) return;
        if (text.size() > buf_.size() - used_) {
            flush();
            if (text.size() > buf_.size()) {
                sink_(text.data(), text.size());
                flushed_ += text.size();
                last_ = text.back();
                return;
            }
        }
        std::memcpy(&buf_[used_], text.data(), text.size());
        used_ += text.size();
        last_ = text.back();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    // " " and the number.
    void number(double v) {
        if (buf_.size() - used_ < kNumberCapacity + 1) flush();
        buf_[used_++] = ' ';
        used_ += formatNumber(v, &buf_[used_]);
        last_ = buf_[used_ - 1];
    }
    // " " and a small non-negative integer (tangent codes), without a conversion call.
    void code(int v) {
        if (v < 0 || v > 99) {
            put(' ');
            integer(v);
            return;
        }
        if (buf_.size() - used_ < 4) flush();
        buf_[used_++] = ' ';
        if (v >= 10) buf_[used_++] = static_cast<char>('0' + v / 10);
        buf_[used_++] = static_cast<char>('0' + v % 10);
        last_ = buf_[used_ - 1];
    }
    void integer(long long v) {
        char text[24];
        char* end = std::to_chars(text, text + sizeof text, v).ptr;
        put(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    bool atLineStart() const { return last_ == '\n' || last_ == '\0'; }
    void flush() {
        if (used_) sink_(buf_.data(), used_);
        flushed_ += used_;
        used_ = 0;
    }
    std::size_t written() const { return flushed_ + used_; }

private:
    static constexpr std::size_t kBufferBytes = std::size_t(1) << 20;
    const TextOut& sink_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
    std::size_t flushed_ = 0;
    char last_ = '\0';
};

// A new curve's node: its type, tangents, weights and keys (refused,
// std::runtime_error, when its key list passes what the reader takes).
void writeCurveNode(Out& out, const NewCurve& nc, const std::string& name, const Units& units, const Limits& limits);

}  // namespace qmfhost::ma
