// What BVH reading and writing share: units, rotation orders and joint names.
#include "formats/bvh/BvhFormat.h"

#include "formats/Bvh.h"
#include "formats/Error.h"
#include "formats/Units.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace qmf {

double bvhUnitToCm(const std::string& name) { return formats::lengthUnit(name).cm; }

std::string bvhRotationOrder(const std::string& text) {
    std::string s = text;
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::string sorted = s;
    std::sort(sorted.begin(), sorted.end());
    if (sorted != "xyz") throw FormatError("--order must be an order of the axes x, y, z (such as zxy), not '" + text + "'");
    return s;
}

namespace formats {

namespace bvhnames {

namespace {

// At most `bytes` bytes of s, cut before a UTF-8 continuation byte never.
std::string cutAt(const std::string& s, std::size_t bytes) {
    if (s.size() <= bytes) return s;
    std::size_t n = bytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

}  // namespace

std::vector<std::string> jointNames(const bvh::Hierarchy& h) {
    std::vector<std::string> names(h.joints.size());
    std::unordered_set<std::string> taken;
    for (const bvh::Joint& j : h.joints)
        if (!j.endSite) taken.insert(j.name);
    // The next number to try after each base, so naming stays linear when
    // one joint has thousands of End Sites.
    std::unordered_map<std::string, unsigned> next;
    for (std::size_t i = 0; i < h.joints.size(); ++i) {
        const bvh::Joint& j = h.joints[i];
        if (!j.endSite) {
            names[i] = j.name;
            continue;
        }
        // A name the file gives an End Site is kept when free.
        if (!j.name.empty() && taken.insert(j.name).second) {
            names[i] = j.name;
            continue;
        }
        // The reader refuses an End Site without a parent.
        const std::string base = cutAt(names[static_cast<std::size_t>(j.parent)], bvh::kMaxNameBytes - 4) + "_end";
        std::string name = base;
        for (unsigned& n = next[base]; taken.count(name);) {
            const std::string tail = std::to_string(++n);
            name = cutAt(base, bvh::kMaxNameBytes - tail.size()) + tail;
        }
        taken.insert(name);
        names[i] = name;
    }
    return names;
}

int mayaOrderIndex(const std::string& order) {
    static const char* const orders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
    for (int i = 0; i < 6; ++i)
        if (order == orders[i]) return i;
    return 0;
}

}  // namespace bvhnames

}  // namespace formats

}  // namespace qmf
