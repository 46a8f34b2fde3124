// The page of `qmf view`: the viewer's own source with a motion's data.
#pragma once

#include "motion/Motion.h"

#include <string>

namespace qmf {

// The whole self-contained HTML page; with a second motion, both on one
// timeline (by time) and one camera, overlaid or side by side.
std::string viewPage(const motion::Motion& m, const motion::Motion* second = nullptr);

// The motion as the JSON the page reads, made safe to sit inside a script
// element: no '<', '>' or '&' (they appear escaped as \u003c ...), no line
// separators a script would stop at, invalid UTF-8 replaced.
std::string viewData(const motion::Motion& m);

}  // namespace qmf
