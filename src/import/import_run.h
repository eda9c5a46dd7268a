// The import run: reads one diary XML file and appends one numbered row per day
// to the diary store, showing its progress in this thread's progress window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/records.h"
#include "common/run_outcome.h"
#include "dialogs/windows.h"

namespace nbl::importing {

// What a host that prints text can tell after an import.
struct ImportReport : RunOutcome {
  std::int64_t stored = 0;        // rows the run added to the store (0 when it rolled back)
  std::int64_t skippedLines = 0;  // lines outside bodies that held something but no structure
  std::size_t failureLine = 0;    // after a failure at a line of the file: its 1-based number, else 0
};

// Runs one import to its end in `windows`, as one transaction: either every
// entry of the file is stored or, after any failure, none. Waits up to
// store::LockWait() for a store another program is writing to. Never throws: a
// failure is shown to the user as the step text in force, in a critical
// message box, and told in the report.
ImportReport ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ImportSettingNubelo& set, dialogs::Ui& windows);

}  // namespace nbl::importing
