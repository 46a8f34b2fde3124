// What every route shares: the order a transfer runs in, and warnings' lists.
#include "formats/Model.h"

#include <ostream>

namespace qmf::formats {

Written transfer(Reader& reader, Writer& writer, std::ostream& warn) {
    const Skeleton& skeleton = reader.skeleton();
    writer.check(skeleton);
    reader.warn(warn);
    writer.begin(skeleton, warn);
    Frame frame;
    while (reader.next(frame)) writer.frame(frame);
    return writer.finish(warn);
}

std::string nameList(const std::vector<std::string>& names, std::size_t limit) {
    std::string s;
    for (std::size_t i = 0; i < names.size() && i < limit; ++i) s += (i ? ", " : "") + names[i];
    if (names.size() > limit) s += " and " + std::to_string(names.size() - limit) + " more";
    return s;
}

}  // namespace qmf::formats
