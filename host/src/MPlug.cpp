#include <maya/MPlug.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

#include <algorithm>

using namespace qmfhost::detail;

namespace {
// The node and attribute definition of a usable plug.
bool resolve(const MObject& n, const MObject& a, Node*& nodeOut, int& attrOut) {
    nodeOut = node(n);
    attrOut = attrIndex(a);
    return nodeOut && attrOut >= 0 && nodeHasAttr(*nodeOut, attrOut);
}

// The same, reporting to the caller's status as the API's getters do: a
// plug that is not usable is an object error.
bool resolve(const MObject& n, const MObject& a, Node*& nodeOut, int& attrOut, MStatus* ReturnStatus) {
    const bool usable = resolve(n, a, nodeOut, attrOut);
    report(ReturnStatus, usable ? MStatus(MStatus::kSuccess) : makeStatus(MStatus::kFailure));
    return usable;
}

MPlug plugFor(Id nodeId, const std::string& attrName) {
    Node* n = node(nodeId);
    if (!n) return MPlug();
    int i = findAttr(*n, attrName);
    if (i < 0) return MPlug();
    return MPlug(MObject(MObject::kNodeKind, nodeId), attrObject(i));
}
}  // namespace

MPlug::MPlug(const MObject& node, const MObject& attribute) : fNode(node), fAttribute(attribute) {}

bool MPlug::isNull(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    Node* n;
    int a;
    return !resolve(fNode, fAttribute, n, a);
}

MObject MPlug::node(MStatus* ReturnStatus) const {
    if (isNull()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return fNode;
}

MObject MPlug::attribute(MStatus* ReturnStatus) const {
    if (isNull()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return fAttribute;
}

MStatus MPlug::setAttribute(MObject& attribute) {
    Node* n = qmfhost::detail::node(fNode);
    if (!n) return makeStatus(MStatus::kFailure);
    int a = attrIndex(attribute);
    if (a < 0 || !nodeHasAttr(*n, a)) return makeStatus(MStatus::kInvalidParameter);
    fAttribute = attribute;
    return MStatus::kSuccess;
}

MString MPlug::name(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return MString();
    return MString((n->name + "." + attrDef(a).longName).c_str());
}

MString MPlug::partialName(bool includeNodeName, bool useLongNames, MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return MString();
    const AttrDef& d = attrDef(a);
    std::string attr = (useLongNames || d.shortName.empty()) ? d.longName : d.shortName;
    return MString(includeNodeName ? (n->name + "." + attr).c_str() : attr.c_str());
}

bool MPlug::isLocked(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return false;
    return effectiveLocked(*n, attrDef(a).longName);
}

MStatus MPlug::setLocked(bool locked) {
    Node* n;
    int a;
    MStatus s;
    if (qmfhost::detail::fault("MPlug::setLocked", &s, &fNode,
                               attrIndex(fAttribute) >= 0 ? attrDef(attrIndex(fAttribute)).longName.c_str() : nullptr))
        return s;
    if (!resolve(fNode, fAttribute, n, a)) return makeStatus(MStatus::kFailure);
    setLockFlag(*n, attrDef(a).longName, locked);
    return MStatus::kSuccess;
}

bool MPlug::isDestination(MStatus* ReturnStatus) const { return !source(ReturnStatus).isNull(); }

bool MPlug::isSource(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return false;
    return !connectionsFrom(n->id, attrDef(a).longName).empty();
}

bool MPlug::isConnected(MStatus* ReturnStatus) const {
    MStatus s;
    bool dst = isDestination(&s);
    if (!s) {
        report(ReturnStatus, s);
        return false;
    }
    return dst || isSource(ReturnStatus);
}

MPlug MPlug::source(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return MPlug();
    const ConnectionRec* c = drivingConnection(n->id, attrDef(a).longName);
    return c ? plugFor(c->src, c->srcAttr) : MPlug();
}

bool MPlug::connectedTo(MPlugArray& array, bool asDst, bool asSrc, MStatus* ReturnStatus) const {
    array.clear();
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return false;
    const std::string& key = attrDef(a).longName;
    // In the order the connections were made, as a scan of them all would list them.
    std::vector<const ConnectionRec*> found;
    if (asSrc) found = connectionsFrom(n->id, key);
    if (asDst)
        if (const ConnectionRec* in = connectionInto(n->id, key))
            found.insert(std::lower_bound(found.begin(), found.end(), in,
                                          [](const ConnectionRec* a, const ConnectionRec* b) { return a->id < b->id; }),
                         in);
    const ConnectionRec* previous = nullptr;
    for (const ConnectionRec* c : found) {
        if (c == previous) continue;   // a plug fed by itself: both sides are added below
        previous = c;
        if (asDst && c->dst == n->id && c->dstKey == key) array.append(plugFor(c->src, c->srcAttr));
        if (asSrc && c->src == n->id && c->srcKey == key) array.append(plugFor(c->dst, c->dstAttr));
    }
    return array.length() > 0;
}

bool MPlug::isCompound(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return false;
    return attrDef(a).unit == AttrUnit::Compound;
}

unsigned int MPlug::numChildren(MStatus* ReturnStatus) const { return isCompound(ReturnStatus) ? 3u : 0u; }

MPlug MPlug::child(unsigned int index, MStatus* ReturnStatus) const {
    if (!isCompound(ReturnStatus) || index >= 3) {
        if (!isNull()) report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgNoElement));
        return MPlug();
    }
    // Compound children follow their parent in the attribute table.
    return MPlug(fNode, attrObject(attrIndex(fAttribute) + 1 + static_cast<int>(index)));
}

MPlug MPlug::parent(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a) || attrDef(a).parent < 0) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MPlug();
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MPlug(fNode, attrObject(attrDef(a).parent));
}

bool MPlug::isChild(MStatus* ReturnStatus) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a, ReturnStatus)) return false;
    return attrDef(a).parent >= 0;
}

MStatus MPlug::getValue(double& value) const {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a)) return makeStatus(MStatus::kFailure);
    std::vector<double> values;
    if (!readAttrValues(*n, a, values) || values.size() != 1) return makeStatus(MStatus::kInvalidParameter);
    value = values[0];
    return MStatus::kSuccess;
}

double MPlug::asDouble(MStatus* ReturnStatus) const {
    double v = 0.0;
    MStatus s = getValue(v);
    report(ReturnStatus, s);
    return s ? v : 0.0;
}

int MPlug::asInt(MStatus* ReturnStatus) const {
    const double v = asDouble(ReturnStatus);
    // Clamped: converting an out-of-range double to int is undefined.
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

MStatus MPlug::setValue(double value) {
    Node* n;
    int a;
    if (!resolve(fNode, fAttribute, n, a)) return makeStatus(MStatus::kFailure);
    if (effectiveLocked(*n, attrDef(a).longName)) return makeStatus(MStatus::kFailure);
    if (!writeAttrValues(*n, a, std::vector<double>(1, value))) return makeStatus(MStatus::kInvalidParameter);
    return MStatus::kSuccess;
}

bool MPlug::operator==(const MPlug& other) const {
    return fNode == other.fNode && fAttribute == other.fAttribute;
}
