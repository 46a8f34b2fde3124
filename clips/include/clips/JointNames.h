// Matching a clip's joints to a scene's when the names differ: a map file,
// namespaces ignored, Maya-valid names, and a hint naming what is missing.
#pragma once

#include "clips/MayaNames.h"

#include <string>
#include <vector>

namespace qmf {

// One "clipName sceneName" line of a map file.
struct MapEntry {
    std::string clipName, sceneName;
    std::size_t line = 0;
};

// The name after its last ':' (mixamorig:Hips -> Hips).
std::string withoutNamespace(const std::string& name);

// Reads a map file: one pair per line, separated by blanks, '#' starts a
// comment; a name holding blanks or '#' is written in double quotes (with \"
// and \\ inside). Refuses (ClipError, one line with FILE:LINE) anything
// else, and a clip name given twice.
std::vector<MapEntry> readJointMap(const std::string& path);

struct RenameOptions {
    std::string mapFile;           // --map, "" for none
    bool stripNamespaces = false;  // --strip-namespaces
    bool mayaNames = false;        // valid Maya names for the joints not mapped
};

// The clip's joint names (figure 0's skeleton, in joint order) as the
// translator should see them. Joints the map names take the name it gives.
// Against a scene (sceneJoints given), the others are made valid Maya names
// when asked, then, with namespaces stripped, take the name of the one scene
// joint that has the same name without its namespace. For a scene still to
// be made from the clip (sceneJoints null), the others lose their namespaces
// when asked and every final name is made a valid Maya name when asked.
// Refuses (ClipError) a map naming a joint the clip or the scene lacks, a
// namespace-free name several scene joints share, and two joints left with
// one name. Maya renames are added to mayaChanges.
std::vector<std::string> renameClipJoints(const std::vector<std::string>& clipNames,
                                          const std::vector<std::string>* sceneJoints, const RenameOptions& options,
                                          std::vector<NameChange>* mayaChanges);

// The same with the map already in hand (options.mapFile is not read):
// entries from a map file, or a mapping given in code. Messages about an
// entry start with "source:line: ", or "source: " for an entry of line 0.
std::vector<std::string> renameClipJoints(const std::vector<std::string>& clipNames,
                                          const std::vector<MapEntry>& entries, const std::string& source,
                                          const std::vector<std::string>* sceneJoints, const RenameOptions& options,
                                          std::vector<NameChange>* mayaChanges);

// Edit distance between a and b, or limit + 1 when it is larger than limit;
// costs O(limit * length).
std::size_t boundedEditDistance(const std::string& a, const std::string& b, std::size_t limit);

// One line listing the scene joints the import needs that the clip does not
// name, those nearest to a clip joint no scene joint takes first (with that
// name); "" when none is missing.
std::string missingJointHint(const std::vector<std::string>& needed, const std::vector<std::string>& clipNames,
                             const std::vector<std::string>& sceneJoints);

}  // namespace qmf
