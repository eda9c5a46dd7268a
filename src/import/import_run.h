// The import run: reads one diary XML file and appends one numbered row per day
// to the diary store, showing its progress in this thread's progress window.
#pragma once

#include <string>

#include "common/records.h"

namespace nbl::importing {

// Runs one import to its end. Never throws: a failure is shown to the user as
// the step text in force, in a critical message box.
void ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath, const ImportSettingNubelo& set);

}  // namespace nbl::importing
