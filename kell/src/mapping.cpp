#include "mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace kell {

namespace {

// The guarded ranges, readable from the signal handler without locks. A slot
// is claimed by writing its length after its start; the handler skips slots
// whose start is 0.
constexpr int kSlots = 64;
struct Slot {
    std::atomic<uintptr_t> start{0};
    std::atomic<size_t> length{0};
    std::atomic<uint32_t> changed{0};
};
Slot gSlots[kSlots];
std::atomic<uint32_t> gChanged{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the guard writes flags from a signal handler");

struct sigaction gPrevious;
bool gInstalled = false;

void onBusError(int sig, siginfo_t *info, void *context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Slot &slot : gSlots) {
        const uintptr_t start = slot.start.load(std::memory_order_acquire);
        const size_t length = slot.length.load(std::memory_order_acquire);
        if (start == 0 || address - start >= length) continue;
        // The file behind this mapping was cut short. Zero pages in its
        // place make every later read of it see zeros instead of faulting;
        // the faulting read then runs again and succeeds. The flag tells
        // the readers that what they read is no longer the file.
        if (slot.changed.exchange(1, std::memory_order_acq_rel) == 0) gChanged.fetch_add(1, std::memory_order_relaxed);
        const int saved = errno;
        void *p = ::mmap(reinterpret_cast<void *>(start), length, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        errno = saved;
        if (p != MAP_FAILED) return;
        break;
    }
    // Not ours: what was there before the guard decides.
    if (gPrevious.sa_flags & SA_SIGINFO) {
        if (gPrevious.sa_sigaction) gPrevious.sa_sigaction(sig, info, context);
        return;
    }
    if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(sig);
        return;
    }
    // Default action: restore it; a fault then recurs and ends the process
    // as it would have, a signal sent by someone is sent again.
    ::signal(sig, SIG_DFL);
    if (info->si_code <= 0) ::raise(sig);
}

// The guard must be the handler in force, or mapping is not safe.
bool guardInPlace() {
    struct sigaction current;
    if (::sigaction(SIGBUS, nullptr, &current) != 0) return false;
    if (gInstalled)
        return (current.sa_flags & SA_SIGINFO) && current.sa_sigaction == &onBusError;
    struct sigaction guard;
    std::memset(&guard, 0, sizeof guard);
    guard.sa_sigaction = &onBusError;
    guard.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigemptyset(&guard.sa_mask);
    if (::sigaction(SIGBUS, &guard, &gPrevious) != 0) return false;
    gInstalled = true;
    return true;
}

// Unloading the library must not leave the process's SIGBUS handler pointing
// into code that is gone: put back what was there, if the guard is still the
// handler in force (someone who replaced it since keeps theirs).
struct GuardRelease {
    ~GuardRelease() {
        if (!gInstalled) return;
        struct sigaction current;
        if (::sigaction(SIGBUS, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
            current.sa_sigaction == &onBusError)
            ::sigaction(SIGBUS, &gPrevious, nullptr);
        gInstalled = false;
    }
} gGuardRelease;

}  // namespace

Guarded mapGuarded(int fd, size_t size) {
    if (size == 0 || !guardInPlace()) return {};
    Slot *free = nullptr;
    for (Slot &slot : gSlots) {
        if (slot.start.load(std::memory_order_relaxed) == 0) {
            free = &slot;
            break;
        }
    }
    if (!free) return {};
    // Populated at once: one pass over the page cache instead of a fault per
    // few pages while keys are read.
    void *p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED) return {};
    free->changed.store(0, std::memory_order_relaxed);
    free->length.store(size, std::memory_order_release);
    free->start.store(reinterpret_cast<uintptr_t>(p), std::memory_order_release);
    return {static_cast<const uint8_t *>(p), &free->changed};
}

uint32_t changedMappings() { return gChanged.load(std::memory_order_relaxed); }

void unmapGuarded(const uint8_t *data, size_t size) {
    const auto start = reinterpret_cast<uintptr_t>(data);
    for (Slot &slot : gSlots) {
        if (slot.start.load(std::memory_order_relaxed) == start) {
            slot.start.store(0, std::memory_order_release);
            slot.length.store(0, std::memory_order_release);
            break;
        }
    }
    ::munmap(const_cast<uint8_t *>(data), size);
}

}  // namespace kell
