#include "export/export_run.h"

#include "common/failure.h"
#include "common/replacing_file.h"
#include "common/text.h"
#include "dialogs/windows.h"
#include "export/diary_document.h"
#include "store/recordset.h"

namespace nbl::exporting {
namespace {

// A string literal of the query; apostrophes doubled so no setting can change the query's meaning.
std::u16string SqlLiteral(std::u16string_view value) { return u"'" + text::Replace(value, u"'", u"''") + u"'"; }

std::u16string PublishCondition(vb::Integer intPublish) {
  switch (intPublish.value()) {
    case 0: return u"Like '%'";
    case 1: return u"= FALSE";
    case 2: return u"= TRUE";
    default: return u"";
  }
}

}  // namespace

std::u16string BuildExportQuery(const ExportSettingNubelo& set) {
  std::u16string q = u"SELECT Contents.* FROM Contents ";
  q += u"WHERE (((Contents.Genre)";
  q += set.stGenre.empty() ? std::u16string(u"Like '%'") : u"= " + SqlLiteral(set.stGenre);
  q += u") AND ((Contents.Private)";
  q += PublishCondition(set.intPublish);
  q += u") AND ((Contents.Day)>";
  q += set.stStartDay.empty() ? std::u16string(u"'0000/00/00'") : SqlLiteral(set.stStartDay);
  q += u" And (Contents.Day)<";
  q += set.stEndDay.empty() ? std::u16string(u"'9999/99/99'") : SqlLiteral(set.stEndDay);
  q += u"));";
  return q;
}

ExportReport ExportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ExportSettingNubelo& set, dialogs::Ui& windows) {
  ExportReport report;
  std::u16string stepText;
  try {
    stepText = u"SQL構成エラー";
    const std::u16string query = BuildExportQuery(set);
    dialogs::frmProgress& progress = dialogs::ShowRunWindow(windows, u"Nubelo Export");

    stepText = u"DB接続エラー";
    store::Connection connection;
    connection.SetConnectionString(std::u16string(store::kConnectionPrefix) + diaryMdbPath);
    connection.Open(u"", u"", u"", -1);
    store::Recordset rows;

    stepText = u"Export件数取得エラー";
    // The count and the rows come from one snapshot, whatever is written to the store meanwhile.
    connection.BeginReadTrans();
    rows.Open(query, connection, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
    const vb::Long count = rows.RecordCount();
    std::u16string closingText;
    if (count < 1) {
      progress.SetTxtText(u"該当する日記がありません。");
      closingText = u"該当するレコード(日記)がありませんでした。";
    } else {
      progress.SetProgressMax(static_cast<float>(count.value()));
      progress.SetTxtText(text::Digits(count) + u"件のレコードを取得。エクスポートします。");
      closingText = text::Digits(count) + u"件のレコードをエクスポート完了。";
    }
    progress.DoEvents();
    progress.Refresh();
    rows.Close();

    stepText = u"ファイルオープンエラー";
    files::ReplacingFile file(filePath);
    DocumentWriter document([&file](const std::uint8_t* data, std::size_t size) { file.Append(data, size); });
    document.Append(kHead);
    rows.Open(query, connection, store::adOpenForwardOnly, store::adLockReadOnly, store::adCmdTableDirect);
    while (!rows.IsEOF()) {
      document.Append(kDayOpen);
      const std::u16string date =
          set.intPublishDay == 1 ? DatePiece(rows.Field(u"Day")) : PublishDatePiece(rows.Field(u"PublishTime"));
      stepText = u"Loop内エラー：" + rows.Field(u"Day").CStr();
      document.Append(date);
      document.Append(TitlePiece(rows.Field(u"Title")));
      document.Append(kBodyOpen);
      document.Append(ApplyBodyRule(rows.Field(u"Contents"), set) + u"\n");
      document.Append(ApplyBodyRule(rows.Field(u"extend"), set) + u"\n");
      document.Append(kDayClose);
      rows.MoveNext();
      progress.SetProgressValue(progress.ProgressValue() + 1.0f);
      ++report.entries;
    }

    stepText = u"後処理エラー";
    document.Append(kTail);
    rows.Close();
    connection.CommitTrans();
    file.Commit();
    report.replacedCharacters = document.ReplacedCharacters();
    progress.SetTxtText(closingText + u"\r\n" + u"Export完了！");
    progress.SetBtnOkEnabled(true);
    report.completed = true;
  } catch (...) {
    report.stepText = stepText;
    report.cause = CauseOf(std::current_exception());
    dialogs::ShowRunFailure(windows, stepText);
  }
  return report;
}

}  // namespace nbl::exporting
