// MFnBase and MFnDependencyNode (MFnDagNode is in MFnDagNode.cpp).
#include <maya/MFnBase.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <algorithm>

using namespace qmfhost::detail;

namespace {

// Whether objects of type t can be handled by a function set of type base.
bool derivesFrom(MFn::Type t, MFn::Type base) {
    if (t == base) return true;
    switch (base) {
    case MFn::kBase: return t != MFn::kInvalid;
    case MFn::kNamedObject:
    case MFn::kDependencyNode:
        return !(t == MFn::kBase || t == MFn::kNamedObject || t == MFn::kPlugin || t == MFn::kAttribute ||
                 t == MFn::kCompoundAttribute || t == MFn::kEnumAttribute || t == MFn::kNumericAttribute ||
                 t == MFn::kTypedAttribute || t == MFn::kUnitAttribute || t == MFn::kMessageAttribute ||
                 t == MFn::kInvalid);
    case MFn::kDagNode:
        return t == MFn::kWorld || derivesFrom(t, MFn::kTransform) || derivesFrom(t, MFn::kShape);
    case MFn::kTransform:
        return t == MFn::kJoint || t == MFn::kIkHandle || t == MFn::kIkEffector;
    case MFn::kShape:
        return t == MFn::kMesh || t == MFn::kLocator || t == MFn::kCamera || t == MFn::kLight ||
               t == MFn::kNurbsCurve || t == MFn::kNurbsSurface;
    case MFn::kAnimCurve:
        return t >= MFn::kAnimCurveTimeToAngular && t <= MFn::kAnimCurveUnitlessToUnitless;
    default: return false;
    }
}

MStatus notAttached() { return makeStatus(MStatus::kFailure); }

}  // namespace

// ---- MFnBase ------------------------------------------------------------

MFnBase::~MFnBase() = default;

MFn::Type MFnBase::type() const { return MFn::kBase; }

bool MFnBase::hasObj(MFn::Type t) const { return derivesFrom(t, type()); }

bool MFnBase::hasObj(const MObject& object) const { return object.hasFn(type()); }

MObject MFnBase::object(MStatus* ReturnStatus) const {
    if (!isAttached()) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return fObject;
}

MStatus MFnBase::setObject(MObject& object) { return attach(object); }
MStatus MFnBase::setObject(const MObject& object) { return attach(object); }

MStatus MFnBase::attach(const MObject& object) {
    if (!object.isNull() && object.hasFn(type())) {
        fObject = object;
        return MStatus::kSuccess;
    }
    fObject = MObject();
    return makeStatus(MStatus::kInvalidParameter);
}

bool MFnBase::checkAttached(MStatus* ReturnStatus) const {
    if (isAttached()) return true;
    report(ReturnStatus, notAttached());
    return false;
}

// ---- MFnDependencyNode ----------------------------------------------------

MFnDependencyNode::MFnDependencyNode(MObject& object, MStatus* ReturnStatus) {
    report(ReturnStatus, attach(object));
}
MFnDependencyNode::MFnDependencyNode(const MObject& object, MStatus* ReturnStatus) {
    report(ReturnStatus, attach(object));
}
MFnDependencyNode::~MFnDependencyNode() = default;

MFn::Type MFnDependencyNode::type() const { return MFn::kDependencyNode; }

MObject MFnDependencyNode::create(const MString& type, MStatus* ReturnStatus) {
    return create(type, MString(), ReturnStatus);
}

MObject MFnDependencyNode::create(const MString& type, const MString& name, MStatus* ReturnStatus) {
    const std::string t = type.asChar();
    if (t.empty() || isKnownDagType(t)) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    std::string n = name.asChar();
    n = n.empty() ? uniqueName(t) : (nameInUse(n) ? uniqueName(n) : n);
    Node* created = makeNode(t, n, false, 0);
    MObject obj(MObject::kNodeKind, created->id);
    attach(obj);
    report(ReturnStatus, MStatus::kSuccess);
    return obj;
}

MString MFnDependencyNode::name(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString(node(fObject)->name.c_str());
}

MString MFnDependencyNode::setName(const MString& name, bool, MStatus* ReturnStatus) {
    if (!checkAttached(ReturnStatus)) return MString();
    Node* n = node(fObject);
    std::string wanted = name.asChar();
    if (wanted.empty() || n->world) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MString(n->name.c_str());
    }
    if (wanted != n->name && nameInUse(wanted)) wanted = uniqueName(wanted);
    setNodeName(*n, wanted);
    report(ReturnStatus, MStatus::kSuccess);
    return MString(n->name.c_str());
}

MString MFnDependencyNode::absoluteName(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString((":" + node(fObject)->name).c_str());
}

MString MFnDependencyNode::typeName(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    report(ReturnStatus, MStatus::kSuccess);
    return MString(node(fObject)->type.c_str());
}

MObject MFnDependencyNode::attribute(const MString& attrName, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MObject::kNullObj;
    MStatus injected;
    if (qmfhost::detail::fault("MFnDependencyNode::attribute", &injected, &fObject, attrName.asChar())) {
        report(ReturnStatus, injected);
        return MObject::kNullObj;
    }
    int i = findAttr(*node(fObject), attrName.asChar());
    if (i < 0) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgNotFoundType));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return attrObject(i);
}

bool MFnDependencyNode::hasAttribute(const MString& attrName, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return false;
    report(ReturnStatus, MStatus::kSuccess);
    return findAttr(*node(fObject), attrName.asChar()) >= 0;
}

namespace {
std::vector<int> nodeAttrs(const Node& n) {
    std::vector<int> out;
    for (int i = 0; i < attrCount(); ++i)
        if (nodeHasAttr(n, i)) out.push_back(i);
    return out;
}
}  // namespace

unsigned int MFnDependencyNode::attributeCount(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0;
    report(ReturnStatus, MStatus::kSuccess);
    return static_cast<unsigned int>(nodeAttrs(*node(fObject)).size());
}

MObject MFnDependencyNode::attribute(unsigned int index, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MObject::kNullObj;
    std::vector<int> attrs = nodeAttrs(*node(fObject));
    if (index >= attrs.size()) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgNoElement));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return attrObject(attrs[index]);
}

MPlug MFnDependencyNode::findPlug(const MString& attrName, bool, MStatus* ReturnStatus) const {
    MObject attr = attribute(attrName, ReturnStatus);
    return attr.isNull() ? MPlug() : MPlug(fObject, attr);
}

MPlug MFnDependencyNode::findPlug(const MObject& attr, bool, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MPlug();
    int i = attrIndex(attr);
    if (i < 0 || !nodeHasAttr(*node(fObject), i)) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MPlug();
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MPlug(fObject, attr);
}

MPlug MFnDependencyNode::findPlug(const MString& attrName, MStatus* ReturnStatus) const {
    return findPlug(attrName, false, ReturnStatus);
}

bool MFnDependencyNode::isLocked(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return false;
    report(ReturnStatus, MStatus::kSuccess);
    return false;
}
