#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "kell_test_support.h"

using namespace kelltest;

namespace {

std::vector<uint8_t> smallFile(const Sample &shape) {
    ANM_ANIMATION_HANDLE a = makeSample(shape);
    TempDir dir;
    std::vector<uint8_t> bytes = saveBytes(a, dir.path("small.qmf"));
    anm_animation_dispose(a);
    return bytes;
}

Sample tinySample() {
    Sample s;
    s.skeletonName = "s";
    s.joints = 2;
    s.frames = 4;
    s.keys = Keys::Bitmap;
    return s;
}

bool opens(const std::vector<uint8_t> &bytes) {
    ANM_ANIMATION_HANDLE a = anm_animation_open_memory_f(bytes.data(), bytes.size());
    if (a == ANM_INVALID_ANIMATION) return false;
    anm_animation_dispose(a);
    return true;
}

TEST(Malformed, TruncatedAtEveryOffsetIsRefused) {
    const std::vector<uint8_t> file = smallFile(tinySample());
    ASSERT_TRUE(opens(file));
    for (size_t n = 0; n < file.size(); ++n) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(n));
        EXPECT_FALSE(opens(cut)) << "opened a file cut to " << n << " bytes";
    }
    // The same through the file system, at a few places.
    TempDir dir;
    for (size_t n : {size_t{0}, size_t{7}, size_t{31}, size_t{32}, file.size() / 2, file.size() - 1}) {
        writeBytes(dir.path("cut.qmf"), std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(n)));
        EXPECT_EQ(openPath(dir.path("cut.qmf")), ANM_INVALID_ANIMATION) << n;
        EXPECT_STRNE(kell_last_error_message(), "");
    }
}

TEST(Malformed, EverySingleBitFlipIsDetected) {
    for (Keys keys : {Keys::Bitmap, Keys::List, Keys::Dense}) {
        Sample shape = tinySample();
        shape.keys = keys;
        if (keys == Keys::List) shape.frames = 300;
        const std::vector<uint8_t> file = smallFile(shape);
        for (size_t i = 0; i < file.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                std::vector<uint8_t> damaged = file;
                damaged[i] ^= static_cast<uint8_t>(1u << bit);
                ASSERT_FALSE(opens(damaged)) << "byte " << i << " bit " << bit << " of " << file.size();
            }
        }
    }
}

struct Mutation {
    const char *what;
    std::function<void(std::vector<uint8_t> &)> edit;
    bool reseal;  // recompute checksums so the structural check is what refuses
    const char *reason;  // part of the one-line message the refusal must give
};

void put16(std::vector<uint8_t> &f, size_t at, uint16_t v) { std::memcpy(&f[at], &v, 2); }
void put32(std::vector<uint8_t> &f, size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); }
void put64(std::vector<uint8_t> &f, size_t at, uint64_t v) { std::memcpy(&f[at], &v, 8); }
uint16_t get16(const std::vector<uint8_t> &f, size_t at) {
    uint16_t v;
    std::memcpy(&v, &f[at], 2);
    return v;
}

// The tiny sample without part objects has a fixed layout: skeleton "s",
// completion "s-done", joints "joint0_0" and "joint0_1".
size_t skel(const std::vector<uint8_t> &f) { return sectionsOf(f).at(1).payloadAt; }
size_t figr(const std::vector<uint8_t> &f) { return sectionsOf(f).at(2).payloadAt; }
constexpr size_t kJointCount = 4 + 1 + 9;  // name, completed flag, completion name
constexpr size_t kJoint0 = kJointCount + 2;
constexpr size_t kJointSize = 2 + 8 + 1 + 2 + 1 + 12 + 16;
size_t parentOf(const std::vector<uint8_t> &f, size_t joint) { return skel(f) + kJoint0 + joint * kJointSize + 11; }

void insertAt(std::vector<uint8_t> &f, size_t at, std::initializer_list<uint8_t> bytes, size_t sectionIndex) {
    f.insert(f.begin() + static_cast<long>(at), bytes);
    const Section s = sectionsOf(f).at(sectionIndex);
    put64(f, s.headerAt + 8, s.length + bytes.size());
}

// Keeps the first `keep` bytes of a section's payload.
void cutSection(std::vector<uint8_t> &f, size_t sectionIndex, size_t keep) {
    const Section s = sectionsOf(f).at(sectionIndex);
    f.erase(f.begin() + static_cast<long>(s.payloadAt + keep), f.begin() + static_cast<long>(s.payloadAt + s.length));
    put64(f, s.headerAt + 8, keep);
}

void retag(std::vector<uint8_t> &f, size_t sectionIndex, const char (&tag)[5]) {
    std::memcpy(&f[sectionsOf(f).at(sectionIndex).headerAt], tag, 4);
}

const Mutation kMutations[] = {
    {"wrong magic", [](auto &f) { f[0] = 'X'; }, true, "magic"},
    {"unknown version", [](auto &f) { put16(f, 10, 2); }, true, "version 2"},
    {"another document kind", [](auto &f) { put16(f, 8, 5); }, true, "not an animation"},
    {"unknown header flags", [](auto &f) { put32(f, 12, 1); }, true, "flags"},
    {"declared size differs", [](auto &f) { f.push_back(0); }, false, "differs from"},
    {"bytes after the last section", [](auto &f) { f.push_back(0); }, true, "after the last section"},
    {"absurd section count", [](auto &f) { put32(f, 24, 0xFFFFFFFFu); }, true, "section count"},
    {"section count too small", [](auto &f) { put32(f, 24, 2); }, true, "after the last section"},
    {"section length overruns", [](auto &f) { put64(f, sectionsOf(f)[1].headerAt + 8, ~uint64_t{0}); }, true, "overruns the file"},
    {"bad section checksum", [](auto &f) { f[skel(f) + 3] ^= 1; }, false, "checksum"},
    {"negative frame count", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt + 4, 0xFFFFFFFFu); }, true, "frame count"},
    {"frame count past the limit", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt + 4, KELL_MAX_FRAMES + 1); }, true, "frame count"},
    {"frame count larger than the tracks", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt + 4, 100); }, true, "bitmap"},
    {"NaN frame rate", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt, 0x7FC00000u); }, true, "frame rate"},
    {"zero frame rate", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt, 0); }, true, "frame rate"},
    {"negative frame rate", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt, 0xBF800000u); }, true, "frame rate"},
    {"more skeletons than sections", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt + 8, 2); }, true, "counts disagree"},
    {"absurd figure count", [](auto &f) { put32(f, sectionsOf(f)[0].payloadAt + 12, 0x7FFFFFFFu); }, true, "counts disagree"},
    {"joint count overruns", [](auto &f) { put16(f, skel(f) + kJointCount, 32767); }, true, "overruns the section"},
    {"joint count past the limit", [](auto &f) { put16(f, skel(f) + kJointCount, 32768); }, true, "exceeds 32767"},
    {"parent index out of range", [](auto &f) { put16(f, parentOf(f, 1), 2); }, true, "out of range"},
    {"negative parent index", [](auto &f) { put16(f, parentOf(f, 1), 0xFFFE); }, true, "out of range"},
    {"joint its own parent", [](auto &f) { put16(f, parentOf(f, 1), 1); }, true, "out of range"},
    {"parents making a cycle", [](auto &f) { put16(f, parentOf(f, 0), 1); put16(f, parentOf(f, 1), 0); }, true, "cycle"},
    {"joint name without terminator", [](auto &f) { f[skel(f) + kJoint0 + 2 + 8] = 'x'; }, true, "terminating NUL"},
    {"skeleton name without terminator", [](auto &f) { f[skel(f) + 3] = 'x'; }, true, "terminating NUL"},
    {"NUL inside a joint name", [](auto &f) { f[skel(f) + kJoint0 + 4] = 0; }, true, "contains a NUL"},
    {"empty joint name", [](auto &f) { put16(f, skel(f) + kJoint0, 0); }, true, "bad length"},
    {"joint name past the limit", [](auto &f) { put16(f, skel(f) + kJoint0, 128); }, true, "bad length"},
    {"name length overruns", [](auto &f) { put16(f, skel(f), 4000); }, true, "truncated"},
    {"unknown joint flags", [](auto &f) { f[parentOf(f, 0) + 2] |= 0x80; }, true, "unknown flags"},
    {"completed flag not boolean", [](auto &f) { f[skel(f) + 4] = 2; }, true, "completed flag"},
    {"figure on a missing skeleton", [](auto &f) { put32(f, figr(f), 1); }, true, "missing skeleton"},
    {"figure joint count differs", [](auto &f) { put16(f, figr(f) + 4, 3); }, true, "track count"},
    {"unknown presence encoding", [](auto &f) { f[figr(f) + 6] = 9; }, true, "presence"},
    {"bitmap key count disagrees", [](auto &f) { put32(f, figr(f) + 7, get16(f, figr(f) + 7) - 1u); }, true, "disagrees"},
    {"bitmap bits past the last frame", [](auto &f) { f[figr(f) + 11] |= 0x80; }, true, "past the last frame"},
    {"bytes after the skeleton", [](auto &f) { insertAt(f, sectionsOf(f)[1].payloadAt + sectionsOf(f)[1].length, {0}, 1); }, true, "bytes after its joints"},
    // The file's layout of sections, each refusal named in full.
    {"more sections declared than present", [](auto &f) { put32(f, 24, 4); }, true, "truncated section header"},
    {"first section is a skeleton", [](auto &f) { retag(f, 0, "SKEL"); }, true,
     "first section is not a 16-byte animation section"},
    {"animation section too long", [](auto &f) { insertAt(f, sectionsOf(f)[0].payloadAt + 16, {0}, 0); }, true,
     "first section is not a 16-byte animation section"},
    {"figure where the skeleton belongs", [](auto &f) { retag(f, 1, "FIGR"); }, true, "expected a skeleton section"},
    {"skeleton where the figure belongs", [](auto &f) { retag(f, 2, "SKEL"); }, true, "expected a figure section"},
    {"figure cut inside its header", [](auto &f) { cutSection(f, 2, 5); }, true, "truncated figure"},
    {"figure cut before its tracks", [](auto &f) { cutSection(f, 2, 7); }, true, "figure track count overruns the section"},
    {"figure cut inside a track", [](auto &f) { cutSection(f, 2, 8); }, true, "truncated key track"},
    {"bytes after the figure's tracks", [](auto &f) { insertAt(f, f.size(), {0}, 2); }, true,
     "figure section has bytes after its tracks"},
};

TEST(Malformed, EachStructuralFaultIsRefusedWithAReason) {
    Sample shape = tinySample();
    shape.parts = false;
    const std::vector<uint8_t> file = smallFile(shape);
    ASSERT_TRUE(opens(file));
    // The layout the mutations rely on.
    ASSERT_EQ(std::string(reinterpret_cast<const char *>(&file[skel(file) + kJoint0 + 2]), 8), "joint0_0");
    ASSERT_EQ(std::string(reinterpret_cast<const char *>(&file[skel(file) + kJoint0 + kJointSize + 2]), 8), "joint0_1");
    ASSERT_EQ(file[figr(file) + 6], 2) << "channel 1 should be stored as a bitmap";
    for (const Mutation &m : kMutations) {
        std::vector<uint8_t> bad = file;
        m.edit(bad);
        if (m.reseal) reseal(bad);
        EXPECT_FALSE(opens(bad)) << m.what;
        EXPECT_NE(std::string(kell_last_error_message()).find(m.reason), std::string::npos)
            << m.what << ": " << kell_last_error_message();
    }
}

TEST(Malformed, EverySkeletonNeedsAFigure) {
    Sample shape = tinySample();
    shape.parts = false;
    shape.figures = 2;
    const std::vector<uint8_t> file = smallFile(shape);
    ASSERT_TRUE(opens(file));
    const std::vector<Section> sections = sectionsOf(file);
    ASSERT_EQ(sections.size(), 5u);
    uint32_t second;
    std::memcpy(&second, &file[sections[4].payloadAt], 4);
    ASSERT_EQ(second, 1u) << "the second figure should be on the second skeleton";
    std::vector<uint8_t> bad = file;
    put32(bad, sections[4].payloadAt, 0);
    reseal(bad);
    EXPECT_FALSE(opens(bad));
    EXPECT_STREQ(kell_last_error_message(), "a skeleton belongs to no figure");
}

TEST(Malformed, ListedKeysOutOfOrderOrRangeAreRefused) {
    Sample shape = tinySample();
    shape.parts = false;
    shape.frames = 300;
    shape.keys = Keys::List;
    const std::vector<uint8_t> file = smallFile(shape);
    const size_t track = figr(file) + 6;
    ASSERT_EQ(file[track], 3) << "channel 1 should be stored as a frame list";
    uint32_t keys;
    std::memcpy(&keys, &file[track + 1], 4);
    ASSERT_GE(keys, 2u);
    const size_t frames = track + 5;
    std::vector<uint8_t> swapped = file;
    std::swap_ranges(swapped.begin() + static_cast<long>(frames), swapped.begin() + static_cast<long>(frames + 4),
                     swapped.begin() + static_cast<long>(frames + 4));
    reseal(swapped);
    EXPECT_FALSE(opens(swapped));
    std::vector<uint8_t> beyond = file;
    put32(beyond, frames + 4 * (keys - 1), 300);
    reseal(beyond);
    EXPECT_FALSE(opens(beyond));
    std::vector<uint8_t> tooMany = file;
    put32(tooMany, track + 1, 300);
    reseal(tooMany);
    EXPECT_FALSE(opens(tooMany));
}

TEST(Malformed, ForeignAndEmptyInputsAreRefused) {
    const std::string text = "MOVANTIS is the name, but this is a text file\n";
    EXPECT_FALSE(opens(std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_FALSE(opens({}));
    EXPECT_EQ(anm_animation_open_memory_f(nullptr, 10), ANM_INVALID_ANIMATION);
}

}  // namespace
