// What every route shares: the order a transfer runs in, and warnings' lists.
#include "formats/Model.h"

#include "formats/Error.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ostream>

namespace qmf::formats {

namespace {

bool parseNumber(const std::string& text, double& out) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    out = std::strtod(begin, &end);
    return !text.empty() && end == begin + text.size() && errno != ERANGE && std::isfinite(out);
}

// A source's frames A, A + N, ... up to B; the rest are read and passed over.
class FrameSelection : public Reader {
public:
    FrameSelection(std::unique_ptr<Reader> source, uint32_t first, uint32_t count, uint32_t step)
        : source_(std::move(source)), skeleton_(source_->skeleton()), first_(first), step_(step) {
        skeleton_.frames = count;
        skeleton_.frameTime *= step;
        skeleton_.clipFile.clear();  // no longer the clip's own motion
    }
    const Skeleton& skeleton() const override { return skeleton_; }
    void warn(std::ostream& out) override { source_->warn(out); }
    void warnAfter(std::ostream& out) override { source_->warnAfter(out); }
    void serve(Rotations r) override { source_->serve(r); }
    bool next(Frame& frame) override {
        if (served_ >= skeleton_.frames) return false;
        const uint64_t want = first_ + uint64_t(served_) * step_;
        for (; read_ < want; ++read_)
            if (!source_->skip(frame)) return false;
        if (!source_->next(frame)) return false;
        ++read_;
        ++served_;
        return true;
    }

private:
    std::unique_ptr<Reader> source_;
    Skeleton skeleton_;
    uint64_t first_, step_;
    uint64_t read_ = 0;  // frames taken from the source
    uint32_t served_ = 0;
};

}  // namespace

double parseFrameNumber(const std::string& text, const std::string& flag) {
    double v = 0;
    if (!parseNumber(text, v)) throw FormatError(flag + " needs a number of frames, not '" + text + "'");
    return v;
}

FrameRange parseFrameRange(const std::string& text) {
    const std::size_t colon = text.find(':');
    FrameRange r;
    if (colon == std::string::npos || !parseNumber(text.substr(0, colon), r.first) ||
        !parseNumber(text.substr(colon + 1), r.last))
        throw FormatError("--frames needs A:B, the first and last frame, not '" + text + "'");
    if (r.first > r.last) throw FormatError("--frames " + text + ": the first frame comes after the last");
    return r;
}

std::unique_ptr<Reader> selectFrames(std::unique_ptr<Reader> source, const std::string& frames, uint32_t step) {
    if (frames.empty() && step == 1) return source;
    const Skeleton& s = source->skeleton();
    if (step == 0) throw FormatError("--step must be 1 or more");
    if (s.frames == 0) throw FormatError(s.path + ": no frames to choose from");
    FrameRange r{0, double(s.frames - 1)};
    if (!frames.empty()) {
        r = parseFrameRange(frames);
        if (r.first != std::floor(r.first) || r.last != std::floor(r.last))
            throw FormatError("--frames " + frames + ": " + s.path + " has whole frames only");
        if (r.first < 0 || r.last > double(s.frames - 1))
            throw FormatError("--frames " + frames + " is outside the frames of " + s.path + ", 0 to " +
                              std::to_string(s.frames - 1));
    }
    const auto first = static_cast<uint32_t>(r.first);
    const auto count = static_cast<uint32_t>((static_cast<uint32_t>(r.last) - first) / step + 1);
    return std::make_unique<FrameSelection>(std::move(source), first, count, step);
}

Written transfer(Reader& reader, Writer& writer, std::ostream& warn) {
    const Skeleton& skeleton = reader.skeleton();
    writer.check(skeleton);
    if (skeleton.rotations == Rotations::Both) reader.serve(writer.reads());
    reader.warn(warn);
    writer.begin(skeleton, warn);
    Frame frame;
    while (reader.next(frame)) writer.frame(frame);
    Written w = writer.finish(warn);
    reader.warnAfter(warn);
    return w;
}

}  // namespace qmf::formats
