#include "fileio/PrivateFolder.h"

#include "fileio/Leftovers.h"
#include "fileio/SafeFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace fileio {

PrivateFolder::PrivateFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw Error("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    path_ = buf.data();
    leftover_ = keepLeftover(path_, true);
}

PrivateFolder::~PrivateFolder() {
    // Only what was named through this folder, so nothing else is touched.
    for (const std::string& f : files_) ::unlink(f.c_str());
    ::rmdir(path_.c_str());
    dropLeftover(leftover_);
}

std::string PrivateFolder::file(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
}

}  // namespace fileio
