// What a job leaves on the way (a temporary file beside an output, a private
// folder of intermediate files) is removed when it ends normally by its
// owner; this removes it too when SIGINT, SIGTERM or SIGHUP ends the process.
// A SIGKILL leaves it: nothing runs then.
#pragma once

#include <string>

namespace fileio {

// Installs the handlers, for the signals whose disposition is the default
// (one that is ignored or handled stays so). Each removes what is listed and
// ends the process by the same signal, as the default would.
void removeLeftoversOnSignals();

// Lists a file, or a folder to be emptied and removed, until dropLeftover.
// The slot, or -1 when the list is full or the path too long (it is then
// only removed by its owner).
int keepLeftover(const std::string& path, bool folder);
void dropLeftover(int slot);

// Whether path lies in a folder listed (a job's private folder).
bool insideLeftoverFolder(const std::string& path);

}  // namespace fileio
