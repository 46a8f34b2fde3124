// The rule: each matched target joint turns, in world space, as its source
// joint turns from its own rest, starting from the target's rest with each
// bone first swung onto the source bone's rest direction. Unmatched target
// joints on a chain between two matched ones take an even share of the turn
// between them; others keep their rest rotation relative to their parent.
#include "retarget/Retarget.h"

#include "convert/SpaceConversion.h"
#include "formats/Error.h"

#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <cmath>
#include <cstdio>

namespace qmf::retarget {

namespace {

using formats::Frame;
using formats::Rotations;
using formats::Skeleton;

// A joint's local rotation on a frame: a capture's angles, or the full
// local rotation a clip or scene keys (R * O; the rest without a key).
MQuaternion localRotation(const Skeleton& s, const Frame* f, std::size_t j) {
    const formats::Joint& joint = s.joints[j];
    if (s.rotations == Rotations::Euler) {
        if (!f || !joint.rotation) return MQuaternion();
        const auto& a = f->euler[j];
        return MEulerRotation(a[0], a[1], a[2], static_cast<MEulerRotation::RotationOrder>(joint.rotateOrder)).asQuaternion();
    }
    const quaternion& q = f && j < f->fileRotation.size() ? f->fileRotation[j] : joint.rest;
    return fileRotationToScene(q, MQuaternion());
}

struct Pose {
    std::vector<MQuaternion> world;
    std::vector<MVector> position;   // cm, scene axes
};

// World rotations and positions down the hierarchy, from local rotations
// and offsets (a joint with position channels at its frame position).
Pose pose(const Skeleton& s, const std::vector<MQuaternion>& local, const Frame* f) {
    Pose p;
    p.world.resize(s.joints.size());
    p.position.resize(s.joints.size());
    for (std::size_t j = 0; j < s.joints.size(); ++j) {
        const formats::Joint& joint = s.joints[j];
        const auto& o = f && joint.position && j < f->position.size() ? f->position[j] : joint.offset;
        const MVector offset(o[0] * s.lengthToCm, o[1] * s.lengthToCm, o[2] * s.lengthToCm);
        if (joint.parent < 0) {
            p.world[j] = local[j];
            p.position[j] = offset;
        } else {
            const auto parent = static_cast<std::size_t>(joint.parent);
            p.world[j] = local[j] * p.world[parent];
            p.position[j] = offset.rotateBy(p.world[parent]) + p.position[parent];
        }
    }
    return p;
}

// A Z-up source turned into the rig's Y-up world: a quarter turn about X
// taking Z to Y, after everything else.
void standUp(Pose& p, char up) {
    if (up != 'z') return;
    const MQuaternion turn(-90.0 * 3.14159265358979323846 / 180.0, MVector(1, 0, 0));
    for (MQuaternion& w : p.world) w = w * turn;
    for (MVector& v : p.position) v = v.rotateBy(turn);
}

bool isRotation(const quaternion& q) {
    const double n = double(q.f0) * q.f0 + double(q.f1) * q.f1 + double(q.f2) * q.f2 + double(q.f3) * q.f3;
    return std::isfinite(n) && n > 1e-12;
}

class RetargetReader : public formats::Reader {
public:
    RetargetReader(std::unique_ptr<formats::Reader> source, const Skeleton& target, const MatchTable& table,
               const RetargetOptions& options, const std::vector<Frame>* sourceRest, Rule& rule)
        : source_(std::move(source)), target_(target) {
        const Skeleton& s = source_->skeleton();
        const std::size_t n = target_.joints.size();
        sourceOf_.assign(n, -1);
        for (const Pair& p : table.pairs) sourceOf_[p.target] = static_cast<int>(p.source);

        // Rests: the source's own (or its frame --source-rest), the target's as read.
        std::vector<MQuaternion> sLocal(s.joints.size()), tLocal(n);
        const Frame* restFrame = sourceRest && !sourceRest->empty() ? &sourceRest->front() : nullptr;
        for (std::size_t j = 0; j < s.joints.size(); ++j) sLocal[j] = localRotation(s, restFrame, j);
        for (std::size_t j = 0; j < n; ++j) tLocal[j] = localRotation(target_, nullptr, j);
        Pose sRest = pose(s, sLocal, restFrame);
        standUp(sRest, options.up);
        const Pose tRest = pose(target_, tLocal, nullptr);
        up_ = options.up;
        sourceRestWorld_ = sRest.world;
        targetRestLocal_ = tLocal;

        // Each matched joint's aligned rest: its bone to its main matched
        // child swung onto the source bone's direction.
        alignedRest_.resize(n);
        const std::vector<int> child = mainMatchedChild();
        for (std::size_t j = 0; j < n; ++j) {
            alignedRest_[j] = tRest.world[j];
            if (sourceOf_[j] < 0 || child[j] < 0) continue;
            const auto c = static_cast<std::size_t>(child[j]);
            const MVector td = tRest.position[c] - tRest.position[j];
            const MVector sd = sRest.position[static_cast<std::size_t>(sourceOf_[c])] -
                               sRest.position[static_cast<std::size_t>(sourceOf_[j])];
            if (td.length() < 1e-9 || sd.length() < 1e-9) {
                rule.zeroBones.push_back(target_.joints[j].name);
                continue;
            }
            alignedRest_[j] = tRest.world[j] * MQuaternion(td.normal(), sd.normal());
        }

        chains_ = unmatchedChains();

        // The root position's scale: given, or the hips' heights at rest.
        if (options.scale) {
            rule.scale = *options.scale;
            char note[64];
            std::snprintf(note, sizeof note, "scale %.6g (given)", rule.scale);
            rule.scaleNote = note;
        } else {
            chooseScale(table, sRest, tRest, rule);
        }
        scale_ = rule.scale;

        skeleton_ = target_;
        skeleton_.rotations = Rotations::FileQuaternion;
        skeleton_.frames = s.frames;
        skeleton_.frameTime = s.frameTime;
        skeleton_.clipFile.clear();
        skeleton_.path = s.path;
        for (formats::Joint& j : skeleton_.joints) {
            j.rotation = true;
            j.position = false;
        }
        skeleton_.joints[0].position = true;
    }

    const Skeleton& skeleton() const override { return skeleton_; }
    void warn(std::ostream& out) override { source_->warn(out); }
    void warnAfter(std::ostream& out) override { source_->warnAfter(out); }

    bool next(Frame& frame) override {
        if (!source_->next(in_)) return false;
        const Skeleton& s = source_->skeleton();
        if (s.rotations != Rotations::Euler)
            for (std::size_t j = 0; j < s.joints.size() && j < in_.fileRotation.size(); ++j)
                if (!isRotation(in_.fileRotation[j]))
                    throw FormatError(s.path + ": frame " + std::to_string(served_) + " of joint " + s.joints[j].name +
                                      " is not a rotation (zero or not a number)");
        ++served_;
        sourceLocal_.resize(s.joints.size());
        for (std::size_t j = 0; j < s.joints.size(); ++j) sourceLocal_[j] = localRotation(s, &in_, j);
        Pose now = pose(s, sourceLocal_, &in_);
        standUp(now, up_);

        const std::size_t n = target_.joints.size();
        world_.resize(n);
        frame.fileRotation.resize(n);
        frame.keyed.assign(n, 1);
        frame.position.assign(n, {0, 0, 0});
        frame.rootKeyed = true;
        // Matched joints' world rotations stand on their own: the source's
        // turn from its rest, in world space, after the aligned rest.
        for (std::size_t j = 0; j < n; ++j)
            if (sourceOf_[j] >= 0) {
                const auto sj = static_cast<std::size_t>(sourceOf_[j]);
                world_[j] = alignedRest_[j] * (sourceRestWorld_[sj].conjugate() * now.world[sj]);
            }
        std::size_t nextChain = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const int p = target_.joints[j].parent;
            const MQuaternion parent = p < 0 ? MQuaternion() : world_[static_cast<std::size_t>(p)];
            if (nextChain < chains_.size() && chains_[nextChain].joints.front() == j) spread(chains_[nextChain++]);
            else if (sourceOf_[j] < 0 && !onChain_[j]) world_[j] = targetRestLocal_[j] * parent;
            const MQuaternion local = world_[j] * parent.conjugate();
            frame.fileRotation[j] = sceneRotationToFile(local.normal(), MQuaternion());
        }
        const MVector root = now.position[0] * scale_;
        frame.position[0] = {root.x, root.y, root.z};
        return true;
    }

private:
    // Unmatched joints, each with one child, between a matched joint and the
    // matched joint they lead to.
    struct Chain {
        std::size_t start;                 // the matched joint above
        std::vector<std::size_t> joints;   // the unmatched ones, parents first
        std::size_t end;                   // the matched joint below
    };

    std::vector<Chain> unmatchedChains() {
        const std::size_t n = target_.joints.size();
        std::vector<int> children(n, 0), onlyChild(n, -1);
        for (std::size_t j = 0; j < n; ++j) {
            const int p = target_.joints[j].parent;
            if (p < 0) continue;
            if (children[static_cast<std::size_t>(p)]++ == 0) onlyChild[static_cast<std::size_t>(p)] = static_cast<int>(j);
        }
        onChain_.assign(n, 0);
        std::vector<Chain> chains;
        for (std::size_t j = 0; j < n; ++j) {
            const int p = target_.joints[j].parent;
            if (sourceOf_[j] >= 0 || p < 0 || sourceOf_[static_cast<std::size_t>(p)] < 0) continue;
            Chain c{static_cast<std::size_t>(p), {}, 0};
            std::size_t at = j;
            while (sourceOf_[at] < 0 && children[at] == 1) {
                c.joints.push_back(at);
                at = static_cast<std::size_t>(onlyChild[at]);
            }
            if (sourceOf_[at] < 0) continue;   // a branch or a leaf: the rest holds
            c.end = at;
            for (std::size_t u : c.joints) onChain_[u] = 1;
            chains.push_back(std::move(c));
        }
        return chains;
    }

    // The chain's joints as they would stand at rest under the start, then
    // each turned by its share of what the end still needs: joint i of k
    // by i / (k + 1) of it, so the end's own turn is the last share.
    void spread(const Chain& c) {
        MQuaternion w = world_[c.start];
        rested_.clear();
        for (std::size_t u : c.joints) {
            w = targetRestLocal_[u] * w;
            rested_.push_back(w);
        }
        const MQuaternion endAtRest = targetRestLocal_[c.end] * w;
        MQuaternion needed = endAtRest.conjugate() * world_[c.end];
        if (needed.w < 0) needed = MQuaternion(-needed.x, -needed.y, -needed.z, -needed.w);   // the shorter way
        const double k = double(c.joints.size()) + 1;
        for (std::size_t i = 0; i < c.joints.size(); ++i)
            world_[c.joints[i]] = rested_[i] * slerp(MQuaternion(), needed, double(i + 1) / k);
    }

    // For each target joint, its one matched joint below (with only
    // unmatched joints between); -1 for none, and for a joint where the
    // hierarchy branches into several (no one swing turns them all: each
    // branch is turned at its own first joint).
    std::vector<int> mainMatchedChild() const {
        const std::size_t n = target_.joints.size();
        std::vector<int> nearestMatchedAbove(n, -1), child(n, -1), count(n, 0);
        for (std::size_t j = 0; j < n; ++j) {
            const int p = target_.joints[j].parent;
            if (p < 0) continue;
            const auto pp = static_cast<std::size_t>(p);
            nearestMatchedAbove[j] = sourceOf_[pp] >= 0 ? p : nearestMatchedAbove[pp];
        }
        for (std::size_t j = 0; j < n; ++j) {
            const int a = nearestMatchedAbove[j];
            if (sourceOf_[j] < 0 || a < 0) continue;
            const auto aa = static_cast<std::size_t>(a);
            if (count[aa]++ == 0) child[aa] = static_cast<int>(j);
        }
        for (std::size_t j = 0; j < n; ++j)
            if (count[j] > 1) child[j] = -1;
        return child;
    }

    // Hip heights: the pair matched as hips, else the first joints; a
    // height of zero or less (a root on the ground) gives the skeletons'
    // heights at rest instead.
    void chooseScale(const MatchTable& table, const Pose& s, const Pose& t, Rule& rule) const {
        const Skeleton& source = source_->skeleton();
        std::size_t sj = 0, tj = 0;
        for (const Pair& p : table.pairs)
            if (bodyPart(target_.joints[p.target].name) == "hips" || bodyPart(source.joints[p.source].name) == "hips") {
                sj = p.source;
                tj = p.target;
                break;
            }
        // A hip height is the hips' height above the lowest joint at rest:
        // captures often rest with the hips at the origin.
        double sh = s.position[sj].y - lowest(s), th = t.position[tj].y - lowest(t);
        const char* what = "hip heights";
        if (!(sh > 1e-6 && th > 1e-6)) {
            sh = height(s);
            th = height(t);
            what = "skeleton heights";
        }
        rule.scale = sh > 1e-9 ? th / sh : 1.0;
        char note[128];
        std::snprintf(note, sizeof note, "scale %.6g (%s %.4g cm / %.4g cm)", rule.scale, what, th, sh);
        rule.scaleNote = note;
    }

    static double lowest(const Pose& p) {
        double lo = p.position.empty() ? 0 : p.position[0].y;
        for (const MVector& v : p.position) lo = std::min(lo, v.y);
        return lo;
    }

    static double height(const Pose& p) {
        double lo = 0, hi = 0;
        for (std::size_t j = 0; j < p.position.size(); ++j) {
            lo = j ? std::min(lo, p.position[j].y) : p.position[j].y;
            hi = j ? std::max(hi, p.position[j].y) : p.position[j].y;
        }
        return hi - lo;
    }

    std::unique_ptr<formats::Reader> source_;
    Skeleton target_, skeleton_;
    std::vector<int> sourceOf_;
    std::vector<MQuaternion> sourceRestWorld_, targetRestLocal_, alignedRest_;
    double scale_ = 1;
    char up_ = 'y';
    Frame in_;
    std::vector<MQuaternion> sourceLocal_, world_, rested_;
    std::vector<Chain> chains_;
    std::vector<char> onChain_;
    uint32_t served_ = 0;
};

}  // namespace

std::unique_ptr<formats::Reader> retargeted(std::unique_ptr<formats::Reader> source, const formats::Skeleton& target,
                                            const MatchTable& table, const RetargetOptions& options,
                                            const std::vector<formats::Frame>* sourceRest, Rule& rule) {
    return std::make_unique<RetargetReader>(std::move(source), target, table, options, sourceRest, rule);
}

}  // namespace qmf::retarget
