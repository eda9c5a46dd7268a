// `nblinout import --dry-run`: what the import would have stored.
#pragma once

#include "import/import_run.h"

namespace nbl::cli {

// Prints on stdout, one fact per line, what a completed run reports: the
// entries, the entries skipped as already stored (when `skipExisting`), the
// first and last day, the numbers each day's entries get, and the first titles.
void PrintImportPreview(const importing::ImportReport& report, bool skipExisting);

}  // namespace nbl::cli
