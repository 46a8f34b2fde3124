#include "SceneFromBytes.h"

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

namespace scenefuzz {

namespace {

const char* const kNames[] = {"Hips", "Spine", "Head", "", "Arm", "Arm", "mixamorig:Hips", "Armature", "RootNode",
                              "Leg_L", "Leg_R", "Armature|Run"};
constexpr std::size_t kNameCount = sizeof kNames / sizeof kNames[0];
const char* const kTakes[] = {"", "1", "Run", "Armature|Run", "2", "9"};

// Reads what is there; past the end, zeros.
class Bytes {
public:
    Bytes(const uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    uint8_t u8() { return at_ < n_ ? d_[at_++] : 0; }
    template <class T>
    T num() {
        uint8_t raw[sizeof(T)] = {};
        for (auto& b : raw) b = u8();
        T v;
        std::memcpy(&v, raw, sizeof v);
        return v;
    }

private:
    const uint8_t* d_;
    std::size_t n_, at_ = 0;
};

std::string nameOf(uint8_t sel) { return sel < kNameCount ? kNames[sel] : "n" + std::to_string(sel); }

class Out {
public:
    void u8(int v) { s += static_cast<char>(v); }
    template <class T>
    void num(T v) {
        char raw[sizeof v];
        std::memcpy(raw, &v, sizeof v);
        s.append(raw, sizeof v);
    }
    std::string s;
};

}  // namespace

std::unique_ptr<aiScene> sceneFromBytes(const uint8_t* data, std::size_t size, Options& options) {
    Bytes in(data, size);
    options.kind = in.u8() % 4;
    options.take = kTakes[in.u8() % 6];
    options.rate = in.u8();
    const std::size_t n = in.u8() % 48 + 1;
    std::vector<aiNode*> nodes;
    std::vector<std::vector<aiNode*>> children(n);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < n; ++i) {
        names.push_back(nameOf(in.u8()));
        auto* node = new aiNode(names.back());
        const std::size_t parent = i ? in.u8() % i : 0;
        const uint8_t flags = in.u8();
        if (flags & 2) {
            float v[10];
            for (float& x : v) x = in.num<float>();
            node->mTransformation = aiMatrix4x4(aiVector3D(v[7], v[8], v[9]), aiQuaternion(v[3], v[4], v[5], v[6]), aiVector3D(v[0], v[1], v[2]));
        }
        if (flags & 1) {
            node->mNumMeshes = 1;
            node->mMeshes = new unsigned[1]{0};
        }
        if (i) children[parent].push_back(node);
        nodes.push_back(node);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (children[i].empty()) continue;
        nodes[i]->mNumChildren = static_cast<unsigned>(children[i].size());
        nodes[i]->mChildren = new aiNode*[children[i].size()];
        for (std::size_t c = 0; c < children[i].size(); ++c) {
            nodes[i]->mChildren[c] = children[i][c];
            children[i][c]->mParent = nodes[i];
        }
    }
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = nodes[0];
    const std::size_t bones = in.u8() % 32;
    auto* mesh = new aiMesh();
    scene->mNumMeshes = 1;
    scene->mMeshes = new aiMesh*[1]{mesh};
    if (bones) {
        mesh->mNumBones = static_cast<unsigned>(bones);
        mesh->mBones = new aiBone*[bones];
        for (std::size_t b = 0; b < bones; ++b) {
            mesh->mBones[b] = new aiBone();
            mesh->mBones[b]->mName = aiString(names[in.u8() % n]);
        }
    }
    const std::size_t takes = in.u8() % 4;
    if (takes) {
        scene->mNumAnimations = static_cast<unsigned>(takes);
        scene->mAnimations = new aiAnimation*[takes];
        for (std::size_t a = 0; a < takes; ++a) {
            auto* anim = new aiAnimation();
            scene->mAnimations[a] = anim;
            anim->mName = aiString(nameOf(in.u8()));
            anim->mTicksPerSecond = in.num<double>();
            const std::size_t channels = in.u8() % 8;
            anim->mNumChannels = static_cast<unsigned>(channels);
            if (channels) anim->mChannels = new aiNodeAnim*[channels];
            for (std::size_t c = 0; c < channels; ++c) {
                auto* ch = new aiNodeAnim();
                anim->mChannels[c] = ch;
                ch->mNodeName = aiString(names[in.u8() % n]);
                const std::size_t rot = in.u8() % 24;
                ch->mNumRotationKeys = static_cast<unsigned>(rot);
                if (rot) ch->mRotationKeys = new aiQuatKey[rot];
                for (std::size_t k = 0; k < rot; ++k) {
                    const double t = in.num<double>();
                    float q[4];
                    for (float& x : q) x = in.num<float>();
                    ch->mRotationKeys[k] = aiQuatKey(t, aiQuaternion(q[0], q[1], q[2], q[3]));
                }
                const auto vec = [&](unsigned& count, aiVectorKey*& keys, std::size_t most) {
                    const std::size_t m = in.u8() % most;
                    count = static_cast<unsigned>(m);
                    if (m) keys = new aiVectorKey[m];
                    for (std::size_t k = 0; k < m; ++k) {
                        const double t = in.num<double>();
                        float v[3];
                        for (float& x : v) x = in.num<float>();
                        keys[k] = aiVectorKey(t, aiVector3D(v[0], v[1], v[2]));
                    }
                };
                vec(ch->mNumPositionKeys, ch->mPositionKeys, 24);
                vec(ch->mNumScalingKeys, ch->mScalingKeys, 8);
            }
        }
    }
    const uint8_t meta = in.u8();
    if (meta) {
        scene->mMetaData = new aiMetadata();
        if (meta & 1) scene->mMetaData->Add("UnitScaleFactor", in.num<double>());
        if (meta & 2) scene->mMetaData->Add("UpAxis", static_cast<int32_t>(in.u8()) - 1);
        if (meta & 4) scene->mMetaData->Add("UpAxisSign", static_cast<int32_t>(in.u8() & 1 ? -1 : 1));
        if (meta & 8) scene->mMetaData->Add("FrameRate", static_cast<int32_t>(in.u8() % 20));
        if (meta & 16) scene->mMetaData->Add("CustomFrameRate", in.num<float>());
    }
    return scene;
}

int writeSeeds(const std::string& folder) {
    struct Node {
        int name, parent;
        std::array<float, 10> trs;  // t, r (w x y z), s
        int flags;
    };
    const auto seed = [](int kind, int take, int rate, const std::vector<Node>& nodes, const std::vector<int>& bones,
                         int takes, int keyEvery, int meta) {
        Out o;
        o.u8(kind);
        o.u8(take);
        o.u8(rate);
        o.u8(static_cast<int>(nodes.size()) - 1);
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            o.u8(nodes[i].name);
            if (i) o.u8(nodes[i].parent);
            o.u8(nodes[i].flags | 2);
            for (float v : nodes[i].trs) o.num(v);
        }
        o.u8(static_cast<int>(bones.size()));
        for (int b : bones) o.u8(b);
        o.u8(takes);
        for (int a = 0; a < takes; ++a) {
            o.u8(a == 1 ? 11 : 2 + a);
            o.num(30.0);
            o.u8(static_cast<int>(nodes.size()) - 1);
            for (std::size_t c = 1; c < nodes.size(); ++c) {
                o.u8(static_cast<int>(c));
                o.u8(10);
                for (int k = 0; k < 10; ++k) {
                    o.num(double(k * keyEvery + (k % 3 == 2 && keyEvery > 1 ? 1 : 0)));
                    const double h = 0.05 * k * static_cast<double>(c);
                    for (float v : {float(std::cos(h)), float(std::sin(h)), 0.f, 0.f}) o.num(v);
                }
                o.u8(c == 1 ? 3 : 0);
                for (int k = 0; k < (c == 1 ? 3 : 0); ++k) {
                    o.num(double(k * 4));
                    for (float v : {float(k), 1.f, 0.f}) o.num(v);
                }
                o.u8(c == 2 ? 2 : 0);
                for (int k = 0; k < (c == 2 ? 2 : 0); ++k) {
                    o.num(double(k * 9));
                    for (float v : {1.f + k, 1.f, 1.f}) o.num(v);
                }
            }
        }
        o.u8(meta);
        if (meta & 1) o.num(100.0);
        if (meta & 2) o.u8(3);
        if (meta & 4) o.u8(0);
        if (meta & 8) o.u8(11);
        if (meta & 16) o.num(24.0f);
        return o.s;
    };
    const std::array<float, 10> still = {0, 0, 0, 1, 0, 0, 0, 1, 1, 1};
    const std::array<float, 10> up = {0, 10, 0, 1, 0, 0, 0, 1, 1, 1};
    const std::array<float, 10> armature = {0, 0, 0, 0.7071068f, -0.7071068f, 0, 0, 100, 100, 100};
    const std::vector<Node> walk = {{8, 0, still, 0}, {0, 0, up, 0}, {1, 1, up, 0}, {2, 2, up, 0}, {9, 1, up, 0}, {10, 1, up, 0}};
    const std::vector<Node> blender = {{8, 0, still, 0}, {7, 0, armature, 0}, {0, 1, up, 0}, {1, 2, up, 0}, {5, 2, up, 1}};
    const std::vector<Node> copies = {{8, 0, still, 0}, {0, 0, up, 0}, {1, 1, up, 0}, {6, 0, up, 0}, {3, 3, up, 0}, {4, 4, up, 0}};
    const std::string seeds[] = {
        seed(0, 0, 0, walk, {1, 2, 3, 4}, 1, 1, 0),
        seed(0, 3, 0, walk, {}, 3, 3, 1 | 2 | 8),
        seed(1, 2, 25, blender, {2, 3}, 2, 2, 0),
        seed(2, 0, 0, copies, {1, 2, 3, 4, 5}, 1, 1, 4 | 16),
        seed(3, 1, 60, walk, {1, 4}, 2, 5, 31),
    };
    int count = 0;
    for (const std::string& s : seeds) {
        std::ofstream(folder + "/seed" + std::to_string(count++), std::ios::binary) << s;
    }
    return count;
}

}  // namespace scenefuzz
