// Reads the JSON form for `qmf pack` with the JSON library's event (SAX)
// interface straight into plain values: memory stays a small multiple of the
// input and nesting depth is bounded, whatever the document holds.
#include "clips/PackJson.h"

#include "clips/Clip.h"
#include "PackJsonSchema.h"

#include <kell_authoring.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qmf {

namespace {

using namespace packjson;

class Handler : public nlohmann::json_sax<Json> {
public:
    explicit Handler(PackedClip& clip) : clip_(clip) {}

    bool null() override { return scalar(Want::ObjectOrNull, [&](const Target& t) { *t.b = false; }); }
    bool boolean(bool v) override { return scalar(Want::Bool, [&](const Target& t) { *t.b = v; }); }
    bool number_integer(number_integer_t v) override { return integer(v); }
    bool number_unsigned(number_unsigned_t v) override {
        return integer(v > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v));
    }
    bool number_float(number_float_t v, const string_t&) override {
        return scalar(Want::Float, [&](const Target& t) {
            if (std::isfinite(v) && std::fabs(v) > kFloatMax) fail(here(), "is out of range for a float");
            *t.f = static_cast<float>(v);
        });
    }
    bool string(string_t& v) override {
        Target t = advance();
        switch (t.want) {
        case Want::Skip: return true;
        case Want::Float:
            if (!specialFloat(v, *t.f)) typeError(t.want);
            return true;
        case Want::Name:
            if (v.find('\0') != std::string::npos)
                fail(here(), "holds a NUL character (\\u0000), which a name cannot hold");
            if (v.size() > t.maxName || (v.empty() && !t.emptyName))
                fail(here(), t.emptyName ? "must be at most " + std::to_string(t.maxName) + " bytes"
                                         : "must be 1 to " + std::to_string(t.maxName) + " bytes");
            *t.s = std::move(v);
            return true;
        case Want::Kind:
            if (v != "sphere" && v != "bone") fail(here(), "must be \"sphere\" or \"bone\"");
            clip_.skeletons.back().joints.back().primitives.back().bone = v == "bone";
            return true;
        default: typeError(t.want);
        }
    }
    bool binary(binary_t&) override { return true; }  // never produced by JSON text

    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& k) override {
        Frame& f = stack_.back();
        f.member = -1;
        f.key = k.size() > 64 ? k.substr(0, 64) + "..." : k;
        Members m = membersOf(f.ctx);
        for (int i = 0; i < m.count; ++i) {
            if (k != m.names[i]) continue;
            if (f.seen & (1u << i)) fail(pathOf(stack_.size() - 1), "has \"" + k + "\" twice");
            f.seen |= 1u << i;
            f.member = i;
            return true;
        }
        if (f.ctx == Ctx::Channels) fail(here(), "is not a channel (1, 2 or 3)");
        return true;
    }

    bool parse_error(std::size_t, const std::string& token, const nlohmann::detail::exception& e) override {
        // The value that failed is the next one of an array.
        if (!stack_.empty() && stack_.back().array) ++stack_.back().count;
        std::string where = stack_.empty() ? "" : " at " + pathOf(stack_.size());
        if (e.id == 406)  // a number beyond double range, such as 1e400
            fail(stack_.empty() ? "the document" : pathOf(stack_.size()),
                 "is out of range: " + (token.size() > 40 ? token.substr(0, 40) + "..." : token));
        std::string what = e.what();
        std::size_t p = what.find("parse error");
        what = p == std::string::npos ? what : what.substr(p);
        if (what.size() > 200) what = what.substr(0, 200) + "...";
        throw ClipError("bad JSON" + where + ": " + what);
    }

private:
    [[noreturn]] static void fail(const std::string& where, const std::string& what) { throw ClipError(where + " " + what); }

    // Path of the position held by the first `levels` frames.
    std::string pathOf(std::size_t levels) const {
        std::string p;
        for (std::size_t i = 0; i < levels; ++i) {
            const Frame& f = stack_[i];
            if (f.array) {
                if (f.count) p += "[" + std::to_string(f.count - 1) + "]";
            } else {
                if (!p.empty()) p += ".";
                p += f.key;
            }
        }
        return p.empty() ? "the document" : p;
    }
    std::string here() const { return pathOf(stack_.size()); }

    [[noreturn]] void typeError(Want w) const {
        switch (w) {
        case Want::Float: fail(here(), "must be a number (or \"inf\", \"-inf\", \"nan\")");
        case Want::Int:
        case Want::Frame: fail(here(), "must be an integer");
        case Want::Name:
        case Want::Kind: fail(here(), "must be a string");
        case Want::Bool: fail(here(), "must be true or false");
        case Want::Object: fail(here(), "must be an object");
        case Want::ObjectOrNull: fail(here(), "must be an object or null");
        default: fail(here(), "must be an array");
        }
    }

    template <typename Store>
    bool scalar(Want kind, Store store) {
        Target t = advance();
        if (t.want == Want::Skip) return true;
        if (t.want != kind) typeError(t.want);
        store(t);
        return true;
    }

    bool integer(int64_t v) {
        Target t = advance();
        switch (t.want) {
        case Want::Skip: return true;
        case Want::Float: *t.f = static_cast<float>(v); return true;
        case Want::Int: *t.i = v; return true;
        case Want::Frame: *t.frame = v >= 0 && v < KELL_MAX_FRAMES ? static_cast<int32_t>(v) : -1; return true;
        default: typeError(t.want);
        }
    }

    template <typename T>
    T& grow(std::vector<T>& v, std::size_t limit, const char* what) {
        if (v.size() >= limit) fail(pathOf(stack_.size() - 2), "has more than " + std::to_string(limit) + " " + what);
        return v.emplace_back();
    }

    // What belongs at the current member of an object of a skeleton.
    void skeletonMember(const Frame& f, Target& t) {
        switch (f.ctx) {
        case Ctx::Skeleton: {
            PackedSkeleton& s = clip_.skeletons.back();
            if (f.member == 0 || f.member == 2)
                t.want = Want::Name, t.s = f.member == 0 ? &s.name : &s.completedName, t.maxName = KELL_MAX_SKELETON_NAME,
                t.emptyName = true;
            else if (f.member == 1) t.want = Want::Bool, t.b = &s.completed;
            else if (f.member == 3) t.want = Want::Array, t.child = Ctx::Joints;
            break;
        }
        case Ctx::Joints: t.want = Want::Object, t.child = Ctx::Joint; break;
        case Ctx::Joint: {
            PackedJoint& j = clip_.skeletons.back().joints.back();
            if (f.member == 0) t.want = Want::Name, t.s = &j.name, t.maxName = KELL_MAX_JOINT_NAME;
            else if (f.member == 1) t.want = Want::Int, t.i = &j.parent;
            else if (f.member == 2) t.want = Want::Bool, t.b = &j.root;
            else if (f.member == 3) items(t, nullptr, {&j.offset.x, &j.offset.y, &j.offset.z});
            else if (f.member == 4)
                items(t, nullptr, {&j.orientation.f0, &j.orientation.f1, &j.orientation.f2, &j.orientation.f3});
            else if (f.member == 5) t.want = Want::ObjectOrNull, t.child = Ctx::Body, t.b = &j.hasBody;
            break;
        }
        case Ctx::Body: {
            PackedJoint& j = clip_.skeletons.back().joints.back();
            if (f.member == 0) t.want = Want::Array, t.child = Ctx::Primitives;
            else if (f.member == 1) t.want = Want::ObjectOrNull, t.child = Ctx::Bounds, t.b = &j.hasBounds;
            break;
        }
        case Ctx::Primitives: t.want = Want::Object, t.child = Ctx::Primitive; break;
        case Ctx::Primitive: {
            PackedPrimitive& p = clip_.skeletons.back().joints.back().primitives.back();
            if (f.member == 0) t.want = Want::Kind;
            else if (f.member == 1) t.want = Want::Float, t.f = &radius_;
            else if (f.member == 2) t.want = Want::Float, t.f = &length_;
            else if (f.member == 3) items(t, nullptr, {&p.direction.x, &p.direction.y, &p.direction.z});
            break;
        }
        case Ctx::Bounds: {
            PackedJoint& j = clip_.skeletons.back().joints.back();
            coord3& c = f.member == 0 ? j.boundsMin : j.boundsMax;
            if (f.member >= 0) items(t, nullptr, {&c.x, &c.y, &c.z});
            break;
        }
        default: break;
        }
    }

    // Moves to the next position of the innermost container and says what
    // belongs there.
    Target advance() {
        Target t;
        if (stack_.empty()) {
            if (done_) return t;
            t.want = Want::Object;
            t.child = Ctx::Root;
            return t;
        }
        Frame& f = stack_.back();
        if (f.array) ++f.count;
        const std::size_t index = f.count - 1;
        switch (f.ctx) {
        case Ctx::Root:
            if (f.member == 0) t.want = Want::Float, t.f = &clip_.frameRate;
            else if (f.member == 1) t.want = Want::Int, t.i = &frameCount_;
            else if (f.member >= 2) t.want = Want::Array, t.child = f.member == 2 ? Ctx::Skeletons : Ctx::Figures;
            break;
        case Ctx::Skeletons: t.want = Want::Object, t.child = Ctx::Skeleton; break;
        case Ctx::Skeleton:
        case Ctx::Joints:
        case Ctx::Joint:
        case Ctx::Body:
        case Ctx::Primitives:
        case Ctx::Primitive:
        case Ctx::Bounds: skeletonMember(f, t); break;
        case Ctx::Figures: t.want = Want::Object, t.child = Ctx::Figure; break;
        case Ctx::Figure:
            if (f.member == 0) t.want = Want::Int, t.i = &clip_.figures.back().skeleton;
            else if (f.member == 1) t.want = Want::Object, t.child = Ctx::Channels;
            else if (f.member == 2) t.want = Want::Array, t.child = Ctx::Orientations;
            break;
        case Ctx::Channels:
            if (f.member >= 0) t.want = Want::Array, t.child = Ctx::ChannelKeys;
            break;
        case Ctx::ChannelKeys: t.want = Want::Items, t.child = Ctx::ChannelKeys; break;
        case Ctx::Orientations: t.want = Want::Object, t.child = Ctx::Orientation; break;
        case Ctx::Orientation:
            if (f.member == 0) t.want = Want::Int, t.i = &clip_.figures.back().orientations.back().joint;
            else if (f.member == 1) t.want = Want::Array, t.child = Ctx::OrientationKeys;
            break;
        case Ctx::OrientationKeys: t.want = Want::Items, t.child = Ctx::OrientationKeys; break;
        case Ctx::Items:
            if (index >= f.want) fail(pathOf(stack_.size() - 1), "must have " + std::to_string(f.want) + " items");
            if (f.frameDst && index == 0) t.want = Want::Frame, t.frame = f.frameDst;
            else t.want = Want::Float, t.f = f.dst[index - (f.frameDst ? 1 : 0)];
            break;
        case Ctx::Skip: break;
        }
        return t;
    }

    void items(Target& t, int32_t* frame, std::initializer_list<float*> dst) {
        t.want = Want::Items;
        t.child = Ctx::Items;
        pendingFrame_ = frame;
        pendingCount_ = 0;
        for (float* d : dst) pendingDst_[pendingCount_++] = d;
    }

    bool open(bool array) {
        Target t = advance();
        if (stack_.size() >= kPackMaxDepth) fail(here(), "is nested more than " + std::to_string(kPackMaxDepth) + " levels deep");
        if (stack_.empty() && done_) return true;
        Frame f;
        f.ctx = t.child;
        f.array = array;
        switch (t.want) {
        case Want::Skip: f.ctx = Ctx::Skip; break;
        case Want::Object:
        case Want::ObjectOrNull:
            if (array) typeError(t.want);
            if (t.b) *t.b = true;
            break;
        case Want::Array:
            if (!array) typeError(t.want);
            break;
        case Want::Items:
            if (!array) typeError(Want::Array);
            if (t.child == Ctx::ChannelKeys || t.child == Ctx::OrientationKeys) {
                // One key: [frame, value] or [frame, f0, f1, f2, f3].
                if (t.child == Ctx::ChannelKeys) {
                    auto& keys = clip_.figures.back().channels[stack_.back().channel - 1];
                    PackedValueKey& k = keys.emplace_back(PackedValueKey{-1, 0});
                    f.frameDst = &k.frame, f.dst[0] = &k.value, f.want = 2;
                } else {
                    auto& keys = clip_.figures.back().orientations.back().keys;
                    PackedOrientationKey& k = keys.emplace_back(PackedOrientationKey{-1, {}});
                    f.frameDst = &k.frame, f.want = 5;
                    f.dst[0] = &k.q.f0, f.dst[1] = &k.q.f1, f.dst[2] = &k.q.f2, f.dst[3] = &k.q.f3;
                }
            } else {
                f.frameDst = pendingFrame_;
                for (std::size_t i = 0; i < pendingCount_; ++i) f.dst[i] = pendingDst_[i];
                f.want = pendingCount_;
            }
            f.ctx = Ctx::Items;
            break;
        default: typeError(t.want);
        }
        if (!stack_.empty() && stack_.back().ctx == Ctx::Channels) f.channel = stack_.back().member + 1;
        stack_.push_back(std::move(f));
        // The element itself, now that its path exists for messages.
        switch (stack_.back().ctx) {
        case Ctx::Skeleton: grow(clip_.skeletons, KELL_MAX_FIGURES, "skeletons"); break;
        case Ctx::Joint: grow(clip_.skeletons.back().joints, KELL_MAX_JOINTS, "joints"); break;
        case Ctx::Primitive: {
            grow(clip_.skeletons.back().joints.back().primitives, KELL_MAX_PRIMITIVES, "primitives");
            radius_ = length_ = NAN;
            break;
        }
        case Ctx::Figure: grow(clip_.figures, KELL_MAX_FIGURES, "figures"); break;
        case Ctx::Orientation: clip_.figures.back().orientations.emplace_back(); break;
        default: break;
        }
        return true;
    }

    bool close() {
        Frame& f = stack_.back();
        const std::string self = pathOf(stack_.size() - 1);
        Members m = membersOf(f.ctx);
        for (int i = 0; i < m.count; ++i)
            if ((m.need & (1u << i)) && !(f.seen & (1u << i))) fail(self, std::string("has no \"") + m.names[i] + "\"");
        switch (f.ctx) {
        case Ctx::Items:
            if (f.count != f.want) fail(self, "must have " + std::to_string(f.want) + " items");
            break;
        case Ctx::Skeleton:
            // The name given when it was completed is part of what it says.
            if (clip_.skeletons.back().completed && !(f.seen & (1u << 2)))
                fail(self, "is completed but has no \"completedName\"");
            break;
        case Ctx::Root:
            if (frameCount_ < 0 || frameCount_ > KELL_MAX_FRAMES)
                fail("frameCount", "must be from 0 to " + std::to_string(KELL_MAX_FRAMES));
            clip_.frameCount = static_cast<int32_t>(frameCount_);
            done_ = true;
            break;
        case Ctx::Primitive: {
            PackedPrimitive& p = clip_.skeletons.back().joints.back().primitives.back();
            bool hasRadius = f.seen & 2u, hasLength = f.seen & 4u, hasDirection = f.seen & 8u;
            if (!p.bone && !hasRadius) fail(self, "has no \"radius\"");
            if (p.bone && !hasLength) fail(self, "has no \"length\"");
            if (p.bone && !hasDirection) fail(self, "has no \"direction\"");
            p.size = p.bone ? length_ : radius_;
            break;
        }
        // Keys arrays are the bulk of a clip: give back what growth reserved.
        case Ctx::ChannelKeys: clip_.figures.back().channels[f.channel - 1].shrink_to_fit(); break;
        case Ctx::OrientationKeys: clip_.figures.back().orientations.back().keys.shrink_to_fit(); break;
        case Ctx::Joints: clip_.skeletons.back().joints.shrink_to_fit(); break;
        default: break;
        }
        stack_.pop_back();
        return true;
    }

    PackedClip& clip_;
    std::vector<Frame> stack_;
    int64_t frameCount_ = 0;
    bool done_ = false;
    float radius_ = NAN, length_ = NAN;
    int32_t* pendingFrame_ = nullptr;
    float* pendingDst_[4] = {};
    std::size_t pendingCount_ = 0;
};

}  // namespace

PackedClip parsePackJson(std::string_view text) {
    // The parser takes a NUL byte for the end of the text; JSON has no place
    // for one, and what follows it would go unread.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        throw ClipError("bad JSON: a NUL byte at byte " + std::to_string(nul) + " (JSON has none outside \\u0000)");
    PackedClip clip;
    Handler handler(clip);
    if (!Json::sax_parse(text.begin(), text.end(), &handler)) throw ClipError("bad JSON: the document ended early");
    return clip;
}

}  // namespace qmf
