// Scene lookups by name and by DAG path. Every node is indexed by its name
// and by (parent, name), so a statement naming a node costs the same in a
// large scene as in a small one, and a path costs one step per name in it.
#include "qmfhost/MaScene.h"

#include <algorithm>
#include <unordered_set>

namespace qmfhost::ma {

namespace {

// The root namespace prefix (":time1") names the same node.
std::string_view bare(std::string_view name) {
    if (!name.empty() && name[0] == ':') name.remove_prefix(1);
    return name;
}

}  // namespace

void Scene::NodeSet::insert(int node) {
    if (first_ < 0 || node == first_) {
        first_ = node;
        return;
    }
    if (!more_) more_ = std::make_unique<std::set<int>>();
    if (node < first_) std::swap(node, first_);
    more_->insert(node);
}

void Scene::NodeSet::erase(int node) {
    if (node != first_) {
        if (more_) more_->erase(node);
        return;
    }
    if (more_ && !more_->empty()) {
        first_ = *more_->begin();
        more_->erase(more_->begin());
    } else {
        first_ = -1;
    }
}

std::vector<int> Scene::NodeSet::list() const {
    std::vector<int> out;
    if (empty()) return out;
    out.reserve(size());
    out.push_back(first_);
    if (more_) out.insert(out.end(), more_->begin(), more_->end());
    return out;
}

// byParent_ is needed only for names more than one node has: a name's only
// node is found through byName_ and its parents checked. So it holds every
// (parent, name) of every node whose name is shared, and entries of a name
// that was shared once and no longer is; never a stale one.
void Scene::index(int node) {
    const Node& n = nodes[static_cast<std::size_t>(node)];
    const std::string key(bare(n.name));
    NodeSet& named = byName_[key];
    named.insert(node);
    if (named.size() < 2) return;
    auto add = [&](int each) {
        const Node& e = nodes[static_cast<std::size_t>(each)];
        if (e.parents.empty()) byParent_[{-1, key}].insert(each);
        for (int p : e.parents) byParent_[{p, key}].insert(each);
    };
    if (named.size() > 2) {
        add(node);
        return;
    }
    // The name has just become shared: both its nodes join the index.
    for (int each : named.list()) add(each);
}

void Scene::unindex(int node) {
    const Node& n = nodes[static_cast<std::size_t>(node)];
    const std::string key(bare(n.name));
    auto named = byName_.find(key);
    if (named != byName_.end()) {
        named->second.erase(node);
        if (named->second.empty()) byName_.erase(named);
    }
    if (byParent_.empty()) return;
    auto drop = [&](int parent) {
        auto it = byParent_.find({parent, key});
        if (it == byParent_.end()) return;
        it->second.erase(node);
        if (it->second.empty()) byParent_.erase(it);
    };
    if (n.parents.empty()) drop(-1);
    for (int p : n.parents) drop(p);
}

void Scene::reserveNodes(std::size_t count) {
    nodes.reserve(count);
    byName_.reserve(count);
}

int Scene::addNode(Node node) {
    nodes.push_back(std::move(node));
    const int added = static_cast<int>(nodes.size()) - 1;
    index(added);
    return added;
}

void Scene::rename(int node, const std::string& name) {
    unindex(node);
    nodes[static_cast<std::size_t>(node)].name = name;
    index(node);
}

void Scene::setParents(int node, std::vector<int> parents) {
    unindex(node);
    nodes[static_cast<std::size_t>(node)].parents = std::move(parents);
    index(node);
}

std::vector<int> Scene::childrenNamed(int parent, const std::string& name) const {
    const std::string key(bare(name));
    auto named = byName_.find(key);
    if (named == byName_.end()) return {};
    if (named->second.size() == 1) {
        const int only = named->second.first();
        const std::vector<int>& parents = nodes[static_cast<std::size_t>(only)].parents;
        const bool under = parent < 0 ? parents.empty() : std::find(parents.begin(), parents.end(), parent) != parents.end();
        return under ? std::vector<int>{only} : std::vector<int>{};
    }
    auto it = byParent_.find({parent, key});
    if (it == byParent_.end()) return {};
    return it->second.list();
}

std::vector<int> Scene::findAll(const std::string& nameOrPath) const {
    std::string_view q = nameOrPath;
    if (q.empty()) return {};
    if (q.find('|') == std::string_view::npos) {
        auto named = byName_.find(std::string(bare(q)));
        if (named == byName_.end()) return {};
        return named->second.list();
    }
    const bool absolute = q[0] == '|';
    std::vector<std::string> parts;
    for (std::size_t start = absolute ? 1 : 0;;) {
        const std::size_t bar = q.find('|', start);
        parts.emplace_back(bare(q.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start)));
        if (parts.back().empty()) return {};
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    std::vector<int> current;
    if (absolute) {
        current = childrenNamed(-1, parts[0]);
    } else {
        auto named = byName_.find(parts[0]);
        if (named != byName_.end()) current = named->second.list();
    }
    // One step per name, over the nodes found so far or over the nodes of
    // the next name, whichever are fewer.
    for (std::size_t k = 1; k < parts.size() && !current.empty(); ++k) {
        std::vector<int> next;
        auto named = byName_.find(parts[k]);
        if (named == byName_.end()) return {};
        if (current.size() <= named->second.size()) {
            std::unordered_set<int> seen;
            for (int c : current)
                for (int child : childrenNamed(c, parts[k]))
                    if (seen.insert(child).second) next.push_back(child);
        } else {
            const std::unordered_set<int> above(current.begin(), current.end());
            for (int candidate : named->second.list())
                for (int p : nodes[static_cast<std::size_t>(candidate)].parents)
                    if (above.count(p)) {
                        next.push_back(candidate);
                        break;
                    }
        }
        current = std::move(next);
    }
    std::sort(current.begin(), current.end());
    return current;
}

int Scene::find(const std::string& nameOrPath) const {
    // Most statements name a node by its plain name: one lookup, no path.
    if (nameOrPath.find('|') == std::string::npos) {
        const std::string_view name = bare(nameOrPath);
        if (name.empty()) return -1;
        auto named = name.size() == nameOrPath.size() ? byName_.find(nameOrPath) : byName_.find(std::string(name));
        return named == byName_.end() ? -1 : named->second.last();
    }
    std::vector<int> found = findAll(nameOrPath);
    return found.empty() ? -1 : found.back();
}

std::string Scene::fullPath(int node) const {
    std::vector<int> up;
    while (node >= 0 && up.size() <= nodes.size()) {
        up.push_back(node);
        const Node& n = nodes[static_cast<std::size_t>(node)];
        node = n.parents.empty() ? -1 : n.parents[0];
    }
    std::string path;
    for (auto it = up.rbegin(); it != up.rend(); ++it) path += "|" + nodes[static_cast<std::size_t>(*it)].name;
    return path;
}

}  // namespace qmfhost::ma
