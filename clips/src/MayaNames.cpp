#include "clips/MayaNames.h"

#include "clips/Printable.h"

#include <unordered_set>

namespace qmf {

namespace {

bool wordChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool digit(unsigned char c) { return c >= '0' && c <= '9'; }

std::string sanitise(const std::string& name) {
    std::string out;
    out.reserve(name.size() + 2);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            // One '_' for the whole UTF-8 character: skip its continuation bytes.
            while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) ++i;
            out += '_';
        } else if (c == ':') {
            // A namespace separator only between two non-empty parts.
            const bool between = !out.empty() && out.back() != ':' && i + 1 < name.size() && name[i + 1] != ':';
            out += between ? ':' : '_';
        } else {
            out += wordChar(c) ? static_cast<char>(c) : '_';
        }
    }
    if (out.empty()) out = "_";
    std::string fixed;
    fixed.reserve(out.size() + 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (digit(static_cast<unsigned char>(out[i])) && (i == 0 || out[i - 1] == ':')) fixed += '_';
        fixed += out[i];
    }
    return fixed;
}

// Cuts to at most n bytes without splitting a namespace separator off its part.
std::string cut(const std::string& s, std::size_t n) {
    if (n == 0 || s.size() <= n) return s;
    std::string r = s.substr(0, n);
    while (!r.empty() && r.back() == ':') r.pop_back();
    return r.empty() ? std::string("_") : r;
}

}  // namespace

bool isMayaName(const std::string& name) { return !name.empty() && sanitise(name) == name; }

std::vector<std::string> mayaNames(const std::vector<std::string>& names, std::vector<NameChange>* changes,
                                   std::size_t maxBytes) {
    std::vector<std::string> out(names.size());
    std::unordered_set<std::string> taken;
    std::vector<bool> kept(names.size(), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (isMayaName(names[i]) && (maxBytes == 0 || names[i].size() <= maxBytes)) {
            kept[i] = taken.insert(names[i]).second;
            if (kept[i]) out[i] = names[i];
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (kept[i]) continue;
        const std::string base = cut(sanitise(names[i]), maxBytes);
        std::string name = base;
        for (unsigned long n = 1; taken.count(name); ++n) {
            const std::string suffix = "_" + std::to_string(n);
            name = cut(base, maxBytes ? (maxBytes > suffix.size() ? maxBytes - suffix.size() : 1) : 0) + suffix;
        }
        taken.insert(name);
        out[i] = name;
        if (changes && name != names[i]) changes->push_back({names[i], name});
    }
    return out;
}

std::string renameWarning(const std::vector<NameChange>& changes) {
    if (changes.empty()) return std::string();
    std::string line = "warning: " + std::to_string(changes.size()) + " name" + (changes.size() == 1 ? "" : "s") +
                       " changed to valid Maya names:";
    // A line, not a page: a capture of hundreds of joints names the first few.
    constexpr std::size_t kShown = 8;
    const std::size_t shown = changes.size() > kShown + 1 ? kShown : changes.size();
    for (std::size_t i = 0; i < shown; ++i)
        line += std::string(i ? ", " : " ") + printable(changes[i].from) + " -> " + changes[i].to;
    if (shown < changes.size()) line += " and " + std::to_string(changes.size() - shown) + " more";
    return line;
}

}  // namespace qmf
