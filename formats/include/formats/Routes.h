// The routes of `qmf convert`: for each pair of formats, the reader and the
// writer that carry motion from one to the other, and the options it takes.
#pragma once

#include "fileio/SafeFile.h"
#include "formats/Formats.h"
#include "formats/Model.h"
#include "formats/Options.h"

#include <memory>
#include <ostream>
#include <string>

namespace qmf::formats {

struct Route {
    Format from, to;
    bool available;       // false: a conversion still to come
    unsigned options;     // OptionBits it takes
};

// The route between two formats; FormatError with the command's line when
// qmf has none ("Maya ASCII to Movantis clip is what 'qmf export' does").
const Route& routeFor(Format from, Format to);
// FormatError "--unit does not apply to ..." for an option the route does not take.
void checkOptions(const Route& route, unsigned given);

// For jobs that put something between a reader and a writer (retargeting):
// a capture's or clip's frames as --frames and --step choose them (a scene:
// loaded in the host and baked as convert bakes it), and a writer of a clip
// or a capture to target (already checked).
std::unique_ptr<Reader> frameReader(Format from, const std::string& in, const ConvertOptions& options);
std::unique_ptr<Writer> frameWriter(Format to, const fileio::Output& target, const ConvertOptions& options);

// Converts in to out (formats by extension): the route's reader through its
// writer. Refusals are FormatError, ClipError or fileio::Error, one line;
// nothing is written then. Warnings go to warn, one line each.
Written convert(const std::string& in, const std::string& out, const ConvertOptions& options, std::ostream& warn);
// The same between formats already known (an input told by its content).
Written convert(Format from, Format to, const std::string& in, const std::string& out, const ConvertOptions& options,
                std::ostream& warn);

}  // namespace qmf::formats
