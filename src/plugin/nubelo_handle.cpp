#include "plugin/nubelo_handle.h"

#include "common/files.h"
#include "common/replacing_file.h"
#include "common/text.h"
#include "plugin/genre_list.h"
#include "store/store_files.h"

namespace nbl::plugin {

vb::Boolean clsNubeloHandle::Initialize(const std::u16string& stDiaryMdbPath) {
  DiaryMdbPath_ = stDiaryMdbPath;
  const vb::Boolean result = vb::ToBoolean(!DiaryMdbPath_.empty() && files::ExistsR(DiaryMdbPath_));
  ExpSet_ = DefaultExportSetting();
  ImpSet_ = DefaultImportSetting();
  return result;
}

vb::Boolean clsNubeloHandle::SetPath(const std::u16string& stFilePath, vb::Boolean OverWrite) {
  FilePath_ = stFilePath;
  bool result = true;
  if (IsImport_ == vb::True) {
    if (FilePath_.empty() || !files::ExistsR(FilePath_)) result = false;
  } else if (text::HasLoneSurrogate(FilePath_) || store::NamesStoreFile(FilePath_, DiaryMdbPath_)) {
    // Written there, the document would replace a file other than the one named, or the store itself.
    result = false;
  } else if (files::ExistsN(FilePath_)) {
    // The old document stays until the export's complete new one replaces it; here only whether it could.
    if (OverWrite != vb::False) {
      files::ReplacingFile::CheckReplaceable(FilePath_);
    } else {
      result = false;
    }
  }
  if (!result) FilePath_.clear();
  return vb::ToBoolean(result);
}

vb::Boolean clsNubeloHandle::Execute() {
  if (!FilePath_.empty() && !DiaryMdbPath_.empty()) {
    if (IsImport_ == vb::True) {
      lastImport_ = importing::ImportDiary(FilePath_, DiaryMdbPath_, ImpSet_, windows_, importOptions_, lockWait_);
    } else {
      lastExport_ = exporting::ExportDiary(FilePath_, DiaryMdbPath_, ExpSet_, windows_, lockWait_);
    }
  }
  return vb::False;
}

vb::Boolean clsNubeloHandle::ExecuteExportTo(int fd, const std::string& name) {
  if (IsImport_ != vb::True && !DiaryMdbPath_.empty()) {
    lastExport_ = exporting::ExportDiaryTo(fd, name, DiaryMdbPath_, ExpSet_, windows_, lockWait_);
  }
  return vb::False;
}

vb::Boolean clsNubeloHandle::SetExportSettingMySelf() {
  dialogs::frmOption& dlg = windows_.Option();
  dlg.PathDiaryMdb = DiaryMdbPath_;
  dlg.ListGenres = [wait = lockWait_](std::u16string_view path) { return ReadGenreList(path, wait); };
  dlg.Show();
  if (dlg.IsOK != vb::True) return vb::False;
  ExpSet_.stGenre = dlg.bGenre == vb::True ? dlg.stGenre : u"";
  if (dlg.bPeriod == vb::True) {
    ExpSet_.stStartDay = dlg.stStart;
    ExpSet_.stEndDay = dlg.stEnd;
  } else {
    ExpSet_.stStartDay.clear();
    ExpSet_.stEndDay.clear();
  }
  ExpSet_.intPublish = dlg.bPublish == vb::True ? dlg.intPublish : vb::Integer(kPublishAll);
  ExpSet_.intScroll = 0;
  ExpSet_.intBR = dlg.intBR;
  ExpSet_.intHyphen = dlg.intHyphen;
  ExpSet_.intPublishDay = dlg.intPublishDay;
  return vb::True;
}

vb::Boolean clsNubeloHandle::SetImportSettingMySelf() {
  dialogs::frmOptionImport& dlg = windows_.OptionImport();
  dlg.Show();
  if (dlg.IsOK != vb::True) return vb::False;
  ImpSet_.stTitleStTag = dlg.stTitleStTag;
  ImpSet_.stTitleEdTag = dlg.stTitleEdTag;
  return vb::True;
}

}  // namespace nbl::plugin
