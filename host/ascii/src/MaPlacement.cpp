#include "MaPlacement.h"

#include <maya/MEulerRotation.h>
#include <maya/MMatrix.h>
#include <maya/MQuaternion.h>
#include <maya/MStatus.h>
#include <maya/MTransformationMatrix.h>
#include <maya/MVector.h>

namespace qmfhost::ma {

namespace {

bool placeable(const Node& n) { return n.type == "transform" || n.type == "joint"; }

Vec3 valueOr(const std::optional<Vec3>& v, double fallback) {
    return v ? *v : Vec3{fallback, fallback, fallback};
}

MQuaternion orientOf(const Node& n) {
    if (n.type != "joint") return MQuaternion();
    const Vec3 jo = valueOr(n.jointOrient, 0.0);
    return MEulerRotation(jo[0], jo[1], jo[2]).asQuaternion();
}

// Composed as the host composes a node: scale, then rotate (in its order)
// and joint orient, then translate.
MMatrix localMatrix(const Node& n) {
    if (!placeable(n)) return MMatrix();
    const Vec3 t = valueOr(n.translate, 0.0), r = valueOr(n.rotate, 0.0), s = valueOr(n.scale, 1.0);
    const auto order = static_cast<MEulerRotation::RotationOrder>(n.rotateOrder.value_or(0));
    MQuaternion q = MEulerRotation(r[0], r[1], r[2], order).asQuaternion();
    q *= orientOf(n);
    MTransformationMatrix m;
    const double scale[3] = {s[0], s[1], s[2]};
    m.setScale(scale, MSpace::kTransform);
    m.rotateTo(q);
    m.setTranslation(MVector(t[0], t[1], t[2]), MSpace::kTransform);
    return m.asMatrix();
}

// Row vectors: world = node * parent * ... * top, through first parents.
MMatrix worldMatrix(const Scene& scene, int node) {
    MMatrix world;
    for (std::size_t steps = 0; node >= 0 && steps <= scene.nodes.size(); ++steps) {
        const Node& n = scene.nodes[static_cast<std::size_t>(node)];
        world = world * localMatrix(n);
        node = n.parents.empty() ? -1 : n.parents[0];
    }
    return world;
}

}  // namespace

void keepWorldPlacement(Scene& scene, int node, int newParent) {
    Node& n = scene.nodes[static_cast<std::size_t>(node)];
    if (!placeable(n)) return;
    const int oldParent = n.parents.empty() ? -1 : n.parents[0];
    const MMatrix oldAbove = worldMatrix(scene, oldParent);
    const MMatrix newAbove = worldMatrix(scene, newParent);
    // Nothing moves between two places with the same world matrix; leaving
    // the values alone keeps them exactly as the file wrote them.
    if (oldAbove == newAbove) return;
    const MTransformationMatrix local(localMatrix(n) * oldAbove * newAbove.inverse());
    const MVector t = local.getTranslation(MSpace::kTransform);
    double s[3];
    local.getScale(s, MSpace::kTransform);
    MEulerRotation r = (local.rotation() * orientOf(n).inverse()).asEulerRotation();
    r.reorderIt(static_cast<MEulerRotation::RotationOrder>(n.rotateOrder.value_or(0)));
    n.translate = Vec3{t.x, t.y, t.z};
    n.rotate = Vec3{r.x, r.y, r.z};
    n.scale = Vec3{s[0], s[1], s[2]};
}

}  // namespace qmfhost::ma
