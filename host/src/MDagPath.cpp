#include <maya/MDagPath.h>
#include <maya/MStatus.h>

#include "HostState.h"

#include <algorithm>

using namespace qmfhost::detail;

namespace {
// Every link of the path still holds in the current scene.
bool linksHold(const std::vector<Id>& ids) {
    Id parent = host().worldId;
    for (Id id : ids) {
        Node* n = node(id);
        if (!n || std::find(n->parents.begin(), n->parents.end(), parent) == n->parents.end())
            return false;
        parent = id;
    }
    return true;
}
}  // namespace

namespace {
MMatrix matrixOf(const MDagPath& path, bool skipLast, MStatus* ReturnStatus) {
    if (!path.isValid()) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter));
        return MMatrix();
    }
    report(ReturnStatus, MStatus::kSuccess);
    return pathMatrix(path.nodeIds(), skipLast);
}
}  // namespace

MMatrix MDagPath::inclusiveMatrix(MStatus* ReturnStatus) const { return matrixOf(*this, false, ReturnStatus); }

MMatrix MDagPath::exclusiveMatrix(MStatus* ReturnStatus) const { return matrixOf(*this, true, ReturnStatus); }

MStatus MDagPath::getAPathTo(const MObject& object, MDagPath& path) {
    Node* n = qmfhost::detail::node(object);
    if (!n || !n->dag) return makeStatus(MStatus::kInvalidParameter);
    path.setNodeIds(firstPath(n->id));
    return MStatus::kSuccess;
}

MStatus MDagPath::getAllPathsTo(const MObject& object, std::vector<MDagPath>& paths) {
    paths.clear();
    Node* n = qmfhost::detail::node(object);
    if (!n || !n->dag) return makeStatus(MStatus::kInvalidParameter);
    for (auto& ids : allPaths(n->id)) {
        MDagPath p;
        p.setNodeIds(ids);
        paths.push_back(std::move(p));
    }
    return MStatus::kSuccess;
}

bool MDagPath::isValid(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    // A set path with no nodes is the world's.
    return fSet && linksHold(fNodes);
}

MObject MDagPath::node(MStatus* ReturnStatus) const {
    if (!isValid()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure, kMsgObjectMissing));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, fNodes.empty() ? host().worldId : fNodes.back());
}

unsigned int MDagPath::length(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    return static_cast<unsigned int>(fNodes.size());
}

MStatus MDagPath::push(const MObject& child) {
    if (!fSet) return makeStatus(MStatus::kInvalidParameter);
    Node* c = qmfhost::detail::node(child);
    Id parent = fNodes.empty() ? host().worldId : fNodes.back();
    if (!c || std::find(c->parents.begin(), c->parents.end(), parent) == c->parents.end())
        return makeStatus(MStatus::kInvalidParameter);
    fNodes.push_back(c->id);
    return MStatus::kSuccess;
}

MStatus MDagPath::pop(unsigned int num) {
    if (num > fNodes.size()) return makeStatus(MStatus::kInvalidParameter);
    fNodes.resize(fNodes.size() - num);
    return MStatus::kSuccess;
}

MString MDagPath::fullPathName(MStatus* ReturnStatus) const {
    if (!isValid()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure, kMsgObjectMissing));
        return MString();
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MString(pathString(fNodes).c_str());
}

MString MDagPath::partialPathName(MStatus* ReturnStatus) const {
    if (!isValid()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure, kMsgObjectMissing));
        return MString();
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MString(partialPathString(fNodes).c_str());
}

unsigned int MDagPath::instanceNumber(MStatus* ReturnStatus) const {
    if (!isValid() || fNodes.empty()) {
        report(ReturnStatus, fNodes.empty() ? MStatus(MStatus::kSuccess) : makeStatus(MStatus::kFailure));
        return 0;
    }
    report(ReturnStatus, MStatus::kSuccess);
    auto paths = allPaths(fNodes.back());
    for (size_t i = 0; i < paths.size(); ++i)
        if (paths[i] == fNodes) return static_cast<unsigned int>(i);
    return 0;
}
