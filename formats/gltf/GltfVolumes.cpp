#include "GltfVolumes.h"

#include <algorithm>
#include <cmath>

namespace qmf::formats::gltf {

namespace {

using V = std::array<double, 3>;
using Q = std::array<double, 4>;  // x, y, z, w; turns column vectors

constexpr double kPi = 3.14159265358979323846;
constexpr int kSlices = 12, kStacks = 8;  // kStacks even: the equator is a row

Q mul(const Q& a, const Q& b) {
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1], a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3], a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

V rotate(const Q& q, const V& v) {
    const Q p = mul(mul(q, {v[0], v[1], v[2], 0}), {-q[0], -q[1], -q[2], q[3]});
    return {p[0], p[1], p[2]};
}

// The turn taking +Y onto unit d.
Q fromY(const V& d) {
    if (d[1] < -1 + 1e-12) return {1, 0, 0, 0};
    const double w = 1 + d[1];
    const double n = std::sqrt(d[2] * d[2] + d[0] * d[0] + w * w);
    return {d[2] / n, 0, -d[0] / n, w / n};
}

struct Shape {
    V start;       // in the joint's frame, metres
    V direction;   // unit, the capsule's axis
    double radius, length;
};

class Builder {
public:
    Builder(VolumeMesh& mesh) : m_(mesh) {}

    // A sphere (length 0) or capsule, placed by the joint's world rest pose.
    void add(const Shape& shape, uint16_t joint, const Q& world, const V& at) {
        const auto first = static_cast<uint32_t>(m_.positions.size() / 3);
        const Q axis = fromY(shape.direction);
        // Rows from the top pole down; the equator twice, the upper copy
        // moved along the axis by the length.
        int rows = 0;
        for (int r = 0; r <= kStacks + 1; ++r, ++rows) {
            const int lat = r <= kStacks / 2 ? r : r - 1;
            const double phi = kPi / 2 - kPi * lat / kStacks;
            const double lift = r <= kStacks / 2 ? shape.length : 0;
            for (int c = 0; c <= kSlices; ++c) {
                const double theta = 2 * kPi * c / kSlices;
                const V n = {std::cos(phi) * std::cos(theta), std::sin(phi), std::cos(phi) * std::sin(theta)};
                const V local = {n[0] * shape.radius, n[1] * shape.radius + lift, n[2] * shape.radius};
                V p = rotate(axis, local);
                for (int k = 0; k < 3; ++k) p[k] += shape.start[k];
                const V wp = rotate(world, p), wn = rotate(world, rotate(axis, n));
                for (int k = 0; k < 3; ++k) {
                    m_.positions.push_back(static_cast<float>(wp[k] + at[k]));
                    m_.normals.push_back(static_cast<float>(wn[k]));
                }
                m_.joints.insert(m_.joints.end(), {joint, 0, 0, 0});
                m_.weights.insert(m_.weights.end(), {1.f, 0.f, 0.f, 0.f});
            }
        }
        for (int r = 0; r + 1 < rows; ++r)
            for (int c = 0; c < kSlices; ++c) {
                const uint32_t a = first + static_cast<uint32_t>(r * (kSlices + 1) + c), b = a + kSlices + 1;
                // Counter-clockwise seen from outside.
                m_.indices.insert(m_.indices.end(), {a, a + 1, b, a + 1, b + 1, b});
            }
    }

private:
    VolumeMesh& m_;
};

// The first root's tree: skinned joints need one root. At most 65535, as
// JOINTS_0 holds 16-bit indices.
std::vector<std::size_t> skinnedJoints(const Skeleton& s) {
    const std::size_t n = s.joints.size();
    std::vector<char> inTree(n, 0);
    std::vector<std::size_t> out;
    for (std::size_t j = 0; j < n; ++j) {
        const int p = s.joints[j].parent;
        inTree[j] = j == 0 || (p >= 0 && inTree[static_cast<std::size_t>(p)]);
        if (inTree[j] && out.size() < 65535) out.push_back(j);
    }
    return out;
}

// Each joint's world rest rotation and position, column vectors.
struct WorldRest {
    std::vector<Q> turn;
    std::vector<V> at;
};

WorldRest worldRest(const Skeleton& s, const RestPose& rest) {
    const std::size_t n = s.joints.size();
    WorldRest w{std::vector<Q>(n), std::vector<V>(n)};
    for (std::size_t j = 0; j < n; ++j) {
        const int p = s.joints[j].parent;
        const Q& r = rest.rotation[j];
        if (p < 0) {
            w.turn[j] = r;
            w.at[j] = rest.translation[j];
        } else {
            const auto q = static_cast<std::size_t>(p);
            w.turn[j] = mul(w.turn[q], r);
            const V t = rotate(w.turn[q], rest.translation[j]);
            w.at[j] = {w.at[q][0] + t[0], w.at[q][1] + t[1], w.at[q][2] + t[2]};
        }
    }
    return w;
}

// The clip's volumes where it has any; else a capsule from each joint to each child.
void buildShapes(const Skeleton& s, const RestPose& rest, double cmToMetres, const std::vector<std::size_t>& skin,
                 const WorldRest& w, VolumeMesh& mesh) {
    std::vector<std::vector<std::size_t>> children(s.joints.size());
    for (std::size_t j = 0; j < s.joints.size(); ++j)
        if (s.joints[j].parent >= 0) children[static_cast<std::size_t>(s.joints[j].parent)].push_back(j);
    bool any = false;
    for (const Joint& j : s.joints) any = any || !j.volumes.empty();
    Builder build(mesh);
    for (std::size_t slot = 0; slot < skin.size(); ++slot) {
        const std::size_t j = skin[slot];
        const auto joint = static_cast<uint16_t>(slot);
        if (any) {
            for (const Volume& v : s.joints[j].volumes) {
                if (v.bone) {
                    const double length = v.length * cmToMetres;
                    build.add({{0, 0, 0}, v.direction, std::clamp(0.12 * length, 0.005, 0.08), length}, joint, w.turn[j], w.at[j]);
                } else {
                    build.add({{0, 0, 0}, {0, 1, 0}, v.radius * cmToMetres, 0}, joint, w.turn[j], w.at[j]);
                }
            }
            continue;
        }
        for (std::size_t c : children[j]) {
            const V& o = rest.translation[c];
            const double length = std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]);
            if (!(length > 1e-6) || !std::isfinite(length)) continue;
            const double radius = std::clamp(0.12 * length, 0.005, 0.08);
            build.add({{0, 0, 0}, {o[0] / length, o[1] / length, o[2] / length}, radius, length}, joint, w.turn[j], w.at[j]);
        }
    }
}

// Each skinned joint's inverse world rest matrix, column-major.
void inverseBinds(const std::vector<std::size_t>& skin, const WorldRest& w, VolumeMesh& mesh) {
    for (std::size_t j : skin) {
        const Q inv = {-w.turn[j][0], -w.turn[j][1], -w.turn[j][2], w.turn[j][3]};
        const V cx = rotate(inv, {1, 0, 0}), cy = rotate(inv, {0, 1, 0}), cz = rotate(inv, {0, 0, 1});
        const V t = rotate(inv, w.at[j]);
        const double m[16] = {cx[0], cx[1], cx[2], 0, cy[0], cy[1], cy[2], 0, cz[0], cz[1], cz[2], 0, -t[0], -t[1], -t[2], 1};
        for (double v : m) mesh.inverseBind.push_back(static_cast<float>(v));
    }
}

// The mesh's accessors, the mesh, its skin and the node holding both.
void writeMesh(const VolumeMesh& mesh, const std::vector<std::size_t>& skin, nlohmann::json& json,
               nlohmann::json& accessors, Buffer& buffer) {
    const auto accessor = [&](const void* data, std::size_t bytes, int type, std::size_t count, const char* shape,
                              int target) {
        const std::size_t view = buffer.add(data, bytes, target);
        accessors.push_back({{"bufferView", view}, {"componentType", type}, {"count", count}, {"type", shape}});
        return accessors.size() - 1;
    };
    const std::size_t vertices = mesh.positions.size() / 3;
    const std::size_t position = accessor(mesh.positions.data(), mesh.positions.size() * 4, 5126, vertices, "VEC3", 34962);
    std::array<float, 3> lo{mesh.positions[0], mesh.positions[1], mesh.positions[2]}, hi = lo;
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], mesh.positions[i]);
        hi[i % 3] = std::max(hi[i % 3], mesh.positions[i]);
    }
    accessors[position]["min"] = lo;
    accessors[position]["max"] = hi;
    const std::size_t normal = accessor(mesh.normals.data(), mesh.normals.size() * 4, 5126, vertices, "VEC3", 34962);
    const std::size_t joints = accessor(mesh.joints.data(), mesh.joints.size() * 2, 5123, vertices, "VEC4", 34962);
    const std::size_t weights = accessor(mesh.weights.data(), mesh.weights.size() * 4, 5126, vertices, "VEC4", 34962);
    const std::size_t indices = accessor(mesh.indices.data(), mesh.indices.size() * 4, 5125, mesh.indices.size(), "SCALAR", 34963);
    const std::size_t inverse = accessor(mesh.inverseBind.data(), mesh.inverseBind.size() * 4, 5126, skin.size(), "MAT4", 0);

    json["meshes"] = nlohmann::json::array({{{"name", "volumes"},
                                             {"primitives", nlohmann::json::array({{{"attributes",
                                                                                     {{"POSITION", position},
                                                                                      {"NORMAL", normal},
                                                                                      {"JOINTS_0", joints},
                                                                                      {"WEIGHTS_0", weights}}},
                                                                                    {"indices", indices}}})}}});
    nlohmann::json skinJson = {{"inverseBindMatrices", inverse}, {"joints", skin}, {"skeleton", skin.front()}};
    json["skins"] = nlohmann::json::array({skinJson});
    json["nodes"].push_back({{"name", "volumes"}, {"mesh", 0}, {"skin", 0}});
    json["scenes"][0]["nodes"].push_back(json["nodes"].size() - 1);
}

}  // namespace

bool addVolumes(const Skeleton& s, const RestPose& rest, double cmToMetres, nlohmann::json& json,
                nlohmann::json& accessors, Buffer& buffer, VolumeMesh& mesh) {
    const std::vector<std::size_t> skin = skinnedJoints(s);
    const WorldRest w = worldRest(s, rest);
    buildShapes(s, rest, cmToMetres, skin, w, mesh);
    if (mesh.indices.empty()) return false;
    inverseBinds(skin, w, mesh);
    writeMesh(mesh, skin, json, accessors, buffer);
    return true;
}

}  // namespace qmf::formats::gltf
