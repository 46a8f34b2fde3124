#include "qmfhost/MaScene.h"

#include "MaPlacement.h"
#include "fileio/SafeFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <unordered_map>

namespace qmfhost::ma {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

namespace {

struct AttrRef {
    std::string node;  // empty: the current node
    std::string name;  // canonical
    bool ranged = false;
    long first = 0, last = 0;
};

AttrRef parseAttr(const std::string& text, int line) {
    AttrRef r;
    std::size_t dot = text.find('.');
    if (dot == std::string::npos) throw ParseError(line, "attribute name without '.': " + text);
    r.node = text.substr(0, dot);
    std::string attr = text.substr(dot + 1);
    std::size_t br = attr.find('[');
    if (br != std::string::npos && attr.find('.') == std::string::npos && attr.back() == ']') {
        std::string idx = attr.substr(br + 1, attr.size() - br - 2);
        attr = attr.substr(0, br);
        std::size_t colon = idx.find(':');
        char* end = nullptr;
        std::string a = idx.substr(0, colon);
        long long first = std::strtoll(a.c_str(), &end, 10);
        bool ok = !a.empty() && end == a.c_str() + a.size();
        long long last = first;
        if (colon != std::string::npos) {
            std::string b = idx.substr(colon + 1);
            last = std::strtoll(b.c_str(), &end, 10);
            ok = ok && !b.empty() && end == b.c_str() + b.size();
        }
        if (ok && first >= 0 && last >= first && last < std::numeric_limits<int>::max()) {
            r.ranged = true;
            r.first = static_cast<long>(first);
            r.last = static_cast<long>(last);
        } else if (!ok) {
            attr = text.substr(dot + 1);  // not a simple index: keep whole
        } else {
            throw ParseError(line, "bad index range in " + text);
        }
    }
    r.name = canonicalAttr(attr);
    return r;
}

struct PendingCurve {
    std::map<long, std::pair<double, double>> ktv;  // index -> time (s), value (internal)
    std::map<long, int> kit, kot;                    // index -> API type
    std::map<long, double> kix, kiy, kox, koy;       // index -> tangent vector part, as written
};

class Interpreter {
public:
    explicit Interpreter(Scene& s) : s_(s) {}

    void run() {
        s_.chunkNode.assign(s_.chunks.size(), -1);
        s_.chunkConnection.assign(s_.chunks.size(), -1);
        // Sized once: growing the node list and its indexes would move and
        // rehash every node several times over in a large rig.
        std::size_t created = 0, connected = 0;
        for (const Chunk& c : s_.chunks) {
            if (c.kind != Chunk::Kind::Statement || c.args.empty()) continue;
            if (c.args[0].text == "createNode"sv) ++created;
            else if (c.args[0].text == "connectAttr"sv) ++connected;
        }
        s_.reserveNodes(created);
        s_.dagEvents.reserve(created);
        s_.connections.reserve(connected);
        disconnected_.reserve(connected);
        for (std::size_t i = 0; i < s_.chunks.size(); ++i) {
            const Chunk& c = s_.chunks[i];
            if (c.kind != Chunk::Kind::Statement || c.args.empty()) continue;
            chunk_ = i;
            statement(c);
        }
        finishCurves();
        dropDisconnected();
    }

private:
    void statement(const Chunk& c) {
        const std::string& cmd = c.command();
        if (cmd == "createNode"sv) {
            createNode(c);
        } else if (cmd == "setAttr"sv) {
            setAttr(c);
        } else if (cmd == "addAttr"sv || cmd == "lockNode"sv) {
            if (!c.topLevel && current_ >= 0) s_.chunkNode[chunk_] = current_;
        } else if (cmd == "rename"sv) {
            rename(c);
        } else if (cmd == "select"sv) {
            select(c);
        } else if (cmd == "currentUnit"sv) {
            for (std::size_t i = 1; i + 1 < c.args.size(); i += 2)
                if (!applyUnitFlag(s_.units, c.args[i].text, c.args[i + 1].text))
                    throw ParseError(c.line, "unknown unit " + c.args[i + 1].text + " for " + c.args[i].text);
        } else if (cmd == "parent"sv) {
            parent(c);
        } else if (cmd == "connectAttr"sv) {
            connect(c);
        } else if (cmd == "disconnectAttr"sv) {
            disconnect(c);
        }
        // Everything else (requires, file, fileInfo, relationship, scripts...) is kept as text only.
    }

    int addNode(const std::string& type, const std::string& name, bool declared, int line, int parent = -1) {
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

    // The one node a name or path in a statement stands for; refuses a name
    // that matches several nodes, as Maya does.
    int only(const std::string& name, int line, const std::string& notFound) {
        std::vector<int> found = s_.findAll(name);
        if (found.empty()) throw ParseError(line, notFound + name);
        if (found.size() > 1) throw ParseError(line, "more than one node matches " + name);
        return found.front();
    }

    static std::string shortName(const std::string& n) {
        std::size_t bar = n.rfind('|');
        std::string s = bar == std::string::npos ? n : n.substr(bar + 1);
        if (!s.empty() && s[0] == ':') s.erase(0, 1);
        return s;
    }

    void createNode(const Chunk& c) {
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

    void rename(const Chunk& c) {
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

    void select(const Chunk& c) {
        // select -ne NODE makes the following indented setAttr lines apply to it.
        std::string target;
        for (std::size_t i = 1; i < c.args.size(); ++i)
            if (!c.args[i].isFlag()) target = c.args[i].text;
        if (target.empty()) return;
        int n = s_.find(target);
        if (n < 0) n = addNode("", shortName(target), false, c.line);
        current_ = n;
    }

    // Maya appends a node it parents to the new parent's children; without
    // -r (relative) the node keeps where it is in the world.
    void parent(const Chunk& c) {
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

    // Is a an ancestor of (or the same as) b, through any parent?
    bool isAncestor(int a, int b) const {
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

    Plug plug(const std::string& text, int line) {
        std::size_t dot = text.find('.');
        if (dot == std::string::npos || dot == 0) throw ParseError(line, "not a node.attribute plug: " + text);
        Plug p;
        p.nodeName = text.substr(0, dot);
        p.attr = text.substr(dot + 1);
        p.node = s_.find(p.nodeName);
        return p;
    }

    std::vector<std::string> plugArgs(const Chunk& c) {
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

    void connect(const Chunk& c) {
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

    static std::string connectionKey(const Plug& src, const Plug& dst) {
        std::string key;
        for (const Plug* p : {&src, &dst})
            key += std::to_string(p->node) + ':' + std::to_string(p->nodeName.size()) + ':' + p->nodeName +
                   std::to_string(p->attr.size()) + ':' + p->attr;
        return key;
    }

    // Marks what it disconnects; dropDisconnected takes them out in one pass.
    void disconnect(const Chunk& c) {
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

    void dropDisconnected() {
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

    void setAttr(const Chunk& c) {
        std::string attrText;
        bool haveAttr = false;
        std::optional<double> lock;
        std::string type;
        // Kept between statements: one setAttr per value line would otherwise allocate it anew.
        std::vector<const Arg*>& values = values_;
        values.clear();
        for (std::size_t i = 1; i < c.args.size(); ++i) {
            const Arg& a = c.args[i];
            if (a.isFlag()) {
                const std::string& f = a.text;
                bool takesValue = f == "-l"sv || f == "-lock"sv || f == "-k"sv || f == "-keyable"sv || f == "-cb"sv ||
                                  f == "-channelBox"sv || f == "-s"sv || f == "-size"sv || f == "-type"sv ||
                                  f == "-typ"sv || f == "-ca"sv || f == "-caching"sv || f == "-ch"sv ||
                                  f == "-capacityHint"sv;
                if (takesValue) {
                    if (i + 1 >= c.args.size()) throw ParseError(c.line, "setAttr flag " + f + " without a value");
                    const Arg& v = c.args[++i];
                    if (f == "-l"sv || f == "-lock"sv) {
                        lock = v.number();
                        if (!lock) throw ParseError(c.line, "setAttr -l needs on or off, not " + v.text);
                    } else if (f == "-type"sv || f == "-typ"sv) {
                        type = v.text;
                    }
                }
                continue;
            }
            if (!haveAttr) {
                attrText = a.text;
                haveAttr = true;
            } else {
                values.push_back(&a);
            }
        }
        if (!haveAttr) throw ParseError(c.line, "setAttr without an attribute");
        AttrRef ref = parseAttr(attrText, c.line);
        int node = current_;
        if (!ref.node.empty()) {
            if (ref.name == "o"sv && isTimeNode(ref.node, "")) return currentTime(values, c.line);
            node = s_.find(ref.node);
            if (node < 0) return;  // a node this file does not create (kept as text)
        } else {
            if (c.topLevel && current_ < 0) throw ParseError(c.line, "setAttr with no current node");
            if (node < 0) return;
            s_.chunkNode[chunk_] = node;
        }
        Node& n = s_.nodes[node];
        if (lock) applyLock(n, ref.name, *lock != 0.0);
        if (values.empty()) return;
        if (n.curve) {
            curveAttr(node, ref, values, c.line);
            return;
        }
        if (ref.name == "o"sv && isTimeNode(n.name, n.type)) return currentTime(values, c.line);
        if (ref.name == "cf"sv && n.type == "unitConversion"sv) {
            const auto& v = numbers(values, c.line);
            if (v.size() != 1) throw ParseError(c.line, ".cf needs one value");
            n.conversionFactor = finite(v[0], c.line);
            return;
        }
        if (node == s_.configNode && ref.name == "b"sv && values.size() == 1 && values[0]->quoted) {
            playback(values[0]->text, c.line);
            s_.playbackChunk = static_cast<int>(chunk_);
            return;
        }
        transformAttr(n, ref, values, type, c.line);
    }

    // :time1, the scene's time node (named, or selected with select -ne).
    static bool isTimeNode(const std::string& name, const std::string& type) {
        std::string s = shortName(name);
        return s == "time1"sv && (type.empty() || type == "time"sv);
    }

    void currentTime(const std::vector<const Arg*>& values, int line) {
        const auto& v = numbers(values, line);
        if (v.size() != 1) throw ParseError(line, "time1.o needs one value");
        s_.currentTime = finite(v[0] / s_.units.framesPerSecond, line);
    }

    static void applyLock(Node& n, const std::string& attr, bool on) {
        static const std::map<std::string, std::vector<std::string>> groups = {
            {"t", {"tx", "ty", "tz"}}, {"r", {"rx", "ry", "rz"}}, {"s", {"sx", "sy", "sz"}}, {"jo", {"jox", "joy", "joz"}}};
        std::vector<std::string> names;
        auto g = groups.find(attr);
        if (g != groups.end()) names = g->second;
        else names.push_back(attr);
        for (const auto& a : names) {
            if (on) n.locked.insert(a);
            else n.locked.erase(a);
        }
    }

    // Filled in place and reused: the caller uses the values before the next call.
    const std::vector<double>& numbers(const std::vector<const Arg*>& values, int line) {
        std::vector<double>& out = numbers_;
        out.clear();
        for (const Arg* a : values) {
            auto v = a->number();
            if (!v) throw ParseError(line, "expected a number, found '" + a->text + "'");
            out.push_back(*v);
        }
        return out;
    }

    void transformAttr(Node& n, const AttrRef& ref, const std::vector<const Arg*>& values, const std::string& type,
                       int line) {
        const std::string& a = ref.name;
        double lin = s_.units.linearToCm, ang = s_.units.angleToRadians;
        auto compound = [&](std::optional<Vec3>& slot, double factor) {
            if (!type.empty() && type != "double3"sv && type != "float3"sv) return;
            const auto& v = numbers(values, line);
            if (v.size() != 3) throw ParseError(line, "." + a + " needs three values, found " + std::to_string(v.size()));
            slot = Vec3{finite(v[0] * factor, line), finite(v[1] * factor, line), finite(v[2] * factor, line)};
        };
        auto single = [&](std::optional<Vec3>& slot, int axis, double factor, Vec3 defaults) {
            const auto& v = numbers(values, line);
            if (v.size() != 1) throw ParseError(line, "." + a + " needs one value");
            if (!slot) slot = defaults;
            (*slot)[axis] = finite(v[0] * factor, line);
        };
        const Vec3 zero{0, 0, 0}, one{1, 1, 1};
        if (a == "t"sv) compound(n.translate, lin);
        else if (a == "r"sv) compound(n.rotate, ang);
        else if (a == "s"sv) compound(n.scale, 1.0);
        else if (a == "jo"sv) compound(n.jointOrient, ang);
        else if (a == "tx"sv || a == "ty"sv || a == "tz"sv) single(n.translate, a[1] - 'x', lin, zero);
        else if (a == "rx"sv || a == "ry"sv || a == "rz"sv) single(n.rotate, a[1] - 'x', ang, zero);
        else if (a == "sx"sv || a == "sy"sv || a == "sz"sv) single(n.scale, a[1] - 'x', 1.0, one);
        else if (a == "jox"sv || a == "joy"sv || a == "joz"sv) single(n.jointOrient, a[2] - 'x', ang, zero);
        else if (n.type == "joint"sv && a == "is"sv) compound(n.inverseScale, 1.0);
        else if (n.type == "joint"sv && (a == "isx"sv || a == "isy"sv || a == "isz"sv)) single(n.inverseScale, a[2] - 'x', 1.0, one);
        else if (n.type == "joint"sv && a == "ssc"sv) {
            const auto& v = numbers(values, line);
            if (v.size() != 1) throw ParseError(line, ".ssc needs one value");
            n.segmentScaleCompensate = v[0] != 0.0;
        } else if (a == "ro"sv) {
            const auto& v = numbers(values, line);
            if (v.size() != 1 || v[0] < 0 || v[0] > 5 || v[0] != std::floor(v[0]))
                throw ParseError(line, "rotate order must be 0 to 5");
            n.rotateOrder = static_cast<int>(v[0]);
        }
    }

    static double finite(double v, int line) {
        if (!std::isfinite(v)) throw ParseError(line, "value out of range once converted to internal units");
        return v;
    }

    static int intValue(double v, int line) {
        if (v != std::floor(v) || v < -1e6 || v > 1e6) throw ParseError(line, "expected an integer code");
        return static_cast<int>(v);
    }

    void curveAttr(int node, const AttrRef& ref, const std::vector<const Arg*>& values, int line) {
        Curve& cv = *s_.nodes[node].curve;
        PendingCurve& p = pending_[node];
        const std::string& a = ref.name;
        if (a == "tan"sv) {
            cv.tangentType = tangentFromFileCode(intValue(numbers(values, line).at(0), line));
        } else if (a == "wgt"sv) {
            cv.weighted = numbers(values, line).at(0) != 0.0;
        } else if (a == "pre"sv || a == "pst"sv) {
            int v = intValue(numbers(values, line).at(0), line);
            // Constant 0, linear 1, cycle 3, cycle with offset 4, oscillate 5.
            if (v < 0 || v > 5 || v == 2) throw ParseError(line, "unknown infinity type " + std::to_string(v));
            (a == "pre"sv ? cv.preInfinity : cv.postInfinity) = v;
        } else if (a == "ktv"sv || a == "kit"sv || a == "kot"sv || a == "kix"sv || a == "kiy"sv || a == "kox"sv || a == "koy"sv) {
            const auto& v = numbers(values, line);
            long first = ref.ranged ? ref.first : 0;
            std::size_t per = a == "ktv"sv ? 2 : 1;
            std::size_t count = ref.ranged ? static_cast<std::size_t>(ref.last - ref.first + 1) : v.size() / per;
            if (v.size() != count * per)
                throw ParseError(line, "." + a + " lists " + std::to_string(v.size()) + " values for " +
                                           std::to_string(count) + " keys");
            double spf = 1.0 / s_.units.framesPerSecond;
            double factor = cv.kind == 'A' ? s_.units.angleToRadians : cv.kind == 'L' ? s_.units.linearToCm
                          : cv.kind == 'T' ? spf : 1.0;
            for (std::size_t k = 0; k < count; ++k) {
                long idx = first + static_cast<long>(k);
                if (a == "ktv"sv) p.ktv[idx] = {finite(v[2 * k] * spf, line), finite(v[2 * k + 1] * factor, line)};
                else if (a == "kit"sv || a == "kot"sv) (a == "kit"sv ? p.kit : p.kot)[idx] = tangentFromFileCode(intValue(v[k], line));
                else tangentPart(p, a)[idx] = finite(v[k], line);  // already seconds and internal units
            }
        }
    }

    static std::map<long, double>& tangentPart(PendingCurve& p, const std::string& a) {
        return a == "kix"sv ? p.kix : a == "kiy"sv ? p.kiy : a == "kox"sv ? p.kox : p.koy;
    }

    void finishCurves() {
        for (auto& [node, p] : pending_) {
            Curve& cv = *s_.nodes[node].curve;
            for (const auto& [idx, tv] : p.ktv) {
                Key k;
                k.time = tv.first;
                k.value = tv.second;
                auto i = p.kit.find(idx);
                k.inType = i != p.kit.end() ? i->second : cv.tangentType;
                auto o = p.kot.find(idx);
                k.outType = o != p.kot.end() ? o->second : cv.tangentType;
                auto part = [idx = idx](const std::map<long, double>& m) {
                    auto it = m.find(idx);
                    return it != m.end() ? it->second : 0.0;
                };
                k.inX = part(p.kix);
                k.inY = part(p.kiy);
                k.outX = part(p.kox);
                k.outY = part(p.koy);
                cv.keys.push_back(k);
            }
            std::stable_sort(cv.keys.begin(), cv.keys.end(), [](const Key& x, const Key& y) { return x.time < y.time; });
        }
    }

    void playback(const std::string& script, int line) {
        std::istringstream in(script);
        std::vector<std::string> words;
        for (std::string w; in >> w;) words.push_back(w);
        double spf = 1.0 / s_.units.framesPerSecond;
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string& f = words[i];
            std::optional<double>* slot = nullptr;
            if (f == "-min"sv || f == "-minTime"sv) slot = &s_.playback.minTime;
            else if (f == "-max"sv || f == "-maxTime"sv) slot = &s_.playback.maxTime;
            else if (f == "-ast"sv || f == "-animationStartTime"sv) slot = &s_.playback.startTime;
            else if (f == "-aet"sv || f == "-animationEndTime"sv) slot = &s_.playback.endTime;
            if (!slot || i + 1 >= words.size()) continue;
            Arg v{words[++i], false};
            auto num = v.number();
            if (!num) throw ParseError(line, "playbackOptions " + f + " needs a number");
            *slot = finite(*num * spf, line);
        }
    }

    Scene& s_;
    std::size_t chunk_ = 0;
    int current_ = -1;
    std::map<int, PendingCurve> pending_;
    std::map<std::string, int> nextIndex_;
    std::unordered_map<std::string, std::vector<int>> live_;   // connections by their two plugs
    bool liveIndexed_ = false;
    std::vector<char> disconnected_;                          // per connection
    std::vector<const Arg*> values_;                          // setAttr's values, reused
    std::vector<double> numbers_;                             // numbers(), reused
};

}  // namespace

Scene interpret(std::vector<Chunk> chunks) {
    Scene s;
    s.chunks = std::move(chunks);
    Interpreter(s).run();
    return s;
}

Scene readText(std::string_view text) {
    checkHeader(text);
    return interpret(parseChunks(text));
}

Scene readFile(const std::string& path) {
    Limits limits;
    std::string bytes;
    try {
        // Only a regular file, opened without blocking: a FIFO must not hang the reader.
        fileio::InputFile in(path);
        if (in.size() > limits.maxFileBytes)
            throw ParseError(0, path + " is larger than the limit of " + std::to_string(limits.maxFileBytes) + " bytes");
        bytes = in.readAll(limits.maxFileBytes);
    } catch (const fileio::Error& e) {
        throw ParseError(0, e.what());
    }
    return readText(bytes);
}

}  // namespace qmfhost::ma
