// Store and file texts as the terminal may be given them.
#pragma once

#include <string>

namespace nbl::cli {

// `utf8` with every control character (C0 but tab, DEL, C1) as '?', so that a
// text cannot move the cursor or change the terminal.
std::string Printable(const std::string& utf8);

}  // namespace nbl::cli
