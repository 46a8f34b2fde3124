// The interpreter's DAG statements: createNode, rename, select, parent,
// connectAttr and disconnectAttr, every lookup through the scene's indexes.
#include "MaInterpreter.h"

#include "MaPlacement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>

namespace qmfhost::ma::detail {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

int Interpreter::addNode(const std::string& type, const std::string& name, bool declared, int line, int parent) {
    Node n;
    n.type = type;
    n.name = name;
    n.declared = declared;
    n.line = line;
    if (parent >= 0) n.parents.push_back(parent);  // indexed once, under its parent
    // Timed curves only: the other kinds take no time input and are kept as text.
    if (type.rfind("animCurveT", 0) == 0 && type.size() == 11) {
        n.curve.emplace();
        n.curve->kind = type[10];
    }
    return s_.addNode(std::move(n));
}

int Interpreter::only(const std::string& name, int line, const std::string& notFound) {
    std::vector<int> found = s_.findAll(name);
    if (found.empty()) throw ParseError(line, notFound + name);
    if (found.size() > 1) throw ParseError(line, "more than one node matches " + name);
    return found.front();
}

std::string Interpreter::shortName(const std::string& n) {
    std::size_t bar = n.rfind('|');
    std::string s = bar == std::string::npos ? n : n.substr(bar + 1);
    if (!s.empty() && s[0] == ':') s.erase(0, 1);
    return s;
}

void Interpreter::createNode(const Chunk& c) {
    if (c.args.size() < 2) throw ParseError(c.line, "createNode without a node type");
    std::string type = c.args[1].text, name, parentName;
    bool shared = false;
    for (std::size_t i = 2; i < c.args.size(); ++i) {
        const std::string& f = c.args[i].text;
        if ((f == "-n"sv || f == "-name"sv) && i + 1 < c.args.size()) name = c.args[++i].text;
        else if ((f == "-p"sv || f == "-parent"sv) && i + 1 < c.args.size()) parentName = c.args[++i].text;
        else if (f == "-s"sv || f == "-shared"sv) shared = true;
    }
    if (name.empty()) name = type + std::to_string(s_.nodes.size() + 1);
    int parent = -1;
    if (!parentName.empty()) parent = only(parentName, c.line, "parent node not found: ");
    int existing = -1;
    if (shared) {
        std::vector<int> same = parent >= 0 ? s_.childrenNamed(parent, shortName(name)) : s_.findAll(name);
        if (!same.empty()) existing = same.back();
    }
    if (existing >= 0) {
        current_ = existing;
    } else {
        current_ = addNode(type, name, true, c.line, parent);
        s_.nodes[current_].shared = shared;
        s_.dagEvents.push_back(DagEvent{DagEvent::Kind::Create, current_, parent, c.line});
        if (name == "sceneConfigurationScriptNode"sv) s_.configNode = current_;
    }
    s_.chunkNode[chunk_] = current_;
}

void Interpreter::rename(const Chunk& c) {
    if (!c.topLevel && current_ >= 0) s_.chunkNode[chunk_] = current_;
    std::vector<std::string> names;
    for (std::size_t i = 1; i < c.args.size(); ++i) {
        if (c.args[i].isFlag()) {
            if (c.args[i].text == "-uid"sv || c.args[i].text == "-uuid"sv) return;  // ids are kept as text
            continue;
        }
        names.push_back(c.args[i].text);
    }
    if (names.size() != 2) return;
    int n = s_.find(names[0]);
    if (n < 0) throw ParseError(c.line, "rename of an unknown node: " + names[0]);
    s_.rename(n, names[1]);
}

void Interpreter::select(const Chunk& c) {
    // select -ne NODE makes the following indented setAttr lines apply to it.
    std::string target;
    for (std::size_t i = 1; i < c.args.size(); ++i)
        if (!c.args[i].isFlag()) target = c.args[i].text;
    if (target.empty()) return;
    int n = s_.find(target);
    if (n < 0) n = addNode("", shortName(target), false, c.line);
    current_ = n;
}

void Interpreter::parent(const Chunk& c) {
    bool add = false, world = false, relative = false;
    std::vector<std::string> names;
    for (std::size_t i = 1; i < c.args.size(); ++i) {
        const Arg& a = c.args[i];
        if (a.isFlag()) {
            if (a.text == "-add"sv || a.text == "-addObject"sv) add = true;
            else if (a.text == "-w"sv || a.text == "-world"sv) world = true;
            else if (a.text == "-r"sv || a.text == "-relative"sv) relative = true;
            continue;
        }
        names.push_back(a.text);
    }
    if (names.empty() || (!world && names.size() < 2)) throw ParseError(c.line, "parent needs a child and a parent");
    int newParent = -1;
    if (!world) {
        newParent = only(names.back(), c.line, "parent node not found: ");
        names.pop_back();
    }
    for (const auto& name : names) {
        int child = only(name, c.line, "node not found: ");
        if (newParent >= 0 && isAncestor(child, newParent))
            throw ParseError(c.line, "parenting " + name + " would make a cycle");
        std::vector<int> parents = s_.nodes[child].parents;
        if (add) {
            // An instance under the world is not modelled: nothing changes.
            if (newParent < 0 || std::find(parents.begin(), parents.end(), newParent) != parents.end()) continue;
            parents.push_back(newParent);
            s_.setParents(child, std::move(parents));
            s_.dagEvents.push_back(DagEvent{DagEvent::Kind::AddParent, child, newParent, c.line});
            continue;
        }
        // Already there (its only parent, or at the top): Maya leaves it where it is.
        if (newParent < 0 ? parents.empty() : parents == std::vector<int>{newParent}) continue;
        if (!relative) keepWorldPlacement(s_, child, newParent);
        s_.setParents(child, newParent < 0 ? std::vector<int>{} : std::vector<int>{newParent});
        s_.dagEvents.push_back(DagEvent{DagEvent::Kind::Move, child, newParent, c.line});
    }
}

bool Interpreter::isAncestor(int a, int b) const {
    std::vector<int> todo{b};
    std::set<int> seen;
    while (!todo.empty()) {
        int n = todo.back();
        todo.pop_back();
        if (n == a) return true;
        if (!seen.insert(n).second) continue;
        for (int p : s_.nodes[n].parents) todo.push_back(p);
    }
    return false;
}

Plug Interpreter::plug(const std::string& text, int line) {
    std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0) throw ParseError(line, "not a node.attribute plug: " + text);
    Plug p;
    p.nodeName = text.substr(0, dot);
    p.attr = text.substr(dot + 1);
    p.node = s_.find(p.nodeName);
    return p;
}

std::vector<std::string> Interpreter::plugArgs(const Chunk& c) {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < c.args.size(); ++i) {
        const Arg& a = c.args[i];
        if (a.isFlag()) {
            if (a.text == "-l"sv || a.text == "-lock"sv) ++i;  // takes a value
            continue;
        }
        out.push_back(a.text);
    }
    return out;
}

void Interpreter::connect(const Chunk& c) {
    auto names = plugArgs(c);
    if (names.size() != 2) throw ParseError(c.line, "connectAttr needs a source and a destination");
    Connection conn{plug(names[0], c.line), plug(names[1], c.line), c.line};
    // -na connects to the next free element of a multi attribute.
    bool nextAvailable = false;
    for (const auto& a : c.args)
        if (!a.quoted && (a.text == "-na"sv || a.text == "-nextAvailable"sv)) nextAvailable = true;
    if (nextAvailable) {
        int& next = nextIndex_[conn.dst.nodeName + "." + conn.dst.attr];
        conn.dst.attr += "[" + std::to_string(next++) + "]";
    }
    const int index = static_cast<int>(s_.connections.size());
    if (liveIndexed_) live_[connectionKey(conn.src, conn.dst)].push_back(index);
    s_.connections.push_back(std::move(conn));
    disconnected_.push_back(0);
    s_.chunkConnection[chunk_] = index;
}

std::string Interpreter::connectionKey(const Plug& src, const Plug& dst) {
    std::string key;
    for (const Plug* p : {&src, &dst})
        key += std::to_string(p->node) + ':' + std::to_string(p->nodeName.size()) + ':' + p->nodeName +
               std::to_string(p->attr.size()) + ':' + p->attr;
    return key;
}

void Interpreter::disconnect(const Chunk& c) {
    auto names = plugArgs(c);
    if (names.size() != 2) return;
    if (!liveIndexed_) {
        // Built at the first disconnection: most files have none.
        for (std::size_t i = 0; i < s_.connections.size(); ++i)
            if (!disconnected_[i])
                live_[connectionKey(s_.connections[i].src, s_.connections[i].dst)].push_back(static_cast<int>(i));
        liveIndexed_ = true;
    }
    auto it = live_.find(connectionKey(plug(names[0], c.line), plug(names[1], c.line)));
    if (it == live_.end()) return;
    for (int index : it->second) disconnected_[static_cast<std::size_t>(index)] = 1;
    live_.erase(it);
}

void Interpreter::dropDisconnected() {
    std::vector<int> moved(s_.connections.size(), -1);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < s_.connections.size(); ++i) {
        if (disconnected_[i]) continue;
        moved[i] = static_cast<int>(kept);
        if (kept != i) s_.connections[kept] = std::move(s_.connections[i]);
        ++kept;
    }
    s_.connections.resize(kept);
    // A disconnected connection's own statement no longer stands for a live connection.
    for (auto& cc : s_.chunkConnection)
        if (cc >= 0) cc = moved[static_cast<std::size_t>(cc)];
}

}  // namespace qmfhost::ma::detail
