#include "forest.h"

#include <utility>

#include "model.h"

namespace kell {

namespace {

int32_t findSet(ForestIndex &f, int32_t x) {
    int32_t root = x;
    while (f.up[root] != root) root = f.up[root];
    while (f.up[x] != root) x = std::exchange(f.up[x], root);  // path compression
    return root;
}

void rebuild(Skeleton &s) {
    ForestIndex &f = s.forest;
    const auto n = static_cast<int32_t>(s.joints.size());
    f.up.resize(static_cast<size_t>(n));
    f.top.assign(static_cast<size_t>(n), SKL_NO_JOINT);
    for (int32_t i = 0; i < n; ++i) f.up[i] = i;
    // Union by pointing each joint's set at its parent's; then every set is
    // one tree, and its top is the joint without a parent.
    for (int32_t i = 0; i < n; ++i) {
        const SKL_JOINT_ID p = s.joints[i].parent;
        if (p == SKL_NO_JOINT) continue;
        const int32_t a = findSet(f, i), b = findSet(f, p);
        if (a != b) f.up[a] = b;
    }
    for (int32_t i = 0; i < n; ++i)
        if (s.joints[i].parent == SKL_NO_JOINT) f.top[findSet(f, i)] = static_cast<SKL_JOINT_ID>(i);
    f.valid = true;
    f.changesWhileStale = 0;
}

void goStale(Skeleton &s) {
    s.forest.valid = false;
    s.forest.up = {};
    s.forest.top = {};
}

}  // namespace

bool parentKeepsForest(Skeleton &s, SKL_JOINT_ID joint, SKL_JOINT_ID parent) {
    const SKL_JOINT_ID current = s.joints[joint].parent;
    if (parent == current) return true;
    ForestIndex &f = s.forest;
    // A stale index is rebuilt once enough changes have gone by to pay for it.
    if (!f.valid && f.changesWhileStale >= s.joints.size()) {
        try {
            rebuild(s);
        } catch (const std::bad_alloc &) {
            goStale(s);
        }
    }
    if (f.valid && current == SKL_NO_JOINT) {
        // `joint` tops its tree: a cycle exactly when `parent` is in that tree.
        return f.top[findSet(f, parent)] != joint;
    }
    // Walk up from the new parent; meeting `joint` means a cycle. The walk is
    // bounded by the joint count, since the skeleton is a forest before.
    size_t steps = 0;
    for (SKL_JOINT_ID p = parent; p != SKL_NO_JOINT; p = s.joints[p].parent) {
        if (p == joint || ++steps > s.joints.size()) return false;
    }
    return true;
}

void jointAdded(Skeleton &s) {
    s.walk.reset();
    ForestIndex &f = s.forest;
    if (!f.valid) {
        ++f.changesWhileStale;
        return;
    }
    try {
        const auto id = static_cast<int32_t>(s.joints.size() - 1);
        f.up.push_back(id);
        f.top.push_back(static_cast<SKL_JOINT_ID>(id));
    } catch (const std::bad_alloc &) {
        goStale(s);
    }
}

void parentChanged(Skeleton &s, SKL_JOINT_ID joint, SKL_JOINT_ID oldParent) {
    const SKL_JOINT_ID parent = s.joints[joint].parent;
    if (parent == oldParent) return;
    s.walk.reset();
    ForestIndex &f = s.forest;
    if (f.valid && oldParent == SKL_NO_JOINT) {
        // A tree hung under another: the two sets join, under the other's top.
        const int32_t a = findSet(f, joint), b = findSet(f, parent);
        f.up[a] = b;
        return;
    }
    if (f.valid) goStale(s);
    ++f.changesWhileStale;
}

void rootFlagged(Skeleton &s) { s.walk.reset(); }

std::shared_ptr<const Walk> traversalOrder(Skeleton &s) {
    if (s.walk) return s.walk;
    const size_t n = s.joints.size();
    // Children in creation order, as offsets into one array.
    std::vector<int32_t> firstChild(n + 1, 0), children(n);
    for (size_t i = 0; i < n; ++i)
        if (s.joints[i].parent != SKL_NO_JOINT) ++firstChild[static_cast<size_t>(s.joints[i].parent) + 1];
    for (size_t i = 0; i < n; ++i) firstChild[i + 1] += firstChild[i];
    {
        std::vector<int32_t> fill(firstChild.begin(), firstChild.end() - 1);
        for (size_t i = 0; i < n; ++i)
            if (s.joints[i].parent != SKL_NO_JOINT) children[fill[s.joints[i].parent]++] = static_cast<int32_t>(i);
    }
    // Not make_shared: its type tag is a GNU unique symbol, which would keep
    // the library from ever being unloaded.
    std::shared_ptr<Walk> walk(new Walk);
    walk->reserve(2 * n);
    // Iterative: a 32767-deep chain must not exhaust the stack.
    std::vector<std::pair<int32_t, int32_t>> stack;  // joint, next child offset
    auto from = [&](int32_t top) {
        walk->push_back(top << 1);
        stack.emplace_back(top, firstChild[top]);
        while (!stack.empty()) {
            auto &[joint, next] = stack.back();
            if (next < firstChild[joint + 1]) {
                const int32_t child = children[next++];
                walk->push_back(child << 1);
                stack.emplace_back(child, firstChild[child]);
            } else {
                walk->push_back((joint << 1) | 1);
                stack.pop_back();
            }
        }
    };
    // Declared roots first, then parentless joints never declared roots, so
    // that no joint is out of reach.
    for (size_t i = 0; i < n; ++i)
        if (s.joints[i].parent == SKL_NO_JOINT && s.joints[i].root) from(static_cast<int32_t>(i));
    for (size_t i = 0; i < n; ++i)
        if (s.joints[i].parent == SKL_NO_JOINT && !s.joints[i].root) from(static_cast<int32_t>(i));
    s.walk = std::move(walk);
    return s.walk;
}

}  // namespace kell
