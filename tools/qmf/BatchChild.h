// One child of a batch: its process, its pipes, and what its stderr says.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace qmf {

// A file descriptor closed when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset();

private:
    int fd_ = -1;
};

// A pipe whose read end does not block (it is polled); the write end goes
// to a child as it is, so the child's writes wait rather than fail. Both
// ends close on exec, so no other child holds them open.
bool makePipe(Fd& read, Fd& write);

// Starts this program again with args (args[0] is its name), stdout and
// stderr on the given descriptors, no signal blocked. Returns 0 and the
// pid, or the error number.
int spawnChild(std::vector<std::string> args, int outFd, int errFd, pid_t& pid);

// "SIGSEGV" for 11 and the like.
const char* signalName(int sig);

// Why a child failed, from the start of its stderr: its first "qmf: " line
// that is not a warning (without "qmf: "), else its first line that is not
// a warning, else its first line.
std::string reasonFrom(const std::string& err);

// Its first "qmf: warning: ..." line, as "warning: ...", or "".
std::string firstWarning(const std::string& err);

// stderr kept only to its first bytes ends mid-line: the cut line ends at
// its last whole list item (", "), or a whole character, then " …".
std::string endCutLine(std::string err);

}  // namespace qmf
