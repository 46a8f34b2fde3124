// What the child read, as the model: each joint's rotation as the file
// quaternion a clip stores, or for a writer of angles as angles (x, y, z
// order, each frame's the solution closest to the one before); the root's
// position; lengths in centimetres.
#include "formats/assimp/AssimpFormat.h"

#include "AssimpLoad.h"
#include "convert/SpaceConversion.h"
#include "formats/Error.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>

#include <ostream>
#include <sys/stat.h>

namespace qmf::formats {

namespace {

assimp::Kind kindOf(Format f) {
    switch (f) {
    case Format::Fbx: return assimp::Kind::Fbx;
    case Format::Gltf: return assimp::Kind::Gltf;
    case Format::Collada: return assimp::Kind::Collada;
    default: return assimp::Kind::Other;
    }
}

assimp::Imported load(Format format, const std::string& path, const ConvertOptions& options, bool listOnly) {
    assimp::SceneOptions o;
    o.kind = kindOf(format);
    o.take = options.take;
    o.rate = options.rate;
    o.unitToCm = options.unitToCm;
    o.listOnly = listOnly;
    struct stat st {};
    const uint64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    return assimp::loadInChild(path, row(format).name, o, assimp::limitsFor(size));
}

class AssimpReader : public Reader {
public:
    AssimpReader(const std::string& path, assimp::Imported m, Rotations form) : m_(std::move(m)) {
        skeleton_.path = path;
        skeleton_.rotations = form;
        skeleton_.frameTime = m_.frameTime;
        skeleton_.frames = m_.frames;
        std::vector<char> parent(m_.joints.size(), 0);
        for (const auto& j : m_.joints)
            if (j.parent >= 0) parent[static_cast<std::size_t>(j.parent)] = 1;
        for (std::size_t i = 0; i < m_.joints.size(); ++i) {
            const auto& src = m_.joints[i];
            Joint j;
            j.name = src.name;
            j.parent = src.parent;
            j.offset = src.offset;
            j.position = i == 0;
            // A leaf that the take does not turn is the end of its chain.
            j.rotation = src.keyed || parent[i] || i == 0;
            j.rest = sceneRotationToFile(MQuaternion(src.rest[0], src.rest[1], src.rest[2], src.rest[3]), MQuaternion());
            skeleton_.joints.push_back(std::move(j));
        }
        previous_.assign(m_.joints.size(), MEulerRotation());
    }

    const Skeleton& skeleton() const override { return skeleton_; }

    void warn(std::ostream& out) override {
        if (!m_.notes.empty()) {
            out << "qmf: " << skeleton_.path << ": ";
            for (std::size_t i = 0; i < m_.notes.size(); ++i) out << (i ? ", " : "") << m_.notes[i];
            out << "\n";
        }
        for (const std::string& w : m_.warnings) out << "qmf: warning: " << skeleton_.path << ": " << w << "\n";
    }

    bool skip(Frame&) override { return next_ < m_.frames ? (++next_, true) : false; }

    bool next(Frame& frame) override {
        if (next_ >= m_.frames) return false;
        const std::size_t n = m_.joints.size();
        const float* q = &m_.rotations[std::size_t(next_) * n * 4];
        const float* p = &m_.rootPosition[std::size_t(next_) * 3];
        ++next_;
        frame.position.resize(n);
        frame.rootKeyed = true;
        if (skeleton_.rotations == Rotations::FileQuaternion) {
            frame.fileRotation.resize(n);
            frame.keyed.resize(n);
            const MQuaternion none;
            for (std::size_t j = 0; j < n; ++j, q += 4) {
                frame.fileRotation[j] = sceneRotationToFile(MQuaternion(q[0], q[1], q[2], q[3]), none);
                frame.keyed[j] = skeleton_.joints[j].rotation;
            }
        } else {
            frame.euler.resize(n);
            for (std::size_t j = 0; j < n; ++j, q += 4) {
                MEulerRotation e = MQuaternion(q[0], q[1], q[2], q[3]).asEulerRotation();
                e.setToClosestSolution(previous_[j]);
                previous_[j] = e;
                frame.euler[j] = {e.x, e.y, e.z};
            }
        }
        frame.position[0] = {p[0], p[1], p[2]};
        return true;
    }

private:
    assimp::Imported m_;
    Skeleton skeleton_;
    std::vector<MEulerRotation> previous_;
    uint32_t next_ = 0;
};

}  // namespace

std::unique_ptr<Reader> readAssimp(Format format, const std::string& path, const ConvertOptions& options, Rotations form) {
    return std::make_unique<AssimpReader>(path, load(format, path, options, false), form);
}

FileSummary describeAssimp(Format format, const std::string& path, const ConvertOptions& options) {
    const assimp::Imported m = load(format, path, options, true);
    FileSummary s;
    for (const auto& j : m.joints) s.joints.push_back(j.name);
    for (const auto& t : m.takes) s.takes.push_back({t.name, t.seconds, t.rate, t.frames});
    s.notes = m.notes;
    return s;
}

}  // namespace qmf::formats
