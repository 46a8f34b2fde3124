// Host-only scene access (qmfhost/Scene.h); its curves are in SceneCurves.cpp.
#include <qmfhost/Scene.h>

#include "HostState.h"

#include <algorithm>
#include <cmath>

namespace qmfhost {

using namespace detail;

void resetScene() { resetSceneState(); }

MObject world() { return MObject(MObject::kNodeKind, host().worldId); }

MObject createNode(const std::string& type, const std::string& name, const MObject& parent,
                   NodeClass nodeClass, MStatus* status) {
    Node* p = nullptr;
    if (!parent.isNull()) {
        p = node(parent);
        if (!p || !p->dag) {
            report(status, makeStatus(MStatus::kInvalidParameter));
            return MObject::kNullObj;
        }
    }
    if (type.empty() || type == "world") {
        report(status, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    bool dag;
    switch (nodeClass) {
    case NodeClass::Dag: dag = true; break;
    case NodeClass::Dependency: dag = false; break;
    default: dag = isKnownDagType(type) || p != nullptr; break;
    }
    // Types with fixed behaviour keep their class: no DAG curves, no DG joints.
    const MFn::Type api = apiTypeForNodeType(type);
    if ((api != MFn::kInvalid && dag != isKnownDagType(type)) || (!dag && p)) {
        report(status, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    Node* n = makeNode(type, name.empty() ? uniqueName(type) : name, dag, p ? p->id : 0);
    report(status, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, n->id);
}

std::vector<MObject> findNodes(const std::string& nameOrPath) {
    std::vector<MObject> out;
    for (Id id : resolvePath(nameOrPath))
        if (!node(id)->world) out.emplace_back(MObject::kNodeKind, id);
    return out;
}

MObject findNode(const std::string& nameOrPath, MStatus* status) {
    std::vector<MObject> found = findNodes(nameOrPath);
    if (found.size() == 1) {
        report(status, MStatus::kSuccess);
        return found[0];
    }
    report(status, makeStatus(found.empty() ? MStatus::kNotFound : MStatus::kInvalidParameter));
    return MObject::kNullObj;
}

std::vector<MObject> allNodes() {
    std::vector<MObject> out;
    for (const auto& e : host().nodes)
        if (!e.second->world) out.emplace_back(MObject::kNodeKind, e.first);
    return out;
}

bool exists(const MObject& n) { return node(n) != nullptr; }

bool isDag(const MObject& n) {
    const Node* x = node(n);
    return x && x->dag;
}

std::string typeName(const MObject& n) {
    const Node* x = node(n);
    return x ? x->type : std::string();
}

std::string nodeName(const MObject& n) {
    const Node* x = node(n);
    return x ? x->name : std::string();
}

std::string fullPath(const MObject& n) {
    const Node* x = node(n);
    if (!x || !x->dag || x->world) return std::string();
    return pathString(firstPath(x->id));
}

std::string partialPath(const MObject& n) {
    const Node* x = node(n);
    if (!x) return std::string();
    if (!x->dag || x->world) return x->name;
    return partialPathOf(x->id);
}

std::vector<MObject> parents(const MObject& n) {
    std::vector<MObject> out;
    if (const Node* x = node(n))
        for (Id p : x->parents) out.emplace_back(MObject::kNodeKind, p);
    return out;
}

std::vector<MObject> children(const MObject& n) {
    std::vector<MObject> out;
    if (const Node* x = node(n))
        for (Id c : x->children) out.emplace_back(MObject::kNodeKind, c);
    return out;
}

namespace {
// A DAG node (not the world) and a parent it may go under.
bool validLink(Node* child, Node* parent) {
    return child && parent && child->dag && !child->world && parent->dag && child != parent &&
           !isAncestor(child->id, parent->id);
}

void unlink(Node& parent, Node& child) {
    parent.children.erase(std::remove(parent.children.begin(), parent.children.end(), child.id),
                          parent.children.end());
    child.parents.erase(std::remove(child.parents.begin(), child.parents.end(), parent.id), child.parents.end());
}
}  // namespace

MStatus setParent(const MObject& n, const MObject& newParent) {
    Node* c = node(n);
    Node* p = newParent.isNull() ? worldNode() : node(newParent);
    if (!validLink(c, p)) return makeStatus(MStatus::kInvalidParameter);
    std::vector<Id> old = c->parents;
    for (Id o : old) unlink(*node(o), *c);
    c->parents.push_back(p->id);
    p->children.push_back(c->id);
    dagChanged();
    return MStatus::kSuccess;
}

MStatus addParent(const MObject& n, const MObject& parent) {
    Node* c = node(n);
    Node* p = parent.isNull() ? worldNode() : node(parent);
    if (!validLink(c, p) || std::find(c->parents.begin(), c->parents.end(), p->id) != c->parents.end())
        return makeStatus(MStatus::kInvalidParameter);
    c->parents.push_back(p->id);
    p->children.push_back(c->id);
    dagChanged();
    return MStatus::kSuccess;
}

MStatus removeParent(const MObject& n, const MObject& parent) {
    Node* c = node(n);
    Node* p = parent.isNull() ? worldNode() : node(parent);
    if (!c || !p || std::find(c->parents.begin(), c->parents.end(), p->id) == c->parents.end())
        return makeStatus(MStatus::kInvalidParameter);
    unlink(*p, *c);
    dagChanged();
    if (c->parents.empty()) deleteNodeTree(c->id);
    return MStatus::kSuccess;
}

MStatus rename(const MObject& n, const std::string& newName) {
    Node* x = node(n);
    if (!x || x->world || newName.empty()) return makeStatus(MStatus::kInvalidParameter);
    setNodeName(*x, newName);
    return MStatus::kSuccess;
}

MStatus deleteNode(const MObject& n) {
    Node* x = node(n);
    if (!x || x->world) return makeStatus(MStatus::kInvalidParameter);
    deleteNodeTree(x->id);
    return MStatus::kSuccess;
}

namespace {
bool finiteValues(const TransformValues& v) {
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(v.translate[i]) || !std::isfinite(v.rotate[i]) || !std::isfinite(v.scale[i]) ||
            !std::isfinite(v.jointOrient[i]) || !std::isfinite(v.rotateAxis[i]) || !std::isfinite(v.inverseScale[i]))
            return false;
    return v.rotateOrder >= 0 && v.rotateOrder <= 5;
}
}  // namespace

MStatus getTransformValues(const MObject& n, TransformValues& values) {
    const Node* x = node(n);
    if (!x || !x->hasTransform) return makeStatus(MStatus::kInvalidParameter);
    values = x->xf;
    return MStatus::kSuccess;
}

MStatus setTransformValues(const MObject& n, const TransformValues& values) {
    Node* x = node(n);
    if (!x || !x->hasTransform || !finiteValues(values)) return makeStatus(MStatus::kInvalidParameter);
    x->xf = values;
    if (x->apiType != MFn::kJoint) std::fill(x->xf.jointOrient, x->xf.jointOrient + 3, 0.0);
    return MStatus::kSuccess;
}

MStatus getAttributeValue(const MObject& n, const std::string& attribute, std::vector<double>& values) {
    const Node* x = node(n);
    if (!x) return makeStatus(MStatus::kInvalidParameter);
    if (!readAttrValues(*x, findAttr(*x, attribute), values)) return makeStatus(MStatus::kInvalidParameter);
    return MStatus::kSuccess;
}

MStatus setAttributeValue(const MObject& n, const std::string& attribute, const std::vector<double>& values) {
    Node* x = node(n);
    if (!x) return makeStatus(MStatus::kInvalidParameter);
    if (!writeAttrValues(*x, findAttr(*x, attribute), values)) return makeStatus(MStatus::kInvalidParameter);
    return MStatus::kSuccess;
}

bool hasAttribute(const MObject& n, const std::string& attribute) {
    const Node* x = node(n);
    return x && findAttr(*x, attribute) >= 0;
}

MStatus addAttribute(const MObject& n, const std::string& longName, const std::string& shortName) {
    Node* x = node(n);
    if (!x || longName.empty() || findAttr(*x, longName) >= 0 ||
        (!shortName.empty() && findAttr(*x, shortName) >= 0))
        return makeStatus(MStatus::kInvalidParameter);
    addExtraAttr(*x, internAttr(longName, shortName, AttrUnit::Other));
    return MStatus::kSuccess;
}

std::string longAttributeName(const MObject& n, const std::string& attribute) {
    const Node* x = node(n);
    return x ? attrKey(*x, attribute) : attribute;
}

MStatus setLocked(const MObject& n, const std::string& attribute, bool locked) {
    Node* x = node(n);
    if (!x || attribute.empty()) return makeStatus(MStatus::kInvalidParameter);
    setLockFlag(*x, attrKey(*x, attribute), locked);
    return MStatus::kSuccess;
}

bool isLocked(const MObject& n, const std::string& attribute) {
    const Node* x = node(n);
    return x && lockFlag(*x, attrKey(*x, attribute));
}

std::vector<std::string> lockedAttributes(const MObject& n) {
    std::vector<std::string> out;
    if (const Node* x = node(n))
        for (const auto& l : x->locks)
            if (l.second) out.push_back(l.first);
    return out;
}

namespace {
Connection toPublic(const ConnectionRec& c) {
    return Connection{MObject(MObject::kNodeKind, c.src), c.srcAttr, MObject(MObject::kNodeKind, c.dst), c.dstAttr};
}

// Makes an attribute name known on a node that does not have it yet, so the
// API can reach both ends of a connection made with any name.
void declare(Node& n, const std::string& attribute) {
    if (findAttr(n, attribute) < 0) addExtraAttr(n, internAttr(attribute, std::string(), AttrUnit::Other));
}
}  // namespace

std::vector<Connection> connections() {
    std::vector<Connection> out;
    for (const ConnectionRec* c : allConnections()) out.push_back(toPublic(*c));
    return out;
}

std::vector<Connection> connections(const MObject& n) {
    std::vector<Connection> out;
    if (n.kind() != MObject::kNodeKind) return out;
    for (const ConnectionRec* c : connectionsOf(n.id())) out.push_back(toPublic(*c));
    return out;
}

MStatus connect(const MObject& sourceNode, const std::string& sourceAttribute, const MObject& destinationNode,
                const std::string& destinationAttribute, bool force) {
    Node* s = node(sourceNode);
    Node* d = node(destinationNode);
    if (!s || !d || sourceAttribute.empty() || destinationAttribute.empty())
        return makeStatus(MStatus::kInvalidParameter);
    const std::string dkey = attrKey(*d, destinationAttribute);
    if (effectiveLocked(*d, dkey)) return makeStatus(MStatus::kInvalidParameter, kMsgLocked);
    if (const ConnectionRec* old = connectionInto(d->id, dkey)) {
        if (!force) return makeStatus(MStatus::kInvalidParameter, kMsgConnected);
        removeConnection(old->id);
    }
    declare(*s, sourceAttribute);
    declare(*d, destinationAttribute);
    addConnection(s->id, sourceAttribute, d->id, destinationAttribute);
    return MStatus::kSuccess;
}

MStatus disconnect(const MObject& sourceNode, const std::string& sourceAttribute, const MObject& destinationNode,
                   const std::string& destinationAttribute) {
    Node* s = node(sourceNode);
    Node* d = node(destinationNode);
    if (!s || !d) return makeStatus(MStatus::kInvalidParameter);
    const std::string skey = attrKey(*s, sourceAttribute);
    const std::string dkey = attrKey(*d, destinationAttribute);
    const ConnectionRec* c = connectionInto(d->id, dkey);
    if (!c || c->src != s->id || c->srcKey != skey) return makeStatus(MStatus::kNotFound);
    removeConnection(c->id);
    return MStatus::kSuccess;
}

bool sourceOf(const MObject& n, const std::string& attribute, Connection& found) {
    const Node* x = node(n);
    if (!x) return false;
    const ConnectionRec* c = drivingConnection(x->id, attrKey(*x, attribute));
    if (!c) return false;
    found = toPublic(*c);
    return true;
}

}  // namespace qmfhost
