#ifndef QMFHOST_SCENE_H
#define QMFHOST_SCENE_H
// Direct access to the host's in-memory scene, outside the Maya API: for
// the scene-file reader/writer and for tests. Nodes are named by MObject
// handles, attributes by long or short name ("translateX" or "tx").
//
// Values are in internal units: centimetres, radians, seconds.

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTime.h>
#include <maya/MFnAnimCurve.h>

#include <cstddef>
#include <string>
#include <vector>

namespace qmfhost {

// Throws the current scene away and starts a new one: only the world node,
// no connections, animation settings at their defaults (playback 1..24,
// animation 1..48 and current time 1, all in film frames; global tangents
// kTangentClamped; weighted tangents off; MTime's UI unit film). Registered
// translators and loaded plug-ins are not part of the scene and stay.
// Handles to old nodes go stale (they no longer match any function set).
OPENMAYA_EXPORT void resetScene();

// Room for this many more nodes and connections in the scene's indexes, so a
// loader that knows the counts does not rebuild them as they grow.
OPENMAYA_EXPORT void reserveScene(std::size_t nodes, std::size_t connections);

// The world node (root of the DAG, named "world").
OPENMAYA_EXPORT MObject world();

// How createNode decides whether a node lives in the DAG.
enum class NodeClass {
    Auto,        // known DAG types (transform, joint, mesh, locator, ...) are DAG,
                 // others are DAG only when a parent is given
    Dag,
    Dependency
};

// Creates a node of any type name with exactly this name (no renaming:
// names read from a file are kept as they are, duplicates included). An
// empty name gives "<type>N". A DAG node goes under parent, or under the
// world when parent is null. Types with their own behaviour: "transform",
// "joint", "animCurveTA/TL/TT/TU/UA/UL/UT/UU"; anything else is a generic node.
// Fails with kInvalidParameter for an empty type, a parent that is not a
// DAG node, or a parent given for a dependency node.
OPENMAYA_EXPORT MObject createNode(const std::string& type, const std::string& name,
                                   const MObject& parent = MObject::kNullObj,
                                   NodeClass nodeClass = NodeClass::Auto,
                                   MStatus* status = nullptr);

// Finds a node by name ("joint1", "bind:root") or by DAG path ("|grp|joint1",
// or a partial path "grp|joint1"). kNotFound when nothing matches;
// kInvalidParameter when several nodes match (give more of the path).
OPENMAYA_EXPORT MObject findNode(const std::string& nameOrPath, MStatus* status = nullptr);
// Every node matching, in creation order.
OPENMAYA_EXPORT std::vector<MObject> findNodes(const std::string& nameOrPath);

// Every node except the world, DAG and dependency, in creation order.
OPENMAYA_EXPORT std::vector<MObject> allNodes();
// Whether the handle refers to a live node of the current scene.
OPENMAYA_EXPORT bool exists(const MObject& node);
OPENMAYA_EXPORT bool isDag(const MObject& node);
// "" for a stale or null handle.
OPENMAYA_EXPORT std::string typeName(const MObject& node);
OPENMAYA_EXPORT std::string nodeName(const MObject& node);
// The path through parent 0 at each level ("|grp|joint1"); "" for
// dependency nodes and the world.
OPENMAYA_EXPORT std::string fullPath(const MObject& node);
// Shortest unique path ending in the node's name.
OPENMAYA_EXPORT std::string partialPath(const MObject& node);

// DAG parents in order (the world for a top-level node) and children in order.
OPENMAYA_EXPORT std::vector<MObject> parents(const MObject& node);
OPENMAYA_EXPORT std::vector<MObject> children(const MObject& node);
// Moves node under newParent (null: the world), leaving all other parents.
OPENMAYA_EXPORT MStatus setParent(const MObject& node, const MObject& newParent);
// Adds an instance parent (the node keeps its existing parents). Refused
// for cycles and for a parent it already has.
OPENMAYA_EXPORT MStatus addParent(const MObject& node, const MObject& parent);
// Removes one parent; a node left without parents is deleted.
OPENMAYA_EXPORT MStatus removeParent(const MObject& node, const MObject& parent);
OPENMAYA_EXPORT MStatus rename(const MObject& node, const std::string& newName);
// Deletes the node, its connections, and DAG children left without a parent.
OPENMAYA_EXPORT MStatus deleteNode(const MObject& node);

// Transform and joint values. rotateOrder uses the attribute numbering
// (xyz 0, yzx 1, zxy 2, xzy 3, yxz 4, zyx 5). jointOrient and rotateAxis are
// XYZ Euler angles.
struct TransformValues {
    double translate[3] = {0, 0, 0};
    double rotate[3] = {0, 0, 0};
    int rotateOrder = 0;
    double scale[3] = {1, 1, 1};
    double jointOrient[3] = {0, 0, 0};   // joints only
    double rotateAxis[3] = {0, 0, 0};
    // Joints only: the inverseScale plug's own value (a connection, normally
    // from the parent's scale, overrides it) and whether the joint divides
    // it out (segmentScaleCompensate).
    double inverseScale[3] = {1, 1, 1};
    bool segmentScaleCompensate = true;
};
// The stored values (what setAttr set), also for channels an animation curve
// drives; the API's reads and getAttributeValue give those at the current
// time. kInvalidParameter for nodes that are not transforms or joints.
OPENMAYA_EXPORT MStatus getTransformValues(const MObject& node, TransformValues& values);
// Ignores lock flags (a file sets values before it locks them).
OPENMAYA_EXPORT MStatus setTransformValues(const MObject& node, const TransformValues& values);

// A numeric attribute of a transform or joint by name: a compound gives its
// three values, a single channel one value. rotateOrder as a number. Reads
// see curve-driven channels at the current time, as MPlug reads do; a
// unitConversion node's "cf" is readable and settable too.
OPENMAYA_EXPORT MStatus getAttributeValue(const MObject& node, const std::string& attribute,
                                          std::vector<double>& values);
OPENMAYA_EXPORT MStatus setAttributeValue(const MObject& node, const std::string& attribute,
                                          const std::vector<double>& values);

// Whether the node type has the attribute (built-in or added).
OPENMAYA_EXPORT bool hasAttribute(const MObject& node, const std::string& attribute);
// Declares an extra attribute on a node so the API can look it up
// (MFnDependencyNode::attribute); shortName may be empty.
OPENMAYA_EXPORT MStatus addAttribute(const MObject& node, const std::string& longName,
                                     const std::string& shortName = std::string());
// The long name of an attribute the node knows, else the name unchanged.
OPENMAYA_EXPORT std::string longAttributeName(const MObject& node, const std::string& attribute);

// Lock flags as set on each plug (not inherited from a locked compound:
// MPlug::isLocked adds that). Any attribute name is accepted.
OPENMAYA_EXPORT MStatus setLocked(const MObject& node, const std::string& attribute, bool locked);
OPENMAYA_EXPORT bool isLocked(const MObject& node, const std::string& attribute);
// Long names (as known) of the node's locked plugs, in the order first locked.
OPENMAYA_EXPORT std::vector<std::string> lockedAttributes(const MObject& node);

// A connection from one plug to another. Attribute names are kept as given
// (known names are matched in long or short form).
struct Connection {
    MObject sourceNode;
    std::string sourceAttribute;
    MObject destinationNode;
    std::string destinationAttribute;
};
// All connections, in the order they were made.
OPENMAYA_EXPORT std::vector<Connection> connections();
// Connections touching one node (as source or destination).
OPENMAYA_EXPORT std::vector<Connection> connections(const MObject& node);
// A destination takes one source: kInvalidParameter when it is already
// driven (unless force, which replaces the old connection) or locked. A name
// a node does not know becomes an extra attribute of that node, so the API
// can reach both ends (MFnDependencyNode::attribute, MPlug::source).
OPENMAYA_EXPORT MStatus connect(const MObject& sourceNode, const std::string& sourceAttribute,
                                const MObject& destinationNode, const std::string& destinationAttribute,
                                bool force = false);
// kNotFound when there is no such connection.
OPENMAYA_EXPORT MStatus disconnect(const MObject& sourceNode, const std::string& sourceAttribute,
                                   const MObject& destinationNode, const std::string& destinationAttribute);
// The connection driving a plug (or its compound parent); false if none.
OPENMAYA_EXPORT bool sourceOf(const MObject& node, const std::string& attribute, Connection& found);

// Animation curves.
struct CurveKey {
    double time = 0;        // seconds
    double value = 0;       // internal units
    MFnAnimCurve::TangentType inTangent = MFnAnimCurve::kTangentClamped;
    MFnAnimCurve::TangentType outTangent = MFnAnimCurve::kTangentClamped;
    // Tangent vectors of fixed sides (.kix .kiy .kox .koy): x in seconds, y in
    // internal units. Other tangent types are worked out from the neighbours.
    double inX = 0, inY = 0, outX = 0, outY = 0;
};
struct CurveData {
    MFnAnimCurve::AnimCurveType type = MFnAnimCurve::kAnimCurveTU;
    bool weighted = false;
    MFnAnimCurve::InfinityType preInfinity = MFnAnimCurve::kConstant;
    MFnAnimCurve::InfinityType postInfinity = MFnAnimCurve::kConstant;
    std::vector<CurveKey> keys;   // in time order
};
OPENMAYA_EXPORT bool isAnimCurve(const MObject& node);
// kInvalidParameter for nodes that are not curves.
OPENMAYA_EXPORT MStatus getCurve(const MObject& node, CurveData& data);
// The settings and keys [first, first + count) (fewer at the end) of a curve,
// for reading a long curve a block at a time.
OPENMAYA_EXPORT MStatus getCurveKeys(const MObject& node, std::size_t first, std::size_t count, CurveData& data);
// 0 for nodes that are not curves.
OPENMAYA_EXPORT std::size_t curveKeyCount(const MObject& node);
// A curve's keys where the host keeps them, for writing a long curve out
// without copying it: valid until the curve or the scene changes. Tangent
// types are MFnAnimCurve::TangentType values. Curves whose keys carry tangent
// vectors (fixed tangents) say so; read those with getCurveKeys.
struct CurveKeysView {
    std::size_t size = 0;
    const double* times = nullptr;    // seconds
    const double* values = nullptr;   // internal units
    const unsigned char* inTangents = nullptr;    // null: every key's is inTangent
    const unsigned char* outTangents = nullptr;   // null: every key's is outTangent
    unsigned char inTangent = 0, outTangent = 0;
    bool tangentVectors = false;
};
OPENMAYA_EXPORT MStatus viewCurveKeys(const MObject& node, CurveKeysView& view);
// Replaces keys and settings; keys are sorted by time, a later key at the
// same time replaces an earlier one. The curve type follows the node type
// and cannot change here.
OPENMAYA_EXPORT MStatus setCurve(const MObject& node, const CurveData& data);

// Keys as columns, each with the same tangent types: a long curve loads
// without a struct per key.
struct CurveColumns {
    bool weighted = false;
    MFnAnimCurve::InfinityType preInfinity = MFnAnimCurve::kConstant;
    MFnAnimCurve::InfinityType postInfinity = MFnAnimCurve::kConstant;
    std::size_t size = 0;
    const double* times = nullptr;   // seconds
    const double* values = nullptr;  // internal units
    MFnAnimCurve::TangentType inTangent = MFnAnimCurve::kTangentClamped;
    MFnAnimCurve::TangentType outTangent = MFnAnimCurve::kTangentClamped;
};
// What setCurve does with the same keys.
OPENMAYA_EXPORT MStatus setCurveColumns(const MObject& node, const CurveColumns& keys);

// Called after every key added through MFnAnimCurve, so a tool can show
// progress on long runs; null stops it. Host-only: plug-ins never see it.
using KeyAddedHook = void (*)(const MObject& curve, void* context);
OPENMAYA_EXPORT void setKeyAddedHook(KeyAddedHook hook, void* context);

// MAnimControl's state.
struct AnimControlState {
    MTime minTime{1.0, MTime::kFilm};
    MTime maxTime{24.0, MTime::kFilm};
    MTime animationStartTime{1.0, MTime::kFilm};
    MTime animationEndTime{48.0, MTime::kFilm};
    MTime currentTime{1.0, MTime::kFilm};
    MFnAnimCurve::TangentType globalInTangent = MFnAnimCurve::kTangentClamped;
    MFnAnimCurve::TangentType globalOutTangent = MFnAnimCurve::kTangentClamped;
    bool weightedTangents = false;
};
OPENMAYA_EXPORT AnimControlState animControlState();
// Sets everything as given, without the checks the API setters make.
OPENMAYA_EXPORT void setAnimControlState(const AnimControlState& state);

}  // namespace qmfhost

#endif
