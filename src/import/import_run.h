// The import run: reads one diary XML file and appends one numbered row per day
// to the diary store, showing its progress in this thread's progress window.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/run_outcome.h"
#include "dialogs/windows.h"
#include "import/day_numbering.h"
#include "store/connection.h"

namespace nbl::importing {

// How a host wants an import run beyond what the plug-in's settings say; the
// defaults are the plug-in's own import.
struct ImportOptions {
  // Runs to the commit, then rolls back: the store is left as it was.
  bool dryRun = false;
  // An entry whose day, title (as it would be stored) and body a row of the
  // store already holds, a row this run added included, is not stored and
  // takes no day number.
  bool skipExisting = false;
};

// What a host that prints text can tell after an import.
struct ImportReport : RunOutcome {
  // After a completed run: the rows added (committed, or rolled back in a dry
  // run), the entries skipped as already stored, in a dry run the days that got
  // numbers in ascending order, and the titles (as stored) of the first
  // kPreviewTitles rows.
  // All are empty or 0 after a failure.
  static constexpr std::size_t kPreviewTitles = 5;
  std::int64_t stored = 0;
  std::int64_t skippedEntries = 0;
  std::vector<DayNumbers> days;
  std::vector<std::u16string> firstTitles;
  std::int64_t skippedLines = 0;  // lines outside bodies that held something but no structure
  std::size_t failureLine = 0;    // after a failure at a line of the file: its 1-based number, else 0
  std::size_t failureColumn = 0;  // and its 1-based column, where the reading knows it, else 0
};

// The mark every row of one run carries: "YYYY/MM/DD H:MM:SS byNBLinout.dll",
// with the time even at midnight.
std::u16string MakeImportMark(double now);

// Runs one import to its end in `windows`, as one transaction: either every
// entry of the file is stored or, after any failure, none. Waits up to
// `lockWait` for a store another program is writing to. Never throws: a
// failure is shown to the user as the step text in force, in a critical
// message box, and told in the report. The windows see the same calls with any
// options.
ImportReport ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ImportSettingNubelo& set, dialogs::Ui& windows, const ImportOptions& options = {},
                         std::chrono::milliseconds lockWait = store::kDefaultLockWait);

}  // namespace nbl::importing
