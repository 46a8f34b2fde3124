#include "formats/UpAxis.h"

#include "convert/SpaceConversion.h"
#include "formats/Error.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <cmath>
#include <ostream>

namespace qmf::formats {

namespace {

bool named(std::string name, std::initializer_list<const char*> parts) {
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const char* p : parts)
        if (name.find(p) != std::string::npos) return true;
    return false;
}

// A quarter turn about X that takes +Z to +Y.
const MQuaternion kZUpToYUp(-0.70710678118654752, 0, 0, 0.70710678118654752);

class TurnUp : public Reader {
public:
    // auto: the first frame is read here, to see how the figure stands, and
    // handed on first.
    TurnUp(std::unique_ptr<Reader> source, bool automatic)
        : source_(std::move(source)), skeleton_(source_->skeleton()), turn_(!automatic) {
        if (automatic) {
            held_ = source_->next(first_);
            said_ = held_ ? guessUp(skeleton_, first_) : guessUp(skeleton_);
            turn_ = said_.axis == 'z';
        }
        if (turn_)
            for (Joint& j : skeleton_.joints)
                if (j.parent < 0) {
                    j.offset = turned(j.offset);
                    if (skeleton_.rotations != Rotations::Euler)
                        j.rest = sceneRotationToFile(fileRotationToScene(j.rest, MQuaternion()) * kZUpToYUp, MQuaternion());
                }
        previous_.resize(skeleton_.joints.size());
    }
    const Skeleton& skeleton() const override { return skeleton_; }
    void warn(std::ostream& out) override {
        source_->warn(out);
        if (!said_.how.empty())
            out << "qmf: " << skeleton_.path << ": " << said_.how << (turn_ ? "; turned to stand on Y" : "") << "\n";
    }
    void warnAfter(std::ostream& out) override { source_->warnAfter(out); }
    void serve(Rotations r) override { source_->serve(r); }
    bool skip(Frame& scratch) override {
        if (held_) {
            held_ = false;
            return true;
        }
        return source_->skip(scratch);
    }
    bool next(Frame& frame) override {
        if (held_) {
            std::swap(frame, first_);
            held_ = false;
        } else if (!source_->next(frame)) {
            return false;
        }
        if (!turn_) return true;
        for (std::size_t j = 0; j < skeleton_.joints.size(); ++j) {
            const Joint& joint = skeleton_.joints[j];
            if (joint.parent >= 0) continue;
            if (j < frame.position.size()) frame.position[j] = turned(frame.position[j]);
            if (skeleton_.rotations == Rotations::Euler && j < frame.euler.size()) {
                const auto order = static_cast<MEulerRotation::RotationOrder>(joint.rotateOrder);
                const auto& a = frame.euler[j];
                MEulerRotation e = (MEulerRotation(a[0], a[1], a[2], order).asQuaternion() * kZUpToYUp).asEulerRotation();
                e.reorderIt(order);
                e.setToClosestSolution(previous_[j]);
                previous_[j] = e;
                frame.euler[j] = {e.x, e.y, e.z};
            }
            if (skeleton_.rotations != Rotations::Euler && j < frame.fileRotation.size())
                frame.fileRotation[j] = sceneRotationToFile(fileRotationToScene(frame.fileRotation[j], MQuaternion()) * kZUpToYUp, MQuaternion());
        }
        return true;
    }

private:
    static std::array<double, 3> turned(const std::array<double, 3>& v) { return {v[0], v[2], -v[1]}; }

    std::unique_ptr<Reader> source_;
    Skeleton skeleton_;
    UpGuess said_;
    bool turn_;
    Frame first_;
    bool held_ = false;
    std::vector<MEulerRotation> previous_;
};

}  // namespace

UpGuess guessUp(const std::vector<std::string>& names, const std::vector<int>& parents,
                const std::vector<std::array<double, 3>>& positions) {
    UpGuess g;
    const std::size_t n = std::min(names.size(), positions.size());
    if (n == 0) return g;
    std::array<double, 3> feet{0, 0, 0}, head{0, 0, 0};
    int footCount = 0;
    bool hasHead = false;
    for (std::size_t j = 0; j < n; ++j) {
        if (!hasHead && named(names[j], {"head"})) {
            head = positions[j];
            hasHead = true;
        } else if (named(names[j], {"foot", "toe", "ankle"})) {
            for (int a = 0; a < 3; ++a) feet[a] += positions[j][a];
            ++footCount;
        }
    }
    std::array<double, 3> d{};
    std::string from;
    if (hasHead && footCount) {
        for (int a = 0; a < 3; ++a) d[a] = head[a] - feet[a] / footCount;
        from = "from the feet to the head";
    } else {
        std::vector<char> hasChild(n, 0);
        for (std::size_t j = 0; j < n && j < parents.size(); ++j)
            if (parents[j] >= 0 && static_cast<std::size_t>(parents[j]) < n) hasChild[static_cast<std::size_t>(parents[j])] = 1;
        double best = -1;
        for (std::size_t j = 1; j < n; ++j) {
            if (hasChild[j]) continue;
            double len = 0;
            std::array<double, 3> e{};
            for (int a = 0; a < 3; ++a) len += (e[a] = positions[j][a] - positions[0][a]) * e[a];
            if (len > best) best = len, d = e;
        }
        from = "from the root to its farthest end";
    }
    const double ax = std::fabs(d[0]), ay = std::fabs(d[1]), az = std::fabs(d[2]);
    if (!(ax + ay + az > 0)) return g;
    if (az > ax && az > ay && d[2] > 0) g.axis = 'z', g.how = "Z up (" + from + ")";
    else if (ay >= ax && ay >= az && d[1] > 0) g.how = "Y up (" + from + ")";
    else {
        const char* axis = ax >= ay && ax >= az ? (d[0] > 0 ? "+X" : "-X") : ay >= az ? "-Y" : "-Z";
        g.how = std::string("up is ") + axis + " (" + from + "), which --up does not turn; read as Y up";
    }
    return g;
}

UpGuess guessUp(const Skeleton& s) {
    std::vector<std::string> names;
    std::vector<int> parents;
    std::vector<std::array<double, 3>> at;
    for (const Joint& j : s.joints) {
        names.push_back(j.name);
        parents.push_back(j.parent);
        std::array<double, 3> p = j.offset;
        if (j.parent >= 0)
            for (int a = 0; a < 3; ++a) p[a] += at[static_cast<std::size_t>(j.parent)][a];
        at.push_back(p);
    }
    return guessUp(names, parents, at);
}

std::string parseUp(const std::string& text) {
    if (text == "y" || text == "Y") return "y";
    if (text == "z" || text == "Z") return "z";
    if (text == "auto") return "auto";
    throw FormatError("--up takes auto, y or z, not '" + text + "'");
}

UpGuess guessUp(const Skeleton& s, const Frame& frame) {
    const std::size_t n = s.joints.size();
    std::vector<std::string> names;
    std::vector<int> parents;
    std::vector<MQuaternion> world(n);
    std::vector<std::array<double, 3>> at(n);
    for (std::size_t j = 0; j < n; ++j) {
        const Joint& joint = s.joints[j];
        names.push_back(joint.name);
        parents.push_back(joint.parent);
        MQuaternion local;
        if (s.rotations == Rotations::Euler) {
            if (joint.rotation && j < frame.euler.size()) {
                const auto& a = frame.euler[j];
                local = MEulerRotation(a[0], a[1], a[2], static_cast<MEulerRotation::RotationOrder>(joint.rotateOrder)).asQuaternion();
            }
        } else if (j < frame.fileRotation.size()) {
            local = fileRotationToScene(frame.fileRotation[j], MQuaternion());
        }
        if (joint.parent < 0) {
            world[j] = local;
            at[j] = joint.position && j < frame.position.size() ? frame.position[j] : joint.offset;
            continue;
        }
        const auto p = static_cast<std::size_t>(joint.parent);
        world[j] = local * world[p];
        const MVector v = MVector(joint.offset[0], joint.offset[1], joint.offset[2]).rotateBy(world[p]);
        at[j] = {at[p][0] + v.x, at[p][1] + v.y, at[p][2] + v.z};
    }
    return guessUp(names, parents, at);
}

std::unique_ptr<Reader> turnUp(std::unique_ptr<Reader> source, const std::string& up) {
    if (up.empty() || up == "y") return source;
    return std::make_unique<TurnUp>(std::move(source), up == "auto");
}

}  // namespace qmf::formats
