// Which source joint is which target joint: names, names without
// namespaces, the body parts of the humanoid table, then a map file.
#include "retarget/Retarget.h"

#include "clips/Error.h"
#include "clips/JointNames.h"
#include "formats/Error.h"
#include "HumanoidParts.h"

#include <cctype>
#include <unordered_map>

namespace qmf::retarget {

namespace {

// A name as the humanoid table compares it: no namespace, no HumanIK
// character or Mixamo prefix, lower case, no separators.
std::string normalised(const std::string& name) {
    std::string n = withoutNamespace(name);
    std::string lower;
    for (char c : n) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("character", 0) == 0) {
        std::size_t i = 9;
        while (i < lower.size() && std::isdigit(static_cast<unsigned char>(lower[i]))) ++i;
        if (i < lower.size() && lower[i] == '_') lower = lower.substr(i + 1);
    }
    if (lower.rfind("mixamorig", 0) == 0) lower = lower.substr(9);
    std::string out;
    for (char c : lower)
        if (c != '_' && c != '.' && c != '-' && c != ' ') out += c;
    return out;
}

// The table read once: normalised name -> part.
const std::unordered_map<std::string, std::string>& parts() {
    static const std::unordered_map<std::string, std::string> table = [] {
        std::unordered_map<std::string, std::string> t;
        const std::string text(reinterpret_cast<const char*>(kHumanoidParts), kHumanoidPartsSize);
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            if (line.empty() || line[0] == '#') continue;
            std::vector<std::string> cells;
            for (std::size_t from = 0;;) {
                const std::size_t tab = line.find('\t', from);
                cells.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
                if (tab == std::string::npos) break;
                from = tab + 1;
            }
            for (std::size_t i = 1; i < cells.size(); ++i) t.emplace(normalised(cells[i]), cells[0]);
        }
        return t;
    }();
    return table;
}

}  // namespace

const char* howName(How how) {
    switch (how) {
    case How::Name: return "name";
    case How::WithoutNamespace: return "without namespace";
    case How::BodyPart: return "body part";
    case How::Map: return "map";
    }
    return "name";
}

std::string bodyPart(const std::string& name) {
    const auto& t = parts();
    const auto it = t.find(normalised(name));
    return it == t.end() ? std::string() : it->second;
}

MatchTable matchJoints(const std::vector<std::string>& source, const std::vector<std::string>& target,
                       const std::string& mapFile) {
    std::vector<int> sourceOf(target.size(), -1), targetOf(source.size(), -1);
    std::vector<Pair> found(target.size());
    auto pair = [&](std::size_t s, std::size_t t, How how, const std::string& part) {
        sourceOf[t] = static_cast<int>(s);
        targetOf[s] = static_cast<int>(t);
        found[t] = {s, t, how, part};
    };
    // Each key kept for the first source joint that has it; a key two source
    // joints share is left to the first.
    auto pass = [&](How how, auto key) {
        std::unordered_map<std::string, std::size_t> bySource;
        for (std::size_t s = 0; s < source.size(); ++s)
            if (targetOf[s] < 0) {
                const std::string k = key(source[s]);
                if (!k.empty()) bySource.emplace(k, s);
            }
        for (std::size_t t = 0; t < target.size(); ++t) {
            if (sourceOf[t] >= 0) continue;
            const std::string k = key(target[t]);
            const auto it = k.empty() ? bySource.end() : bySource.find(k);
            if (it == bySource.end() || targetOf[it->second] >= 0) continue;
            pair(it->second, t, how, how == How::BodyPart ? k : std::string());
        }
    };
    pass(How::Name, [](const std::string& n) { return n; });
    pass(How::WithoutNamespace, [](const std::string& n) { return withoutNamespace(n); });
    pass(How::BodyPart, [](const std::string& n) { return bodyPart(n); });

    if (!mapFile.empty()) {
        std::vector<MapEntry> entries;
        try {
            entries = readJointMap(mapFile);
        } catch (const ClipError& e) {
            throw FormatError(e.what());
        }
        auto index = [](const std::vector<std::string>& names, const std::string& name) {
            for (std::size_t i = 0; i < names.size(); ++i)
                if (names[i] == name) return static_cast<int>(i);
            return -1;
        };
        for (const MapEntry& e : entries) {
            const int s = index(source, e.clipName), t = index(target, e.sceneName);
            if (s < 0 || t < 0)
                throw FormatError(mapFile + ":" + std::to_string(e.line) + ": " +
                                  (s < 0 ? "the source has no joint " + e.clipName : "the rig has no joint " + e.sceneName));
            if (targetOf[static_cast<std::size_t>(s)] >= 0) sourceOf[static_cast<std::size_t>(targetOf[static_cast<std::size_t>(s)])] = -1;
            if (sourceOf[static_cast<std::size_t>(t)] >= 0) targetOf[static_cast<std::size_t>(sourceOf[static_cast<std::size_t>(t)])] = -1;
            pair(static_cast<std::size_t>(s), static_cast<std::size_t>(t), How::Map, std::string());
        }
    }

    MatchTable table;
    for (std::size_t t = 0; t < target.size(); ++t) {
        if (sourceOf[t] >= 0) table.pairs.push_back(found[t]);
        else table.unmatchedTarget.push_back(t);
    }
    for (std::size_t s = 0; s < source.size(); ++s)
        if (targetOf[s] < 0) table.unmatchedSource.push_back(s);
    return table;
}

}  // namespace qmf::retarget
