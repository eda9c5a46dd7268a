// clsNubeloHandle: what a host creates and drives to move diary entries between
// its diary store and a diary XML file.
#pragma once

#include <string>

#include "common/records.h"
#include "common/vb_types.h"
#include "dialogs/windows.h"
#include "export/export_run.h"
#include "import/import_run.h"

namespace nbl::plugin {

class clsNubeloHandle {
 public:
  // The handle shows its dialogs and runs in `windows`, which must outlive it.
  explicit clsNubeloHandle(dialogs::Ui& windows) : windows_(windows) {}

  // Stores the database path (kept even when the result is False) and resets
  // both settings records to their defaults. True when the path names a file.
  vb::Boolean Initialize(const std::u16string& stDiaryMdbPath);

  void SetImport() { IsImport_ = vb::True; }
  void SetExport() { IsImport_ = vb::False; }

  // Copies the record as it is, without validation.
  void setExportSetting(const ExportSettingNubelo& eExpSet) { ExpSet_ = eExpSet; }
  void setImportSetting(const ImportSettingNubelo& eImpSet) { ImpSet_ = eImpSet; }

  // Shows the export options dialog (genres from DiaryMdbPath); True and ExpSet
  // filled after OK, False and ExpSet unchanged otherwise. A store that cannot
  // be read while the dialog loads throws, and ExpSet stays.
  vb::Boolean SetExportSettingMySelf();
  // Shows the import options dialog; True and ImpSet filled after OK.
  vb::Boolean SetImportSettingMySelf();

  // Stores the file path and checks it for the current direction: import needs
  // an existing file; export refuses the diary store's own files (see
  // store::NamesStoreFile) and an existing file unless OverWrite is nonzero,
  // and then only checks that the export could replace it, leaving it in place
  // until the export's new document is complete. Both refuse a path that names
  // no file exactly (a lone surrogate). On False, FilePath
  // becomes "". Throws FileFailure (FilePath stays set) when the file could not
  // be replaced (ReplacingFile::CheckReplaceable).
  vb::Boolean SetPath(const std::u16string& stFilePath, vb::Boolean OverWrite = vb::False);

  // Runs the import or export when both paths are set. Always False: the run
  // reports its outcome to the user only.
  vb::Boolean Execute();

  // For hosts that print text, not in the COM interface: in export mode, runs
  // the export as Execute does when DiaryMdbPath is set, but writes the document
  // to the open descriptor `fd` as it is made instead of to FilePath (see
  // exporting::ExportDiaryTo; `name` says what `fd` is). Does nothing in import
  // mode. Always False.
  vb::Boolean ExecuteExportTo(int fd, const std::string& name);

  const std::u16string& FilePath() const { return FilePath_; }
  const std::u16string& DiaryMdbPath() const { return DiaryMdbPath_; }
  vb::Boolean IsImport() const { return IsImport_; }
  const ExportSettingNubelo& ExpSet() const { return ExpSet_; }
  const ImportSettingNubelo& ImpSet() const { return ImpSet_; }

  // For hosts in C++ only (the plug-in's interface has no such method): how
  // the next imports run beyond the settings; the defaults until set.
  void SetImportOptions(const importing::ImportOptions& options) { importOptions_ = options; }
  // For hosts in C++ only: how long the runs and the export options dialog wait
  // for a store another program is writing to; store::kDefaultLockWait until set.
  void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

  // How the last export or import of this handle ended, for hosts that print
  // text; empty reports before the first run.
  const exporting::ExportReport& LastExport() const { return lastExport_; }
  const importing::ImportReport& LastImport() const { return lastImport_; }

 private:
  std::u16string FilePath_;
  std::u16string DiaryMdbPath_;
  vb::Boolean IsImport_ = vb::False;
  ExportSettingNubelo ExpSet_;
  ImportSettingNubelo ImpSet_;

  dialogs::Ui& windows_;
  importing::ImportOptions importOptions_;
  std::chrono::milliseconds lockWait_ = store::kDefaultLockWait;
  exporting::ExportReport lastExport_;
  importing::ImportReport lastImport_;
};

}  // namespace nbl::plugin
