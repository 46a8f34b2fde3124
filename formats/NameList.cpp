// A list of names for a message line, capped so a long list stays one line.
#include "formats/Model.h"

namespace qmf::formats {

std::string nameList(const std::vector<std::string>& names, std::size_t limit) {
    std::string s;
    for (std::size_t i = 0; i < names.size() && i < limit; ++i) s += (i ? ", " : "") + names[i];
    if (names.size() > limit) s += " and " + std::to_string(names.size() - limit) + " more";
    return s;
}

}  // namespace qmf::formats
