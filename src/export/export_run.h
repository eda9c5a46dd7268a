// The export run: selects entries of the diary store and writes them as one
// diary XML document, showing its progress in this thread's progress window.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "common/records.h"
#include "common/run_outcome.h"
#include "dialogs/windows.h"
#include "store/connection.h"

namespace nbl::exporting {

// What a host that prints text can tell after an export.
struct ExportReport : RunOutcome {
  std::int64_t entries = 0;             // entries written into the document
  std::int64_t replacedCharacters = 0;  // units XML cannot carry, written as U+FFFD (DocumentWriter)
};

// The query text for the selection settings of `set`.
std::u16string BuildExportQuery(const ExportSettingNubelo& set);

// Runs one export to its end in `windows`, waiting up to `lockWait` for a
// store another program is writing to. Never throws: a failure is shown to
// the user as the step text in force, in a critical message box, and told in
// the report.
ExportReport ExportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ExportSettingNubelo& set, dialogs::Ui& windows,
                         std::chrono::milliseconds lockWait = store::kDefaultLockWait);

// As ExportDiary, but writes the document to the open descriptor `fd` as it is
// made, in place of a file that is replaced when complete: after a failure `fd`
// has had part of it. `name` says in failures what `fd` is ("standard output").
ExportReport ExportDiaryTo(int fd, const std::string& name, const std::u16string& diaryMdbPath,
                           const ExportSettingNubelo& set, dialogs::Ui& windows,
                           std::chrono::milliseconds lockWait = store::kDefaultLockWait);

}  // namespace nbl::exporting
