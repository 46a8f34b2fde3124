// Text for a person's terminal: whatever a file or an argument holds, what
// the tool prints cannot move the cursor, change colours or split a line.
#pragma once

#include <string>
#include <string_view>

namespace qmf {

// Valid UTF-8 is kept as it is, except control characters: C0 controls and
// DEL become \n, \t, \r or \xNN, C1 controls (U+0080..U+009F) become \u0080
// style; every byte of invalid UTF-8 becomes \xNN.
std::string printable(std::string_view text);

}  // namespace qmf
