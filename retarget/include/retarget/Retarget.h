// Motion onto a skeleton of other proportions and rest pose: which joint is
// which (names, namespaces, known humanoid naming schemes, a map), and the
// rule that carries each matched joint's rotation from its rest, in world
// space, onto the target's rest. docs/retarget.md states both.
#pragma once

#include "formats/Model.h"
#include "formats/Options.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace qmf::retarget {

// One retarget job: everything `qmf retarget` can be told.
struct RetargetOptions {
    formats::ConvertOptions read;         // the source's --plugin, --unit, --frames, --step; --time poses both rests
    std::string mapFile;                  // --map FILE: "sourceName targetName" lines, over the matches found
    bool stripNamespaces = false;         // --strip-namespaces: names compared without namespaces
    std::optional<double> scale;          // --scale K; none: the ratio of the hip heights at rest
    std::optional<uint32_t> sourceRest;   // --source-rest F: the source's frame F is its rest
    char up = 'y';                        // --up y|z: the source's up axis (the rig's is Y)
};

// How a pair was matched, in the order the matches are tried.
enum class How { Name, WithoutNamespace, BodyPart, Map };
const char* howName(How how);  // "name", "without namespace", "body part", "map"

struct Pair {
    std::size_t source, target;   // joint indices
    How how;
    std::string part;             // the body part, for How::BodyPart
};

struct MatchTable {
    std::vector<Pair> pairs;      // in target joint order
    std::vector<std::size_t> unmatchedSource, unmatchedTarget;
};

// Exact names first, then names without namespaces, then body parts of the
// humanoid table; each joint on each side in one pair at most. The map's
// entries then replace whatever pairs their joints were in. Refuses
// (FormatError) a map naming a joint either side lacks.
MatchTable matchJoints(const std::vector<std::string>& source, const std::vector<std::string>& target,
                       const std::string& mapFile);

// The body part a joint name stands for in the humanoid table, or "".
std::string bodyPart(const std::string& name);

// The retargeted motion as a reader of the target's skeleton: frames keyed on
// every joint (file quaternions), the first joint's position the source's
// first joint's, times the scale. Refuses (FormatError) a source frame
// whose rotation is not one (zero or not a number).
struct Rule {
    double scale = 1;             // what the root position was multiplied by
    std::string scaleNote;        // how it was chosen, for the line printed
    std::vector<std::string> zeroBones;   // bones whose direction is undefined (their swing left out)
};
std::unique_ptr<formats::Reader> retargeted(std::unique_ptr<formats::Reader> source, const formats::Skeleton& target,
                                            const MatchTable& table, const RetargetOptions& options,
                                            const std::vector<formats::Frame>* sourceRest, Rule& rule);

// `qmf retarget`: SOURCE (any motion qmf reads) onto the rig at rigPath,
// written to out (a clip, a BVH file, or for .ma the rig with the clip
// imported onto it). With dryRun the match table is printed to report and
// nothing is written.
struct Retargeted {
    formats::Written written;
    MatchTable table;
    Rule rule;
    std::vector<std::string> sourceNames, targetNames;
};
Retargeted retarget(const std::string& source, const std::string& rigPath, const std::string& out,
                    const RetargetOptions& options, bool dryRun, std::ostream& warn);

// The match table as `--dry-run` prints it.
void printMatches(const Retargeted& r, const std::string& source, const std::string& rig, std::ostream& out);

}  // namespace qmf::retarget
