#include "qmfhost/MaHost.h"

#include <map>
#include <set>
#include <tuple>

namespace qmfhost::ma {

namespace {

const char* const kChannels[] = {"tx", "ty", "tz", "rx", "ry", "rz", "sx", "sy", "sz", "jox", "joy", "joz"};

bool isTransformType(const std::string& type) { return type == "transform" || type == "joint"; }

MFnAnimCurve::AnimCurveType curveType(char kind) {
    switch (kind) {
        case 'A': return MFnAnimCurve::kAnimCurveTA;
        case 'L': return MFnAnimCurve::kAnimCurveTL;
        case 'T': return MFnAnimCurve::kAnimCurveTT;
        default: return MFnAnimCurve::kAnimCurveTU;
    }
}

char curveKind(MFnAnimCurve::AnimCurveType t) {
    switch (t) {
        case MFnAnimCurve::kAnimCurveTA: case MFnAnimCurve::kAnimCurveUA: return 'A';
        case MFnAnimCurve::kAnimCurveTL: case MFnAnimCurve::kAnimCurveUL: return 'L';
        case MFnAnimCurve::kAnimCurveTT: case MFnAnimCurve::kAnimCurveUT: return 'T';
        default: return 'U';
    }
}

// Named as Maya names a node in a file: the shortest name that is unique.
std::string plugPath(const MObject& node) { return partialPath(node); }

bool sameTime(const MTime& a, const MTime& b) { return a.as(MTime::kSeconds) == b.as(MTime::kSeconds); }

// A scene with no range of its own gets the whole range written.
void completeRange(const Scene& scene, Playback& pb) {
    if (scene.playbackChunk >= 0) return;
    AnimControlState now = animControlState();
    if (!pb.minTime) pb.minTime = now.minTime.as(MTime::kSeconds);
    if (!pb.maxTime) pb.maxTime = now.maxTime.as(MTime::kSeconds);
    if (!pb.startTime) pb.startTime = now.animationStartTime.as(MTime::kSeconds);
    if (!pb.endTime) pb.endTime = now.animationEndTime.as(MTime::kSeconds);
}

Binding load(const Scene& scene, Scene* handOver);

}  // namespace

Binding loadIntoHost(const Scene& scene) { return load(scene, nullptr); }

Binding loadIntoHost(Scene& scene, SceneKeys keys) {
    return load(scene, keys == SceneKeys::HandedOver ? &scene : nullptr);
}

namespace {

Binding load(const Scene& scene, Scene* handOver) {
    resetScene();
    Binding b;
    const std::size_t count = scene.nodes.size();
    reserveScene(count, scene.connections.size());
    b.nodes.assign(count, MObject());
    // A node that is ever a parent or a child lives in the DAG.
    std::vector<bool> inDag(count, false);
    for (const DagEvent& e : scene.dagEvents) {
        if (e.parent < 0 && e.kind == DagEvent::Kind::Create) continue;
        inDag[static_cast<std::size_t>(e.node)] = true;
        if (e.parent >= 0) inDag[static_cast<std::size_t>(e.parent)] = true;
    }
    // Replayed in file order, so each parent lists its children in the
    // order they came to it, as Maya's walk visits them.
    for (const DagEvent& e : scene.dagEvents) {
        const std::size_t ui = static_cast<std::size_t>(e.node);
        const Node& n = scene.nodes[ui];
        const MObject parent = e.parent < 0 ? MObject::kNullObj : b.nodes[static_cast<std::size_t>(e.parent)];
        if (e.kind == DagEvent::Kind::Create) {
            MStatus st;
            MObject obj = createNode(n.type, n.name, parent, inDag[ui] ? NodeClass::Dag : NodeClass::Auto, &st);
            if (!st) throw ParseError(n.line, "the host refused node " + n.name + " of type " + n.type);
            b.nodes[ui] = obj;
            continue;
        }
        const bool toWorld = e.parent < 0;
        MStatus ps = MStatus::kFailure;
        if (!b.nodes[ui].isNull() && (toWorld || !parent.isNull()))
            ps = e.kind == DagEvent::Kind::Move ? setParent(b.nodes[ui], parent) : addParent(b.nodes[ui], parent);
        if (!ps)
            b.warnings.push_back("line " + std::to_string(e.line) + ": " +
                                 (e.kind == DagEvent::Kind::Move ? "parent refused for " : "instance parent refused for ") +
                                 n.name);
    }

    for (std::size_t i = 0; i < count; ++i) {
        const Node& n = scene.nodes[i];
        if (b.nodes[i].isNull()) continue;
        if (isTransformType(n.type) &&
            (n.translate || n.rotate || n.scale || n.jointOrient || n.rotateOrder || n.inverseScale ||
             n.segmentScaleCompensate)) {
            TransformValues v;
            auto copy = [](const std::optional<Vec3>& from, double* to) {
                if (from)
                    for (int k = 0; k < 3; ++k) to[k] = (*from)[static_cast<std::size_t>(k)];
            };
            copy(n.translate, v.translate);
            copy(n.rotate, v.rotate);
            copy(n.scale, v.scale);
            copy(n.jointOrient, v.jointOrient);
            if (n.rotateOrder) v.rotateOrder = *n.rotateOrder;
            copy(n.inverseScale, v.inverseScale);
            if (n.segmentScaleCompensate) v.segmentScaleCompensate = *n.segmentScaleCompensate;
            if (!setTransformValues(b.nodes[i], v))
                b.warnings.push_back("line " + std::to_string(n.line) + ": the host refused the values of " + n.name);
        }
        if (n.curve && n.curve->keys.uniform()) {
            // A struct per key would be copied twice on the way; columns are copied once.
            const KeyList& keys = n.curve->keys;
            CurveColumns c;
            c.weighted = n.curve->weighted;
            c.preInfinity = static_cast<MFnAnimCurve::InfinityType>(n.curve->preInfinity);
            c.postInfinity = static_cast<MFnAnimCurve::InfinityType>(n.curve->postInfinity);
            c.size = keys.size();
            c.times = keys.times().data();
            c.values = keys.values().data();
            c.inTangent = static_cast<MFnAnimCurve::TangentType>(keys.inType());
            c.outTangent = static_cast<MFnAnimCurve::TangentType>(keys.outType());
            if (!setCurveColumns(b.nodes[i], c))
                b.warnings.push_back("line " + std::to_string(n.line) + ": the host refused the keys of " + n.name);
            if (handOver) handOver->nodes[i].curve->keys.release();
        } else if (n.curve) {
            CurveData d;
            d.type = curveType(n.curve->kind);
            d.weighted = n.curve->weighted;
            d.preInfinity = static_cast<MFnAnimCurve::InfinityType>(n.curve->preInfinity);
            d.postInfinity = static_cast<MFnAnimCurve::InfinityType>(n.curve->postInfinity);
            d.keys.reserve(n.curve->keys.size());
            for (const Key& k : n.curve->keys) {
                CurveKey ck;
                ck.time = k.time;
                ck.value = k.value;
                ck.inTangent = static_cast<MFnAnimCurve::TangentType>(k.inType);
                ck.outTangent = static_cast<MFnAnimCurve::TangentType>(k.outType);
                ck.inX = k.inX;
                ck.inY = k.inY;
                ck.outX = k.outX;
                ck.outY = k.outY;
                d.keys.push_back(ck);
            }
            if (!setCurve(b.nodes[i], d))
                b.warnings.push_back("line " + std::to_string(n.line) + ": the host refused the keys of " + n.name);
            // Now in the host: a long scene's keys are not held twice.
            if (handOver) handOver->nodes[i].curve->keys.release();
        }
        if (n.conversionFactor) setAttributeValue(b.nodes[i], "cf", {*n.conversionFactor});
    }

    // Connections before locks: a file may lock a channel it also drives.
    b.connected.assign(scene.connections.size(), false);
    for (std::size_t i = 0; i < scene.connections.size(); ++i) {
        const Connection& c = scene.connections[i];
        if (c.src.node < 0 || c.dst.node < 0) continue;
        const MObject& s = b.nodes[static_cast<std::size_t>(c.src.node)];
        const MObject& d = b.nodes[static_cast<std::size_t>(c.dst.node)];
        if (s.isNull() || d.isNull()) continue;
        if (connect(s, c.src.attr, d, c.dst.attr)) b.connected[i] = true;
        else b.warnings.push_back("line " + std::to_string(c.line) + ": connection refused: " + c.src.nodeName + "." +
                                  c.src.attr + " -> " + c.dst.nodeName + "." + c.dst.attr);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (b.nodes[i].isNull()) continue;
        for (const auto& a : scene.nodes[i].locked) setLocked(b.nodes[i], a, true);
    }

    // A range the scene does not give starts at its own frame 1 (computed as
    // the reader computes times); the ends keep the host's defaults.
    AnimControlState ac = animControlState();
    const Playback& pb = scene.playback;
    const double firstFrame = 1.0 * (1.0 / scene.units.framesPerSecond);
    ac.minTime = MTime(pb.minTime.value_or(firstFrame), MTime::kSeconds);
    if (pb.maxTime) ac.maxTime = MTime(*pb.maxTime, MTime::kSeconds);
    ac.animationStartTime = MTime(pb.startTime.value_or(firstFrame), MTime::kSeconds);
    if (pb.endTime) ac.animationEndTime = MTime(*pb.endTime, MTime::kSeconds);
    // Curves are evaluated at :time1's time, else at the start of playback.
    ac.currentTime = scene.currentTime ? MTime(*scene.currentTime, MTime::kSeconds) : ac.minTime;
    setAnimControlState(ac);
    b.animControl = animControlState();
    return b;
}

}  // namespace

Edits collectEdits(const Scene& scene, const Binding& binding, CurveKeys keys) {
    Edits e;
    for (std::size_t i = 0; i < binding.nodes.size(); ++i)
        if (!binding.nodes[i].isNull() && !exists(binding.nodes[i])) e.deletedNodes.insert(static_cast<int>(i));

    // Sets keyed by node id keep this linear in the size of the scene.
    std::set<std::tuple<unsigned long long, std::string, unsigned long long, std::string>> live;
    for (const auto& l : connections())
        live.emplace(l.sourceNode.id(), l.sourceAttribute, l.destinationNode.id(), l.destinationAttribute);
    for (std::size_t i = 0; i < scene.connections.size(); ++i) {
        if (!binding.connected[i]) continue;
        const Connection& c = scene.connections[i];
        const MObject& s = binding.nodes[static_cast<std::size_t>(c.src.node)];
        const MObject& d = binding.nodes[static_cast<std::size_t>(c.dst.node)];
        if (!live.count(std::make_tuple(s.id(), c.src.attr, d.id(), c.dst.attr)))
            e.removedConnections.insert(static_cast<int>(i));
    }

    std::set<unsigned long long> loaded;
    for (const auto& o : binding.nodes)
        if (!o.isNull()) loaded.insert(o.id());
    auto wasLoaded = [&](const MObject& o) { return loaded.count(o.id()) != 0; };
    for (const MObject& node : allNodes()) {
        if (!isAnimCurve(node) || wasLoaded(node)) continue;
        CurveData d;
        if (!(keys == CurveKeys::KeysInHost ? getCurveKeys(node, 0, 0, d) : getCurve(node, d))) continue;
        NewCurve nc;
        if (keys == CurveKeys::KeysInHost) nc.source = node;
        nc.name = nodeName(node);
        nc.type = typeName(node);
        nc.curve.kind = curveKind(d.type);
        nc.curve.weighted = d.weighted;
        nc.curve.preInfinity = d.preInfinity;
        nc.curve.postInfinity = d.postInfinity;
        std::map<int, int> tally;
        for (const auto& k : d.keys) {
            nc.curve.keys.push_back(Key{k.time, k.value, k.inTangent, k.outTangent, k.inX, k.inY, k.outX, k.outY});
            ++tally[k.outTangent];
        }
        // The curve-wide type is the most common one, as Maya writes it.
        int best = 0;
        for (const auto& [type, n] : tally)
            if (n > best) {
                best = n;
                nc.curve.tangentType = type;
            }
        for (const auto& c : connections(node))
            if (c.sourceNode == node) nc.destinations.emplace_back(plugPath(c.destinationNode), c.destinationAttribute);
        e.newCurves.push_back(std::move(nc));
    }

    for (std::size_t i = 0; i < binding.nodes.size(); ++i) {
        const MObject& o = binding.nodes[i];
        const Node& n = scene.nodes[i];
        if (o.isNull() || !exists(o) || !isTransformType(n.type)) continue;
        for (const char* ch : kChannels) {
            bool was = n.locked.count(ch) != 0;
            bool now = isLocked(o, ch);
            if (was != now) e.lockChanges.push_back(LockChange{plugPath(o), ch, now});
        }
    }

    // Only the range values that changed: the others keep the file's text.
    AnimControlState now = animControlState();
    const AnimControlState& then = binding.animControl;
    Playback pb;
    auto changed = [](const MTime& a, const MTime& b, std::optional<double>& out) {
        if (!sameTime(a, b)) out = a.as(MTime::kSeconds);
    };
    changed(now.minTime, then.minTime, pb.minTime);
    changed(now.maxTime, then.maxTime, pb.maxTime);
    changed(now.animationStartTime, then.animationStartTime, pb.startTime);
    changed(now.animationEndTime, then.animationEndTime, pb.endTime);
    if (pb.minTime || pb.maxTime || pb.startTime || pb.endTime) {
        e.playback = pb;
        completeRange(scene, *e.playback);
    }
    return e;
}

void includePlaybackEnd(const Scene& scene, Edits& edits) {
    const double end = animControlState().maxTime.as(MTime::kSeconds);
    if (scene.playbackChunk >= 0 && scene.playback.maxTime == end) return;  // the file says it already
    if (!edits.playback) edits.playback.emplace();
    edits.playback->maxTime = end;
    completeRange(scene, *edits.playback);
}

namespace {

// What drives a channel: the node feeding it, or feeding the unitConversion
// that feeds it (then in converter). False when nothing does.
bool driverOf(const MObject& node, const std::string& attr, MObject& driver, MObject& converter) {
    qmfhost::Connection c;
    if (!sourceOf(node, attr, c)) return false;
    driver = c.sourceNode;
    if (typeName(driver) == "unitConversion") {
        for (const auto& in : connections(driver))
            if (in.destinationNode == driver) {
                converter = driver;
                driver = in.sourceNode;
                break;
            }
    }
    return true;
}

}  // namespace

int deleteDrivingCurves(const MObject& node, const std::vector<std::string>& attributes,
                        std::vector<KeptDriver>* kept) {
    int deleted = 0;
    for (const auto& attr : attributes) {
        MObject driver, converter;
        if (!driverOf(node, attr, driver, converter)) continue;
        if (!isAnimCurve(driver)) {
            if (kept) kept->push_back(KeptDriver{plugPath(node) + "." + attr, nodeName(driver), typeName(driver)});
            continue;
        }
        // The curve goes with all its connections (node-editor links,
        // character sets): only the channels it drove would keep it alive.
        if (!converter.isNull()) deleteNode(converter);
        if (deleteNode(driver)) ++deleted;
    }
    return deleted;
}

std::optional<KeptDriver> firstDriver(const MObject& node, const std::vector<std::string>& attributes) {
    for (const auto& attr : attributes) {
        MObject driver, converter;
        if (driverOf(node, attr, driver, converter))
            return KeptDriver{plugPath(node) + "." + attr, nodeName(driver), typeName(driver)};
    }
    return std::nullopt;
}

}  // namespace qmfhost::ma
