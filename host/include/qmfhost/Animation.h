#ifndef QMFHOST_ANIMATION_H
#define QMFHOST_ANIMATION_H
// How the host evaluates animation: curve values at a time, the tangents it
// uses for them, and the channels it cannot evaluate. The rules are written
// down in docs/curve-evaluation.md.

#include <qmfhost/Scene.h>

#include <cstddef>
#include <string>
#include <vector>

namespace qmfhost {

// A key's in or out tangent as evaluation uses it: x in seconds, y in the
// curve's internal unit per the same span (Maya's getTangent convention).
struct TangentVector {
    double x = 0;
    double y = 0;
};
struct KeyTangents {
    TangentVector in, out;
    bool stepNextOut = false;   // the segment after the key shows the next key's value
};

// The tangents of key `index` worked out from its type and neighbours, then
// validated as for a weighted or non-weighted curve. Zero vectors for an
// index past the end.
OPENMAYA_EXPORT KeyTangents keyTangents(const CurveData& curve, std::size_t index);

// The curve's value at a time in seconds, in the curve's internal unit.
// 0 for a curve without keys; never NaN for finite keys and time.
OPENMAYA_EXPORT double evaluateCurve(const CurveData& curve, double seconds);

// A transform channel driven by something the host does not evaluate (an
// expression, a constraint, IK, a curve with a non-time input...): reads of
// it give the stored value.
struct UnevaluatedChannel {
    std::string attribute;    // long name as connected: "rotateX", or "translate" for a compound
    std::string driverType;   // node type of the driver, e.g. "expression"
    std::string driverName;
};
// Such channels of one node, in attribute order; empty for other nodes.
OPENMAYA_EXPORT std::vector<UnevaluatedChannel> unevaluatedChannels(const MObject& node);

// Such channels of some joints and of every transform above them, each node
// once and a node's ancestors before it: what a pose of those joints reads
// stored rather than evaluated.
struct UnevaluatedNodeChannel {
    std::string nodePath;     // shortest unique path of the node
    UnevaluatedChannel channel;
};
OPENMAYA_EXPORT std::vector<UnevaluatedNodeChannel> unevaluatedChannelsAbove(const std::vector<MObject>& joints);

}  // namespace qmfhost

#endif
