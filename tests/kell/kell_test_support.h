// Shared helpers of the Kell tests: temporary folders, a bit-exact dump of an
// animation through the public interface, a rebuild through it, sample clips
// and a way to re-seal checksums after editing a file's bytes.
#ifndef KELL_TEST_SUPPORT_H
#define KELL_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "kell.h"
#include "kell_authoring.h"

namespace kelltest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    const std::string &dir() const { return dir_; }
    std::vector<std::string> entries() const;

private:
    std::string dir_;
};

std::vector<uint8_t> readBytes(const std::string &path);
void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes);
FM_FILE_IDENTIFIER_TYPE identifierFor(const std::string &path);

float floatFromBits(uint32_t bits);
uint32_t bitsOf(float f);

// Every value of the animation, floats as bit patterns, queried through the
// translator's calls for every frame 0..count (count included, which must
// answer "no key") and cross-checked against the key iteration calls.
std::string dump(ANM_ANIMATION_HANDLE animation);

// A new animation built only through kell.h and kell_authoring.h with the
// same values as `source`.
ANM_ANIMATION_HANDLE rebuild(ANM_ANIMATION_HANDLE source);

// The file bytes of `animation` saved at `path`, or empty when the save failed.
std::vector<uint8_t> saveBytes(ANM_ANIMATION_HANDLE animation, const std::string &path);
ANM_ANIMATION_HANDLE openPath(const std::string &path);

enum class Keys { None, Dense, Bitmap, List, Boundary };
struct Sample {
    std::string skeletonName = "walker";
    int joints = 3;
    int roots = 1;          // the first `roots` joints are roots
    int frames = 10;
    Keys keys = Keys::Dense;
    int figures = 1;
    bool shareSkeleton = false;  // every figure on the first figure's skeleton
    bool parts = true;
    bool oddFloats = false;      // -0.0, NaN payloads, infinities, denormals in values
};
ANM_ANIMATION_HANDLE makeSample(const Sample &shape);

// Sections of a file: where each payload starts and how long it is.
struct Section {
    uint32_t tag;
    size_t headerAt;
    size_t payloadAt;
    size_t length;
};
std::vector<Section> sectionsOf(const std::vector<uint8_t> &file);
// Recomputes every section checksum, the file size and the header checksum,
// so an edit reaches the reader's structural checks instead of its checksums.
void reseal(std::vector<uint8_t> &file);

}  // namespace kelltest

#endif
