#include <maya/MDGModifier.h>
#include <maya/MPlug.h>

#include "HostState.h"

#include <algorithm>

using namespace qmfhost::detail;

struct MDGModifier::Op {
    enum Kind { Created, Rename, Delete, Connect, Disconnect } kind;
    MObject node;         // Created / Rename / Delete
    std::string name;     // Rename: the new name; after doIt, the old one
    MObject srcNode, srcAttr, dstNode, dstAttr;
};

MDGModifier::MDGModifier() : fOps(new std::vector<Op>), fDone(0) {}

MDGModifier::~MDGModifier() { delete fOps; }

void MDGModifier::recordCreatedNode(const MObject& n) {
    // Already carried out: it counts as done.
    Op op{Op::Created, n, {}, {}, {}, {}, {}};
    fOps->insert(fOps->begin() + static_cast<long>(fDone), op);
    ++fDone;
}

MObject MDGModifier::createNode(const MString& type, MStatus* ReturnStatus) {
    const std::string t = type.asChar();
    if (t.empty() || isKnownDagType(t) || t == "world") {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MObject::kNullObj;
    }
    Node* n = makeNode(t, uniqueName(t), false, 0);
    MObject obj(MObject::kNodeKind, n->id);
    recordCreatedNode(obj);
    report(ReturnStatus, MStatus::kSuccess);
    return obj;
}

MStatus MDGModifier::renameNode(const MObject& n, const MString& newName) {
    Node* target = node(n);
    if (!target || target->world || newName.length() == 0) return makeStatus(MStatus::kInvalidParameter);
    fOps->push_back(Op{Op::Rename, n, newName.asChar(), {}, {}, {}, {}});
    return MStatus::kSuccess;
}

MStatus MDGModifier::deleteNode(const MObject& n) {
    Node* target = node(n);
    if (!target || target->world) return makeStatus(MStatus::kInvalidParameter);
    fOps->push_back(Op{Op::Delete, n, {}, {}, {}, {}, {}});
    return MStatus::kSuccess;
}

namespace {
bool plugParts(const MObject& n, const MObject& a) {
    Node* target = node(n);
    int i = attrIndex(a);
    return target && i >= 0 && nodeHasAttr(*target, i);
}
}  // namespace

MStatus MDGModifier::connect(const MObject& sn, const MObject& sa, const MObject& dn, const MObject& da) {
    if (!plugParts(sn, sa) || !plugParts(dn, da)) return makeStatus(MStatus::kInvalidParameter);
    fOps->push_back(Op{Op::Connect, {}, {}, sn, sa, dn, da});
    return MStatus::kSuccess;
}

MStatus MDGModifier::connect(const MPlug& source, const MPlug& dest) {
    return connect(source.node(), source.attribute(), dest.node(), dest.attribute());
}

MStatus MDGModifier::disconnect(const MObject& sn, const MObject& sa, const MObject& dn, const MObject& da) {
    if (!plugParts(sn, sa) || !plugParts(dn, da)) return makeStatus(MStatus::kInvalidParameter);
    fOps->push_back(Op{Op::Disconnect, {}, {}, sn, sa, dn, da});
    return MStatus::kSuccess;
}

MStatus MDGModifier::disconnect(const MPlug& source, const MPlug& dest) {
    return disconnect(source.node(), source.attribute(), dest.node(), dest.attribute());
}

MStatus MDGModifier::doIt() {
    for (; fDone < fOps->size(); ++fDone) {
        Op& op = (*fOps)[fDone];
        MStatus s;
        switch (op.kind) {
        case Op::Created: break;
        case Op::Rename: {
            Node* n = node(op.node);
            if (!n) return makeStatus(MStatus::kFailure, kMsgObjectMissing);
            std::string old = n->name;
            setNodeName(*n, op.name);
            op.name = old;
            break;
        }
        case Op::Delete:
            s = qmfhost::deleteNode(op.node);
            break;
        case Op::Connect:
            s = qmfhost::connect(op.srcNode, attrDef(attrIndex(op.srcAttr)).longName, op.dstNode,
                                 attrDef(attrIndex(op.dstAttr)).longName);
            break;
        case Op::Disconnect:
            s = qmfhost::disconnect(op.srcNode, attrDef(attrIndex(op.srcAttr)).longName, op.dstNode,
                                    attrDef(attrIndex(op.dstAttr)).longName);
            break;
        }
        if (!s) return s;
    }
    return MStatus::kSuccess;
}

MStatus MDGModifier::undoIt() {
    MStatus result;
    while (fDone > 0) {
        Op& op = (*fOps)[--fDone];
        switch (op.kind) {
        case Op::Created: qmfhost::deleteNode(op.node); break;
        case Op::Rename: {
            Node* n = node(op.node);
            if (n) {
                std::string current = n->name;
                setNodeName(*n, op.name);
                op.name = current;
            }
            break;
        }
        case Op::Delete:
            // A deleted node is gone with its values; it cannot be brought back.
            result = makeStatus(MStatus::kFailure);
            break;
        case Op::Connect:
            qmfhost::disconnect(op.srcNode, attrDef(attrIndex(op.srcAttr)).longName, op.dstNode,
                                attrDef(attrIndex(op.dstAttr)).longName);
            break;
        case Op::Disconnect:
            qmfhost::connect(op.srcNode, attrDef(attrIndex(op.srcAttr)).longName, op.dstNode,
                             attrDef(attrIndex(op.dstAttr)).longName);
            break;
        }
    }
    // Created nodes are gone now; only the queued edits remain to be redone.
    fOps->erase(std::remove_if(fOps->begin(), fOps->end(), [](const Op& o) { return o.kind == Op::Created; }),
                fOps->end());
    return result;
}
