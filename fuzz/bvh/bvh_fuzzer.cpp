// Feeds arbitrary bytes to the BVH reader, frame by frame as the command
// reads; a document it accepts is written back and must read back the same.
#include "bvh/Reader.h"
#include "bvh/Writer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "BVH round trip differs: %s\n", what);
        std::abort();
    }
}

void checkOneLine(const bvh::Error& e) {
    const char* m = e.what();
    check(std::strchr(m, '\n') == nullptr, "a refusal spans lines");
    check(std::strncmp(m, "line ", 5) == 0, "a refusal does not name its line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bvh::Document d;
    try {
        d = bvh::readText(text);
    } catch (const bvh::Error& e) {
        checkOneLine(e);
        return 0;
    }
    check(d.values.size() == std::size_t(d.frames) * d.hierarchy.channelCount, "values fill the frames");
    // Unnamed End Sites and valid names only: whatever was read can be written.
    std::string out;
    try {
        out = bvh::writeDocument(d);
    } catch (const bvh::Error&) {
        // Names the reader takes but the writer cannot keep (edge spaces, a trailing '{').
        return 0;
    }
    bvh::Document back = bvh::readText(out);
    check(back.hierarchy.joints.size() == d.hierarchy.joints.size(), "joint count");
    for (std::size_t i = 0; i < d.hierarchy.joints.size(); ++i) {
        const bvh::Joint& a = d.hierarchy.joints[i];
        const bvh::Joint& b = back.hierarchy.joints[i];
        check(a.name == b.name && a.parent == b.parent && a.channels == b.channels && a.endSite == b.endSite, "joint");
        check(std::memcmp(a.offset.data(), b.offset.data(), sizeof a.offset) == 0, "offset");
    }
    check(back.frames == d.frames && back.frameTime == d.frameTime, "motion header");
    check(back.values.size() == d.values.size() &&
              (d.values.empty() || std::memcmp(back.values.data(), d.values.data(), d.values.size() * sizeof(double)) == 0),
          "values");
    return 0;
}
