// Reads BVH text. The hierarchy and the MOTION header come first; frames are
// then read one at a time, so a long capture is never held whole unless the
// caller wants it (readDocument).
//
//   bvh::Reader r = bvh::Reader::open("walk.bvh");
//   r.readHeader();
//   uint64_t ignored = r.checkFrameLines();   // refuses a short file up front
//   std::vector<double> v(r.hierarchy().channelCount);
//   while (r.readFrame(v.data())) ...
//
// Every refusal is a bvh::Error whose message is one line starting with
// "line N: ".
#pragma once

#include "bvh/Bvh.h"

#include <memory>
#include <string>
#include <string_view>

namespace bvh {

namespace detail {
class LineSource;
}

class Reader {
public:
    // A regular file, read through a window; throws Error when it cannot be opened.
    static Reader open(const std::string& path);
    // Bytes in memory, which must outlive the reader.
    static Reader fromText(std::string_view text);
    ~Reader();
    Reader(Reader&&) noexcept;
    Reader& operator=(Reader&&) noexcept;

    // HIERARCHY through "Frame Time:".
    void readHeader();
    const Hierarchy& hierarchy() const { return hierarchy_; }
    uint32_t declaredFrames() const { return declaredFrames_; }
    double frameTime() const { return frameTime_; }

    // Counts the frame lines left without parsing them. Refuses fewer lines
    // than declared (naming both numbers); returns how many lines past the
    // declared count will be ignored. Reading resumes where it was.
    uint64_t checkFrameLines();

    // The next declared frame's channelCount values; false once every
    // declared frame has been read.
    bool readFrame(double* values);
    // Passes over the next frame line without reading its numbers (they
    // are not checked either); false after the last frame.
    bool skipFrame();

private:
    explicit Reader(std::unique_ptr<detail::LineSource> source);
    [[noreturn]] void fail(const std::string& what) const;
    // The next line that is not blank; refuses running out before the
    // declared frames.
    std::string_view nextFrameLine();

    // The hierarchy is read a line at a time, open joints kept on a stack of
    // its own, so however deep a file nests it costs no recursion.
    struct HeaderParse;
    bool nextWords(HeaderParse& p);
    void readJoints(HeaderParse& p);
    void declareJoint(HeaderParse& p, bool endSite, bool root, std::size_t nameFrom);
    static bool isSiteWord(std::string_view w);
    void readOffset(HeaderParse& p);
    void readChannels(HeaderParse& p);
    void readMotionHeader(HeaderParse& p);

    std::unique_ptr<detail::LineSource> source_;
    Hierarchy hierarchy_;
    uint32_t declaredFrames_ = 0;
    uint64_t framesLine_ = 0;  // where Frames: is, named when the lines fall short
    uint32_t framesRead_ = 0;
    double frameTime_ = 0;
    bool headerRead_ = false;
};

// Reads a whole document; the values are allocated as frame lines arrive.
Document readDocument(Reader& reader);
Document readText(std::string_view text);

}  // namespace bvh
