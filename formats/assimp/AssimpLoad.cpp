// The child: limits set, the reader module loaded, the file parsed by the
// library, the scene turned into an Imported, its bytes written to a pipe.
// The parent reads them with a deadline and says in one line what became
// of a child that gave none.
#include "AssimpLoad.h"

#include "ReaderModule.h"
#include "fileio/SafeFile.h"
#include "formats/Error.h"

#include <kell.h>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <utility>
#include <vector>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QMF_NO_ADDRESS_LIMIT 1  // the sanitizer reserves terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QMF_NO_ADDRESS_LIMIT 1
#endif
#endif

namespace qmf::formats::assimp {

namespace {

// What Collada states in its asset header, for the line that says what was applied.
void colladaHeader(const std::string& path, SceneOptions& o) {
    std::string head(1 << 16, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const std::size_t unit = head.find("<unit");
    if (unit != std::string::npos) {
        const std::size_t meter = head.find("meter=", unit);
        if (meter != std::string::npos && meter < unit + 200 && meter + 7 < head.size()) {
            const double m = std::strtod(head.c_str() + meter + 7, nullptr);
            if (m > 0 && m < 1e9) o.statedCm = m * 100;
        }
    }
    const std::size_t up = head.find("<up_axis>");
    if (up != std::string::npos && up + 9 < head.size()) {
        const char axis = head[up + 9 + (head[up + 9] == ' ' ? 1 : 0)];
        if (axis == 'X') o.statedUp = {1, 0, 0};
        if (axis == 'Z') o.statedUp = {0, 0, 1};
    }
}

// A parser that crashes, spins or eats memory, or a reader module that is
// not there, on demand, so that the tests see each of them end in one line
// (QMF_READER_FAULT).
bool faultIs(const char* name) {
    const char* fault = std::getenv("QMF_READER_FAULT");
    return fault && std::strcmp(fault, name) == 0;
}

void faultForTests() {
    const char* fault = std::getenv("QMF_READER_FAULT");
    if (!fault) return;
    const std::string f = fault;
    if (f == "crash") std::raise(SIGSEGV);
    if (f == "spin")
        for (volatile uint64_t i = 0;; i = i + 1) {
        }
    if (f == "eat") {
        std::vector<std::unique_ptr<char[]>> held;
        for (;;) {
            held.emplace_back(new char[1 << 20]);
            std::memset(held.back().get(), 1, 1 << 20);
        }
    }
}

// The child says nothing of its own: the library's messages, or a
// sanitizer's report of a crash in it, go into a pipe nobody reads. A fault
// kills it outright, so that the parent sees the signal.
void quietAndPlain() {
    std::signal(SIGPIPE, SIG_IGN);
    int sink[2];
    if (pipe(sink) == 0) {
        ::close(sink[0]);
        dup2(sink[1], STDOUT_FILENO);
        dup2(sink[1], STDERR_FILENO);
        ::close(sink[1]);
    }
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
}

// The reader module by full path: beside the animation library (the
// libraries' folder of every layout, the Python module's too), else in the
// libraries' folder beside this program's; then by name, through the run
// path. Full paths first, since a sanitizer's dlopen searches from its own
// library's run path, not ours.
void* loadReaderModule(const char* name) {
    std::vector<std::string> tries;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&anm_animation_dispose), &info) && info.dli_fname && std::strchr(info.dli_fname, '/'))
        tries.push_back(fileio::folderOf(info.dli_fname) + "/" + name);
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) tries.push_back(fileio::folderOf(std::string(self, static_cast<std::size_t>(n))) + "/../lib/" + name);
    for (const std::string& t : tries)
        if (::access(t.c_str(), F_OK) == 0)
            if (void* module = dlopen(t.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

[[noreturn]] void child(int fd, const std::string& path, SceneOptions o, const Limits& limits) {
    quietAndPlain();
    if (limits.seconds) {
        const rlimit cpu{limits.seconds, limits.seconds + 1};
        setrlimit(RLIMIT_CPU, &cpu);
    }
#ifndef QMF_NO_ADDRESS_LIMIT
    if (limits.memoryBytes) {
        const rlimit as{limits.memoryBytes, limits.memoryBytes};
        setrlimit(RLIMIT_AS, &as);
    }
#endif
    // Each answer: its kind, its size, then its bytes. Here 'L': the module
    // could not be loaded; 'E': the library's error.
    char kind = 'L';
    std::string answer;
    try {
        faultForTests();
        if (o.kind == Kind::Collada) colladaHeader(path, o);
        const char* name = faultIs("module") ? "libqmf-no-such-module.so" : kReaderModule;
        if (void* module = loadReaderModule(name)) {
            if (auto entry = reinterpret_cast<ReaderEntry>(dlsym(module, kReaderEntry))) {
                entry(fd, path.c_str(), &o);
                ::close(fd);
                _exit(0);
            }
        }
        const char* why = dlerror();
        answer = why ? why : name;
    } catch (const std::bad_alloc&) {
        kind = 'E';
        answer = "memory";
    } catch (const std::exception& e) {
        kind = 'E';
        answer = e.what();
    }
    writeAnswer(fd, kind, answer);
    ::close(fd);
    _exit(0);
}

long long nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// The first line of the library's own message, short enough for one line.
std::string firstLine(std::string s) {
    const std::size_t nl = s.find_first_of("\r\n");
    if (nl != std::string::npos) s.resize(nl);
    if (s.size() > 200) s = s.substr(0, 200) + "…";
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return s.empty() ? "no reason given" : s;
}

// What came back from the child before it ended, was stopped or overran.
struct Answer {
    std::string bytes;  // kind, size, then the body
    bool late = false;
    bool overlong = false;
};

// Reads the child's answer until it closes its end or the wall deadline.
Answer readAnswer(int fd, long long deadline, const Limits& limits) {
    Answer a;
    char buf[1 << 16];
    bool sized = false;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const long long left = deadline - nowMs();
        if (left <= 0) {
            a.late = true;
            return a;
        }
        const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return a;
        a.bytes.append(buf, static_cast<std::size_t>(n));
        if (a.bytes.size() < 9) continue;
        // Never more than was said.
        uint64_t said = 0;
        std::memcpy(&said, a.bytes.data() + 1, sizeof said);
        if (a.bytes.size() - 9 > said) {
            a.overlong = true;
            return a;
        }
        // The size said up front makes room once; a size past what the
        // child may hold is not believed.
        if (!sized) {
            sized = true;
            if (said <= limits.memoryBytes || limits.memoryBytes == 0)
                a.bytes.reserve(static_cast<std::size_t>(std::min<uint64_t>(said, uint64_t(1) << 40)) + 9);
        }
    }
}

// The model in a whole answer, or the one line saying why there is none.
Imported judge(const std::string& path, const std::string& reader, std::string bytes, const Limits& limits,
               int status) {
    const std::string failed = path + ": the " + reader + " reader failed";
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU)
            throw FormatError(failed + " (it used its " + std::to_string(limits.seconds) + " s of processor time; QMF_READER_SECONDS sets more)");
        throw FormatError(failed + " (killed by signal " + std::to_string(sig) + ")");
    }
    if (bytes.size() < 9) throw FormatError(failed + " (it gave no answer, exit status " + std::to_string(WEXITSTATUS(status)) + ")");
    const char kind = bytes[0];
    uint64_t said = 0;
    std::memcpy(&said, bytes.data() + 1, sizeof said);
    if (said != bytes.size() - 9) throw FormatError(failed + " (its answer was cut short)");
    if (kind != 'M') bytes.erase(0, 9);
    if (kind == 'E') {
        if (bytes == "memory")
            throw FormatError(failed + " (it ran out of its " + std::to_string(limits.memoryBytes >> 20) +
                              " MB of memory; QMF_READER_MEMORY_MB sets more)");
        if (bytes.find("old format version") != std::string::npos)
            throw FormatError(path + ": an FBX file older than version 7.1 (FBX 2011), which the FBX reader does not read; "
                                     "save it again as FBX 2011 or later");
        throw FormatError(path + ": the " + reader + " reader refused it: " + firstLine(bytes));
    }
    if (kind == 'R') throw FormatError(path + ": " + firstLine(bytes));
    if (kind == 'L') throw FormatError(failed + " (its module could not be loaded: " + firstLine(bytes) + ")");
    try {
        if (kind != 'M') throw ImportedError{"the reader's answer is damaged"};
        return decode(bytes.data() + 9, bytes.size() - 9);
    } catch (const ImportedError& e) {
        throw FormatError(path + ": " + e.what);
    }
}

}  // namespace

Limits limitsFor(uint64_t fileBytes) {
    Limits l;
    l.memoryBytes = (uint64_t(4) << 30) + 40 * fileBytes;
    l.seconds = 300;
    if (const char* mb = std::getenv("QMF_READER_MEMORY_MB"); mb && *mb) l.memoryBytes = std::strtoull(mb, nullptr, 10) << 20;
    if (const char* s = std::getenv("QMF_READER_SECONDS"); s && *s) l.seconds = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    return l;
}

Imported loadInChild(const std::string& path, const std::string& reader, SceneOptions options, const Limits& limits) {
    int fds[2];
    if (pipe(fds) != 0) throw FormatError(path + ": cannot start the " + reader + " reader: " + std::strerror(errno));
    // A wide pipe: a long take's frames pass in fewer turns between the two.
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    const pid_t pid = fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw FormatError(path + ": cannot start the " + reader + " reader: " + std::strerror(err));
    }
    if (pid == 0) {
        ::close(fds[0]);
        child(fds[1], path, options, limits);
    }
    ::close(fds[1]);
    // The child's processor time is limited; its wall time too, in case it
    // waits on something instead of working.
    const long long wait = limits.seconds ? limits.seconds * 2000LL + 10000 : 3600000LL;
    Answer answer = readAnswer(fds[0], nowMs() + wait, limits);
    ::close(fds[0]);
    if (answer.late || answer.overlong) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::string failed = path + ": the " + reader + " reader failed";
    if (answer.late) throw FormatError(failed + " (no answer in " + std::to_string(wait / 1000) + " s; stopped)");
    if (answer.overlong) throw FormatError(failed + " (its answer ran past the size it said)");
    return judge(path, reader, std::move(answer.bytes), limits, status);
}

}  // namespace qmf::formats::assimp
