// A folder of one's own under $TMPDIR (else /tmp), mode 0700, for files a
// job makes on the way (a clip converted before it is imported). It and
// the files named through it are removed when it goes.
#pragma once

#include <string>
#include <vector>

namespace fileio {

class PrivateFolder {
public:
    // Error when no folder can be made.
    explicit PrivateFolder(const std::string& prefix);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // The path of name in the folder, removed with it.
    std::string file(const std::string& name);
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> files_;
    int leftover_ = -1;  // its slot in the list a signal empties (Leftovers.h)
};

}  // namespace fileio
