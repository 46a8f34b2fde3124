// --root JOINT: only that joint and its descendants, the transform of its
// ancestors on the first frame folded into it, so the motion keeps its place
// in the world.
#include "formats/Model.h"

#include "convert/SpaceConversion.h"
#include "formats/Error.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <ostream>

namespace qmf::formats {

namespace {

class RootSelection : public Reader {
public:
    RootSelection(std::unique_ptr<Reader> source, std::size_t root)
        : source_(std::move(source)), root_(root), order_(source_->skeleton().joints[root].rotateOrder) {
        const Skeleton& s = source_->skeleton();
        // The subtree, parents first as in the source.
        std::vector<int> index(s.joints.size(), -1);
        for (std::size_t j = root; j < s.joints.size(); ++j) {
            const int p = s.joints[j].parent;
            if (j != root && (p < 0 || index[static_cast<std::size_t>(p)] < 0)) continue;
            index[j] = static_cast<int>(kept_.size());
            kept_.push_back(j);
        }
        skeleton_ = s;
        skeleton_.clipFile.clear();
        skeleton_.joints.clear();
        for (std::size_t j : kept_) {
            Joint joint = s.joints[j];
            joint.parent = j == root ? -1 : index[static_cast<std::size_t>(joint.parent)];
            skeleton_.joints.push_back(joint);
        }
        // The ancestors as they stand on the first frame (the rest pose when
        // there is none), held for every frame.
        haveFirst_ = source_->next(first_);
        fold(haveFirst_ ? &first_ : nullptr);
        Joint& r = skeleton_.joints[0];
        r.parent = -1;
        r.position = true;
        r.rotation = true;
        const MVector at = localTranslation(haveFirst_ ? &first_ : nullptr, root_).rotateBy(ancestors_) + origin_;
        r.offset = {at.x, at.y, at.z};
        previous_ = MEulerRotation(0, 0, 0, static_cast<MEulerRotation::RotationOrder>(order_));
    }

    const Skeleton& skeleton() const override { return skeleton_; }
    void warn(std::ostream& out) override { source_->warn(out); }
    void warnAfter(std::ostream& out) override { source_->warnAfter(out); }

    bool next(Frame& frame) override {
        Frame& in = scratch_;
        if (haveFirst_) {
            in = std::move(first_);
            haveFirst_ = false;
        } else if (!source_->next(in)) {
            return false;
        }
        const Skeleton& s = source_->skeleton();
        const std::size_t n = kept_.size();
        frame.euler.assign(n, {0, 0, 0});
        frame.fileRotation.assign(n, quaternion{-1, 0, 0, 0});
        frame.keyed.assign(n, 1);
        frame.position.assign(n, {0, 0, 0});
        frame.rootKeyed = true;
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t j = kept_[k];
            if (!in.euler.empty()) frame.euler[k] = in.euler[j];
            if (!in.fileRotation.empty()) frame.fileRotation[k] = in.fileRotation[j];
            if (!in.keyed.empty()) frame.keyed[k] = in.keyed[j];
            if (j < in.position.size()) frame.position[k] = in.position[j];
        }
        // The new root: its own motion carried by the still ancestors.
        const MQuaternion world = localRotation(&in, root_) * ancestors_;
        const MVector at = localTranslation(&in, root_).rotateBy(ancestors_) + origin_;
        frame.position[0] = {at.x, at.y, at.z};
        if (s.rotations != Rotations::FileQuaternion) {
            MEulerRotation e = world.asEulerRotation();
            e.reorderIt(previous_.order);
            e.setToClosestSolution(previous_);
            previous_ = e;
            frame.euler[0] = {e.x, e.y, e.z};
        }
        frame.fileRotation[0] = sceneRotationToFile(world, MQuaternion());
        frame.keyed[0] = 1;
        return true;
    }

private:
    // A joint's rotation on a frame (its rest without one), as the scene's quaternion.
    MQuaternion localRotation(const Frame* f, std::size_t j) const {
        const Skeleton& s = source_->skeleton();
        const Joint& joint = s.joints[j];
        if (s.rotations == Rotations::Euler || (s.rotations == Rotations::Both && f)) {
            if (!f || !joint.rotation) return MQuaternion();
            const auto& a = f->euler[j];
            return MEulerRotation(a[0], a[1], a[2], static_cast<MEulerRotation::RotationOrder>(joint.rotateOrder))
                .asQuaternion();
        }
        return fileRotationToScene(f && j < f->fileRotation.size() ? f->fileRotation[j] : joint.rest, MQuaternion());
    }

    // A joint's translation from its parent: its position channels, else its offset.
    MVector localTranslation(const Frame* f, std::size_t j) const {
        const Joint& joint = source_->skeleton().joints[j];
        const auto& v = f && joint.position && j < f->position.size() ? f->position[j] : joint.offset;
        return MVector(v[0], v[1], v[2]);
    }

    // The world rotation and position of the root's parent, from the top down.
    void fold(const Frame* f) {
        const Skeleton& s = source_->skeleton();
        std::vector<std::size_t> chain;
        for (int p = s.joints[root_].parent; p >= 0; p = s.joints[static_cast<std::size_t>(p)].parent)
            chain.push_back(static_cast<std::size_t>(p));
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            origin_ = localTranslation(f, *it).rotateBy(ancestors_) + origin_;
            ancestors_ = localRotation(f, *it) * ancestors_;
        }
    }

    std::unique_ptr<Reader> source_;
    std::size_t root_;
    int order_;
    std::vector<std::size_t> kept_;  // source joint of each kept one
    Skeleton skeleton_;
    Frame first_, scratch_;
    bool haveFirst_ = false;
    MQuaternion ancestors_;
    MVector origin_{0, 0, 0};
    MEulerRotation previous_;
};

}  // namespace

std::unique_ptr<Reader> selectRoot(std::unique_ptr<Reader> source, const std::string& root) {
    if (root.empty()) return source;
    const Skeleton& s = source->skeleton();
    if (s.inHost) return source;   // a scene's reader takes out the hierarchy itself, in the host
    for (std::size_t j = 0; j < s.joints.size(); ++j)
        if (s.joints[j].name == root) {
            if (s.joints[j].endSite) throw FormatError("--root " + root + " is an End Site of " + s.path + ", not a joint with motion");
            return std::make_unique<RootSelection>(std::move(source), j);
        }
    throw FormatError("--root " + root + " is not a joint of " + s.path);
}

}  // namespace qmf::formats
