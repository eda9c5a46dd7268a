#include "export/export_run.h"

#include <functional>
#include <memory>
#include <optional>

#include "common/failure.h"
#include "common/output.h"
#include "common/replacing_file.h"
#include "common/text.h"
#include "dialogs/windows.h"
#include "export/diary_document.h"
#include "store/recordset.h"
#include "store/store_files.h"

namespace nbl::exporting {
namespace {

// A string literal of the query; apostrophes doubled so no setting can change the query's meaning.
std::u16string SqlLiteral(std::u16string_view value) { return u"'" + text::Replace(value, u"'", u"''") + u"'"; }

std::u16string PublishCondition(vb::Integer intPublish) {
  switch (intPublish.value()) {
    case kPublishAll:
      return u"Like '%'";
    case kPublishPublic:
      return u"= FALSE";
    case kPublishPrivate:
      return u"= TRUE";
    default:
      return u"";
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

namespace {

// The step text of an entry begins so; the entry's Day follows.
constexpr std::u16string_view kLoopStep = u"Loop内エラー：";

// A column of the rows, found by name at its first read, so that a store that
// lacks it fails at that read and nowhere sooner.
class Column {
 public:
  explicit Column(std::u16string_view name) : name_(name) {}
  std::optional<std::string_view> Bytes(const store::Recordset& rows) {
    if (index_ < 0) index_ = rows.ColumnIndex(name_);
    return rows.FieldBytes(index_);
  }
  // The bytes of a value that must be text; Null fails as Value::CStr does.
  std::string_view Text(const store::Recordset& rows) {
    const std::optional<std::string_view> bytes = Bytes(rows);
    if (!bytes) throw store::NullAsTextFailure();
    return *bytes;
  }

 private:
  std::u16string_view name_;
  int index_ = -1;
};

// The columns an entry is written from.
struct EntryColumns {
  Column day{u"Day"}, publishTime{u"PublishTime"}, title{u"Title"}, contents{u"Contents"}, extend{u"extend"};

  // Writes the entry of the current row; from the read of its Day on, `stepText` names it.
  void Write(const store::Recordset& rows, const ExportSettingNubelo& set, DocumentWriter& document,
             std::u16string& stepText) {
    document.Append(kDayOpen);
    // The step names this entry's Day before its date is read, so a Null publish time names its own entry.
    const std::string_view dayText = day.Text(rows);
    stepText.assign(kLoopStep);
    text::AppendFromUtf8MarkingBadBytes(dayText, stepText);
    if (set.intPublishDay == 1) {
      document.AppendDayDate(dayText);
    } else {
      document.AppendPublishDate(publishTime.Text(rows));
    }
    document.AppendTitle(title.Bytes(rows));
    document.Append(kBodyOpen);
    document.AppendBody(contents.Bytes(rows), set);
    document.AppendBody(extend.Bytes(rows), set);
    document.Append(kDayClose);
  }
};

// Shows the count in the window; the closing text it makes.
std::u16string ShowCount(vb::Long count, dialogs::frmProgress& progress) {
  if (count < 1) {
    progress.SetTxtText(u"該当する日記がありません。");
    return u"該当するレコード(日記)がありませんでした。";
  }
  progress.SetProgressMax(static_cast<float>(count.value()));
  progress.SetTxtText(text::Digits(count) + u"件のレコードを取得。エクスポートします。");
  return text::Digits(count) + u"件のレコードをエクスポート完了。";
}

using OpenOutput = std::function<std::unique_ptr<files::Output>()>;

ExportReport Export(const OpenOutput& openOutput, const std::u16string& diaryMdbPath, const ExportSettingNubelo& set,
                    dialogs::Ui& windows, std::chrono::milliseconds lockWait) {
  ExportReport report;
  std::u16string stepText;
  try {
    stepText = u"SQL構成エラー";
    const std::u16string query = BuildExportQuery(set);
    dialogs::frmProgress& progress = dialogs::ShowRunWindow(windows, u"Nubelo Export");

    stepText = u"DB接続エラー";
    store::Connection connection;
    connection.SetLockWait(lockWait);
    connection.SetConnectionString(std::u16string(store::kConnectionPrefix) + diaryMdbPath);
    connection.Open(u"", u"", u"", -1);
    store::Recordset rows;

    stepText = u"Export件数取得エラー";
    // The count and the rows come from one snapshot, whatever is written to the store meanwhile.
    connection.BeginReadTrans();
    rows.Open(query, connection, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
    const std::u16string closingText = ShowCount(rows.RecordCount(), progress);
    progress.DoEvents();
    progress.Refresh();
    rows.Close();

    stepText = u"ファイルオープンエラー";
    const std::unique_ptr<files::Output> output = openOutput();
    DocumentWriter document([&output](const std::uint8_t* data, std::size_t size) { output->Append(data, size); });
    document.Append(kHead);
    rows.Open(query, connection, store::adOpenForwardOnly, store::adLockReadOnly, store::adCmdTableDirect);
    EntryColumns columns;
    while (!rows.IsEOF()) {
      columns.Write(rows, set, document, stepText);
      rows.MoveNext();
      progress.SetProgressValue(progress.ProgressValue() + 1.0f);
      ++report.entries;
    }

    stepText = u"後処理エラー";
    document.Append(kTail);
    document.Flush();
    rows.Close();
    connection.CommitTrans();
    output->Commit();
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

}  // namespace

ExportReport ExportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ExportSettingNubelo& set, dialogs::Ui& windows, std::chrono::milliseconds lockWait) {
  return Export(
      [&filePath, &diaryMdbPath] {
        // The handle refuses such a path already; a run never replaces the store it reads.
        if (store::NamesStoreFile(filePath, diaryMdbPath)) {
          const std::string name = text::ToUtf8(filePath);
          throw FileFailure("cannot write '" + name + "': it is a file of the diary store",
                            "'" + name + "' is the diary store or one of its journals; give another output file");
        }
        return std::make_unique<files::ReplacingFile>(filePath);
      },
      diaryMdbPath, set, windows, lockWait);
}

ExportReport ExportDiaryTo(int fd, const std::string& name, const std::u16string& diaryMdbPath,
                           const ExportSettingNubelo& set, dialogs::Ui& windows, std::chrono::milliseconds lockWait) {
  return Export([fd, &name] { return std::make_unique<files::StreamOutput>(fd, name); }, diaryMdbPath, set, windows,
                lockWait);
}

}  // namespace nbl::exporting
