// Scenes of the assimp library made by hand, as its importers leave them,
// for the part of reading that is qmf's own.
#pragma once

#include <assimp/scene.h>

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace exchangetest {

using V3 = std::array<double, 3>;
using Q4 = std::array<double, 4>;  // w, x, y, z

struct NodePlan {
    std::string name;
    int parent = -1;  // index of an earlier node; -1 the file's root
    V3 t{0, 0, 0};
    Q4 r{1, 0, 0, 0};
    V3 s{1, 1, 1};
    bool mesh = false;
};

struct ChannelPlan {
    std::string node;
    std::vector<std::pair<double, Q4>> rot;
    std::vector<std::pair<double, V3>> pos, scl;
};

struct TakePlan {
    std::string name;
    double ticksPerSecond = 0;
    std::vector<ChannelPlan> channels;
};

struct ScenePlan {
    std::vector<NodePlan> nodes;        // nodes[0] is the file's root
    std::vector<std::string> bones;     // names a mesh's bones give
    std::vector<TakePlan> takes;
    std::vector<std::pair<std::string, double>> metadata;  // numbers, as FBX states them
};

inline aiMatrix4x4 matrixOf(const NodePlan& n) {
    const aiQuaternion q(static_cast<float>(n.r[0]), static_cast<float>(n.r[1]), static_cast<float>(n.r[2]),
                         static_cast<float>(n.r[3]));
    return aiMatrix4x4(aiVector3D(static_cast<float>(n.s[0]), static_cast<float>(n.s[1]), static_cast<float>(n.s[2])), q,
                       aiVector3D(static_cast<float>(n.t[0]), static_cast<float>(n.t[1]), static_cast<float>(n.t[2])));
}

inline std::unique_ptr<aiScene> build(const ScenePlan& plan) {
    auto scene = std::make_unique<aiScene>();
    std::vector<aiNode*> nodes;
    std::vector<std::vector<aiNode*>> children(plan.nodes.size());
    for (const NodePlan& n : plan.nodes) {
        auto* node = new aiNode(n.name);
        node->mTransformation = matrixOf(n);
        nodes.push_back(node);
    }
    for (std::size_t i = 1; i < plan.nodes.size(); ++i) {
        const int p = plan.nodes[i].parent < 0 ? 0 : plan.nodes[i].parent;
        children[static_cast<std::size_t>(p)].push_back(nodes[i]);
        nodes[i]->mParent = nodes[static_cast<std::size_t>(p)];
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (children[i].empty()) continue;
        nodes[i]->mNumChildren = static_cast<unsigned>(children[i].size());
        nodes[i]->mChildren = new aiNode*[children[i].size()];
        for (std::size_t c = 0; c < children[i].size(); ++c) nodes[i]->mChildren[c] = children[i][c];
    }
    scene->mRootNode = nodes[0];
    bool anyMesh = !plan.bones.empty();
    for (const NodePlan& n : plan.nodes) anyMesh = anyMesh || n.mesh;
    if (anyMesh) {
        auto* mesh = new aiMesh();
        mesh->mNumBones = static_cast<unsigned>(plan.bones.size());
        if (!plan.bones.empty()) {
            mesh->mBones = new aiBone*[plan.bones.size()];
            for (std::size_t b = 0; b < plan.bones.size(); ++b) {
                mesh->mBones[b] = new aiBone();
                mesh->mBones[b]->mName = aiString(plan.bones[b]);
            }
        }
        scene->mNumMeshes = 1;
        scene->mMeshes = new aiMesh*[1]{mesh};
        for (std::size_t i = 0; i < plan.nodes.size(); ++i)
            if (plan.nodes[i].mesh) {
                nodes[i]->mNumMeshes = 1;
                nodes[i]->mMeshes = new unsigned[1]{0};
            }
    }
    if (!plan.takes.empty()) {
        scene->mNumAnimations = static_cast<unsigned>(plan.takes.size());
        scene->mAnimations = new aiAnimation*[plan.takes.size()];
        for (std::size_t a = 0; a < plan.takes.size(); ++a) {
            const TakePlan& t = plan.takes[a];
            auto* anim = new aiAnimation();
            anim->mName = aiString(t.name);
            anim->mTicksPerSecond = t.ticksPerSecond;
            anim->mNumChannels = static_cast<unsigned>(t.channels.size());
            if (!t.channels.empty()) anim->mChannels = new aiNodeAnim*[t.channels.size()];
            for (std::size_t c = 0; c < t.channels.size(); ++c) {
                const ChannelPlan& cs = t.channels[c];
                auto* ch = new aiNodeAnim();
                ch->mNodeName = aiString(cs.node);
                ch->mNumRotationKeys = static_cast<unsigned>(cs.rot.size());
                if (!cs.rot.empty()) ch->mRotationKeys = new aiQuatKey[cs.rot.size()];
                for (std::size_t k = 0; k < cs.rot.size(); ++k) {
                    const Q4& q = cs.rot[k].second;
                    ch->mRotationKeys[k] = aiQuatKey(cs.rot[k].first, aiQuaternion(static_cast<float>(q[0]), static_cast<float>(q[1]),
                                                                                   static_cast<float>(q[2]), static_cast<float>(q[3])));
                }
                const auto vecKeys = [](const std::vector<std::pair<double, V3>>& in, unsigned& n, aiVectorKey*& keys) {
                    n = static_cast<unsigned>(in.size());
                    if (in.empty()) return;
                    keys = new aiVectorKey[in.size()];
                    for (std::size_t k = 0; k < in.size(); ++k)
                        keys[k] = aiVectorKey(in[k].first, aiVector3D(static_cast<float>(in[k].second[0]), static_cast<float>(in[k].second[1]),
                                                                      static_cast<float>(in[k].second[2])));
                };
                vecKeys(cs.pos, ch->mNumPositionKeys, ch->mPositionKeys);
                vecKeys(cs.scl, ch->mNumScalingKeys, ch->mScalingKeys);
                anim->mChannels[c] = ch;
            }
            scene->mAnimations[a] = anim;
        }
    }
    if (!plan.metadata.empty()) {
        scene->mMetaData = aiMetadata::Alloc(static_cast<unsigned>(plan.metadata.size()));
        for (std::size_t i = 0; i < plan.metadata.size(); ++i)
            scene->mMetaData->Set(static_cast<unsigned>(i), plan.metadata[i].first, plan.metadata[i].second);
    }
    return scene;
}

// A turn of `degrees` about a unit axis, as (w, x, y, z).
inline Q4 turn(double degrees, const V3& axis) {
    const double h = degrees * 3.14159265358979323846 / 360;
    return {std::cos(h), std::sin(h) * axis[0], std::sin(h) * axis[1], std::sin(h) * axis[2]};
}

}  // namespace exchangetest
