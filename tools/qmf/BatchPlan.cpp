// Checks on a batch made before any file runs: one line and nothing done.
#include "Batch.h"
#include "Args.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace qmf {

namespace {

struct FileIdHash {
    std::size_t operator()(const std::pair<dev_t, ino_t>& id) const {
        return std::hash<unsigned long long>()(static_cast<unsigned long long>(id.first) * 1000003u ^
                                               static_cast<unsigned long long>(id.second));
    }
};

unsigned cores() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<unsigned>(n);
    }
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

}  // namespace

unsigned parseJobs(const std::string& command, const std::string& text) {
    if (text.empty()) return cores() < kMaxJobs ? cores() : kMaxJobs;
    unsigned long n = 0;
    bool ok = text.size() <= 4;
    for (char c : text) {
        ok = ok && c >= '0' && c <= '9';
        if (ok) n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!ok || n < 1 || n > kMaxJobs)
        throw CommandError(command + ": --jobs must be a whole number from 1 to " + std::to_string(kMaxJobs) +
                           ", not '" + text + "'");
    return static_cast<unsigned>(n);
}

std::string batchOutput(const std::string& outDir, const std::string& input, const std::string& extension) {
    const std::size_t slash = input.rfind('/');
    std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    std::string dir = outDir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return (dir == "/" ? dir : dir + "/") + name + "." + extension;
}

void prepareBatch(const BatchPlan& plan) {
    const std::string& cmd = plan.command;
    if (plan.outDir.empty()) throw CommandError(cmd + ": --out-dir needs a folder");
    if (plan.items.empty()) throw CommandError(cmd + ": --out-dir needs at least one input file");

    // Names first: they need no file system.
    std::unordered_map<std::string, std::size_t> byOutput;
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        const auto [it, fresh] = byOutput.emplace(plan.items[i].output, i);
        if (!fresh)
            throw CommandError(cmd + ": " + plan.items[it->second].input + " and " + plan.items[i].input +
                               " would both write " + plan.items[i].output + "; nothing " + plan.verb);
    }

    struct stat st;
    const bool dirExists = ::stat(plan.outDir.c_str(), &st) == 0;
    if (dirExists && !S_ISDIR(st.st_mode)) throw CommandError(cmd + ": --out-dir " + plan.outDir + " is not a folder");
    if (!dirExists && errno != ENOENT)
        throw CommandError(cmd + ": --out-dir " + plan.outDir + ": " + std::strerror(errno));

    // An output over an input, however either is spelled, would destroy the
    // input when its turn came; outputs can exist only in an existing folder.
    if (dirExists) {
        std::unordered_map<std::pair<dev_t, ino_t>, std::size_t, FileIdHash> inputs;
        for (std::size_t i = 0; i < plan.items.size(); ++i)
            if (::stat(plan.items[i].input.c_str(), &st) == 0) inputs.emplace(std::make_pair(st.st_dev, st.st_ino), i);
        for (const BatchItem& item : plan.items) {
            if (::stat(item.output.c_str(), &st) != 0) continue;
            const auto it = inputs.find({st.st_dev, st.st_ino});
            if (it != inputs.end())
                throw CommandError(cmd + ": " + item.input + " would write " + item.output + ", which is the input " +
                                   plan.items[it->second].input + "; nothing " + plan.verb);
        }
        return;
    }
    if (::mkdir(plan.outDir.c_str(), 0777) != 0 && errno != EEXIST) {
        const int err = errno;
        throw CommandError(cmd + ": cannot create the folder " + plan.outDir + ": " + std::strerror(err) +
                           (err == ENOENT ? " (only its last component is created)" : ""));
    }
}

}  // namespace qmf
