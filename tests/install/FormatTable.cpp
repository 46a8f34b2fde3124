// Prints the table of formats and units as the completion's test reads it:
// one line per list, its name first.
#include "formats/Formats.h"
#include "formats/Units.h"

#include <cstdio>
#include <string>

int main() {
    using namespace qmf::formats;
    std::string from, to, view, keys;
    for (const FormatRow& r : formatTable()) {
        if (r.convertFrom) from += std::string(" ") + r.extensions;
        if (r.convertTo) to += std::string(" ") + r.extensions, keys += std::string(" ") + r.key;
        if (r.view) view += std::string(" ") + r.extensions;
    }
    std::string units;
    std::size_t count = 0;
    const LengthUnit* u = lengthUnits(count);
    for (std::size_t i = 0; i < count; ++i) units += std::string(" ") + u[i].name;
    std::printf("convert-from%s\nconvert-to%s\nto-keys%s\nview%s\nunits%s\n", from.c_str(), to.c_str(), keys.c_str(),
                view.c_str(), units.c_str());
    return 0;
}
