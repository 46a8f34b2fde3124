#include <maya/MItDag.h>
#include <qmfhost/Faults.h>

#include "HostState.h"

using namespace qmfhost::detail;

MItDag::MItDag(TraversalType type, MFn::Type filter, MStatus* ReturnStatus)
    : fType(type), fFilter(filter), fCurrent(-1), fPruned(false), fUnderWorld(false) {
    MStatus injected;
    if (qmfhost::detail::fault("MItDag::MItDag", &injected)) {
        report(ReturnStatus, injected);
        return;
    }
    report(ReturnStatus, start(fRootPath, type, filter));
}

MItDag::~MItDag() = default;

namespace {
Id rootNodeOf(const std::vector<unsigned long long>& rootPath) {
    return rootPath.empty() ? host().worldId : rootPath.back();
}
}  // namespace

MStatus MItDag::start(const std::vector<unsigned long long>& rootPath, TraversalType type,
                      MFn::Type filter) {
    fLinks.clear();
    fPending.clear();
    fCurrent = -1;
    fPruned = false;
    if (type != kDepthFirst && type != kBreadthFirst) return makeStatus(MStatus::kInvalidParameter);
    fType = type;
    fFilter = filter;
    fRootPath = rootPath;
    fLinks.push_back(Link{rootNodeOf(rootPath), -1, 0});
    fCurrent = 0;
    if (!currentMatches()) next();
    return MStatus::kSuccess;
}

MStatus MItDag::reset() {
    MStatus injected;
    if (qmfhost::detail::fault("MItDag::reset", &injected)) {
        fCurrent = -1;
        fPending.clear();
        return injected;
    }
    return start(fRootPath, fType, fFilter);
}

MStatus MItDag::reset(const MObject& rootObject, TraversalType type, MFn::Type filter) {
    MDagPath path;
    MStatus s = MDagPath::getAPathTo(rootObject, path);
    if (!s) {
        fCurrent = -1;
        fPending.clear();
        return makeStatus(MStatus::kInvalidParameter);
    }
    return reset(path, type, filter);
}

MStatus MItDag::reset(const MDagPath& path, TraversalType type, MFn::Type filter) {
    MStatus injected;
    if (qmfhost::detail::fault("MItDag::reset", &injected)) {
        fCurrent = -1;
        fPending.clear();
        return injected;
    }
    if (!path.isValid()) {
        fCurrent = -1;
        fPending.clear();
        return makeStatus(MStatus::kInvalidParameter);
    }
    return start(path.nodeIds(), type, filter);
}

unsigned long long MItDag::currentNode() const {
    return fCurrent < 0 ? 0 : fLinks[static_cast<size_t>(fCurrent)].node;
}

std::vector<unsigned long long> MItDag::currentPath() const {
    std::vector<unsigned long long> below;
    for (long long i = fCurrent; i > 0; i = fLinks[static_cast<size_t>(i)].up)
        below.push_back(fLinks[static_cast<size_t>(i)].node);
    std::vector<unsigned long long> path = fRootPath;
    path.insert(path.end(), below.rbegin(), below.rend());
    return path;
}

bool MItDag::currentMatches() const {
    if (fCurrent < 0) return false;
    const Node* n = node(currentNode());
    if (!n) return false;
    return fFilter == MFn::kInvalid || nodeHasFn(*n, fFilter);
}

bool MItDag::step() {
    if (fCurrent < 0) return false;
    if (!fPruned) {
        if (const Node* n = node(currentNode())) {
            const unsigned int depth = fLinks[static_cast<size_t>(fCurrent)].depth + 1;
            const long long first = static_cast<long long>(fLinks.size());
            for (Id c : n->children) fLinks.push_back(Link{c, fCurrent, depth});
            const long long count = static_cast<long long>(n->children.size());
            if (fType == kDepthFirst) {
                // Children go first, in order, ahead of the siblings still pending.
                for (long long i = count - 1; i >= 0; --i) fPending.push_front(first + i);
            } else {
                for (long long i = 0; i < count; ++i) fPending.push_back(first + i);
            }
        }
    }
    fPruned = false;
    while (!fPending.empty()) {
        const long long next = fPending.front();
        fPending.pop_front();
        if (node(fLinks[static_cast<size_t>(next)].node)) {   // skip nodes deleted since queued
            fCurrent = next;
            return true;
        }
    }
    fCurrent = -1;
    return false;
}

MStatus MItDag::next() {
    while (step())
        if (currentMatches()) break;
    return MStatus::kSuccess;
}

MStatus MItDag::prune() {
    if (fCurrent < 0) return makeStatus(MStatus::kFailure);
    fPruned = true;
    return MStatus::kSuccess;
}

bool MItDag::isDone(MStatus* ReturnStatus) const {
    report(ReturnStatus, MStatus::kSuccess);
    return fCurrent < 0;
}

MObject MItDag::item(MStatus* ReturnStatus) {
    if (fCurrent < 0 || !node(currentNode())) {
        report(ReturnStatus, makeStatus(MStatus::kInvalidParameter, kMsgEndOfIteration));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, currentNode());
}

MObject MItDag::currentItem(MStatus* ReturnStatus) { return item(ReturnStatus); }

MObject MItDag::root(MStatus* ReturnStatus) {
    const Id r = rootNodeOf(fRootPath);
    if (!node(r)) {
        report(ReturnStatus, makeStatus(MStatus::kFailure, kMsgObjectMissing));
        return MObject::kNullObj;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return MObject(MObject::kNodeKind, r);
}

unsigned int MItDag::depth(MStatus* ReturnStatus) const {
    if (fCurrent < 0) {
        report(ReturnStatus, makeStatus(MStatus::kFailure));
        return 0;
    }
    report(ReturnStatus, MStatus::kSuccess);
    return fLinks[static_cast<size_t>(fCurrent)].depth;
}

MStatus MItDag::getPath(MDagPath& path) const {
    if (fCurrent < 0) return makeStatus(MStatus::kFailure);
    path.setNodeIds(currentPath());
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
    const Node* n = fCurrent < 0 ? nullptr : node(currentNode());
    if (!n) {
        report(ReturnStatus, makeStatus(MStatus::kFailure));
        return 0;
    }
    report(ReturnStatus, MStatus::kSuccess);
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
