// A BVH file into the model: converted to a clip the way `qmf convert`
// does it (the translator writes the skeleton), in a private temporary
// folder, and read back as a clip.
#include "motion/MotionBuild.h"

#include "bvh/Reader.h"
#include "clips/Error.h"
#include "formats/Error.h"
#include "formats/Routes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace qmf::motion {

namespace {

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmf-view-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) throw MotionError("cannot make a temporary folder: " + std::string(std::strerror(errno)));
        path_ = buf.data();
    }
    ~TempFolder() {
        // Only what this folder was made for: the clip and the converter's temporaries.
        unlink(clip().c_str());
        rmdir(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string clip() const { return path_ + "/motion.qmf"; }

private:
    std::string path_;
};

}  // namespace

Motion loadBvh(const std::string& path, const LoadOptions& options, std::ostream& warn) {
    // The header alone says how big the motion is: refuse before converting.
    try {
        bvh::Reader reader = bvh::Reader::open(path);
        reader.readHeader();
        checkSize(reader.declaredFrames(), reader.hierarchy().joints.size(), path);
    } catch (const bvh::Error& e) {
        throw MotionError(path + ": " + e.what());
    }
    TempFolder folder;
    try {
        formats::convert(formats::Format::Bvh, formats::Format::Clip, path, folder.clip(), options, warn);
    } catch (const FormatError& e) {
        throw MotionError(e.what());
    } catch (const ClipError& e) {
        throw MotionError(e.what());
    }
    Motion m = loadClip(folder.clip());
    m.source = Source::Bvh;
    m.path = path;
    return m;
}

}  // namespace qmf::motion
