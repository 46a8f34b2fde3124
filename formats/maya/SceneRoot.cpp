// --root JOINT for a scene: the host is left holding that joint's hierarchy
// alone, the joint under the world with the rotation of everything above it
// (at the current time) folded into its joint orient, so the translator's
// writer writes it as export would write a scene of that hierarchy. What is
// above it also moved the joint's translate: the reader carries every
// frame's through the matrix returned here.
#include "formats/maya/MayaFormat.h"

#include "formats/Error.h"
#include "formats/Session.h"
#include "qmfhost/Scene.h"

#include <maya/MDagPath.h>
#include <maya/MEulerRotation.h>
#include <maya/MFnIkJoint.h>
#include <maya/MQuaternion.h>
#include <maya/MTransformationMatrix.h>

namespace qmf::formats {

bool namedBy(const MDagPath& path, const std::string& root) {
    return qmfhost::nodeName(path.node()) == root || path.partialPathName().asChar() == root ||
           path.fullPathName().asChar() == root;
}

namespace {

// The joint of the walk a name or path names; refuses none and several.
std::size_t findRoot(const std::string& path, const std::vector<SceneJoint>& walk, const std::string& root) {
    std::vector<std::size_t> found;
    for (std::size_t j = 0; j < walk.size(); ++j)
        if (namedBy(walk[j].path, root)) found.push_back(j);
    if (found.empty()) throw FormatError("--root " + root + " is not a joint of " + path);
    if (found.size() > 1)
        throw FormatError("--root " + root + " names " + std::to_string(found.size()) + " joints of " + path +
                          "; name one by its path, as " + std::string(walk[found[0]].path.fullPathName().asChar()));
    return found[0];
}

// Transform channels a connection can animate.
const char* const kAnimatable[] = {"translateX", "translateY", "translateZ", "rotateX", "rotateY", "rotateZ",
                                   "scaleX", "scaleY", "scaleZ", "jointOrientX", "jointOrientY", "jointOrientZ",
                                   "rotateOrder"};

bool driven(const MObject& node, const char* attribute) {
    qmfhost::Connection c;
    return qmfhost::sourceOf(node, attribute, c);
}

}  // namespace

RootFold keepOnlyHierarchyOf(const std::string& path, const std::vector<SceneJoint>& walk, const std::string& root) {
    const SceneJoint& joint = walk[findRoot(path, walk, root)];
    RootFold fold;
    fold.above = joint.path.exclusiveMatrix();
    // Whatever animates the nodes above is not baked: only their pose now.
    MDagPath up = joint.path;
    std::vector<std::string> moving;
    while (up.length() > 1) {
        up.pop();
        for (const char* a : kAnimatable)
            if (driven(up.node(), a)) {
                moving.insert(moving.begin(), qmfhost::nodeName(up.node()));
                break;
            }
    }
    if (!moving.empty())
        fold.warning = "qmf: warning: --root " + root + ": " + nameList(moving) + " above it " +
                       (moving.size() == 1 ? "moves, which is not baked; its" : "move, which is not baked; their") +
                       " pose at the time read is\n";
    for (const char* a : {"jointOrientX", "jointOrientY", "jointOrientZ"})
        if (driven(joint.node, a))
            throw FormatError("--root " + root + ": its joint orient is animated, so what is above it cannot be folded in; "
                              "bake without --root");

    // The rotation above, folded into the joint orient: the joint's world
    // rotation is R * JO * above, now R * JO'.
    const MQuaternion above = MTransformationMatrix(fold.above).rotation();
    MQuaternion orient;
    MFnIkJoint(joint.node).getOrientation(orient);
    qmfhost::TransformValues v;
    if (!qmfhost::getTransformValues(joint.node, v)) throw FormatError("the host could not read " + root);
    const MEulerRotation jo = (orient * above).asEulerRotation();
    v.jointOrient[0] = jo.x;
    v.jointOrient[1] = jo.y;
    v.jointOrient[2] = jo.z;
    // Under the world there is no parent scale to divide out.
    v.inverseScale[0] = v.inverseScale[1] = v.inverseScale[2] = 1;
    MObject node = joint.node;
    if (!qmfhost::setParent(node, MObject()) || !qmfhost::setTransformValues(node, v))
        throw FormatError("the host could not move " + root + " to the top of " + path);
    // Everything else in the hierarchy goes; curves and other nodes outside it stay.
    for (const MObject& top : qmfhost::children(qmfhost::world()))
        if (top != node) qmfhost::deleteNode(top);
    return fold;
}

}  // namespace qmf::formats
