// Checks a clip read for `qmf pack` against everything the library would
// silently drop or change, then builds it through the authoring interface.
#include "clips/PackJson.h"

#include "clips/Clip.h"

#include <kell_authoring.h>

#include <algorithm>
#include <cmath>

namespace qmf {

namespace {

[[noreturn]] void fail(const std::string& where, const std::string& what) { throw ClipError(where + " " + what); }

std::string skeletonPath(std::size_t s) { return "skeletons[" + std::to_string(s) + "]"; }
std::string jointPath(std::size_t s, std::size_t j) { return skeletonPath(s) + ".joints[" + std::to_string(j) + "]"; }
std::string figurePath(std::size_t f) { return "figures[" + std::to_string(f) + "]"; }

std::string rangeText(long long lo, long long hi) { return "must be from " + std::to_string(lo) + " to " + std::to_string(hi); }

// Depth of each joint below its root; refuses a parent out of range, a joint
// that is its own parent and a cycle, naming the first joint on it.
std::vector<int32_t> checkedDepths(const PackedSkeleton& sk, std::size_t s) {
    const std::size_t n = sk.joints.size();
    constexpr int32_t kVisiting = -2;
    std::vector<int32_t> depth(n, -1);
    std::vector<std::size_t> chain;
    for (std::size_t j = 0; j < n; ++j) {
        const int64_t p = sk.joints[j].parent;
        if (p < -1 || p >= static_cast<int64_t>(n)) fail(jointPath(s, j) + ".parent", rangeText(-1, static_cast<long long>(n) - 1));
        if (p == static_cast<int64_t>(j)) fail(jointPath(s, j) + ".parent", "is the joint itself");
    }
    for (std::size_t j = 0; j < n; ++j) {
        chain.clear();
        int32_t above = -1;
        for (int64_t p = static_cast<int64_t>(j); p >= 0; p = sk.joints[static_cast<std::size_t>(p)].parent) {
            auto& d = depth[static_cast<std::size_t>(p)];
            if (d == kVisiting) {
                auto start = std::find(chain.begin(), chain.end(), static_cast<std::size_t>(p));
                const std::size_t first = *std::min_element(start, chain.end());
                fail(jointPath(s, first) + ".parent", "makes a cycle of parents (joint " + std::to_string(first) + " is its own ancestor)");
            }
            if (d >= 0) {
                above = d;
                break;
            }
            d = kVisiting;
            chain.push_back(static_cast<std::size_t>(p));
        }
        for (std::size_t i = chain.size(); i-- > 0;) depth[chain[i]] = ++above;
    }
    return depth;
}

// Frames of one track, checked for range and repeats with a bitmap shared
// by every track (cleared after each).
class FrameSet {
public:
    explicit FrameSet(int32_t frames) : frames_(frames), bits_((static_cast<std::size_t>(frames) + 63) / 64) {}
    void add(int32_t frame, const std::string& where) {
        if (frame < 0 || frame >= frames_)
            fail(where + "[0]", frames_ == 0 ? std::string("is a key frame, but frameCount is 0") : rangeText(0, frames_ - 1));
        uint64_t& w = bits_[static_cast<std::size_t>(frame) >> 6];
        const uint64_t bit = uint64_t{1} << (frame & 63);
        if (w & bit) fail(where, "repeats the key at frame " + std::to_string(frame));
        w |= bit;
        used_.push_back(frame);
    }
    bool empty() const { return used_.empty(); }
    void clear() {
        for (int32_t f : used_) bits_[static_cast<std::size_t>(f) >> 6] = 0;
        used_.clear();
    }

private:
    int32_t frames_;
    std::vector<uint64_t> bits_;
    std::vector<int32_t> used_;
};

// Bytes the library holds for keyed tracks: it keeps a value slot for every
// frame of a track that has any key, whatever the number of keys.
constexpr uint64_t kTrackOverhead = 128;
constexpr uint64_t kMemoryFloor = uint64_t{256} << 20;
constexpr uint64_t kMemoryPerInputByte = 4;

}  // namespace

void checkPackedClip(const PackedClip& clip, std::size_t inputBytes) {
    if (!std::isfinite(clip.frameRate) || clip.frameRate <= 0) fail("frameRate", "must be a finite number above 0");
    const auto& sks = clip.skeletons;
    std::vector<bool> used(sks.size(), false);
    for (std::size_t f = 0; f < clip.figures.size(); ++f) {
        const PackedFigure& fig = clip.figures[f];
        if (sks.empty()) fail(figurePath(f), "refers to a skeleton, but there are none");
        if (fig.skeleton < 0 || fig.skeleton >= static_cast<int64_t>(sks.size()))
            fail(figurePath(f) + ".skeleton", rangeText(0, static_cast<long long>(sks.size()) - 1));
        used[static_cast<std::size_t>(fig.skeleton)] = true;
    }
    for (std::size_t s = 0; s < sks.size(); ++s) {
        if (!used[s]) fail(skeletonPath(s), "is used by no figure (a Movantis file holds only the skeletons of its figures)");
        checkedDepths(sks[s], s);
    }

    const uint64_t frames = static_cast<uint64_t>(clip.frameCount);
    const uint64_t perValueTrack = frames * 4 + frames / 8 + kTrackOverhead;
    const uint64_t perOrientationTrack = frames * 16 + frames / 8 + kTrackOverhead;
    uint64_t memory = 0;
    FrameSet seen(clip.frameCount);
    for (std::size_t f = 0; f < clip.figures.size(); ++f) {
        const PackedFigure& fig = clip.figures[f];
        const std::string fw = figurePath(f);
        for (int c = 0; c < 3; ++c) {
            const auto& keys = fig.channels[c];
            const std::string cw = fw + ".channels." + std::to_string(c + 1);
            for (std::size_t k = 0; k < keys.size(); ++k) seen.add(keys[k].frame, cw + "[" + std::to_string(k) + "]");
            seen.clear();
            if (!keys.empty()) memory += perValueTrack;
        }
        // Entries for the same joint share one track: check their keys together.
        const auto nj = static_cast<int64_t>(sks[static_cast<std::size_t>(fig.skeleton)].joints.size());
        std::vector<std::size_t> order(fig.orientations.size());
        for (std::size_t o = 0; o < order.size(); ++o) {
            const int64_t joint = fig.orientations[o].joint;
            if (joint < 0 || joint >= nj) fail(fw + ".orientations[" + std::to_string(o) + "].joint", rangeText(0, nj - 1));
            order[o] = o;
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return fig.orientations[a].joint < fig.orientations[b].joint; });
        int64_t highest = -1;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const PackedOrientation& o = fig.orientations[order[i]];
            const std::string ow = fw + ".orientations[" + std::to_string(order[i]) + "].keys";
            for (std::size_t k = 0; k < o.keys.size(); ++k) seen.add(o.keys[k].frame, ow + "[" + std::to_string(k) + "]");
            const bool last = i + 1 == order.size() || fig.orientations[order[i + 1]].joint != o.joint;
            if (!last) continue;
            if (!seen.empty()) memory += perOrientationTrack, highest = o.joint;
            seen.clear();
        }
        memory += static_cast<uint64_t>(highest + 1) * kTrackOverhead;
    }
    const uint64_t budget = std::max<uint64_t>(kMemoryFloor, kMemoryPerInputByte * inputBytes);
    if (memory > budget)
        fail("figures", "hold keyed tracks of " + std::to_string(clip.frameCount) + " frames that would need " +
                            std::to_string(memory >> 20) + " MiB in the animation library, more than the " +
                            std::to_string(budget >> 20) + " MiB allowed for a document of this size");
}

namespace {

// A joint's body volume, attached to it.
void buildBody(const PackedJoint& jj, SKL_SKELETON_HANDLE sk, SKL_JOINT_ID id, const std::string& jw) {
    POB_PART_OBJECT_HANDLE pob = pob_part_object_obj_create_f(0);
    if (!pob) throw ClipError("the animation library could not create a body volume");
    for (std::size_t p = 0; p < jj.primitives.size(); ++p) {
        const PackedPrimitive& prim = jj.primitives[p];
        KL_BOOL ok = prim.bone ? pob_part_object_bone_add(pob, prim.size, &prim.direction)
                               : pob_part_object_sphere_add(pob, prim.size, 0);
        if (!ok) fail(jw + ".body.primitives[" + std::to_string(p) + "]", "is refused by the library");
    }
    if (jj.hasBounds && !pob_part_object_bounds_set_f(pob, &jj.boundsMin, &jj.boundsMax))
        fail(jw + ".body.bounds", "is refused by the library");
    if (!skl_skeleton_part_object_attach_f(sk, id, pob)) fail(jw + ".body", "could not be attached");
}

// Skeleton s, added to skeletons as soon as the library makes it.
void buildSkeleton(const PackedSkeleton& sj, std::size_t s, std::vector<SKL_SKELETON_HANDLE>& skeletons) {
    SKL_SKELETON_HANDLE sk = skl_skeleton_skel_create_f(sj.name.c_str());
    if (!sk) fail(skeletonPath(s) + ".name", "is refused by the library");
    skeletons.push_back(sk);
    const std::size_t n = sj.joints.size();
    for (std::size_t j = 0; j < n; ++j)
        if (skl_skeleton_joint_create_f(sk, sj.joints[j].name.c_str()) != static_cast<SKL_JOINT_ID>(j))
            fail(jointPath(s, j) + ".name", "is refused by the library");
    // Deepest joints first: the library then checks each new parent
    // against a chain not yet linked, which keeps a long chain linear.
    const std::vector<int32_t> depth = checkedDepths(sj, s);
    std::vector<std::size_t> order(n);
    for (std::size_t j = 0; j < n; ++j) order[j] = j;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return depth[a] > depth[b]; });
    for (std::size_t j : order)
        if (sj.joints[j].parent >= 0)
            skl_skeleton_parent_set(sk, static_cast<SKL_JOINT_ID>(j), static_cast<SKL_JOINT_ID>(sj.joints[j].parent));
    for (std::size_t j = 0; j < n; ++j) {
        const PackedJoint& jj = sj.joints[j];
        const std::string jw = jointPath(s, j);
        auto id = static_cast<SKL_JOINT_ID>(j);
        if (skl_skeleton_parent_get_f(sk, id) != static_cast<SKL_JOINT_ID>(jj.parent))
            fail(jw + ".parent", "is refused by the library");
        if (jj.root) skl_skeleton_root_set(sk, id);
        skl_skeleton_offset_set(sk, id, jj.offset);
        skl_skeleton_joint_orientation_set(sk, id, &jj.orientation);
        if (jj.hasBody) buildBody(jj, sk, id, jw);
    }
    if (sj.completed && !skl_skeleton_skel_completed_f(sk, sj.completedName.c_str()))
        fail(skeletonPath(s), "could not be completed by the library");
}

void buildFigure(const PackedFigure& fj, std::size_t f, ANM_ANIMATION_HANDLE anm,
                 const std::vector<SKL_SKELETON_HANDLE>& skeletons) {
    const std::string fw = figurePath(f);
    FIG_FIGURE_HANDLE fig = anm_animation_figure_add_f(anm, skeletons[static_cast<std::size_t>(fj.skeleton)], 0);
    if (!fig) fail(fw, "is refused by the library");
    for (int c = 0; c < 3; ++c)
        for (std::size_t k = 0; k < fj.channels[c].size(); ++k)
            if (!fgf_frame_value_set_f(fig, fj.channels[c][k].frame, c + 1, fj.channels[c][k].value))
                fail(fw + ".channels." + std::to_string(c + 1) + "[" + std::to_string(k) + "]", "is refused by the library");
    for (std::size_t o = 0; o < fj.orientations.size(); ++o) {
        const PackedOrientation& po = fj.orientations[o];
        for (std::size_t k = 0; k < po.keys.size(); ++k)
            if (!fgf_frame_joint_orientation_set_f(fig, po.keys[k].frame, static_cast<SKL_JOINT_ID>(po.joint), &po.keys[k].q))
                fail(fw + ".orientations[" + std::to_string(o) + "].keys[" + std::to_string(k) + "]", "is refused by the library");
    }
}

}  // namespace

void buildPackedClip(const PackedClip& clip, ANM_ANIMATION_HANDLE anm) {
    if (!anm_animation_frame_rate_set_f(anm, clip.frameRate)) fail("frameRate", "is refused by the library");
    if (!anm_animation_number_of_frames_set_f(anm, clip.frameCount)) fail("frameCount", "is refused by the library");
    std::vector<SKL_SKELETON_HANDLE> skeletons;
    for (std::size_t s = 0; s < clip.skeletons.size(); ++s) buildSkeleton(clip.skeletons[s], s, skeletons);
    for (std::size_t f = 0; f < clip.figures.size(); ++f) buildFigure(clip.figures[f], f, anm, skeletons);
}

}  // namespace qmf
