// MFnTransform and MFnIkJoint over the stored transform values.
#include <maya/MFnTransform.h>
#include <maya/MFnIkJoint.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <cmath>

using namespace qmfhost::detail;

namespace {

MEulerRotation::RotationOrder eulerOrder(int attributeOrder) {
    return static_cast<MEulerRotation::RotationOrder>(attributeOrder);
}

bool validOrder(MTransformationMatrix::RotationOrder order) {
    return order >= MTransformationMatrix::kXYZ && order <= MTransformationMatrix::kZYX;
}

// A rotation read needs the angles and the order they apply in.
constexpr unsigned kRotationSlots = slotBit(Slot::Rotate) | slotBit(Slot::RotateOrder);

bool finite3(double a, double b, double c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

// A write to a compound value is refused when any of its channels is locked,
// as Maya refuses setting a locked plug.
bool anyLocked(const Node& n, const char* compound) {
    const std::string c = compound;
    if (effectiveLocked(n, c)) return true;
    for (const char* axis : {"X", "Y", "Z"})
        if (effectiveLocked(n, c + axis)) return true;
    return false;
}

MStatus storeRotation(Node& n, MEulerRotation e) {
    if (!finite3(e.x, e.y, e.z)) return makeStatus(MStatus::kInvalidParameter);
    if (anyLocked(n, "rotate")) return makeStatus(MStatus::kFailure, kMsgLocked);
    if (e.order != eulerOrder(n.xf.rotateOrder)) e.reorderIt(eulerOrder(n.xf.rotateOrder));
    n.xf.rotate[0] = e.x;
    n.xf.rotate[1] = e.y;
    n.xf.rotate[2] = e.z;
    return MStatus::kSuccess;
}

MStatus storeOrientation(Node& n, MEulerRotation e) {
    if (!finite3(e.x, e.y, e.z)) return makeStatus(MStatus::kInvalidParameter);
    if (anyLocked(n, "jointOrient")) return makeStatus(MStatus::kFailure, kMsgLocked);
    if (e.order != MEulerRotation::kXYZ) e.reorderIt(MEulerRotation::kXYZ);
    n.xf.jointOrient[0] = e.x;
    n.xf.jointOrient[1] = e.y;
    n.xf.jointOrient[2] = e.z;
    return MStatus::kSuccess;
}

// Rotation of a node's local matrix: rotate axis, rotate, then (for a joint)
// joint orient.
MQuaternion localRotation(const Node& n) {
    const qmfhost::TransformValues v = channelValues(n);
    MQuaternion q = MEulerRotation(v.rotateAxis[0], v.rotateAxis[1], v.rotateAxis[2]).asQuaternion();
    q *= MEulerRotation(v.rotate[0], v.rotate[1], v.rotate[2], eulerOrder(v.rotateOrder)).asQuaternion();
    if (n.apiType == MFn::kJoint)
        q *= MEulerRotation(v.jointOrient[0], v.jointOrient[1], v.jointOrient[2]).asQuaternion();
    return q;
}

MTransformationMatrix localTransformation(const Node& n) {
    MTransformationMatrix m;
    if (!n.hasTransform) return m;
    const qmfhost::TransformValues v = channelValues(n);
    m.setScale(v.scale, MSpace::kTransform);
    m.rotateTo(localRotation(n));
    m.setTranslation(MVector(v.translate[0], v.translate[1], v.translate[2]), MSpace::kTransform);
    return m;
}

// One channel of a joint's inverseScale plug: the value of what drives it
// (normally the parent's scale), else its own.
double inverseScaleChannel(const Node& n, int axis) {
    static const char* const keys[3] = {"inverseScaleX", "inverseScaleY", "inverseScaleZ"};
    const std::string key = keys[axis];
    std::vector<double> v;
    if (const ConnectionRec* c = drivingConnection(n.id, key)) {
        const Node* src = node(c->src);
        if (src && readAttrValues(*src, findAttr(*src, c->srcKey), v)) {
            if (c->dstKey == key && v.size() == 1) return v[0];
            if (c->dstKey != key && v.size() == 3) return v[static_cast<size_t>(axis)];
        }
    }
    return readAttrValues(n, findAttr(n, key), v) && v.size() == 1 ? v[0] : 1.0;
}

// The nodes of the set's own path, leaf first; false when the set was not
// built from a path (world space needs one, as in Maya).
bool pathUp(const MDagPath& path, const MObject& attached, std::vector<const Node*>& up) {
    if (!path.isValid() || path.node() != attached) return false;
    up.clear();
    const auto& ids = path.nodeIds();
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) up.push_back(node(*it));
    return true;
}

}  // namespace

// A node's local matrix as Maya composes a joint's: [S][RO][R][JO][IS][T],
// IS dividing out the inverse scale so a parent's scale does not stretch the
// segment down to the child. No IS for other nodes, with
// segmentScaleCompensate off, or on an axis whose inverse scale is zero.
MMatrix qmfhost::detail::localMatrix(const Node& n) {
    MMatrix m = localTransformation(n).asMatrix();
    if (n.apiType != MFn::kJoint) return m;
    std::vector<double> ssc;
    if (readAttrValues(n, findAttr(n, "segmentScaleCompensate"), ssc) && ssc.size() == 1 && ssc[0] == 0.0) return m;
    for (int c = 0; c < 3; ++c) {
        const double is = inverseScaleChannel(n, c);
        if (is == 0.0 || !std::isfinite(is)) continue;
        for (int r = 0; r < 3; ++r) m.matrix[r][c] /= is;
    }
    return m;
}

MMatrix qmfhost::detail::pathMatrix(const std::vector<Id>& ids, bool skipLast) {
    // Row vectors: world = leaf * parent * ... * top.
    MMatrix m;
    const std::size_t end = skipLast && !ids.empty() ? ids.size() - 1 : ids.size();
    for (std::size_t i = end; i-- > 0;)
        if (const Node* n = node(ids[i])) m = m * localMatrix(*n);
    return m;
}

// ---- MFnTransform ------------------------------------------------------------

MFnTransform::MFnTransform(MObject& object, MStatus* ReturnStatus) { report(ReturnStatus, attach(object)); }
MFnTransform::MFnTransform(const MObject& object, MStatus* ReturnStatus) {
    report(ReturnStatus, attach(object));
}
MFnTransform::MFnTransform(const MDagPath& path, MStatus* ReturnStatus) {
    MStatus s = attach(path.node());
    if (s) fPath = path;
    report(ReturnStatus, s);
}
MFnTransform::~MFnTransform() = default;

MFn::Type MFnTransform::type() const { return MFn::kTransform; }

MObject MFnTransform::create(MObject parent, MStatus* ReturnStatus) {
    MStatus injected;
    if (qmfhost::detail::fault("MFnTransform::create", &injected, &parent)) {
        report(ReturnStatus, injected);
        return MObject::kNullObj;
    }
    return MFnDagNode::create("transform", parent, ReturnStatus);
}

bool MFnTransform::localSpace(MSpace::Space space, MStatus* status) {
    if (space == MSpace::kTransform || space == MSpace::kPreTransform || space == MSpace::kPostTransform)
        return true;
    report(status, makeStatus(MStatus::kInvalidParameter));
    return false;
}

MTransformationMatrix MFnTransform::transformation(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MTransformationMatrix();
    report(ReturnStatus, MStatus::kSuccess);
    return localTransformation(*node(fObject));
}

MVector MFnTransform::translation(MSpace::Space space, MStatus* ReturnStatus) const {
    return getTranslation(space, ReturnStatus);
}

MVector MFnTransform::getTranslation(MSpace::Space space, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MVector();
    std::vector<const Node*> up;
    if (space == MSpace::kWorld && pathUp(fPath, fObject, up)) {
        const MMatrix world = pathMatrix(fPath.nodeIds(), false);
        report(ReturnStatus, MStatus::kSuccess);
        return MVector(world(3, 0), world(3, 1), world(3, 2));
    }
    if (!localSpace(space, ReturnStatus)) return MVector();
    const qmfhost::TransformValues v = channelValues(*node(fObject), slotBit(Slot::Translate));
    report(ReturnStatus, MStatus::kSuccess);
    return MVector(v.translate[0], v.translate[1], v.translate[2]);
}

MStatus MFnTransform::setTranslation(const MVector& vec, MSpace::Space space) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnTransform::setTranslation", &s, &fObject, "translate")) return s;
    if (!localSpace(space, &s)) return s;
    if (!finite3(vec.x, vec.y, vec.z)) return makeStatus(MStatus::kInvalidParameter);
    Node* n = node(fObject);
    if (anyLocked(*n, "translate")) return makeStatus(MStatus::kFailure, kMsgLocked);
    n->xf.translate[0] = vec.x;
    n->xf.translate[1] = vec.y;
    n->xf.translate[2] = vec.z;
    return MStatus::kSuccess;
}

MStatus MFnTransform::translateBy(const MVector& vec, MSpace::Space space) {
    MStatus s;
    MVector t = getTranslation(space, &s);
    if (!s) return s;
    return setTranslation(t + vec, space);
}

MStatus MFnTransform::getRotation(MQuaternion& quaternion, MSpace::Space space) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnTransform::getRotation", &s, &fObject, "rotate")) return s;
    if (space == MSpace::kWorld) {
        std::vector<const Node*> up;
        if (!pathUp(fPath, fObject, up)) return makeStatus(MStatus::kInvalidParameter);
        // The orientation of the whole world matrix: every local rotation on
        // the path, the node's own first.
        MQuaternion q;
        for (const Node* n : up)
            if (n->hasTransform) q *= localRotation(*n);
        quaternion = q;
        return MStatus::kSuccess;
    }
    const qmfhost::TransformValues v = channelValues(*node(fObject), kRotationSlots);
    quaternion = MEulerRotation(v.rotate[0], v.rotate[1], v.rotate[2], eulerOrder(v.rotateOrder)).asQuaternion();
    return MStatus::kSuccess;
}

MStatus MFnTransform::getRotation(MEulerRotation& rotation) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnTransform::getRotation", &s, &fObject, "rotate")) return s;
    const qmfhost::TransformValues v = channelValues(*node(fObject), kRotationSlots);
    rotation = MEulerRotation(v.rotate[0], v.rotate[1], v.rotate[2], eulerOrder(v.rotateOrder));
    return MStatus::kSuccess;
}

MStatus MFnTransform::getRotation(double rotation[3], MTransformationMatrix::RotationOrder& order) const {
    MEulerRotation e;
    MStatus s = getRotation(e);
    if (!s) return s;
    rotation[0] = e.x;
    rotation[1] = e.y;
    rotation[2] = e.z;
    order = static_cast<MTransformationMatrix::RotationOrder>(e.order + 1);
    return s;
}

MStatus MFnTransform::setRotation(const MQuaternion& quaternion, MSpace::Space space) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnTransform::setRotation", &s, &fObject, "rotate")) return s;
    if (space == MSpace::kWorld || space == MSpace::kInvalid) return makeStatus(MStatus::kInvalidParameter);
    if (!finite3(quaternion.x, quaternion.y, quaternion.z) || !std::isfinite(quaternion.w))
        return makeStatus(MStatus::kInvalidParameter);
    return storeRotation(*node(fObject), quaternion.normal().asEulerRotation());
}

MStatus MFnTransform::setRotation(const MEulerRotation& rotation) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnTransform::setRotation", &s, &fObject, "rotate")) return s;
    if (rotation.order < MEulerRotation::kXYZ || rotation.order > MEulerRotation::kZYX)
        return makeStatus(MStatus::kInvalidParameter);
    return storeRotation(*node(fObject), rotation);
}

MStatus MFnTransform::setRotation(const double rotation[3], MTransformationMatrix::RotationOrder order) {
    if (!validOrder(order)) return isAttached() ? makeStatus(MStatus::kInvalidParameter) : makeStatus(MStatus::kFailure);
    return setRotation(MEulerRotation(rotation[0], rotation[1], rotation[2],
                                      static_cast<MEulerRotation::RotationOrder>(order - 1)));
}

MTransformationMatrix::RotationOrder MFnTransform::rotationOrder(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MTransformationMatrix::kInvalid;
    report(ReturnStatus, MStatus::kSuccess);
    const int order = channelValues(*node(fObject), slotBit(Slot::RotateOrder)).rotateOrder;
    return static_cast<MTransformationMatrix::RotationOrder>(order + 1);
}

MStatus MFnTransform::setRotationOrder(MTransformationMatrix::RotationOrder order, bool reorder) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!validOrder(order)) return makeStatus(MStatus::kInvalidParameter);
    Node* n = node(fObject);
    if (effectiveLocked(*n, "rotateOrder")) return makeStatus(MStatus::kFailure, kMsgLocked);
    const int newOrder = static_cast<int>(order) - 1;
    if (reorder) {
        MEulerRotation e(n->xf.rotate[0], n->xf.rotate[1], n->xf.rotate[2], eulerOrder(n->xf.rotateOrder));
        e.reorderIt(eulerOrder(newOrder));
        n->xf.rotate[0] = e.x;
        n->xf.rotate[1] = e.y;
        n->xf.rotate[2] = e.z;
    }
    n->xf.rotateOrder = newOrder;
    return MStatus::kSuccess;
}

MStatus MFnTransform::getScale(double scale[3]) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    const qmfhost::TransformValues v = channelValues(*node(fObject), slotBit(Slot::Scale));
    const double* s = v.scale;
    scale[0] = s[0];
    scale[1] = s[1];
    scale[2] = s[2];
    return MStatus::kSuccess;
}

MStatus MFnTransform::setScale(const double scale[3]) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!finite3(scale[0], scale[1], scale[2])) return makeStatus(MStatus::kInvalidParameter);
    Node* n = node(fObject);
    if (anyLocked(*n, "scale")) return makeStatus(MStatus::kFailure, kMsgLocked);
    for (int i = 0; i < 3; ++i) n->xf.scale[i] = scale[i];
    return MStatus::kSuccess;
}

MStatus MFnTransform::getRotateOrientation(MQuaternion& quaternion) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    const qmfhost::TransformValues v = channelValues(*node(fObject), slotBit(Slot::RotateAxis));
    const double* ra = v.rotateAxis;
    quaternion = MEulerRotation(ra[0], ra[1], ra[2]).asQuaternion();
    return MStatus::kSuccess;
}

MStatus MFnTransform::setRotateOrientation(const MQuaternion& quaternion) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!finite3(quaternion.x, quaternion.y, quaternion.z) || !std::isfinite(quaternion.w))
        return makeStatus(MStatus::kInvalidParameter);
    Node* n = node(fObject);
    if (anyLocked(*n, "rotateAxis")) return makeStatus(MStatus::kFailure, kMsgLocked);
    MEulerRotation e = quaternion.normal().asEulerRotation();
    n->xf.rotateAxis[0] = e.x;
    n->xf.rotateAxis[1] = e.y;
    n->xf.rotateAxis[2] = e.z;
    return MStatus::kSuccess;
}

// ---- MFnIkJoint ----------------------------------------------------------------

MFnIkJoint::MFnIkJoint(MObject& object, MStatus* ReturnStatus) { report(ReturnStatus, attach(object)); }
MFnIkJoint::MFnIkJoint(const MObject& object, MStatus* ReturnStatus) { report(ReturnStatus, attach(object)); }
MFnIkJoint::MFnIkJoint(const MDagPath& path, MStatus* ReturnStatus) {
    MStatus s = attach(path.node());
    if (s) fPath = path;
    report(ReturnStatus, s);
}
MFnIkJoint::~MFnIkJoint() = default;

MFn::Type MFnIkJoint::type() const { return MFn::kJoint; }

MObject MFnIkJoint::create(MObject parent, MStatus* ReturnStatus) {
    MStatus injected;
    if (qmfhost::detail::fault("MFnIkJoint::create", &injected, &parent)) {
        report(ReturnStatus, injected);
        return MObject::kNullObj;
    }
    return MFnDagNode::create("joint", parent, ReturnStatus);
}

MStatus MFnIkJoint::getOrientation(MQuaternion& quaternion) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnIkJoint::getOrientation", &s, &fObject, "jointOrient")) return s;
    const Node& n = *node(fObject);
    // Importers read the orientation on every key: an undriven one is read in
    // place, and its quaternion kept until the angles change.
    qmfhost::TransformValues driven;
    const double* jo = n.xf.jointOrient;
    if (n.drivenSlots & slotBit(Slot::JointOrient)) {
        driven = channelValues(n, slotBit(Slot::JointOrient));
        jo = driven.jointOrient;
    }
    Node::OrientCache& c = n.orientCache;
    if (!(c.valid && c.angles[0] == jo[0] && c.angles[1] == jo[1] && c.angles[2] == jo[2])) {
        c.quaternion = MEulerRotation(jo[0], jo[1], jo[2]).asQuaternion();
        c.angles[0] = jo[0];
        c.angles[1] = jo[1];
        c.angles[2] = jo[2];
        c.valid = true;
    }
    quaternion = c.quaternion;
    return MStatus::kSuccess;
}

MStatus MFnIkJoint::getOrientation(MEulerRotation& rotation) const {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    MStatus s;
    if (qmfhost::detail::fault("MFnIkJoint::getOrientation", &s, &fObject, "jointOrient")) return s;
    const qmfhost::TransformValues v = channelValues(*node(fObject), slotBit(Slot::JointOrient));
    const double* jo = v.jointOrient;
    rotation = MEulerRotation(jo[0], jo[1], jo[2]);
    return MStatus::kSuccess;
}

MStatus MFnIkJoint::getOrientation(double rotation[3], MTransformationMatrix::RotationOrder& order) const {
    MEulerRotation e;
    MStatus s = getOrientation(e);
    if (!s) return s;
    rotation[0] = e.x;
    rotation[1] = e.y;
    rotation[2] = e.z;
    order = MTransformationMatrix::kXYZ;
    return s;
}

MStatus MFnIkJoint::setOrientation(const MQuaternion& quaternion) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!finite3(quaternion.x, quaternion.y, quaternion.z) || !std::isfinite(quaternion.w))
        return makeStatus(MStatus::kInvalidParameter);
    return storeOrientation(*node(fObject), quaternion.normal().asEulerRotation());
}

MStatus MFnIkJoint::setOrientation(const MEulerRotation& rotation) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (rotation.order < MEulerRotation::kXYZ || rotation.order > MEulerRotation::kZYX)
        return makeStatus(MStatus::kInvalidParameter);
    return storeOrientation(*node(fObject), rotation);
}

MStatus MFnIkJoint::setOrientation(const double rotation[3], MTransformationMatrix::RotationOrder order) {
    if (!isAttached()) return makeStatus(MStatus::kFailure);
    if (!validOrder(order)) return makeStatus(MStatus::kInvalidParameter);
    return setOrientation(MEulerRotation(rotation[0], rotation[1], rotation[2],
                                         static_cast<MEulerRotation::RotationOrder>(order - 1)));
}

MStatus MFnIkJoint::getScaleOrientation(MQuaternion& quaternion) const { return getRotateOrientation(quaternion); }

MStatus MFnIkJoint::setScaleOrientation(const MQuaternion& quaternion) {
    return setRotateOrientation(quaternion);
}
