// A take of an assimp scene on a grid of frames: its keys' own grid when
// they sit on one, else sampled at a rate (orientations by slerp,
// translations linearly), every joint's local rotation and the root's
// world position per frame.
#include "SceneParts.h"

#include "formats/Model.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cstdio>

namespace qmf::formats::assimp {

namespace {

// Rates a take is most likely meant at, for key times rounded by the file.
constexpr double kRates[] = {8, 10, 12, 15, 23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60, 72, 90, 100, 120, 144, 240};

struct Grid {
    double first = 0, step = 1;  // ticks
    double rate = 30;            // frames per second
    uint32_t frames = 0;
    bool ownGrid = false;
};

std::string number(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.6g", v);
    return t;
}

std::string takeName(const aiAnimation& a, std::size_t index) {
    const std::string name = a.mName.C_Str();
    return name.empty() ? "take " + std::to_string(index + 1) : name;
}

double ticksPerSecond(const aiAnimation& a, double fileRate) {
    if (a.mTicksPerSecond > 0 && std::isfinite(a.mTicksPerSecond)) return a.mTicksPerSecond;
    return fileRate > 0 ? fileRate : 25;  // the library's own default
}

// Every key time of the channels that drive joints. Channels mostly share
// their times: a list of times seen already is not added again.
std::vector<double> keyTimes(const aiAnimation& a, const Picked& p) {
    std::vector<double> t;
    std::vector<std::vector<double>> seen;
    const auto add = [&](const auto* keys, unsigned n) {
        if (!keys || n == 0) return;
        for (const auto& s : seen) {
            if (s.size() != n) continue;
            unsigned k = 0;
            while (k < n && s[k] == keys[k].mTime) ++k;
            if (k == n) return;
        }
        if (seen.size() < 8) {
            seen.emplace_back(n);
            for (unsigned k = 0; k < n; ++k) seen.back()[k] = keys[k].mTime;
        }
        for (unsigned k = 0; k < n; ++k) t.push_back(keys[k].mTime);
    };
    for (unsigned c = 0; c < a.mNumChannels; ++c) {
        const aiNodeAnim* ch = a.mChannels[c];
        if (!ch || !p.jointOf.count(ch->mNodeName.C_Str())) continue;
        add(ch->mRotationKeys, ch->mNumRotationKeys);
        add(ch->mPositionKeys, ch->mNumPositionKeys);
        add(ch->mScalingKeys, ch->mNumScalingKeys);
    }
    t.erase(std::remove_if(t.begin(), t.end(), [](double v) { return !std::isfinite(v); }), t.end());
    std::sort(t.begin(), t.end());
    t.erase(std::unique(t.begin(), t.end()), t.end());
    return t;
}

Grid gridOf(const aiAnimation& a, const Picked& p, const SceneOptions& o, double fileRate, std::size_t joints,
            const std::string& name) {
    Grid g;
    const std::vector<double> t = keyTimes(a, p);
    if (t.empty()) return g;
    const double tps = ticksPerSecond(a, fileRate);
    const uint64_t most = o.maxValues / std::max<std::size_t>(joints, 1);
    g.first = t.front();
    const double span = t.back() - t.front();
    g.rate = o.rate > 0 ? o.rate : fileRate > 0 ? fileRate : 30;
    if (span == 0) {
        g.frames = 1;
        return g;
    }
    if (o.rate <= 0) {
        // A key on every frame (the usual case), else the usual gap between
        // keys: times in float seconds make any one gap a poor measure on a
        // long take. Then every key must sit on the grid within a thousandth
        // of a step, or within a float's rounding of its time.
        std::vector<double> gaps(t.size() - 1);
        for (std::size_t i = 1; i < t.size(); ++i) gaps[i - 1] = t[i] - t[i - 1];
        std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
        for (const double steps : {static_cast<double>(t.size() - 1), std::round(span / gaps[gaps.size() / 2])}) {
            if (!(steps >= 1 && steps < static_cast<double>(most))) continue;
            const double step = span / steps;
            bool on = true;
            double previous = -1;
            for (double v : t) {
                const double k = (v - g.first) / step;
                const double slack = std::max(1e-3, 4 * std::ldexp(std::fabs(v) + std::fabs(g.first), -24) / step);
                // On the grid, and not on the frame of the key before.
                if (!(std::fabs(k - std::round(k)) <= std::min(slack, 0.25)) || !(std::round(k) > previous)) {
                    on = false;
                    break;
                }
                previous = std::round(k);
            }
            if (on) {
                g.ownGrid = true;
                g.step = step;
                g.rate = tps / step;
                for (double r : kRates)
                    if (std::fabs(g.rate - r) <= 2e-4 * r) g.rate = r;
                g.frames = static_cast<uint32_t>(steps) + 1;
                return g;
            }
        }
    }
    g.step = tps / g.rate;
    const double frames = std::ceil(span / g.step - 1e-6) + 1;
    // A step no number of ticks can make (a rate of almost nothing) is refused with the rest.
    if (!(frames <= static_cast<double>(most)) || !(g.step > 0) || !std::isfinite(g.step))
        throw ImportedError{"take '" + name + "' lasts " + number(span / tps) + " s, " + number(frames) + " frames at " +
                            number(g.rate) + " fps: more than qmf reads (--rate sets fewer)"};
    g.frames = static_cast<uint32_t>(frames);
    return g;
}

// Values of one kind of key at rising times, read with a cursor.
template <class Key, class Value, class Mix>
class Track {
public:
    // Keys out of order are sorted, and keys at no finite time left out, in a copy.
    Track(const Key* keys, unsigned count, double near, Mix mix) : keys_(keys), n_(count), near_(near), mix_(mix) {
        for (unsigned k = 0; k < n_; ++k)
            if (!std::isfinite(keys_[k].mTime) || (k > 0 && !(keys_[k].mTime > keys_[k - 1].mTime))) {
                for (unsigned i = 0; i < n_; ++i)
                    if (std::isfinite(keys_[i].mTime)) sorted_.push_back(keys_[i]);
                std::stable_sort(sorted_.begin(), sorted_.end(), [](const Key& a, const Key& b) { return a.mTime < b.mTime; });
                keys_ = sorted_.data();
                n_ = static_cast<unsigned>(sorted_.size());
                break;
            }
    }
    bool empty() const { return n_ == 0; }
    // On a take's own grid, a channel keyed on every frame holds frame f's
    // value in its key f: no search.
    void onGrid(uint32_t frames) { direct_ = n_ == frames && sorted_.empty(); }
    Value atFrame(uint32_t f, double t) { return direct_ ? keys_[f].mValue : at(t); }
    // The value at t: the first key's before it (and for a time that is not
    // a number), the last key's after it, else between the two around t.
    Value at(double t) {
        if (!(t > keys_[0].mTime + near_)) return keys_[0].mValue;
        if (t >= keys_[n_ - 1].mTime - near_) return keys_[n_ - 1].mValue;
        while (at_ + 1 < n_ && keys_[at_ + 1].mTime <= t) ++at_;
        if (at_ + 1 >= n_) return keys_[n_ - 1].mValue;
        const Key& a = keys_[at_];
        const Key& b = keys_[at_ + 1];
        if (t - a.mTime <= near_) return a.mValue;
        if (b.mTime - t <= near_) return b.mValue;
        return mix_(a.mValue, b.mValue, (t - a.mTime) / (b.mTime - a.mTime));
    }

private:
    const Key* keys_;
    unsigned n_;
    double near_;
    Mix mix_;
    std::vector<Key> sorted_;
    unsigned at_ = 0;
    bool direct_ = false;
};

Quat quatOf(const aiQuaternion& q) { return normalized({q.w, q.x, q.y, q.z}); }
Vec vecOf(const aiVector3D& v) { return {v.x, v.y, v.z}; }
const auto kSlerp = [](const aiQuaternion& a, const aiQuaternion& b, double t) {
    const Quat q = slerp(quatOf(a), quatOf(b), t);
    return aiQuaternion(static_cast<float>(q.w), static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z));
};
const auto kLerp = [](const aiVector3D& a, const aiVector3D& b, double t) {
    return aiVector3D(static_cast<float>(a.x + (b.x - a.x) * t), static_cast<float>(a.y + (b.y - a.y) * t),
                      static_cast<float>(a.z + (b.z - a.z) * t));
};

bool near(const Vec& a, const Vec& b, double tolerance) {
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(a[static_cast<std::size_t>(i)] - b[static_cast<std::size_t>(i)]) <= tolerance)) return false;
    return true;
}

// The take asked for by name, by its number as info lists it, or by the
// part of its name after '|' (Blender names takes "Armature|Walk").
int chooseTake(const std::vector<Take>& takes, const std::string& asked) {
    if (asked.empty()) {
        for (std::size_t i = 0; i < takes.size(); ++i)
            if (takes[i].frames > 0) return static_cast<int>(i);
        return takes.empty() ? -1 : 0;
    }
    for (std::size_t i = 0; i < takes.size(); ++i)
        if (takes[i].name == asked) return static_cast<int>(i);
    if (asked.find_first_not_of("0123456789") == std::string::npos && asked.size() < 9) {
        const long k = std::stol(asked);
        if (k >= 1 && k <= static_cast<long>(takes.size())) return static_cast<int>(k - 1);
    }
    int found = -1;
    for (std::size_t i = 0; i < takes.size(); ++i) {
        const std::size_t bar = takes[i].name.rfind('|');
        if (bar != std::string::npos && takes[i].name.substr(bar + 1) == asked) {
            if (found >= 0) found = -2;
            else found = static_cast<int>(i);
        }
    }
    if (found >= 0) return found;
    std::vector<std::string> listed;
    for (std::size_t i = 0; i < takes.size(); ++i) listed.push_back(std::to_string(i + 1) + " " + takes[i].name);
    throw ImportedError{takes.empty() ? "--take " + asked + ": the file holds no takes"
                                      : "--take " + asked + ": no such take; the file holds " + nameList(listed, 12)};
}

// FBX's FrameRate: an enumeration, or 14 with the rate in CustomFrameRate. 0: none stated.
double statedRate(const aiScene& scene) {
    static const double kFbxRates[] = {0, 120, 100, 60, 50, 48, 30, 30, 29.97, 29.97, 25, 24, 1000, 23.976, -1, 96, 72, 59.94};
    const double code = metaNumber(scene, "FrameRate", -1);
    if (code >= 0 && code < 18 && code == std::floor(code)) {
        const double r = kFbxRates[static_cast<std::size_t>(code)];
        if (r > 0) return r;
        if (r < 0) {
            const double custom = metaNumber(scene, "CustomFrameRate", 0);
            if (custom > 0 && custom <= 1e6) return custom;
        }
    }
    return 0;
}

[[noreturn]] void notFinite(const Imported& out, const aiAnimation& anim, std::size_t joint) {
    throw ImportedError{"take '" + std::string(anim.mName.C_Str()) + "' turns or moves " + out.joints[joint].name +
                        " by a value that is not a finite number"};
}

}  // namespace

namespace {

using RotTrack = Track<aiQuatKey, aiQuaternion, decltype(kSlerp)>;
using VecTrack = Track<aiVectorKey, aiVector3D, decltype(kLerp)>;

struct Tracks {
    std::vector<std::unique_ptr<RotTrack>> rot;
    std::vector<std::unique_ptr<VecTrack>> pos, scl;
};

// Each joint's channels of the take; animated nodes above the skeleton are named.
Tracks tracksOf(const aiAnimation& anim, const Picked& p, const Grid& g, Imported& out) {
    const std::size_t n = out.joints.size();
    Tracks k{std::vector<std::unique_ptr<RotTrack>>(n), std::vector<std::unique_ptr<VecTrack>>(n),
             std::vector<std::unique_ptr<VecTrack>>(n)};
    std::vector<std::string> aboveAnimated;
    // A key this close to a frame is that frame's value: keys on their own
    // grid may be off it by a float's rounding of their time.
    const double last = g.first + (g.frames - 1) * g.step;
    const double nearTicks =
        g.ownGrid ? std::min(0.25 * g.step, std::max(1e-3 * g.step, 4 * std::ldexp(std::fabs(g.first) + std::fabs(last), -24)))
                  : g.step * 1e-3;
    for (unsigned c = 0; c < anim.mNumChannels; ++c) {
        const aiNodeAnim* ch = anim.mChannels[c];
        if (!ch) continue;
        const auto it = p.jointOf.find(ch->mNodeName.C_Str());
        if (it == p.jointOf.end()) {
            if (p.above.count(ch->mNodeName.C_Str())) aboveAnimated.push_back(ch->mNodeName.C_Str());
            continue;
        }
        const auto j = static_cast<std::size_t>(it->second);
        if (ch->mNumRotationKeys && ch->mRotationKeys)
            k.rot[j] = std::make_unique<RotTrack>(ch->mRotationKeys, ch->mNumRotationKeys, nearTicks, kSlerp);
        if (ch->mNumPositionKeys && ch->mPositionKeys)
            k.pos[j] = std::make_unique<VecTrack>(ch->mPositionKeys, ch->mNumPositionKeys, nearTicks, kLerp);
        if (ch->mNumScalingKeys && ch->mScalingKeys)
            k.scl[j] = std::make_unique<VecTrack>(ch->mScalingKeys, ch->mNumScalingKeys, nearTicks, kLerp);
        for (auto* track : {&k.pos[j], &k.scl[j]})
            if (*track && (*track)->empty()) track->reset();
        if (k.rot[j] && k.rot[j]->empty()) k.rot[j].reset();
        if (g.ownGrid) {
            if (k.rot[j]) k.rot[j]->onGrid(g.frames);
            if (k.pos[j]) k.pos[j]->onGrid(g.frames);
            if (k.scl[j]) k.scl[j]->onGrid(g.frames);
        }
        out.joints[j].keyed = k.rot[j] != nullptr;
    }
    if (!aboveAnimated.empty())
        out.warnings.push_back("nodes above the skeleton are animated and not read: " + nameList(aboveAnimated));
    return k;
}

// Every frame: each joint's local rotation (the root's with the world above)
// and the root's world position; what a clip cannot hold named once.
void sampleTake(const aiAnimation& anim, const Grid& g, Tracks& k, const Picked& p, Imported& out) {
    const std::size_t n = out.joints.size();
    out.rotations.resize(std::size_t(g.frames) * n * 4);
    out.rootPosition.resize(std::size_t(g.frames) * 3);
    float* rotation = out.rotations.data();
    float* rootAt = out.rootPosition.data();
    std::vector<char> moves(n, 0), scales(n, 0);
    for (uint32_t f = 0; f < g.frames; ++f) {
        const double t = g.first + f * g.step;
        for (std::size_t j = 0; j < n; ++j) {
            Quat r = k.rot[j] ? quatOf(k.rot[j]->atFrame(f, t)) : p.restR[j];
            if (j == 0) r = normalized(p.aboveRotation * r);
            *rotation++ = static_cast<float>(r.x);
            *rotation++ = static_cast<float>(r.y);
            *rotation++ = static_cast<float>(r.z);
            *rotation++ = static_cast<float>(r.w);
            const Vec& rt = p.restT[j];
            if (k.pos[j] && j != 0 && !moves[j])
                moves[j] = !near(vecOf(k.pos[j]->atFrame(f, t)), rt, 1e-4 * (1 + std::fabs(rt[0]) + std::fabs(rt[1]) + std::fabs(rt[2])));
            if (k.scl[j] && !scales[j])
                scales[j] = !near(vecOf(k.scl[j]->atFrame(f, t)), p.restS[j], 1e-4 * (1 + std::fabs(p.restS[j][0])));
        }
        const Vec root = k.pos[0] ? vecOf(k.pos[0]->atFrame(f, t)) : p.restT[0];
        const Vec at = rotate(p.aboveRotation, {root[0] * p.aboveScale, root[1] * p.aboveScale, root[2] * p.aboveScale});
        for (std::size_t a = 0; a < 3; ++a) {
            const double v = (p.aboveTranslation[a] + at[a]) * p.toCm;
            if (!std::isfinite(static_cast<float>(v))) notFinite(out, anim, 0);
            *rootAt++ = static_cast<float>(v);
        }
    }
    std::vector<std::string> moved, scaled;
    for (std::size_t j = 0; j < n; ++j) {
        if (moves[j]) moved.push_back(out.joints[j].name);
        if (scales[j]) scaled.push_back(out.joints[j].name);
    }
    if (!moved.empty())
        out.warnings.push_back("a clip moves only its root; the position keys of " + nameList(moved) + " are not read (--root " +
                               moved.front() + " keeps its motion)");
    if (!scaled.empty()) out.warnings.push_back("a clip does not scale joints; the scale keys of " + nameList(scaled) + " are not read");
}

}  // namespace

void readTake(const aiScene& scene, const SceneOptions& o, const Picked& p, Imported& out) {
    const std::size_t n = out.joints.size();
    const double fileRate = statedRate(scene);
    std::vector<Grid> grids;
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation* anim = scene.mAnimations[a];
        Take t;
        t.name = anim ? takeName(*anim, a) : "take " + std::to_string(a + 1);
        Grid g;
        if (anim) g = gridOf(*anim, p, o, fileRate, n, t.name);
        t.frames = g.frames;
        t.rate = g.rate;
        t.seconds = anim && g.frames ? (g.frames - 1) / g.rate : 0;
        out.takes.push_back(t);
        grids.push_back(g);
    }
    out.take = chooseTake(out.takes, o.take);
    for (std::size_t j = 0; j < n; ++j) out.joints[j].keyed = 0;
    if (o.listOnly) return;
    if (out.take < 0 || out.takes[static_cast<std::size_t>(out.take)].frames == 0) {
        // A rest pose only: one frame of it.
        out.frames = 1;
        out.frameTime = 1.0 / (fileRate > 0 ? fileRate : 30);
        for (std::size_t j = 0; j < n; ++j) {
            const Quat r = j == 0 ? normalized(p.aboveRotation * p.restR[0]) : p.restR[j];
            out.rotations.insert(out.rotations.end(), {float(r.x), float(r.y), float(r.z), float(r.w)});
        }
        for (double v : out.joints[0].offset) out.rootPosition.push_back(static_cast<float>(v));
        if (out.take >= 0)
            out.warnings.push_back("take '" + out.takes[static_cast<std::size_t>(out.take)].name + "' has no keys; the rest pose is read");
        return;
    }
    const aiAnimation& anim = *scene.mAnimations[out.take];
    const Grid& g = grids[static_cast<std::size_t>(out.take)];
    out.frames = g.frames;
    out.frameTime = 1.0 / g.rate;
    if (!g.ownGrid) out.notes.push_back("keys sampled at " + number(g.rate) + " fps");
    Tracks k = tracksOf(anim, p, g, out);
    sampleTake(anim, g, k, p, out);
}

Imported fromScene(const aiScene& scene, const SceneOptions& options) {
    Imported out;
    const Picked p = pickSkeleton(scene, options, out);
    readTake(scene, options, p, out);
    return out;
}

}  // namespace qmf::formats::assimp
