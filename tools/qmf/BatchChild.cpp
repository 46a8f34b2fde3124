#include "BatchChild.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace qmf {

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        reset();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

void Fd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool makePipe(Fd& read, Fd& write) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return false;
    read = Fd(p[0]);
    write = Fd(p[1]);
    return ::fcntl(p[0], F_SETFL, O_NONBLOCK) == 0;
}

int spawnChild(std::vector<std::string> args, int outFd, int errFd, pid_t& pid) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawnattr_init(&attr);
    // The batch's handlers end with the exec, and a signal the caller had
    // ignored (a background job's SIGINT) stays ignored in the child as in us.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    // /proc/self/exe is this very program, even if its file was replaced since.
    const int rc = ::posix_spawn(&pid, "/proc/self/exe", &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc;
}

const char* signalName(int sig) {
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGKILL: return "SIGKILL";
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    case SIGPIPE: return "SIGPIPE";
    case SIGTRAP: return "SIGTRAP";
    case SIGXCPU: return "SIGXCPU";
    case SIGXFSZ: return "SIGXFSZ";
    case SIGSYS: return "SIGSYS";
    }
    return "unknown signal";
}

std::string reasonFrom(const std::string& err) {
    std::string firstOther, first;
    for (std::size_t at = 0; at < err.size();) {
        std::size_t end = err.find('\n', at);
        if (end == std::string::npos) end = err.size();
        const std::string line = err.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        if (first.empty()) first = line;
        const bool warning = line.rfind("qmf: warning:", 0) == 0;
        if (!warning && line.rfind("qmf: ", 0) == 0) return line.substr(5);
        if (!warning && firstOther.empty()) firstOther = line;
    }
    if (!firstOther.empty()) return firstOther;
    return first.rfind("qmf: ", 0) == 0 ? first.substr(5) : first;
}

std::string firstWarning(const std::string& err) {
    for (std::size_t at = 0; at < err.size();) {
        std::size_t end = err.find('\n', at);
        if (end == std::string::npos) end = err.size();
        if (err.compare(at, 13, "qmf: warning:") == 0) return err.substr(at + 5, end - at - 5);
        at = end + 1;
    }
    return {};
}

std::string endCutLine(std::string err) {
    if (err.empty() || err.back() == '\n') return err;
    const std::size_t start = err.rfind('\n') + 1;  // 0 when it is the only line
    const std::size_t comma = err.rfind(", ");
    if (comma != std::string::npos && comma > start) {
        err.resize(comma);
    } else {
        while (err.size() > start && (static_cast<unsigned char>(err.back()) & 0xC0) == 0x80) err.pop_back();
        if (err.size() > start && static_cast<unsigned char>(err.back()) >= 0xC0) err.pop_back();
    }
    return err + " …";
}

}  // namespace qmf
