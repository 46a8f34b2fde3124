// The DAG and node names: lookups by name and by path, the paths to a node,
// and deleting a node with the children it leaves without a parent. Nothing
// here recurses on the depth of the hierarchy.
#include "HostState.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace qmfhost {
namespace detail {

// ---- names ------------------------------------------------------------------------

bool nameInUse(const std::string& name) {
    // The world is not in the index but its name is taken all the same.
    return host().nodesByName.count(name) != 0 || name == "world";
}

std::string uniqueName(const std::string& base) {
    // "joint" -> "joint1"; "joint4" -> "joint5"; "a" -> "a1".
    size_t digits = base.size();
    while (digits > 0 && base[digits - 1] >= '0' && base[digits - 1] <= '9') --digits;
    std::string stem = base.substr(0, digits);
    unsigned long n = 1;
    if (digits < base.size() && base.size() - digits < 9) n = std::stoul(base.substr(digits)) + 1;
    for (;; ++n) {
        std::string candidate = stem + std::to_string(n);
        if (!nameInUse(candidate)) return candidate;
    }
}


void setNodeName(Node& n, const std::string& name) {
    if (n.name == name) return;
    auto& index = host().nodesByName;
    if (!n.world) {
        auto old = index.find(n.name);
        if (old != index.end()) {
            old->second.erase(n.id);
            if (old->second.empty()) index.erase(old);
        }
        index[name].insert(n.id);
    }
    n.name = name;
}

std::vector<Id> nodesNamed(const std::string& name) {
    const auto& index = host().nodesByName;
    auto it = index.find(name);
    if (it == index.end()) return {};
    return std::vector<Id>(it->second.begin(), it->second.end());
}

namespace {
// The children of any node in `from` that are named `name`. Goes over the
// children or over the nodes of that name, whichever is fewer, so a node
// with many children or a common name does not make every step slow.
std::vector<Id> childrenNamed(const std::vector<Id>& from, const std::string& name) {
    std::vector<Id> out;
    std::unordered_set<Id> seen;
    size_t childCount = 0;
    for (Id f : from)
        if (const Node* n = node(f)) childCount += n->children.size();
    const auto& index = host().nodesByName;
    auto named = index.find(name);
    if (named == index.end()) return out;
    if (childCount <= named->second.size()) {
        for (Id f : from) {
            const Node* n = node(f);
            if (!n) continue;
            for (Id c : n->children) {
                const Node* cn = node(c);
                if (cn && cn->name == name && seen.insert(c).second) out.push_back(c);
            }
        }
    } else {
        const std::unordered_set<Id> parents(from.begin(), from.end());
        for (Id c : named->second) {
            const Node* cn = node(c);
            if (!cn) continue;
            for (Id p : cn->parents)
                if (parents.count(p)) {
                    out.push_back(c);
                    break;
                }
        }
    }
    return out;
}
}  // namespace

std::vector<Id> resolvePath(const std::string& nameOrPath) {
    if (nameOrPath.empty()) return {};
    if (nameOrPath.find('|') == std::string::npos) return nodesNamed(nameOrPath);
    const bool anchored = nameOrPath[0] == '|';
    std::vector<std::string> names;
    for (size_t start = anchored ? 1 : 0;;) {
        const size_t bar = nameOrPath.find('|', start);
        names.push_back(nameOrPath.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (names.back().empty()) return {};
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::vector<Id> current;
    size_t first = 0;
    if (anchored) {
        current.push_back(host().worldId);
    } else {
        for (Id id : nodesNamed(names[0]))
            if (node(id)->dag) current.push_back(id);
        first = 1;
    }
    // One step per name: the walk is as long as the path, however the nodes are instanced.
    for (size_t k = first; k < names.size() && !current.empty(); ++k) current = childrenNamed(current, names[k]);
    std::sort(current.begin(), current.end());
    return current;
}

// ---- DAG ------------------------------------------------------------------------

bool isAncestor(Id ancestor, Id id) {
    // Breadth-first over parents with a visited set: instancing can make the
    // number of paths grow exponentially, the number of nodes cannot.
    std::vector<Id> queue{id};
    std::unordered_set<Id> seen;
    for (size_t i = 0; i < queue.size(); ++i) {
        Node* n = node(queue[i]);
        if (!n) continue;
        for (Id p : n->parents) {
            if (p == ancestor) return true;
            if (seen.insert(p).second) queue.push_back(p);
        }
    }
    return false;
}

std::vector<Id> firstPath(Id id) {
    std::vector<Id> path;
    Node* n = node(id);
    while (n && !n->world) {
        path.push_back(n->id);
        n = n->parents.empty() ? nullptr : node(n->parents[0]);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

std::vector<std::vector<Id>> allPaths(Id id) {
    std::vector<std::vector<Id>> out;
    Node* start = node(id);
    if (!start) return out;
    if (start->world) {
        out.emplace_back();
        return out;
    }
    // Upward walk with an explicit stack (no recursion: hierarchies can be
    // deep); suffix holds the nodes from `id` up to the current one.
    std::vector<std::pair<Id, size_t>> stack{{id, 0}};
    std::vector<Id> suffix{id};
    while (!stack.empty() && out.size() < kMaxPaths) {
        Node* current = node(stack.back().first);
        size_t& next = stack.back().second;
        if (!current || next >= current->parents.size()) {
            stack.pop_back();
            suffix.pop_back();
            continue;
        }
        const Id p = current->parents[next++];
        Node* pn = node(p);
        if (!pn) continue;
        if (pn->world) {
            out.emplace_back(suffix.rbegin(), suffix.rend());
            continue;
        }
        stack.emplace_back(p, 0);
        suffix.push_back(p);
    }
    return out;
}

std::string pathString(const std::vector<Id>& path) {
    std::string s;
    for (Id id : path) {
        Node* n = node(id);
        s += "|";
        s += n ? n->name : std::string("?");
    }
    return s;
}

void dagChanged() { ++host().dagVersion; }

namespace {
// How many paths lead from the world to a node, counting no further than 2.
// Walks up single-parent chains only; what it finds holds until the DAG
// changes, so naming every node of a deep chain stays linear.
unsigned pathsToWorld(Id id) {
    HostState& h = host();
    if (h.pathCountsVersion != h.dagVersion) {
        h.pathCounts.clear();
        h.pathCountsVersion = h.dagVersion;
    }
    std::vector<Id> chain;
    unsigned result = 1;
    for (Node* n = node(id); n && !n->world;) {
        auto known = h.pathCounts.find(n->id);
        if (known != h.pathCounts.end()) {
            result = known->second;
            break;
        }
        chain.push_back(n->id);
        if (n->parents.size() > 1) {
            result = 2;
            break;
        }
        n = n->parents.empty() ? nullptr : node(n->parents[0]);
    }
    for (Id c : chain) h.pathCounts[c] = result;
    return result;
}

// The shortest unique name of a path: up(0) is its node, up(k) the node k
// steps above it on the path, 0 past the top. "" when only the full path
// names it alone.
template <typename Up>
std::string shortestName(Up up) {
    const Node* leaf = node(up(0));
    if (!leaf) return std::string();
    // Chains of nodes whose names are the path's last `count` names, by the
    // chain's top node, with how many chains end there (2: more than one).
    // Nodes outside the DAG that share the name count as one match each.
    std::unordered_map<Id, unsigned> tops;
    for (Id id : nodesNamed(leaf->name)) tops[id] = 1;
    for (size_t count = 1;; ++count) {
        unsigned total = 0;
        for (const auto& [top, chains] : tops) {
            total += chains * pathsToWorld(top);
            if (total > 1) break;
        }
        if (total <= 1) {
            std::string s;
            for (size_t k = count; k-- > 0;) {
                const Node* n = node(up(k));
                s += n ? n->name : std::string("?");
                if (k) s += "|";
            }
            return s;
        }
        const Node* above = node(up(count));
        if (!above) return std::string();
        std::unordered_map<Id, unsigned> next;
        for (const auto& [top, chains] : tops) {
            const Node* t = node(top);
            if (!t) continue;
            for (Id p : t->parents) {
                const Node* pn = node(p);
                if (!pn || pn->world || pn->name != above->name) continue;
                unsigned& n = next[p];
                n = std::min(2u, n + chains);
            }
        }
        tops = std::move(next);
    }
}
}  // namespace

std::string partialPathString(const std::vector<Id>& path) {
    if (path.empty()) return std::string();
    std::string s = shortestName([&](size_t k) -> Id { return k < path.size() ? path[path.size() - 1 - k] : 0; });
    return s.empty() ? pathString(path) : s;
}

std::string partialPathOf(Id id) {
    std::vector<Id> up{id};
    std::string s = shortestName([&](size_t k) -> Id {
        while (up.size() <= k) {
            const Node* n = node(up.back());
            if (!n || n->parents.empty()) return 0;
            const Node* p = node(n->parents[0]);
            if (!p || p->world) return 0;
            up.push_back(p->id);
        }
        return up[k];
    });
    return s.empty() ? pathString(firstPath(id)) : s;
}

void deleteNodeTree(Id id) {
    HostState& h = host();
    std::vector<Id> doomed{id};
    while (!doomed.empty()) {
        const Id victim = doomed.back();
        doomed.pop_back();
        Node* n = node(victim);
        if (!n || n->world) continue;
        for (Id p : n->parents)
            if (Node* pn = node(p))
                pn->children.erase(std::remove(pn->children.begin(), pn->children.end(), victim),
                                   pn->children.end());
        for (Id c : n->children) {
            Node* cn = node(c);
            if (!cn) continue;
            cn->parents.erase(std::remove(cn->parents.begin(), cn->parents.end(), victim), cn->parents.end());
            // A child left without parents goes too.
            if (cn->parents.empty()) doomed.push_back(c);
        }
        removeConnectionsOf(victim);
        dagChanged();
        auto named = h.nodesByName.find(n->name);
        if (named != h.nodesByName.end()) {
            named->second.erase(victim);
            if (named->second.empty()) h.nodesByName.erase(named);
        }
        forgetNode(victim);
        h.byId.erase(victim);
        h.nodes.erase(victim);
    }
}


}  // namespace detail
}  // namespace qmfhost
