#include "fileio/Leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace fileio {

namespace {

// Fixed slots the handler reads without locks or allocation. A slot's path is
// written before it is marked in use.
constexpr int kSlots = 32;
constexpr std::size_t kPathBytes = 4096;
enum : int { kFree = 0, kClaimed = 1, kFile = 2, kFolder = 3 };
struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};
Slot gSlots[kSlots];
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Everything in a folder of our own, then the folder: only system calls,
// which are safe in a signal handler (getdents64 rather than readdir).
void emptyAndRemove(const char* folder) {
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        alignas(8) char buf[4096];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
            if (n <= 0) break;
            for (long at = 0; at < n;) {
                struct Entry {
                    uint64_t ino;
                    int64_t off;
                    unsigned short reclen;
                    unsigned char type;
                    char name[1];
                };
                const auto* e = reinterpret_cast<const Entry*>(buf + at);
                if (std::strcmp(e->name, ".") != 0 && std::strcmp(e->name, "..") != 0) ::unlinkat(fd, e->name, 0);
                at += e->reclen;
            }
        }
        ::close(fd);
    }
    ::rmdir(folder);
}

void onSignal(int sig) {
    for (Slot& s : gSlots) {
        const int state = s.state.load(std::memory_order_acquire);
        if (state == kFile) ::unlink(s.path);
        else if (state == kFolder) emptyAndRemove(s.path);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

void removeLeftoversOnSignals() {
    for (int sig : kSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        for (int other : kSignals) sigaddset(&sa.sa_mask, other);  // one cleanup at a time
        ::sigaction(sig, &sa, nullptr);
    }
}

int keepLeftover(const std::string& path, bool folder) {
    if (path.empty() || path.size() >= kPathBytes || path.find('\0') != std::string::npos) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!gSlots[i].state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) continue;
        std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
        gSlots[i].state.store(folder ? kFolder : kFile, std::memory_order_release);
        return i;
    }
    return -1;
}

void dropLeftover(int slot) {
    if (slot >= 0 && slot < kSlots) gSlots[slot].state.store(kFree, std::memory_order_release);
}

bool insideLeftoverFolder(const std::string& path) {
    for (const Slot& s : gSlots) {
        if (s.state.load(std::memory_order_acquire) != kFolder) continue;
        const std::size_t n = std::strlen(s.path);
        if (path.size() > n && path.compare(0, n, s.path) == 0 && path[n] == '/') return true;
    }
    return false;
}

}  // namespace fileio
