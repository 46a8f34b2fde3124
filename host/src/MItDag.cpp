#include <maya/MItDag.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

using namespace qmfhost::detail;

// Paths here start with the world's id, so that the world itself (the root
// of a default walk) has a non-empty path and "empty" can mean "done".

MItDag::MItDag(TraversalType type, MFn::Type filter, MStatus* ReturnStatus)
    : fType(type), fFilter(filter), fPruned(false), fUnderWorld(false) {
    fRootPath.assign(1, host().worldId);
    MStatus injected;
    if (qmfhost::detail::fault("MItDag::MItDag", &injected)) {
        report(ReturnStatus, injected);
        return;
    }
    report(ReturnStatus, start(fRootPath, type, filter));
}

MItDag::~MItDag() = default;

MStatus MItDag::start(const std::vector<unsigned long long>& rootPath, TraversalType type,
                      MFn::Type filter) {
    fCurrent.clear();
    fPending.clear();
    fPruned = false;
    if (type != kDepthFirst && type != kBreadthFirst) return makeStatus(MStatus::kInvalidParameter);
    fType = type;
    fFilter = filter;
    fRootPath = rootPath;
    fCurrent = rootPath;
    if (!currentMatches()) next();
    return MStatus::kSuccess;
}

MStatus MItDag::reset() {
    MStatus injected;
    if (qmfhost::detail::fault("MItDag::reset", &injected)) {
        fCurrent.clear();
        fPending.clear();
        return injected;
    }
    return start(fRootPath, fType, fFilter);
}

MStatus MItDag::reset(const MObject& rootObject, TraversalType type, MFn::Type filter) {
    MDagPath path;
    MStatus s = MDagPath::getAPathTo(rootObject, path);
    if (!s) {
        fCurrent.clear();
        fPending.clear();
        return makeStatus(MStatus::kInvalidParameter);
    }
    return reset(path, type, filter);
}

MStatus MItDag::reset(const MDagPath& path, TraversalType type, MFn::Type filter) {
    MStatus injected;
    if (qmfhost::detail::fault("MItDag::reset", &injected)) {
        fCurrent.clear();
        fPending.clear();
        return injected;
    }
    if (!path.isValid()) {
        fCurrent.clear();
        fPending.clear();
        return makeStatus(MStatus::kInvalidParameter);
    }
    std::vector<unsigned long long> root(1, host().worldId);
    root.insert(root.end(), path.nodeIds().begin(), path.nodeIds().end());
    return start(root, type, filter);
}

bool MItDag::currentMatches() const {
    if (fCurrent.empty()) return false;
    const Node* n = node(fCurrent.back());
    if (!n) return false;
    return fFilter == MFn::kInvalid || nodeHasFn(*n, fFilter);
}

bool MItDag::step() {
    if (fCurrent.empty()) return false;
    if (!fPruned) {
        if (const Node* n = node(fCurrent.back())) {
            if (fType == kDepthFirst) {
                // Children go first, in order, ahead of the siblings still pending.
                for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) {
                    std::vector<unsigned long long> p = fCurrent;
                    p.push_back(*it);
                    fPending.push_front(std::move(p));
                }
            } else {
                for (Id c : n->children) {
                    std::vector<unsigned long long> p = fCurrent;
                    p.push_back(c);
                    fPending.push_back(std::move(p));
                }
            }
        }
    }
    fPruned = false;
    while (!fPending.empty()) {
        std::vector<unsigned long long> p = std::move(fPending.front());
        fPending.pop_front();
        if (node(p.back())) {   // skip nodes deleted since they were queued
            fCurrent = std::move(p);
            return true;
        }
    }
    fCurrent.clear();
    return false;
}

MStatus MItDag::next() {
    while (step())
        if (currentMatches()) break;
    return MStatus::kSuccess;
}

MStatus MItDag::prune() {
    if (fCurrent.empty()) return makeStatus(MStatus::kFailure);
    fPruned = true;
    return MStatus::kSuccess;
}

bool MItDag::isDone(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    return fCurrent.empty();
}

MObject MItDag::item(MStatus* ReturnStatus) {
    if (fCurrent.empty() || !node(fCurrent.back())) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgEndOfIteration));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, fCurrent.back());
}

MObject MItDag::currentItem(MStatus* ReturnStatus) { return item(ReturnStatus); }

MObject MItDag::root(MStatus* ReturnStatus) {
    if (fRootPath.empty() || !node(fRootPath.back())) {
        report(ReturnStatus, makeStatus(MStatus::kFailure, kMsgObjectMissing));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, fRootPath.back());
}

unsigned int MItDag::depth(MStatus* ReturnStatus) const {
    if (fCurrent.empty()) {
        report(ReturnStatus, makeStatus(MStatus::kFailure));
        return 0;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return static_cast<unsigned int>(fCurrent.size() - fRootPath.size());
}

MStatus MItDag::getPath(MDagPath& path) const {
    if (fCurrent.empty()) return makeStatus(MStatus::kFailure);
    path.setNodeIds(std::vector<unsigned long long>(fCurrent.begin() + 1, fCurrent.end()));
    return MStatus::kSuccess;
}

MString MItDag::fullPathName(MStatus* ReturnStatus) const {
    MDagPath p;
    MStatus s = getPath(p);
    report(ReturnStatus, s);
    return s ? p.fullPathName() : MString();
}

MString MItDag::partialPathName(MStatus* ReturnStatus) const {
    MDagPath p;
    MStatus s = getPath(p);
    report(ReturnStatus, s);
    return s ? p.partialPathName() : MString();
}

bool MItDag::isInstanced(bool indirect, MStatus* ReturnStatus) const {
    return instanceCount(indirect, ReturnStatus) > 1;
}

unsigned int MItDag::instanceCount(bool total, MStatus* ReturnStatus) const {
    if (fCurrent.empty() || !node(fCurrent.back())) {
        report(ReturnStatus, makeStatus(MStatus::kFailure));
        return 0;
    }
    report(ReturnStatus, MStatus::kSuccess);
    const Node* n = node(fCurrent.back());
    if (n->world) return 1;
    return static_cast<unsigned int>(total ? allPaths(n->id).size() : n->parents.size());
}

MItDag::TraversalType MItDag::getType(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    return fType;
}

MStatus MItDag::traverseUnderWorld(bool flag) {
    // Nothing lives under the underworld here; the flag is kept for queries.
    fUnderWorld = flag;
    return MStatus::kSuccess;
}

bool MItDag::willTraverseUnderWorld(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    return fUnderWorld;
}
