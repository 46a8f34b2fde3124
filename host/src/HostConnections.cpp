// The connection store: every lookup goes through an index by plug or by
// node, so a scene with many connections costs the same per connection as a
// small one.
#include "HostState.h"

namespace qmfhost {
namespace detail {

namespace {
std::vector<const ConnectionRec*> inOrder(const std::set<ConnId>& ids) {
    const ConnectionStore& store = host().connections;
    std::vector<const ConnectionRec*> out;
    out.reserve(ids.size());
    for (ConnId id : ids) out.push_back(&store.all.at(id));
    return out;
}
}  // namespace

const ConnectionRec* connectionInto(Id nodeId, const std::string& key) {
    const ConnectionStore& store = host().connections;
    auto it = store.byDestination.find({nodeId, key});
    return it == store.byDestination.end() ? nullptr : &store.all.at(it->second);
}

const ConnectionRec* drivingConnection(Id nodeId, const std::string& key) {
    Node* n = node(nodeId);
    const std::string pkey = n ? parentKey(*n, key) : std::string();
    const ConnectionRec* direct = connectionInto(nodeId, key);
    const ConnectionRec* viaParent = pkey.empty() ? nullptr : connectionInto(nodeId, pkey);
    // The older of the two, as a scan in the order made would find.
    if (direct && viaParent) return direct->id < viaParent->id ? direct : viaParent;
    return direct ? direct : viaParent;
}

std::vector<const ConnectionRec*> connectionsFrom(Id nodeId, const std::string& key) {
    const ConnectionStore& store = host().connections;
    auto it = store.bySource.find({nodeId, key});
    if (it == store.bySource.end()) return {};
    return inOrder(it->second);
}

std::vector<const ConnectionRec*> connectionsOf(Id nodeId) {
    const ConnectionStore& store = host().connections;
    auto it = store.byNode.find(nodeId);
    if (it == store.byNode.end()) return {};
    return inOrder(it->second);
}

std::vector<const ConnectionRec*> allConnections() {
    const ConnectionStore& store = host().connections;
    std::vector<const ConnectionRec*> out;
    out.reserve(store.all.size());
    for (const auto& entry : store.all) out.push_back(&entry.second);
    return out;
}

void addConnection(Id src, const std::string& srcAttr, Id dst, const std::string& dstAttr) {
    Node* s = node(src);
    Node* d = node(dst);
    ConnectionStore& store = host().connections;
    ++host().driverVersion;
    const ConnId id = ++store.next;
    ConnectionRec rec{id, src, srcAttr, attrKey(*s, srcAttr), dst, dstAttr, attrKey(*d, dstAttr)};
    store.byDestination[{dst, rec.dstKey}] = id;
    store.bySource[{src, rec.srcKey}].insert(id);
    store.byNode[src].insert(id);
    store.byNode[dst].insert(id);
    store.all.emplace(id, std::move(rec));
    const int driven = findAttr(*d, dstAttr);
    if (driven >= 0) d->drivenSlots |= slotBit(attrDef(driven).slot);
}

void removeConnection(ConnId id) {
    ConnectionStore& store = host().connections;
    auto it = store.all.find(id);
    if (it == store.all.end()) return;
    ++host().driverVersion;
    const ConnectionRec& c = it->second;
    auto dst = store.byDestination.find({c.dst, c.dstKey});
    if (dst != store.byDestination.end() && dst->second == id) store.byDestination.erase(dst);
    auto src = store.bySource.find({c.src, c.srcKey});
    if (src != store.bySource.end()) {
        src->second.erase(id);
        if (src->second.empty()) store.bySource.erase(src);
    }
    for (Id end : {c.src, c.dst}) {
        auto touching = store.byNode.find(end);
        if (touching == store.byNode.end()) continue;
        touching->second.erase(id);
        if (touching->second.empty()) store.byNode.erase(touching);
    }
    store.all.erase(it);
}

void removeConnectionsOf(Id nodeId) {
    ConnectionStore& store = host().connections;
    auto it = store.byNode.find(nodeId);
    if (it == store.byNode.end()) return;
    const std::set<ConnId> doomed = it->second;
    for (ConnId id : doomed) removeConnection(id);
}

}  // namespace detail
}  // namespace qmfhost
