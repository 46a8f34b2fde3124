#include "BatchProgress.h"
#include "clips/Printable.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qmf {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(100);

void writeAll(const std::string& s) {
    for (std::size_t at = 0; at < s.size();) {
        const ssize_t n = ::write(STDERR_FILENO, s.data() + at, s.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

std::size_t columns() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

// At most width characters of UTF-8 text (a wrapped line could not be rewritten in place).
std::string fit(const std::string& text, std::size_t width) {
    std::size_t chars = 0, at = 0;
    for (; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
        if (chars == width) break;
        ++chars;
    }
    return text.substr(0, at);
}

}  // namespace

BatchProgress::BatchProgress(std::size_t total) : on_(::isatty(STDERR_FILENO) == 1), total_(total) {}

void BatchProgress::started(const std::string& input) {
    const std::size_t slash = input.rfind('/');
    name_ = slash == std::string::npos ? input : input.substr(slash + 1);
}

void BatchProgress::show(Clock::time_point now, std::size_t done, std::size_t running, std::size_t failed) {
    if (!on_) return;
    pending_ = "[" + std::to_string(done) + "/" + std::to_string(total_) + "] " + std::to_string(running) +
               " running, " + std::to_string(failed) + " failed  " + printable(name_);
    if (pending_ == shown_ || (drawn_ && now - lastDraw_ < kInterval)) return;
    const std::size_t width = columns();
    writeAll("\r" + fit(pending_, width > 1 ? width - 1 : 1) + "\x1b[K");
    shown_ = pending_;
    lastDraw_ = now;
    drawn_ = true;
}

long BatchProgress::msUntilDraw(Clock::time_point now) const {
    if (!on_ || pending_ == shown_) return -1;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(lastDraw_ + kInterval - now).count();
    return wait > 0 ? static_cast<long>(wait) : 0;
}

void BatchProgress::clear() {
    if (on_ && drawn_) writeAll("\r\x1b[K");
}

}  // namespace qmf
