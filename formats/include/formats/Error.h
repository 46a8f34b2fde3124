// The format room's one error: a conversion or a reading refused, carrying
// the single line the user reads ("walk.bvh: line 12: ..."). The command
// prints it after "qmf: "; nothing is written when one is thrown.
#pragma once

#include <stdexcept>

namespace qmf {

struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace qmf
