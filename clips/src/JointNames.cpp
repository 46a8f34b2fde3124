#include "clips/JointNames.h"

#include "clips/Clip.h"
#include "clips/Printable.h"
#include "fileio/SafeFile.h"

#include <kell_authoring.h>

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace qmf {

std::string withoutNamespace(const std::string& name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

namespace {

// Far beyond any hand-written map; keeps a wrong file from filling memory.
constexpr std::uint64_t kMaxMapBytes = 16u << 20;

// Splits one map line into its names; the message says what is wrong, "" if nothing.
std::string splitMapLine(const std::string& line, std::vector<std::string>& names) {
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') break;
        std::string name;
        if (c == '"') {
            bool closed = false;
            for (++i; i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    name += line[++i];
                } else if (line[i] == '"') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    name += line[i];
                }
            }
            if (!closed) return "a quoted name has no closing quote";
            if (name.empty()) return "a name is empty";
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#') name += line[i++];
        }
        names.push_back(std::move(name));
    }
    if (!names.empty() && names.size() != 2)
        return "expected two names, clipName sceneName (found " + std::to_string(names.size()) + ")";
    return std::string();
}

// Joints of the scene by name and by name without namespace.
struct SceneIndex {
    std::unordered_set<std::string> names;
    std::unordered_map<std::string, std::vector<std::string>> bare;
    explicit SceneIndex(const std::vector<std::string>& joints) {
        for (const auto& j : joints) {
            if (!names.insert(j).second) continue;
            bare[withoutNamespace(j)].push_back(j);
        }
    }
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::vector<MapEntry> readJointMap(const std::string& path) {
    std::string text;
    try {
        fileio::InputFile in(path);
        text = in.readAll(kMaxMapBytes);
    } catch (const fileio::Error& e) {
        throw ClipError(e.what());
    }
    std::vector<MapEntry> entries;
    std::unordered_map<std::string, std::size_t> firstLine;
    std::size_t lineNo = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++lineNo;
        std::vector<std::string> names;
        const std::string why = splitMapLine(text.substr(start, end - start), names);
        const std::string where = path + ":" + std::to_string(lineNo) + ": ";
        if (!why.empty()) throw ClipError(where + why);
        if (names.size() == 2) {
            auto [it, added] = firstLine.emplace(names[0], lineNo);
            if (!added)
                throw ClipError(where + names[0] + " is mapped twice (first on line " + std::to_string(it->second) + ")");
            entries.push_back({names[0], names[1], lineNo});
        }
        start = end + 1;
    }
    return entries;
}

std::vector<std::string> renameClipJoints(const std::vector<std::string>& clipNames,
                                          const std::vector<std::string>* sceneJoints, const RenameOptions& options,
                                          std::vector<NameChange>* mayaChanges) {
    const std::vector<MapEntry> entries = options.mapFile.empty() ? std::vector<MapEntry>() : readJointMap(options.mapFile);
    return renameClipJoints(clipNames, entries, options.mapFile, sceneJoints, options, mayaChanges);
}

std::vector<std::string> renameClipJoints(const std::vector<std::string>& clipNames,
                                          const std::vector<MapEntry>& entries, const std::string& source,
                                          const std::vector<std::string>* sceneJoints, const RenameOptions& options,
                                          std::vector<NameChange>* mayaChanges) {
    std::vector<std::string> names = clipNames;
    std::vector<bool> mapped(names.size(), false);
    const SceneIndex scene(sceneJoints ? *sceneJoints : std::vector<std::string>());
    if (!entries.empty()) {
        std::unordered_map<std::string, std::size_t> clipIndex;
        for (std::size_t i = 0; i < clipNames.size(); ++i) clipIndex.emplace(clipNames[i], i);
        for (const MapEntry& e : entries) {
            const std::string where = source + (e.line ? ":" + std::to_string(e.line) : std::string()) + ": ";
            auto it = clipIndex.find(e.clipName);
            if (it == clipIndex.end()) throw ClipError(where + "the clip has no joint named " + e.clipName);
            if (sceneJoints && !scene.names.count(e.sceneName))
                throw ClipError(where + "the scene has no joint named " + e.sceneName);
            names[it->second] = e.sceneName;
            mapped[it->second] = true;
        }
    }
    std::vector<std::size_t> rest;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!mapped[i]) rest.push_back(i);
    // Against a scene, the clip's own names are made valid before they are
    // matched; for a scene still to be made every final name must be valid.
    if (options.mayaNames && sceneJoints) {
        std::vector<std::string> unmappedNames;
        for (std::size_t i : rest) unmappedNames.push_back(names[i]);
        std::vector<std::string> valid = mayaNames(unmappedNames, mayaChanges, KELL_MAX_JOINT_NAME);
        for (std::size_t k = 0; k < rest.size(); ++k) names[rest[k]] = valid[k];
    }
    if (options.stripNamespaces) {
        for (std::size_t i : rest) {
            const std::string bare = withoutNamespace(names[i]);
            if (!sceneJoints) {
                names[i] = bare;
                continue;
            }
            auto it = scene.bare.find(bare);
            if (it == scene.bare.end()) continue;  // no scene joint: left for the hint to name
            if (it->second.size() > 1)
                throw ClipError("--strip-namespaces: clip joint " + clipNames[i] + " could be any of the scene joints " +
                                it->second[0] + ", " + it->second[1] +
                                   (it->second.size() > 2 ? " and more" : "") + "; name it in a --map file");
            names[i] = it->second.front();
        }
    }
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto [it, added] = seen.emplace(names[i], i);
        if (!added)
            throw ClipError("clip joints " + clipNames[it->second] + " and " + clipNames[i] + " would both be named " +
                            names[i] + "; the translator needs one joint per name");
    }
    if (options.mayaNames && !sceneJoints) names = mayaNames(names, mayaChanges, KELL_MAX_JOINT_NAME);
    return names;
}

std::size_t boundedEditDistance(const std::string& a, const std::string& b, std::size_t limit) {
    const std::size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > limit) return limit + 1;
    const std::size_t big = limit + 1;
    // Only cells within `limit` of the diagonal can stay within the limit.
    std::vector<std::size_t> prev(m + 1, big), cur(m + 1, big);
    for (std::size_t j = 0; j <= std::min(m, limit); ++j) prev[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t lo = i > limit ? i - limit : 0, hi = std::min(m, i + limit);
        std::fill(cur.begin(), cur.end(), big);
        if (lo == 0) cur[0] = i;
        std::size_t best = cur[0];
        for (std::size_t j = std::max<std::size_t>(lo, 1); j <= hi; ++j) {
            std::size_t v = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            v = std::min(v, prev[j] + 1);
            v = std::min(v, cur[j - 1] + 1);
            cur[j] = std::min(v, big);
            best = std::min(best, cur[j]);
        }
        if (best > limit) return big;
        std::swap(prev, cur);
    }
    return std::min(prev[m], big);
}

std::string missingJointHint(const std::vector<std::string>& needed, const std::vector<std::string>& clipNames,
                             const std::vector<std::string>& sceneJoints) {
    const std::unordered_set<std::string> inClip(clipNames.begin(), clipNames.end());
    const std::unordered_set<std::string> inScene(sceneJoints.begin(), sceneJoints.end());
    std::vector<std::string> missing;
    std::unordered_set<std::string> listed;
    for (const auto& n : needed)
        if (!inClip.count(n) && listed.insert(n).second) missing.push_back(n);
    if (missing.empty()) return std::string();
    // Candidates: clip joints no scene joint takes. The comparison ignores
    // case and namespaces, as a person reading the names would.
    std::vector<std::string> spare, spareKey;
    for (const auto& c : clipNames)
        if (!inScene.count(c)) {
            spare.push_back(c);
            spareKey.push_back(lower(withoutNamespace(c)));
        }
    // Bounds keep the hint cheap on huge skeletons: beyond them joints are
    // listed in scene order without a suggestion.
    constexpr std::size_t kLimit = 12, kMaxMissing = 64, kMaxSpare = 2048, kShown = 12;
    struct Item {
        std::size_t distance = kLimit + 1;
        std::size_t order = 0;
        std::string closest;
    };
    std::vector<Item> items(missing.size());
    for (std::size_t k = 0; k < missing.size(); ++k) {
        items[k].order = k;
        if (k >= kMaxMissing) continue;
        const std::string key = lower(withoutNamespace(missing[k]));
        for (std::size_t s = 0; s < spare.size() && s < kMaxSpare; ++s) {
            const std::size_t d = boundedEditDistance(key, spareKey[s], std::min(kLimit, items[k].distance));
            if (d < items[k].distance) {
                items[k].distance = d;
                items[k].closest = spare[s];
            }
        }
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.distance < b.distance; });
    std::string line = "the clip names none of these scene joints, which the import needs (closest first): ";
    for (std::size_t k = 0; k < items.size() && k < kShown; ++k) {
        line += (k ? ", " : "") + printable(missing[items[k].order]);
        if (!items[k].closest.empty()) line += " (clip has " + printable(items[k].closest) + ")";
    }
    if (items.size() > kShown) line += " and " + std::to_string(items.size() - kShown) + " more";
    return line + "; see --map and --strip-namespaces";
}

}  // namespace qmf
