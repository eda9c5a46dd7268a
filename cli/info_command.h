// `nblinout info DB`: what a diary store holds, read without changing it.
#pragma once

#include <chrono>
#include <string>

namespace nbl::cli {

// Prints the facts of the store at `dbPath` on stdout, one per line: entries,
// first and last day, public and private counts, then the rows per genre and
// per import mark. Returns 0 when printed; 2 when no store file is at the path,
// and 1 when the store fails while being read, each with one line on stderr.
int RunInfo(const std::string& dbPath, std::chrono::milliseconds lockWait);

}  // namespace nbl::cli
