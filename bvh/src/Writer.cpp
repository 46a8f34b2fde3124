#include "bvh/Writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace bvh {

namespace {

void checkName(const std::string& name, std::size_t index) {
    const std::string where = "joint " + std::to_string(index);
    if (name.empty()) throw Error(where + " has no name");
    if (name.size() > kMaxNameBytes) throw Error(where + ": name longer than 127 bytes");
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) throw Error(where + ": name holds a control character");
    if (name.front() == ' ' || name.back() == ' ') throw Error(where + ": name starts or ends with a space");
    if (name == "{" || (name.size() >= 2 && name.compare(name.size() - 2, 2, " {") == 0))
        throw Error(where + ": name ends in '{'");
}

}  // namespace

void appendNumber(std::string& out, double v, bool floatPrecision) {
    if (!std::isfinite(v) || (floatPrecision && !std::isfinite(static_cast<float>(v))))
        throw Error("a value to write is not a finite number");
    char buf[32];
    auto r = floatPrecision ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v)) : std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

std::string writeHeader(const Hierarchy& h, uint32_t frames, double frameTime, bool floatPrecision) {
    if (!std::isfinite(frameTime) || !(frameTime > 0)) throw Error("the frame time must be a positive finite number");
    if (h.joints.empty()) throw Error("a BVH file needs at least one joint");
    if (h.joints.size() > kMaxJoints) throw Error("more than 32,767 joints");
    std::string out = "HIERARCHY\n";
    // Joints come parent first, so one stack of open joints closes braces.
    std::vector<int32_t> open;
    uint32_t column = 0;
    // Tabs show depth up to a point: a chain of thousands of joints would
    // otherwise grow the text with the square of its length.
    constexpr std::size_t kMaxIndent = 64;
    auto indent = [&](std::size_t depth) { out.append(std::min(depth, kMaxIndent), '\t'); };
    for (std::size_t i = 0; i < h.joints.size(); ++i) {
        const Joint& j = h.joints[i];
        if (j.parent >= static_cast<int32_t>(i) || j.parent < -1)
            throw Error("joint " + std::to_string(i) + ": its parent does not come before it");
        while (!open.empty() && open.back() != j.parent) {
            open.pop_back();
            indent(open.size());
            out += "}\n";
        }
        if (j.parent >= 0 && open.empty()) throw Error("joint " + std::to_string(i) + ": its parent is already closed");
        if (j.parent >= 0 && h.joints[static_cast<std::size_t>(j.parent)].endSite)
            throw Error("joint " + std::to_string(i) + ": an End Site cannot hold joints");
        if (j.endSite && j.parent < 0) throw Error("joint " + std::to_string(i) + ": an End Site needs a parent");
        indent(open.size());
        if (j.endSite) {
            if (!j.name.empty()) checkName(j.name, i);
            out += j.name.empty() ? std::string("End Site\n") : "End Site " + j.name + "\n";
        } else {
            checkName(j.name, i);
            out += j.parent < 0 ? "ROOT " : "JOINT ";
            out += j.name;
            out += '\n';
        }
        indent(open.size());
        out += "{\n";
        indent(open.size() + 1);
        out += "OFFSET";
        for (double v : j.offset) {
            out += ' ';
            appendNumber(out, v, floatPrecision);
        }
        out += '\n';
        if (!j.channels.empty()) {
            unsigned seen = 0;
            for (Channel c : j.channels) seen |= 1u << static_cast<int>(c);
            const bool ok = (j.channels.size() == 3 || j.channels.size() == 6) && !j.endSite &&
                            ((seen & 7u) == 0 || (seen & 7u) == 7u) && ((seen & 56u) == 0 || (seen & 56u) == 56u) &&
                            (seen & 7u ? 3 : 0) + (seen & 56u ? 3 : 0) == static_cast<int>(j.channels.size());
            if (!ok) throw Error("joint " + std::to_string(i) + ": channels must be 3 or 6 distinct ones, all axes of each kind");
            if (j.firstChannel != column) throw Error("joint " + std::to_string(i) + ": channels out of column order");
            column += static_cast<uint32_t>(j.channels.size());
            indent(open.size() + 1);
            out += "CHANNELS " + std::to_string(j.channels.size());
            for (Channel c : j.channels) {
                out += ' ';
                out += channelName(c);
            }
            out += '\n';
        }
        open.push_back(static_cast<int32_t>(i));
    }
    while (!open.empty()) {
        open.pop_back();
        indent(open.size());
        out += "}\n";
    }
    if (column != h.channelCount) throw Error("the channel count does not match the joints' channels");
    out += "MOTION\nFrames: " + std::to_string(frames) + "\nFrame Time: ";
    appendNumber(out, frameTime);
    out += '\n';
    return out;
}

void appendFrame(std::string& out, const double* values, std::size_t n, bool floatPrecision) {
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ' ';
        appendNumber(out, values[i], floatPrecision);
    }
    out += '\n';
}

void appendFrame(std::string& out, const double* values, std::size_t n, std::size_t floatValues) {
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ' ';
        appendNumber(out, values[i], i < floatValues);
    }
    out += '\n';
}

std::string writeDocument(const Document& d) {
    std::string out = writeHeader(d.hierarchy, d.frames, d.frameTime);
    const std::size_t n = d.hierarchy.channelCount;
    if (d.values.size() != std::size_t(d.frames) * n) throw Error("the values do not fill the frames");
    for (uint32_t f = 0; f < d.frames; ++f) appendFrame(out, d.frame(f), n);
    return out;
}

}  // namespace bvh
