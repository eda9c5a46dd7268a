// The import run: reads one diary XML file and appends one numbered row per day
// to the diary store, showing its progress in this thread's progress window.
#pragma once

#include <string>

#include <cstdint>

#include "common/records.h"
#include "common/run_outcome.h"
#include "dialogs/windows.h"

namespace nbl::importing {

// What a host that prints text can tell after an import.
struct ImportReport : RunOutcome {
  std::int64_t stored = 0;  // rows added to the store
};

// Runs one import to its end in `windows`. Never throws: a failure is shown to
// the user as the step text in force, in a critical message box, and told in
// the report.
ImportReport ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ImportSettingNubelo& set, dialogs::Ui& windows);

}  // namespace nbl::importing
