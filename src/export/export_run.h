// The export run: selects entries of the diary store and writes them as one
// diary XML document, showing its progress in this thread's progress window.
#pragma once

#include <string>

#include "common/records.h"

namespace nbl::exporting {

// The query text for the selection settings of `set`.
std::u16string BuildExportQuery(const ExportSettingNubelo& set);

// Runs one export to its end. Never throws: a failure is shown to the user as
// the step text in force, in a critical message box.
void ExportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath, const ExportSettingNubelo& set);

}  // namespace nbl::exporting
