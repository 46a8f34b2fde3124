// The skeleton in an assimp scene: the nodes mesh bones name (in a file
// without bones, the animated ones), their ancestors up to the first they
// share and the chains that end below them; the world above it folded into
// its root, lengths in centimetres and Y up.
#include "SceneParts.h"

#include "formats/Model.h"
#include "formats/Units.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cstdio>

namespace qmf::formats::assimp {

namespace {

struct Flat {
    std::vector<const aiNode*> node;
    std::vector<int> parent;
    std::vector<std::vector<int>> children;
    std::unordered_map<std::string, std::vector<int>> byName;
};

// Every node, parents first, without recursion (a file may nest deeply).
Flat flatten(const aiNode* root) {
    Flat f;
    std::vector<std::pair<const aiNode*, int>> stack{{root, -1}};
    while (!stack.empty()) {
        const auto [n, parent] = stack.back();
        stack.pop_back();
        const int i = static_cast<int>(f.node.size());
        f.node.push_back(n);
        f.parent.push_back(parent);
        f.children.emplace_back();
        if (parent >= 0) f.children[static_cast<std::size_t>(parent)].push_back(i);
        f.byName[n->mName.C_Str()].push_back(i);
        for (unsigned c = n->mNumChildren; c-- > 0;)
            if (n->mChildren[c]) stack.push_back({n->mChildren[c], i});
    }
    return f;
}

// The node a bone or a channel names: one that is not a mesh when several share the name.
int nodeNamed(const Flat& f, const aiString& name) {
    const auto it = f.byName.find(name.C_Str());
    if (it == f.byName.end()) return -1;
    for (int i : it->second)
        if (f.node[static_cast<std::size_t>(i)]->mNumMeshes == 0) return i;
    return it->second.front();
}

struct Decomposed {
    Vec t{};
    Quat r;
    Vec s{1, 1, 1};
};

// In double: the library's own decomposition works in float, which costs a
// scaled node's rotation a few hundredths of a degree.
Decomposed decompose(const aiMatrix4x4& m) {
    Decomposed d;
    d.t = {m.a4, m.b4, m.c4};
    double c[3][3] = {{m.a1, m.b1, m.c1}, {m.a2, m.b2, m.c2}, {m.a3, m.b3, m.c3}};  // columns
    for (int i = 0; i < 3; ++i) {
        const double n = std::sqrt(c[i][0] * c[i][0] + c[i][1] * c[i][1] + c[i][2] * c[i][2]);
        d.s[static_cast<std::size_t>(i)] = n;
        for (double& v : c[i]) v = n > 0 ? v / n : 0;
    }
    // A mirror: one axis flipped, so what is left is a rotation.
    const double det = c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) - c[1][0] * (c[0][1] * c[2][2] - c[0][2] * c[2][1]) +
                       c[2][0] * (c[0][1] * c[1][2] - c[0][2] * c[1][1]);
    if (det < 0) {
        d.s[0] = -d.s[0];
        for (double& v : c[0]) v = -v;
    }
    // Row r, column k of the rotation is c[k][r].
    const double r00 = c[0][0], r11 = c[1][1], r22 = c[2][2];
    const double trace = r00 + r11 + r22;
    Quat q;
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        q = {s / 4, (c[1][2] - c[2][1]) / s, (c[2][0] - c[0][2]) / s, (c[0][1] - c[1][0]) / s};
    } else if (r00 > r11 && r00 > r22) {
        const double s = 2 * std::sqrt(1 + r00 - r11 - r22);
        q = {(c[1][2] - c[2][1]) / s, s / 4, (c[1][0] + c[0][1]) / s, (c[2][0] + c[0][2]) / s};
    } else if (r11 > r22) {
        const double s = 2 * std::sqrt(1 + r11 - r00 - r22);
        q = {(c[2][0] - c[0][2]) / s, (c[1][0] + c[0][1]) / s, s / 4, (c[2][1] + c[1][2]) / s};
    } else {
        const double s = 2 * std::sqrt(1 + r22 - r00 - r11);
        q = {(c[0][1] - c[1][0]) / s, (c[2][0] + c[0][2]) / s, (c[2][1] + c[1][2]) / s, s / 4};
    }
    d.r = normalized(q);
    return d;
}

bool finite(const Decomposed& d) {
    for (double v : {d.t[0], d.t[1], d.t[2], d.r.w, d.r.x, d.r.y, d.r.z, d.s[0], d.s[1], d.s[2]})
        if (!std::isfinite(v)) return false;
    return true;
}

bool uniform(const Vec& s) {
    const double lo = std::min({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2])});
    const double hi = std::max({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2])});
    return hi <= lo * (1 + 1e-4) && s[0] * s[1] * s[2] > 0;
}

double meanScale(const Vec& s) { return std::cbrt(std::fabs(s[0] * s[1] * s[2])); }

// "metres" for 100 cm, else the table's name, else the size.
std::string unitWords(double cm) {
    if (cm == 100) return "metres";
    std::size_t count = 0;
    const LengthUnit* units = lengthUnits(count);
    for (std::size_t u = 0; u < count; ++u)
        if (std::fabs(units[u].cm - cm) <= 1e-9 * cm) return units[u].name;
    char text[64];
    std::snprintf(text, sizeof text, "units of %.6g cm", cm);
    return text;
}

// The file's stated unit (centimetres in one) and up axis (0 x, 1 y, 2 z, sign), as options or metadata give them.
void statedFrame(const aiScene& scene, const SceneOptions& o, double& cm, Vec& up) {
    cm = 1;
    up = {0, 1, 0};
    switch (o.kind) {
    case Kind::Fbx: {
        cm = metaNumber(scene, "UnitScaleFactor", 1);
        const int axis = static_cast<int>(metaNumber(scene, "UpAxis", 1));
        const double sign = metaNumber(scene, "UpAxisSign", 1) < 0 ? -1 : 1;
        if (axis >= 0 && axis <= 2) {
            up = {0, 0, 0};
            up[static_cast<std::size_t>(axis)] = sign;
        }
        break;
    }
    case Kind::Gltf: cm = 100; break;
    case Kind::Collada:
        // The library has already put the file in metres and Y up (in its
        // root node); what the file stated is said.
        cm = 100;
        break;
    case Kind::Other: cm = o.unitToCm; break;
    }
    if (!(cm > 0) || !std::isfinite(cm)) cm = 1;
}

}  // namespace

double metaNumber(const aiScene& scene, const char* key, double fallback) {
    const aiMetadata* m = scene.mMetaData;
    if (!m) return fallback;
    for (unsigned i = 0; i < m->mNumProperties; ++i) {
        if (std::string(m->mKeys[i].C_Str()) != key || !m->mValues[i].mData) continue;
        const void* d = m->mValues[i].mData;
        switch (m->mValues[i].mType) {
        case AI_INT32: return *static_cast<const int32_t*>(d);
        case AI_UINT64: return static_cast<double>(*static_cast<const uint64_t*>(d));
        case AI_FLOAT: return *static_cast<const float*>(d);
        case AI_DOUBLE: return *static_cast<const double*>(d);
        default: return fallback;
        }
    }
    return fallback;
}

namespace {

// The nodes the meshes' bones name; without bones, the animated nodes.
std::vector<char> seedsOf(const aiScene& scene, const Flat& f) {
    std::vector<char> seed(f.node.size(), 0);
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        if (const aiMesh* mesh = scene.mMeshes[m])
            for (unsigned b = 0; b < mesh->mNumBones; ++b)
                if (mesh->mBones[b]) {
                    const int i = nodeNamed(f, mesh->mBones[b]->mName);
                    if (i >= 0) seed[static_cast<std::size_t>(i)] = 1;
                }
    if (std::find(seed.begin(), seed.end(), 1) == seed.end())
        for (unsigned a = 0; a < scene.mNumAnimations; ++a)
            if (const aiAnimation* anim = scene.mAnimations[a])
                for (unsigned c = 0; c < anim->mNumChannels; ++c)
                    if (anim->mChannels[c]) {
                        const int i = nodeNamed(f, anim->mChannels[c]->mNodeName);
                        if (i >= 0) seed[static_cast<std::size_t>(i)] = 1;
                    }
    return seed;
}

std::unordered_map<std::string, char> animatedNames(const aiScene& scene) {
    std::unordered_map<std::string, char> animated;
    for (unsigned a = 0; a < scene.mNumAnimations; ++a)
        if (const aiAnimation* anim = scene.mAnimations[a])
            for (unsigned c = 0; c < anim->mNumChannels; ++c)
                if (anim->mChannels[c]) animated[anim->mChannels[c]->mNodeName.C_Str()] = 1;
    return animated;
}

// The skeleton's root: the first node every seed is under (under the file's
// own root, separate skeletons are copies and the largest is read), then
// past containers, then up to an animated node above.
std::size_t chooseTop(const aiScene& scene, const Flat& f, const std::vector<char>& seed,
                      const std::vector<std::size_t>& below, Imported& out) {
    std::size_t top = 0;
    std::vector<std::string> leftOut;
    for (;;) {
        if (seed[top]) break;
        std::vector<int> holding;
        for (int c : f.children[top])
            if (below[static_cast<std::size_t>(c)]) holding.push_back(c);
        if (holding.size() == 1) {
            top = static_cast<std::size_t>(holding[0]);
            continue;
        }
        if (top != 0) break;
        const int largest = *std::max_element(holding.begin(), holding.end(), [&](int a, int b) {
            return below[static_cast<std::size_t>(a)] < below[static_cast<std::size_t>(b)];
        });
        for (int c : holding)
            if (c != largest) leftOut.push_back(f.node[static_cast<std::size_t>(c)]->mName.C_Str());
        top = static_cast<std::size_t>(largest);
    }
    if (!leftOut.empty())
        out.warnings.push_back("the file holds more than one skeleton; the largest is read, not " + nameList(leftOut));
    // A top over a single chain that carries a mesh, or that is neither a
    // bone nor animated, is a container (an armature, a file's root that a
    // skin names): its transform goes into the world above.
    const auto animated = animatedNames(scene);
    for (;;) {
        if (animated.count(f.node[top]->mName.C_Str())) break;
        if (seed[top] && f.node[top]->mNumMeshes == 0) break;
        int only = -1, count = 0;
        for (int c : f.children[top])
            if (below[static_cast<std::size_t>(c)]) ++count, only = c;
        if (count != 1) break;
        top = static_cast<std::size_t>(only);
    }
    // An animated node above is part of the motion (an armature that moves
    // its bones): the root.
    while (top != 0 && f.parent[top] > 0 && animated.count(f.node[static_cast<std::size_t>(f.parent[top])]->mName.C_Str()))
        top = static_cast<std::size_t>(f.parent[top]);
    return top;
}

// The joints: top's subtree as far as it leads to seeds, and the chains
// below a seed (ends of limbs), meshes left out; names made unique.
void collectJoints(const Flat& f, std::size_t top, const std::vector<char>& seed, const std::vector<std::size_t>& below,
                   Picked& p, Imported& out) {
    std::vector<int> jointOfNode(f.node.size(), -1);
    std::vector<char> tail(f.node.size(), 0);
    std::vector<std::size_t> stack{top};
    std::vector<std::string> renamed;
    std::unordered_map<std::string, int> taken;
    while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        const int parent = i == top ? -1 : jointOfNode[static_cast<std::size_t>(f.parent[i])];
        const aiNode* node = f.node[i];
        if (i != top) {
            const std::size_t pn = static_cast<std::size_t>(f.parent[i]);
            const bool leads = below[i] > 0;
            const bool ends = (seed[pn] || tail[pn]) && node->mNumMeshes == 0;
            if (parent < 0 || (!leads && !ends)) continue;
            tail[i] = !leads;
        }
        const int j = static_cast<int>(out.joints.size());
        jointOfNode[i] = j;
        ImportedJoint joint;
        joint.parent = parent;
        const std::string given = node->mName.C_Str();
        std::string name = given.empty() ? "joint" + std::to_string(j) : given;
        for (int k = 2; taken.count(name); ++k) name = (given.empty() ? "joint" + std::to_string(j) : given) + "_" + std::to_string(k);
        if (!given.empty() && name != given) renamed.push_back(given);
        taken[name] = j;
        joint.name = name;
        out.joints.push_back(joint);
        p.nodes.push_back(node);
        p.jointOf.emplace(given, j);
        const auto& c = f.children[i];
        stack.insert(stack.end(), c.rbegin(), c.rend());
    }
    if (!renamed.empty()) out.warnings.push_back("joints sharing a name are told apart by a number: " + nameList(renamed));
}

// The world above the top with the file's unit and up axis, and the line
// that says what was applied. False when the world above scales unevenly.
bool placeWorld(const aiScene& scene, const SceneOptions& options, const Flat& f, std::size_t top, Picked& p,
                Imported& out) {
    aiMatrix4x4 world;
    std::vector<const aiNode*> chain;
    for (int a = f.parent[top]; a >= 0; a = f.parent[static_cast<std::size_t>(a)]) {
        chain.push_back(f.node[static_cast<std::size_t>(a)]);
        p.above.insert(f.node[static_cast<std::size_t>(a)]->mName.C_Str());
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) world = world * (*it)->mTransformation;
    const Decomposed w = decompose(world);
    if (!finite(w)) throw ImportedError{"the transform above " + std::string(f.node[top]->mName.C_Str()) + " is not a finite number"};
    double cm = 1;
    Vec up{0, 1, 0};
    statedFrame(scene, options, cm, up);
    const Quat toYUp = turnBetween(up, {0, 1, 0});
    p.toCm = cm;
    p.aboveRotation = normalized(toYUp * w.r);
    p.aboveTranslation = rotate(toYUp, w.t);
    p.aboveScale = meanScale(w.s);
    const double statedCm = options.kind == Kind::Collada ? options.statedCm : cm;
    const Vec statedUp = options.kind == Kind::Collada ? options.statedUp : up;
    if (statedCm > 0 && statedCm != 1 && options.kind != Kind::Other) {
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.6g", statedCm);
        out.notes.push_back(unitWords(statedCm) + " → cm (×" + factor + ")");
    }
    if (statedUp[1] != 1)
        out.notes.push_back(std::string(statedUp[0] != 0 ? "X" : statedUp[1] != 0 ? "Y" : "Z") +
                            (statedUp[0] + statedUp[1] + statedUp[2] < 0 ? "-down" : "-up") + " → Y-up");
    return uniform(w.s);
}

// Each joint's rest transform, its offset in centimetres (the root's in the
// world, the scale above taken into the offsets below it).
void restPose(const std::string& topName, bool evenAbove, Picked& p, Imported& out) {
    std::vector<std::string> odd;
    if (!evenAbove) odd.push_back(topName);
    for (std::size_t j = 0; j < out.joints.size(); ++j) {
        const Decomposed d = decompose(p.nodes[j]->mTransformation);
        if (!finite(d)) throw ImportedError{"the transform of " + out.joints[j].name + " is not a finite number"};
        p.restT.push_back(d.t);
        p.restR.push_back(d.r);
        p.restS.push_back(d.s);
        const int parent = out.joints[j].parent;
        p.parentScale.push_back(parent < 0 ? p.aboveScale
                                           : p.parentScale[static_cast<std::size_t>(parent)] *
                                                 meanScale(p.restS[static_cast<std::size_t>(parent)]));
        if (!uniform(d.s) && std::find(odd.begin(), odd.end(), out.joints[j].name) == odd.end()) odd.push_back(out.joints[j].name);
        ImportedJoint& joint = out.joints[j];
        Vec offset = d.t;
        Quat r = d.r;
        if (parent < 0) {
            const Vec at = rotate(p.aboveRotation, {d.t[0] * p.aboveScale, d.t[1] * p.aboveScale, d.t[2] * p.aboveScale});
            for (std::size_t a = 0; a < 3; ++a) offset[a] = p.aboveTranslation[a] + at[a];
            r = normalized(p.aboveRotation * d.r);
        } else {
            for (double& v : offset) v *= p.parentScale[j];
        }
        for (std::size_t a = 0; a < 3; ++a) {
            joint.offset[a] = offset[a] * p.toCm;
            if (!std::isfinite(joint.offset[a]) || std::fabs(joint.offset[a]) > 1e12)
                throw ImportedError{"the place of " + joint.name + " is beyond any length qmf holds"};
        }
        joint.rest = {r.x, r.y, r.z, r.w};
    }
    if (!odd.empty())
        out.warnings.push_back("a clip's joints do not scale; the uneven or mirroring scale of " + nameList(odd) +
                               " is read as its average size");
}

}  // namespace

Picked pickSkeleton(const aiScene& scene, const SceneOptions& options, Imported& out) {
    if (!scene.mRootNode) throw ImportedError{"the file holds no nodes"};
    const Flat f = flatten(scene.mRootNode);
    const std::vector<char> seed = seedsOf(scene, f);
    // Seeds in each subtree, children after parents in f's order.
    std::vector<std::size_t> below(seed.begin(), seed.end());
    for (std::size_t i = f.node.size(); i-- > 1;) below[static_cast<std::size_t>(f.parent[i])] += below[i];
    if (below[0] == 0) throw ImportedError{"the file has no skeleton: no mesh names bones and no node is animated"};
    const std::size_t top = chooseTop(scene, f, seed, below, out);
    Picked p;
    collectJoints(f, top, seed, below, p, out);
    const bool even = placeWorld(scene, options, f, top, p, out);
    restPose(f.node[top]->mName.C_Str(), even, p, out);
    return p;
}

}  // namespace qmf::formats::assimp
