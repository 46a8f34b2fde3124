// The clip room's one error: a refusal of a clip, a JSON form of one or a
// joint map, carrying the single line the user reads (the command prints it
// after "qmf: ", the Python module raises it as qmf.Error).
#pragma once

#include <stdexcept>

namespace qmf {

struct ClipError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace qmf
