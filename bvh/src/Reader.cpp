#include "bvh/Reader.h"

#include "LineSource.h"
#include "Numbers.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace bvh {

using detail::kLargestValue;
using detail::parseNumber;
using detail::scanPlainDecimal;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Whitespace-separated words of one line; a line of a header holds a few.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        std::size_t j = i;
        while (j < line.size() && !isBlank(line[j])) ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Shown in messages: at most 40 bytes, control bytes as '?'.
std::string shown(std::string_view text) {
    std::string s(text.substr(0, 40));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (text.size() > 40) s += "...";
    return s;
}

std::string describe(const Joint& j) { return j.endSite ? std::string("the End Site") : "joint '" + shown(j.name) + "'"; }

}  // namespace

const char* channelName(Channel c) {
    static const char* const names[] = {"Xposition", "Yposition", "Zposition", "Xrotation", "Yrotation", "Zrotation"};
    return names[static_cast<int>(c)];
}

bool parseChannel(std::string_view name, Channel& out) {
    for (int i = 0; i < 6; ++i)
        if (equalsNoCase(name, channelName(static_cast<Channel>(i)))) {
            out = static_cast<Channel>(i);
            return true;
        }
    return false;
}

bool Joint::hasPosition() const {
    for (Channel c : channels)
        if (!isRotation(c)) return true;
    return false;
}

bool Joint::hasRotation() const {
    for (Channel c : channels)
        if (isRotation(c)) return true;
    return false;
}

std::array<int, 3> Joint::rotationAxes() const {
    std::array<int, 3> axes{0, 1, 2};
    int n = 0;
    for (Channel c : channels)
        if (isRotation(c) && n < 3) axes[static_cast<std::size_t>(n++)] = axisOf(c);
    return axes;
}

std::string mayaRotateOrder(const Joint& joint) {
    auto axes = joint.rotationAxes();
    std::string s;
    for (int i = 2; i >= 0; --i) s += static_cast<char>('x' + axes[static_cast<std::size_t>(i)]);
    return s;
}

Reader::Reader(std::unique_ptr<detail::LineSource> source) : source_(std::move(source)) {}
Reader::~Reader() = default;
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;

Reader Reader::open(const std::string& path) { return Reader(std::make_unique<detail::LineSource>(path)); }
Reader Reader::fromText(std::string_view text) { return Reader(std::make_unique<detail::LineSource>(text)); }

void Reader::fail(const std::string& what) const {
    throw Error("line " + std::to_string(source_->lineNumber()) + ": " + what);
}

// One parse of the hierarchy: the line at hand and its words, and where the
// joints declared so far stand with their braces.
struct Reader::HeaderParse {
    explicit HeaderParse(std::vector<Joint>& into) : joints(into) {}

    std::vector<Joint>& joints;
    std::string_view line;
    std::vector<std::string_view> w;
    std::vector<int32_t> open;  // joints whose '{' has been seen and '}' not yet
    int32_t pending = -1;       // declared, waiting for its '{'
    std::vector<bool> hasOffset;

    Joint& current() { return joints[static_cast<std::size_t>(open.back())]; }
    Joint& pendingJoint() { return joints[static_cast<std::size_t>(pending)]; }
};

// The next line that holds a word, split into p.w; false at the end of the input.
bool Reader::nextWords(HeaderParse& p) {
    while (source_->next(p.line)) {
        p.w = words(p.line);
        if (!p.w.empty()) return true;
    }
    return false;
}

void Reader::readHeader() {
    if (headerRead_) return;
    HeaderParse p(hierarchy_.joints);
    const bool any = nextWords(p);
    // A UTF-8 byte order mark, as Windows tools write one, is not a word.
    if (any && p.w[0].substr(0, 3) == "\xEF\xBB\xBF") {
        p.w[0].remove_prefix(3);
        if (p.w[0].empty()) p.w.erase(p.w.begin());
    }
    if (!any || p.w.empty() || !equalsNoCase(p.w[0], "HIERARCHY") || p.w.size() != 1) {
        if (p.w.empty()) throw Error("line " + std::to_string(source_->lineNumber()) + ": missing HIERARCHY (the file is empty)");
        fail("missing HIERARCHY: the file starts with '" + shown(p.line) + "'");
    }
    readJoints(p);
    readMotionHeader(p);
    headerRead_ = true;
}

// The lines after HIERARCHY through MOTION.
void Reader::readJoints(HeaderParse& p) {
    bool sawMotion = false;
    while (nextWords(p)) {
        const std::string_view k = p.w[0];
        if (equalsNoCase(k, "ROOT")) {
            declareJoint(p, false, true, 1);
        } else if (equalsNoCase(k, "JOINT")) {
            declareJoint(p, false, false, 1);
        } else if (equalsNoCase(k, "End") && p.w.size() >= 2 && isSiteWord(p.w[1])) {
            // "End Site", and as some exporters write it "End Site4" or
            // "End Site Head_end": a number glued on is not a name, words after are.
            declareJoint(p, true, false, 2);
        } else if (k == "{") {
            if (p.w.size() != 1) fail("unexpected words after '{'");
            if (p.pending < 0) fail("'{' without a ROOT, JOINT or End Site before it (unbalanced braces)");
            p.open.push_back(p.pending);
            p.pending = -1;
        } else if (k == "}") {
            if (p.w.size() != 1) fail("unexpected words after '}'");
            if (p.pending >= 0) fail("expected '{' after " + describe(p.pendingJoint()));
            if (p.open.empty()) fail("'}' without a matching '{' (unbalanced braces)");
            p.open.pop_back();
        } else if (equalsNoCase(k, "OFFSET")) {
            readOffset(p);
        } else if (equalsNoCase(k, "CHANNELS")) {
            readChannels(p);
        } else if (equalsNoCase(k, "MOTION")) {
            if (p.pending >= 0) fail("expected '{' after " + describe(p.pendingJoint()));
            if (!p.open.empty())
                fail("MOTION before " + describe(p.current()) + " (line " + std::to_string(p.current().line) +
                     ") is closed (unbalanced braces)");
            if (p.w.size() != 1) fail("unexpected words after MOTION");
            sawMotion = true;
            break;
        } else {
            fail("unexpected '" + shown(k) + "' in the HIERARCHY");
        }
    }
    if (!sawMotion) {
        if (!p.open.empty())
            fail("the file ends before " + describe(p.current()) + " (line " + std::to_string(p.current().line) +
                 ") is closed (unbalanced braces)");
        fail("missing MOTION after the HIERARCHY");
    }
    if (p.joints.empty()) fail("MOTION without a ROOT before it");
}

// A ROOT, JOINT or End Site line; its name starts at word `nameFrom`, and its
// '{' may end the line.
void Reader::declareJoint(HeaderParse& p, bool endSite, bool root, std::size_t nameFrom) {
    if (p.pending >= 0) fail("expected '{' after " + describe(p.pendingJoint()));
    if (root && !p.open.empty()) fail("ROOT inside " + describe(p.current()) + " (unbalanced braces)");
    if (!root && p.open.empty()) fail(std::string(endSite ? "End Site" : "JOINT") + " outside any ROOT");
    if (!p.open.empty() && p.current().endSite) fail("an End Site cannot hold joints");
    if (p.joints.size() >= kMaxJoints) fail("more than 32,767 joints (End Sites included)");
    Joint j;
    j.endSite = endSite;
    j.parent = p.open.empty() ? -1 : p.open.back();
    j.line = static_cast<int>(std::min<uint64_t>(source_->lineNumber(), INT32_MAX));
    bool brace = false;
    std::size_t last = p.w.size();
    if (last > nameFrom && p.w[last - 1] == "{") {
        brace = true;
        --last;
    }
    if (!endSite || last > nameFrom) {
        if (last <= nameFrom) fail(std::string(root ? "ROOT" : "JOINT") + " without a name");
        // A name is the rest of the line: some writers put spaces in names.
        const char* b = p.w[nameFrom].data();
        const char* e = p.w[last - 1].data() + p.w[last - 1].size();
        std::string_view name(b, static_cast<std::size_t>(e - b));
        if (name.size() > kMaxNameBytes)
            fail("joint name '" + shown(name) + "' is longer than 127 bytes");
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) fail("joint name '" + shown(name) + "' holds a control character");
        j.name = std::string(name);
    }
    p.joints.push_back(std::move(j));
    p.hasOffset.push_back(false);
    p.pending = static_cast<int32_t>(p.joints.size() - 1);
    if (brace) {
        p.open.push_back(p.pending);
        p.pending = -1;
    }
}

void Reader::readOffset(HeaderParse& p) {
    if (p.open.empty() || p.pending >= 0) fail("OFFSET outside a joint's braces");
    Joint& j = p.current();
    if (p.hasOffset[static_cast<std::size_t>(p.open.back())]) fail("a second OFFSET for " + describe(j));
    if (p.w.size() != 4) fail("OFFSET needs 3 numbers, got " + std::to_string(p.w.size() - 1));
    for (int i = 0; i < 3; ++i) {
        const std::string_view word = p.w[static_cast<std::size_t>(i + 1)];
        double& v = j.offset[static_cast<std::size_t>(i)];
        if (!parseNumber(word, v)) fail("OFFSET value '" + shown(word) + "' is not a finite number");
        if (std::fabs(v) > kLargestValue) fail("OFFSET value '" + shown(word) + "' is beyond a float's range (±3.4e38)");
    }
    p.hasOffset[static_cast<std::size_t>(p.open.back())] = true;
}

bool Reader::isSiteWord(std::string_view w) {
    if (w.size() < 4 || !equalsNoCase(w.substr(0, 4), "Site")) return false;
    for (char c : w.substr(4))
        if (c < '0' || c > '9') return false;
    return true;
}

void Reader::readChannels(HeaderParse& p) {
    if (p.open.empty() || p.pending >= 0) fail("CHANNELS outside a joint's braces");
    Joint& j = p.current();
    if (j.endSite) fail("an End Site has no channels");
    if (!j.channels.empty()) fail("a second CHANNELS for " + describe(j));
    const std::vector<std::string_view>& w = p.w;
    double n = 0;
    // 0 is written by some exporters for a joint that only holds its offset.
    if (w.size() < 2 || !parseNumber(w[1], n) || (n != 0 && n != 3 && n != 6))
        fail("CHANNELS count must be 0, 3 or 6, not '" + shown(w.size() < 2 ? std::string_view() : w[1]) + "'");
    if (w.size() - 2 != static_cast<std::size_t>(n))
        fail("CHANNELS " + std::to_string(static_cast<int>(n)) + " lists " + std::to_string(w.size() - 2) + " channels");
    unsigned seen = 0;
    for (std::size_t i = 2; i < w.size(); ++i) {
        Channel c;
        if (!parseChannel(w[i], c)) fail("unknown channel '" + shown(w[i]) + "'");
        if (seen & (1u << static_cast<int>(c))) fail("channel " + std::string(channelName(c)) + " listed twice");
        seen |= 1u << static_cast<int>(c);
        j.channels.push_back(c);
    }
    // All three axes of what is listed: positions, rotations or both.
    if ((seen & 7u) != 0 && (seen & 7u) != 7u) fail("position channels must be all of X, Y and Z");
    if ((seen & 56u) != 0 && (seen & 56u) != 56u) fail("rotation channels must be all of X, Y and Z");
    j.firstChannel = hierarchy_.channelCount;
    hierarchy_.channelCount += static_cast<uint32_t>(n);
}

// "Frames: N" and "Frame Time: T" after MOTION.
void Reader::readMotionHeader(HeaderParse& p) {
    const std::vector<std::string_view>& w = p.w;
    if (!nextWords(p)) fail("missing 'Frames:' after MOTION");
    std::size_t at = 0;
    if (equalsNoCase(w[0], "Frames:")) at = 1;
    else if (equalsNoCase(w[0], "Frames") && w.size() > 1 && w[1] == ":") at = 2;
    else fail("expected 'Frames:', found '" + shown(w[0]) + "'");
    double frames = 0;
    if (w.size() != at + 1 || !parseNumber(w[at], frames) || frames < 0 || frames != std::floor(frames))
        fail("Frames: needs a whole number");
    if (frames > kMaxFrames) fail("Frames: " + shown(w[at]) + " is more than the 16,777,216 frames a clip holds");
    declaredFrames_ = static_cast<uint32_t>(frames);
    framesLine_ = source_->lineNumber();
    if (!nextWords(p)) fail("missing 'Frame Time:' after Frames:");
    at = 0;
    if (w.size() >= 2 && equalsNoCase(w[0], "Frame") && equalsNoCase(w[1], "Time:")) at = 2;
    else if (equalsNoCase(w[0], "FrameTime:")) at = 1;
    else fail("expected 'Frame Time:', found '" + shown(p.line) + "'");
    if (w.size() != at + 1 || !parseNumber(w[at], frameTime_) || !(frameTime_ > 0))
        fail("Frame Time must be a positive finite number of seconds");
    // A rate past 100,000 fps, or frames an hour or more apart, is no capture;
    // either would give key times or a rate no clip or scene holds.
    if (frameTime_ < 1e-5 || frameTime_ > 3600)
        fail("Frame Time " + shown(w[at]) + " is not from 0.00001 to 3600 seconds (100,000 frames a second to one an hour)");
}

uint64_t Reader::checkFrameLines() {
    readHeader();
    const auto here = source_->mark();
    uint64_t lines = 0;
    std::string_view line;
    while (source_->next(line)) {
        for (char c : line)
            if (!isBlank(c)) {
                ++lines;
                break;
            }
    }
    source_->reset(here);
    const uint64_t wanted = declaredFrames_ - framesRead_;
    if (lines < wanted)
        throw Error("line " + std::to_string(framesLine_) + ": Frames: declares " + std::to_string(declaredFrames_) +
                    " frames, but " + std::to_string(lines + framesRead_) + " frame lines follow");
    return lines - wanted;
}

std::string_view Reader::nextFrameLine() {
    std::string_view line;
    for (;;) {
        if (!source_->next(line)) {
            throw Error("line " + std::to_string(framesLine_) + ": Frames: declares " +
                        std::to_string(declaredFrames_) + " frames, but " + std::to_string(framesRead_) +
                        " frame lines follow");
        }
        std::size_t i = 0;
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i < line.size()) return line;
    }
}

bool Reader::skipFrame() {
    readHeader();
    if (framesRead_ >= declaredFrames_) return false;
    nextFrameLine();
    ++framesRead_;
    return true;
}

bool Reader::readFrame(double* values) {
    readHeader();
    if (framesRead_ >= declaredFrames_) return false;
    const std::string_view line = nextFrameLine();
    const uint32_t n = hierarchy_.channelCount;
    const char* p = line.data();
    const char* e = p + line.size();
    uint32_t count = 0;
    for (;;) {
        while (p != e && isBlank(*p)) ++p;
        if (p == e) break;
        const char* b = p;
        if (count < n) {
            // The usual plain decimal is read as it is found; anything else
            // goes to the general parser as a whole word.
            const char* end = scanPlainDecimal(b, e, values[count]);
            if (end && (end == e || isBlank(*end))) {
                p = end;
                ++count;
                continue;
            }
        }
        while (p != e && !isBlank(*p)) ++p;
        if (count < n) {
            if (!parseNumber(std::string_view(b, static_cast<std::size_t>(p - b)), values[count]))
                fail("frame " + std::to_string(framesRead_) + ": value '" + shown(std::string_view(b, static_cast<std::size_t>(p - b))) +
                     "' is not a finite number");
            if (std::fabs(values[count]) > kLargestValue)
                fail("frame " + std::to_string(framesRead_) + ": value '" + shown(std::string_view(b, static_cast<std::size_t>(p - b))) +
                     "' is beyond a float's range (±3.4e38)");
        }
        ++count;
    }
    if (count != n)
        fail("frame " + std::to_string(framesRead_) + " has " + std::to_string(count) + " values, expected " +
             std::to_string(n) + " (" + (count < n ? "too few" : "too many") + ")");
    ++framesRead_;
    return true;
}

Document readDocument(Reader& reader) {
    Document d;
    reader.readHeader();
    d.ignoredLines = reader.checkFrameLines();
    d.hierarchy = reader.hierarchy();
    d.frames = reader.declaredFrames();
    d.frameTime = reader.frameTime();
    // Grown frame by frame, so memory follows the values really parsed.
    const std::size_t n = d.hierarchy.channelCount;
    for (uint32_t f = 0; f < d.frames; ++f) {
        d.values.resize(d.values.size() + n);
        reader.readFrame(d.values.data() + d.values.size() - n);
    }
    return d;
}

Document readText(std::string_view text) {
    Reader r = Reader::fromText(text);
    return readDocument(r);
}

}  // namespace bvh
