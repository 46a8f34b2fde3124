// MFnDagNode: DAG nodes, their parents and children, their own matrix.
#include <maya/MFnDagNode.h>
#include <maya/MDagPath.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <algorithm>

using namespace qmfhost::detail;

namespace {
MStatus notAttached() { return makeStatus(MStatus::kFailure); }
}  // namespace

// ---- MFnDagNode -------------------------------------------------------------

MFnDagNode::MFnDagNode(MObject& object, MStatus* ReturnStatus) { report(ReturnStatus, attach(object)); }
MFnDagNode::MFnDagNode(const MObject& object, MStatus* ReturnStatus) { report(ReturnStatus, attach(object)); }
MFnDagNode::MFnDagNode(const MDagPath& path, MStatus* ReturnStatus) {
    MStatus s = attach(path.node());
    if (s) fPath = path;
    report(ReturnStatus, s);
}
MFnDagNode::~MFnDagNode() = default;

MFn::Type MFnDagNode::type() const { return MFn::kDagNode; }

MMatrix MFnDagNode::transformationMatrix(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MMatrix();
    report(ReturnStatus, MStatus::kSuccess);
    return localMatrix(*node(fObject));
}

MObject MFnDagNode::create(const MString& type, const MObject& parent, MStatus* ReturnStatus) {
    return create(type, MString(), parent, ReturnStatus);
}

MObject MFnDagNode::create(const MString& type, const MString& name, const MObject& parent,
                           MStatus* ReturnStatus) {
    MStatus injected;
    if (qmfhost::detail::fault("MFnDagNode::create", &injected, &parent)) {
        report(ReturnStatus, injected);
        return MObject::kNullObj;
    }
    const std::string t = type.asChar();
    // Known dependency-only types (curves, unit conversions, ...) cannot go in the DAG.
    const bool knownDg = apiTypeForNodeType(t) != MFn::kInvalid && !isKnownDagType(t);
    Node* p = nullptr;
    if (!parent.isNull()) {
        p = node(parent);
        if (!p || !p->dag || isShapeType(p->type)) {
            report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
            return MObject::kNullObj;
        }
    }
    if (t.empty() || knownDg || t == "world") {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    std::string n = name.asChar();
    n = n.empty() ? uniqueName(t) : (nameInUse(n) ? uniqueName(n) : n);
    Node* result = nullptr;
    if (!p && isShapeType(t)) {
        // A shape needs a transform above it; the transform is what is returned.
        Node* xform = makeNode("transform", name.length() ? n : uniqueName("transform"), true, 0);
        std::string shapeName = name.length() ? uniqueName(n + "Shape") : n;
        makeNode(t, shapeName, true, xform->id);
        result = xform;
    } else {
        result = makeNode(t, n, true, p ? p->id : 0);
    }
    MObject obj(MObject::kNodeKind, result->id);
    attach(obj);
    fPath = MDagPath();
    report(ReturnStatus, MStatus::kSuccess);
    return obj;
}

unsigned int MFnDagNode::childCount(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0;
    report(ReturnStatus, MStatus::kSuccess);
    return static_cast<unsigned int>(node(fObject)->children.size());
}

MObject MFnDagNode::child(unsigned int i, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MObject::kNullObj;
    const Node* n = node(fObject);
    if (i >= n->children.size()) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgNoElement));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, n->children[i]);
}

unsigned int MFnDagNode::parentCount(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0;
    report(ReturnStatus, MStatus::kSuccess);
    return static_cast<unsigned int>(node(fObject)->parents.size());
}

MObject MFnDagNode::parent(unsigned int i, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MObject::kNullObj;
    const Node* n = node(fObject);
    if (i >= n->parents.size()) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgNoElement));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, n->parents[i]);
}

namespace {
void detach(Node& parent, Node& child) {
    parent.children.erase(std::remove(parent.children.begin(), parent.children.end(), child.id),
                          parent.children.end());
    child.parents.erase(std::remove(child.parents.begin(), child.parents.end(), parent.id),
                        child.parents.end());
}
}  // namespace

MStatus MFnDagNode::addChild(MObject& childObject, unsigned int index, bool keepExistingParents) {
    if (!isAttached()) return notAttached();
    Node* p = node(fObject);
    Node* c = node(childObject);
    if (!c || !c->dag || c->world || c == p || isAncestor(c->id, p->id) || isShapeType(p->type))
        return makeStatus(MStatus::kInvalidParameter);
    const bool alreadyChild = std::find(c->parents.begin(), c->parents.end(), p->id) != c->parents.end();
    if (keepExistingParents && alreadyChild) return makeStatus(MStatus::kInvalidParameter);
    if (!keepExistingParents) {
        std::vector<Id> old = c->parents;
        for (Id o : old) detach(*node(o), *c);
    }
    const size_t at = std::min<size_t>(index, p->children.size());
    p->children.insert(p->children.begin() + static_cast<long>(at), c->id);
    c->parents.push_back(p->id);
    dagChanged();
    return MStatus::kSuccess;
}

MStatus MFnDagNode::removeChild(MObject& childObject) {
    if (!isAttached()) return notAttached();
    Node* p = node(fObject);
    Node* c = node(childObject);
    if (!c || std::find(p->children.begin(), p->children.end(), c->id) == p->children.end())
        return makeStatus(MStatus::kInvalidParameter);
    detach(*p, *c);
    dagChanged();
    // A node is never left outside the DAG: one without parents goes under the world.
    if (c->parents.empty()) {
        c->parents.push_back(host().worldId);
        worldNode()->children.push_back(c->id);
    }
    return MStatus::kSuccess;
}

MStatus MFnDagNode::removeChildAt(unsigned int index) {
    if (!isAttached()) return notAttached();
    Node* p = node(fObject);
    if (index >= p->children.size()) return makeStatus(MStatus::kInvalidParameter, kMsgNoElement);
    MObject c(MObject::kNodeKind, p->children[index]);
    return removeChild(c);
}

bool MFnDagNode::hasChild(const MObject& other, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return false;
    report(ReturnStatus, MStatus::kSuccess);
    const Node* n = node(fObject);
    return other.kind() == MObject::kNodeKind &&
           std::find(n->children.begin(), n->children.end(), other.id()) != n->children.end();
}

bool MFnDagNode::hasParent(const MObject& other, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return false;
    report(ReturnStatus, MStatus::kSuccess);
    const Node* n = node(fObject);
    return other.kind() == MObject::kNodeKind &&
           std::find(n->parents.begin(), n->parents.end(), other.id()) != n->parents.end();
}

bool MFnDagNode::isChildOf(const MObject& other, MStatus* ReturnStatus) const {
    return hasParent(other, ReturnStatus);
}

bool MFnDagNode::isParentOf(const MObject& other, MStatus* ReturnStatus) const {
    return hasChild(other, ReturnStatus);
}

MObject MFnDagNode::dagRoot(MStatus* ReturnStatus) {
    if (!checkAttached(ReturnStatus)) return MObject::kNullObj;
    report(ReturnStatus, MStatus::kSuccess);
    std::vector<Id> path = firstPath(fObject.id());
    return path.empty() ? fObject : MObject(MObject::kNodeKind, path.front());
}

bool MFnDagNode::isInstanced(bool indirect, MStatus* ReturnStatus) const {
    return instanceCount(indirect, ReturnStatus) > 1;
}

unsigned int MFnDagNode::instanceCount(bool total, MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return 0;
    report(ReturnStatus, MStatus::kSuccess);
    const Node* n = node(fObject);
    if (n->world) return 1;
    if (!total) return static_cast<unsigned int>(n->parents.size());
    return static_cast<unsigned int>(allPaths(n->id).size());
}

MStatus MFnDagNode::getPath(MDagPath& path) const {
    if (!isAttached()) return notAttached();
    path = dagPath();
    return MStatus::kSuccess;
}

MDagPath MFnDagNode::dagPath(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MDagPath();
    report(ReturnStatus, MStatus::kSuccess);
    if (fPath.isValid() && fPath.node() == fObject) return fPath;
    MDagPath p;
    MDagPath::getAPathTo(fObject, p);
    return p;
}

MString MFnDagNode::fullPathName(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    return dagPath(ReturnStatus).fullPathName();
}

MString MFnDagNode::partialPathName(MStatus* ReturnStatus) const {
    if (!checkAttached(ReturnStatus)) return MString();
    return dagPath(ReturnStatus).partialPathName();
}
