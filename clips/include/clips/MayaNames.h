// Node names Maya accepts: letters, digits and '_', ':' between namespace
// parts, no part starting with a digit. Names from clips and captures may
// hold anything else ("pelvis.R", "Left Arm").
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qmf {

struct NameChange {
    std::string from, to;
};

bool isMayaName(const std::string& name);

// Each name made valid: every other character becomes '_' (one per UTF-8
// character), a part starting with a digit gets '_' before it. A changed name
// that is taken (by a name kept as it was or an earlier change) gets "_1",
// "_2"... Names already valid are kept. With maxBytes > 0 no result is longer
// (the library's 127-byte joint names). Every change is listed in changes.
std::vector<std::string> mayaNames(const std::vector<std::string>& names, std::vector<NameChange>* changes,
                                   std::size_t maxBytes = 0);

// The one warning line for a list of renames ("" for none), without "qmf: ".
std::string renameWarning(const std::vector<NameChange>& changes);

}  // namespace qmf
