// The model to glTF 2.0. Every sampler's values are held as floats until
// the end (glTF wants each sampler's values together), which is the size
// of the file's data and no more.
#include "formats/gltf/GltfFormat.h"

#include "GltfContainer.h"
#include "GltfVolumes.h"
#include "convert/SpaceConversion.h"
#include "formats/Error.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>

#include <cmath>
#include <ostream>

namespace qmf::formats {

namespace {

constexpr int kFloat = 5126;  // the component type glTF calls FLOAT

bool endsWithText(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == "gltf";
}

// glTF's node rotation: a unit quaternion of floats, (x, y, z, w).
std::array<float, 4> unitFloats(const MQuaternion& q) {
    const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(n > 0) || !std::isfinite(n)) return {0, 0, 0, 1};
    return {static_cast<float>(q.x / n), static_cast<float>(q.y / n), static_cast<float>(q.z / n), static_cast<float>(q.w / n)};
}

class GltfWriter : public Writer {
public:
    GltfWriter(const fileio::Output& target, const ConvertOptions& options)
        : target_(target), text_(endsWithText(target.path)), volumes_(options.volumes) {}

    // A clip's or a scene's file quaternions are the rotation itself; a
    // capture's angles are turned into one.
    Rotations reads() const override { return Rotations::FileQuaternion; }

    void begin(const Skeleton& s, std::ostream&) override {
        skeleton_ = &s;
        toMetres_ = s.lengthToCm / 100.0;
        const std::size_t n = s.joints.size();
        rotations_.assign(n, {});
        translations_.assign(n, {});
        for (std::size_t j = 0; j < n; ++j) {
            const Joint& joint = s.joints[j];
            if (turns(joint)) rotations_[j].reserve(std::size_t(s.frames) * 4);
            if (joint.position) translations_[j].reserve(std::size_t(s.frames) * 3);
        }
        times_.reserve(s.frames);
    }

    void frame(const Frame& fr) override {
        const Skeleton& s = *skeleton_;
        const uint32_t f = written_++;
        const float t = static_cast<float>(f * s.frameTime);
        if (!times_.empty() && !(t > times_.back()))
            throw FormatError(s.path + ": frame " + std::to_string(f) +
                              " falls on the same time as the one before in glTF's float seconds; write fewer frames");
        times_.push_back(t);
        for (std::size_t j = 0; j < s.joints.size(); ++j) {
            const Joint& joint = s.joints[j];
            if (joint.position)
                for (int a = 0; a < 3; ++a) {
                    const double v = fr.position[j][static_cast<std::size_t>(a)] * toMetres_;
                    if (!std::isfinite(v)) refuse(f, joint);
                    translations_[j].push_back(static_cast<float>(v));
                }
            if (!turns(joint)) continue;
            std::array<float, 4> q = unitFloats(rotationOf(s, fr, j));
            if (!std::isfinite(q[0] + q[1] + q[2] + q[3])) refuse(f, joint);
            // Each key on the side of the one before, so no key turns the long way.
            auto& values = rotations_[j];
            if (values.size() >= 4) {
                const float* p = &values[values.size() - 4];
                if (p[0] * q[0] + p[1] * q[1] + p[2] * q[2] + p[3] * q[3] < 0)
                    for (float& c : q) c = -c;
            }
            values.insert(values.end(), q.begin(), q.end());
        }
    }

    Written finish(std::ostream& warn) override {
        const Skeleton& s = *skeleton_;
        nlohmann::json json = {{"asset", {{"version", "2.0"}, {"generator", "qmf"}}}, {"scene", 0}};
        nlohmann::json nodes = nlohmann::json::array(), roots = nlohmann::json::array();
        std::vector<nlohmann::json> children(s.joints.size(), nlohmann::json::array());
        gltf::RestPose rest;
        for (std::size_t j = 0; j < s.joints.size(); ++j) {
            const Joint& joint = s.joints[j];
            (joint.parent < 0 ? roots : children[static_cast<std::size_t>(joint.parent)]).push_back(j);
            nlohmann::json node = {{"name", joint.name}};
            const std::array<double, 3> t = {joint.offset[0] * toMetres_, joint.offset[1] * toMetres_, joint.offset[2] * toMetres_};
            if (t[0] != 0 || t[1] != 0 || t[2] != 0) node["translation"] = t;
            const std::array<float, 4> r = restRotation(s, joint);
            if (r[3] != 1) node["rotation"] = r;
            nodes.push_back(std::move(node));
            rest.translation.push_back(t);
            rest.rotation.push_back({r[0], r[1], r[2], r[3]});
        }
        for (std::size_t j = 0; j < s.joints.size(); ++j)
            if (!children[j].empty()) nodes[j]["children"] = std::move(children[j]);
        json["nodes"] = std::move(nodes);
        json["scenes"] = nlohmann::json::array({{{"nodes", std::move(roots)}}});

        gltf::Buffer buffer;
        nlohmann::json accessors = nlohmann::json::array(), samplers = nlohmann::json::array(),
                       channels = nlohmann::json::array();
        const auto accessor = [&](const std::vector<float>& v, const char* type, std::size_t width) {
            accessors.push_back({{"bufferView", buffer.add(v.data(), v.size() * sizeof(float))},
                                 {"componentType", kFloat},
                                 {"count", v.size() / width},
                                 {"type", type}});
            return accessors.size() - 1;
        };
        if (!times_.empty()) {
            const std::size_t input = accessor(times_, "SCALAR", 1);
            accessors[input]["min"] = {times_.front()};
            accessors[input]["max"] = {times_.back()};
            const auto sampler = [&](std::size_t node, const std::vector<float>& v, const char* type, std::size_t width,
                                     const char* path) {
                samplers.push_back({{"input", input}, {"output", accessor(v, type, width)}, {"interpolation", "LINEAR"}});
                channels.push_back({{"sampler", samplers.size() - 1}, {"target", {{"node", node}, {"path", path}}}});
            };
            for (std::size_t j = 0; j < s.joints.size(); ++j) {
                if (!translations_[j].empty()) sampler(j, translations_[j], "VEC3", 3, "translation");
                if (!rotations_[j].empty()) sampler(j, rotations_[j], "VEC4", 4, "rotation");
            }
            json["animations"] = nlohmann::json::array({{{"name", takeName(s.path)}, {"samplers", samplers}, {"channels", channels}}});
        }
        gltf::VolumeMesh mesh;
        if (volumes_ && !gltf::addVolumes(s, rest, 0.01, json, accessors, buffer, mesh))
            warn << "qmf: warning: " << s.path << ": no body volumes to write (a skeleton of one point)\n";
        if (!accessors.empty()) json["accessors"] = std::move(accessors);
        fileio::TempFile file(target_);
        gltf::writeAsset(json, buffer, text_, file);
        file.commit();
        return {s.joints.size(), written_, {}};
    }

private:
    static bool turns(const Joint& j) { return j.rotation && !j.endSite; }

    static MQuaternion rotationOf(const Skeleton& s, const Frame& fr, std::size_t j) {
        if (s.rotations == Rotations::Euler) {
            const auto& a = fr.euler[j];
            return MEulerRotation(a[0], a[1], a[2], static_cast<MEulerRotation::RotationOrder>(s.joints[j].rotateOrder)).asQuaternion();
        }
        return fileRotationToScene(fr.fileRotation[j], MQuaternion());
    }

    // A capture's joints rest unturned; a clip's and a scene's hold their rest orientation.
    static std::array<float, 4> restRotation(const Skeleton& s, const Joint& j) {
        if (s.rotations == Rotations::Euler) return {0, 0, 0, 1};
        return unitFloats(fileRotationToScene(j.rest, MQuaternion()));
    }

    // The source's file name without its folder and extension.
    static std::string takeName(const std::string& path) {
        const std::size_t slash = path.rfind('/');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::size_t dot = name.rfind('.');
        return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    }

    [[noreturn]] void refuse(uint32_t f, const Joint& j) const {
        throw FormatError(skeleton_->path + ": frame " + std::to_string(f) + " of " + j.name + " is not a finite number");
    }

    fileio::Output target_;
    bool text_;
    bool volumes_;
    const Skeleton* skeleton_ = nullptr;
    double toMetres_ = 0.01;
    std::vector<float> times_;
    std::vector<std::vector<float>> rotations_, translations_;  // per joint
    uint32_t written_ = 0;
};

}  // namespace

std::unique_ptr<Writer> writeGltf(const fileio::Output& target, const ConvertOptions& options) {
    return std::make_unique<GltfWriter>(target, options);
}

}  // namespace qmf::formats
