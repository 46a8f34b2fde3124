// Runs a batch: up to N children at once, each the single-file command on
// one input, their stderr read through a pipe (the first few KiB kept, the
// rest drained so a talkative child never blocks), one progress line on a
// terminal and a summary at the end.
#include "Batch.h"
#include "BatchChild.h"
#include "BatchLeftovers.h"
#include "BatchProgress.h"
#include "Args.h"
#include "clips/Printable.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>

namespace qmf {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kKeptStderr = 4096;
// How long stopped children get to end before they are killed outright.
constexpr auto kGrace = std::chrono::seconds(5);

int gWake[2] = {-1, -1};
volatile sig_atomic_t gStopSignal = 0;
volatile sig_atomic_t gStopCount = 0;

void onSignal(int sig) {
    const int saved = errno;
    if (sig != SIGCHLD) {
        gStopSignal = sig;
        gStopCount = gStopCount + 1;
    }
    const char c = 0;
    (void)!::write(gWake[1], &c, 1);  // a full pipe already holds a wake-up
    errno = saved;
}

// Our handlers for the batch's lifetime, the old ones back afterwards. A
// signal the caller ignored (a background job's SIGINT) stays ignored.
class SignalScope {
public:
    SignalScope() {
        for (std::size_t i = 0; i < kCount; ++i) {
            ::sigaction(kSignals[i], nullptr, &old_[i]);
            if (kSignals[i] != SIGTERM && kSignals[i] != SIGCHLD && old_[i].sa_handler == SIG_IGN) continue;
            struct sigaction sa {};
            sa.sa_handler = onSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = kSignals[i] == SIGCHLD ? SA_NOCLDSTOP : 0;
            ::sigaction(kSignals[i], &sa, nullptr);
        }
    }
    ~SignalScope() {
        for (std::size_t i = 0; i < kCount; ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
    }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

private:
    static constexpr std::size_t kCount = 4;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP, SIGCHLD};
    struct sigaction old_[kCount];
};

enum class State { Waiting, Running, Done, Failed, Stopped };

struct Slot {
    State state = State::Waiting;
    std::string reason;   // Failed: why
    std::string warning;  // Done: the child's first warning, if any
};

struct Child {
    std::size_t item = 0;
    Fd err;
    std::string text;  // the first kKeptStderr bytes of its stderr
};

class Runner {
public:
    explicit Runner(const BatchPlan& plan) : plan_(plan), slots_(plan.items.size()), progress_(plan.items.size()) {}

    int run();

private:
    void start(std::size_t item);
    void cannotStart(Slot& slot, int err);
    void stopAll(int sig);
    void readFrom(Child& child, bool toEnd);
    void finish(Child& child, int status);
    void report(BatchLeftovers& leftovers);
    int pollTimeout(Clock::time_point now) const;
    void onStopRequests(Clock::time_point now, int& stopCountSeen);
    void reapChildren();

    const BatchPlan& plan_;
    std::vector<Slot> slots_;
    std::unordered_map<pid_t, Child> running_;
    BatchProgress progress_;
    Fd discardRead_, discardWrite_;  // every child's stdout, read and dropped
    bool stopping_ = false, killed_ = false;
    Clock::time_point killAt_;
    std::size_t done_ = 0, failed_ = 0;
};

void Runner::start(std::size_t item) {
    Slot& slot = slots_[item];
    const BatchItem& job = plan_.items[item];
    Fd errRead, errWrite;
    if (!makePipe(errRead, errWrite)) return cannotStart(slot, errno);
    std::vector<std::string> args{"qmf", plan_.command};
    args.insert(args.end(), plan_.childOptions.begin(), plan_.childOptions.end());
    // "--": an input named like a flag is still a file.
    args.insert(args.end(), {"--", job.input, job.output});
    pid_t pid = -1;
    const int rc = spawnChild(args, discardWrite_.get(), errWrite.get(), pid);
    if (rc != 0) return cannotStart(slot, rc);
    slot.state = State::Running;
    Child& child = running_[pid];
    child.item = item;
    child.err = std::move(errRead);
    progress_.started(job.input);
}

void Runner::cannotStart(Slot& slot, int err) {
    slot.state = State::Failed;
    slot.reason = std::string("could not start: ") + std::strerror(err);
    ++done_;
    ++failed_;
}

void Runner::stopAll(int sig) {
    for (const auto& [pid, child] : running_) ::kill(pid, sig);
}

void Runner::readFrom(Child& child, bool toEnd) {
    char buf[16384];
    while (child.err.get() >= 0) {
        const ssize_t n = ::read(child.err.get(), buf, sizeof buf);
        if (n > 0) {
            const std::size_t keep = std::min(kKeptStderr - child.text.size(), static_cast<std::size_t>(n));
            child.text.append(buf, keep);
            if (!toEnd) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        child.err.reset();  // end of file, or an error no read will mend
    }
}

void Runner::finish(Child& child, int status) {
    Slot& slot = slots_[child.item];
    ++done_;
    if (child.text.size() == kKeptStderr) child.text = endCutLine(std::move(child.text));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        slot.state = State::Done;
        slot.warning = firstWarning(child.text);
        const std::string& input = plan_.items[child.item].input;
        const std::string named = "warning: " + input + ": ";
        if (slot.warning.compare(0, named.size(), named) == 0) slot.warning.erase(9, input.size() + 2);
        return;
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        // Ended by the stop we asked for, or by the Ctrl-C that reached us
        // too (perhaps not yet handled).
        if ((stopping_ || gStopCount > 0) && (sig == SIGTERM || sig == SIGKILL || sig == SIGINT || sig == SIGHUP)) {
            slot.state = State::Stopped;
            return;
        }
        slot.state = State::Failed;
        slot.reason = "crashed (signal " + std::to_string(sig) + ": " + signalName(sig) + ")";
    } else {
        slot.state = State::Failed;
        slot.reason = reasonFrom(child.text);
        // The summary names the file already.
        const std::string& input = plan_.items[child.item].input;
        if (slot.reason.compare(0, input.size() + 2, input + ": ") == 0) slot.reason.erase(0, input.size() + 2);
        if (slot.reason.empty()) slot.reason = "failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    ++failed_;
}

int Runner::pollTimeout(Clock::time_point now) const {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    long ms = -1;
    if (stopping_ && !killed_) ms = std::max<long>(0, duration_cast<milliseconds>(killAt_ - now).count() + 1);
    const long draw = progress_.msUntilDraw(now);
    if (draw >= 0 && (ms < 0 || draw < ms)) ms = draw;
    return static_cast<int>(ms);
}

// A first Ctrl-C (or TERM) stops the children gently, a second or the
// grace running out kills them.
void Runner::onStopRequests(Clock::time_point now, int& stopCountSeen) {
    if (gStopCount > stopCountSeen) {
        stopCountSeen = gStopCount;
        if (!stopping_) {
            stopping_ = true;
            killAt_ = now + kGrace;
            stopAll(SIGTERM);
        } else {
            killAt_ = now;  // asked twice: no more waiting
        }
    }
    if (stopping_ && !killed_ && now >= killAt_) {
        killed_ = true;
        stopAll(SIGKILL);
    }
}

void Runner::reapChildren() {
    int status = 0;
    for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
        const auto it = running_.find(pid);
        if (it == running_.end()) continue;
        readFrom(it->second, true);  // what it wrote before it ended
        finish(it->second, status);
        running_.erase(it);
    }
}

int Runner::run() {
    const std::size_t n = plan_.items.size();
    std::vector<std::string> outputs;
    for (const BatchItem& item : plan_.items) outputs.push_back(item.output);
    BatchLeftovers leftovers(outputs);

    Fd wakeRead, wakeWrite;
    if (!makePipe(wakeRead, wakeWrite) || ::fcntl(wakeWrite.get(), F_SETFL, O_NONBLOCK) != 0 ||
        !makePipe(discardRead_, discardWrite_))
        throw CommandError(plan_.command + ": cannot make a pipe: " + std::strerror(errno));
    gWake[0] = wakeRead.get();
    gWake[1] = wakeWrite.get();
    gStopSignal = 0;
    gStopCount = 0;
    SignalScope signals;

    std::size_t next = 0;
    int stopCountSeen = 0;
    std::vector<pollfd> fds;
    std::vector<pid_t> fdOwner;
    for (;;) {
        const Clock::time_point now = Clock::now();
        onStopRequests(now, stopCountSeen);
        while (!stopping_ && running_.size() < plan_.jobs && next < n) start(next++);
        if (running_.empty()) break;
        progress_.show(now, done_, running_.size(), failed_);

        fds.assign({{wakeRead.get(), POLLIN, 0}, {discardRead_.get(), POLLIN, 0}});
        fdOwner.assign(2, 0);
        for (const auto& [pid, child] : running_)
            if (child.err.get() >= 0) {
                fds.push_back({child.err.get(), POLLIN, 0});
                fdOwner.push_back(pid);
            }
        if (::poll(fds.data(), fds.size(), pollTimeout(now)) < 0 && errno != EINTR)
            throw CommandError(plan_.command + ": poll: " + std::strerror(errno));

        char drop[4096];
        while (::read(wakeRead.get(), drop, sizeof drop) > 0) {
        }
        while (::read(discardRead_.get(), drop, sizeof drop) > 0) {
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents) readFrom(running_.at(fdOwner[i]), false);

        reapChildren();
    }
    progress_.clear();
    report(leftovers);
    if (stopping_) {
        // End the way an interrupted program does, so a calling shell loop stops too.
        const int sig = gStopSignal;
        std::cout.flush();
        std::cerr.flush();
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
    return failed_ > 0 ? 1 : 0;
}

void Runner::report(BatchLeftovers& leftovers) {
    std::vector<std::string> unfinished;
    std::size_t converted = 0, notRun = 0;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const Slot& slot = slots_[i];
        const std::string& input = plan_.items[i].input;
        switch (slot.state) {
        case State::Done:
            ++converted;
            if (!slot.warning.empty()) std::cerr << "qmf: " << printable(input + ": " + slot.warning) << "\n";
            break;
        case State::Failed:
            unfinished.push_back(plan_.items[i].output);
            std::cerr << "qmf: " << printable(input + ": " + slot.reason) << "\n";
            break;
        case State::Stopped:
            unfinished.push_back(plan_.items[i].output);
            ++notRun;
            break;
        case State::Waiting:
        case State::Running:
            ++notRun;
            break;
        }
    }
    leftovers.remove(unfinished);
    std::cerr.flush();
    const std::size_t total = slots_.size();
    std::string line = (stopping_ ? "interrupted: " : "") + plan_.verb + " " + std::to_string(converted) + " of " +
                       std::to_string(total) + " file" + (total == 1 ? "" : "s") + " into " + plan_.outDir;
    if (failed_ > 0) line += ", " + std::to_string(failed_) + " failed";
    if (notRun > 0) line += ", " + std::to_string(notRun) + " not " + plan_.verb;
    std::cout << printable(line) << "\n";
}

}  // namespace

int runBatch(const BatchPlan& plan) { return Runner(plan).run(); }

}  // namespace qmf
