#include "import/import_run.h"

#include <memory>
#include <utility>
#include <vector>

#include "common/date.h"
#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"
#include "dialogs/windows.h"
#include "import/day_numbering.h"
#include "import/diary_lines.h"
#include "store/connection.h"
#include "store/recordset.h"
#include "store/value.h"

namespace nbl::importing {
namespace {

constexpr std::u16string_view kDayNumberQuery =
    u"SELECT Contents.Day, Max(Contents.Number) AS NumMax From Contents GROUP BY Contents.Day ORDER BY Contents.Day;";

// Everything after the window is set up; every failure passes to ImportDiary with `stepText` in force.
void Run(const std::u16string& filePath, const std::u16string& diaryMdbPath, const ImportSettingNubelo& set,
         dialogs::frmProgress& progress, std::u16string& stepText, ImportReport& report) {
  stepText = u"日付読み込みエラー";
  auto connection = std::make_unique<store::Connection>();
  connection->SetConnectionString(std::u16string(store::kConnectionPrefix) + diaryMdbPath);
  connection->Open(u"", u"", u"", -1);
  auto records = std::make_unique<store::Recordset>();
  records->Open(kDayNumberQuery, *connection, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
  DayNumberTable dayNumbers;
  dayNumbers.Reserve(records->RecordCount());
  while (!records->IsEOF()) {
    dayNumbers.Add(DayAndNumber{records->Field(u"Day").CStr(), records->Field(u"NumMax").CInt()});
    records->MoveNext();
  }
  records->Close();

  stepText = u"インポート元ファイル読み込みエラー";
  encoding::Bytes bytes = files::ReadAll(filePath);
  if (bytes.empty()) throw FileFailure("the file to import is empty");

  stepText = u"漢字コード変換エラー";
  std::u16string documentText = DecodeDiaryBytes(bytes);
  encoding::Bytes().swap(bytes);  // the bytes are not needed past this point

  stepText = u"改行コード変換エラー";
  const std::vector<std::u16string_view> lines = CutLines(documentText);
  const std::size_t last = lines.size() - 1;
  // A text without line breaks gives a maximum of 0, which the windows draw as a bar with nothing left to do.
  progress.SetProgressMax(static_cast<float>(last));
  progress.SetTxtText(text::Digits(static_cast<long long>(last)) + u"行のテキストをインポートします。");
  progress.DoEvents();
  progress.Refresh();
  const std::u16string importMark = MakeImportMark(date::Now());
  vb::Long storedCount = 0;
  records->Open(u"Contents", *connection, store::adOpenKeyset, store::adLockOptimistic, store::adCmdTableDirect);

  store::Recordset& table = *records;
  DiaryLineReader reader(lines, set, stepText, [&](const DiaryEntry& entry) {
    table.AddNew();
    table.SetField(u"Day", entry.day);
    table.SetField(u"Number", store::Value::Integer(dayNumbers.Next(entry.day)));
    table.SetField(u"Weather", u"-");
    table.SetField(u"Genre", u"一般");
    table.SetField(u"Title", entry.title.empty() ? std::u16string(u"無題") : entry.title);
    table.SetField(u"Contents", entry.body);
    table.SetField(u"extend", u"");
    table.SetField(u"excerpt", u"");
    table.SetField(u"TrackBack", u"");
    table.SetField(u"PublishTime", entry.day + u" 00:00:00");
    table.SetField(u"Private", store::Value::Boolean(false));
    table.SetField(u"ImportMark", importMark);
    table.Update();
    table.MoveNext();
    storedCount += 1;
  });
  for (std::size_t i = 0; i <= last; ++i) {
    i = reader.HandleLine(i);
    progress.SetProgressValue(static_cast<float>(i));
  }

  records->Close();
  records.reset();
  connection.reset();
  progress.SetTxtText(u"\r\n" + text::Digits(storedCount.value()) + u"件の日記をImport完了！");
  progress.SetBtnOkEnabled(true);
  report.stored = storedCount.value();
  report.completed = true;
}

}  // namespace

ImportReport ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ImportSettingNubelo& set, dialogs::Ui& windows) {
  ImportReport report;
  std::u16string stepText;
  try {
    dialogs::frmProgress& progress = dialogs::ShowRunWindow(windows, u"Nubelo Import");
    progress.DoEvents();
    progress.Refresh();
    Run(filePath, diaryMdbPath, set, progress, stepText, report);
  } catch (...) {
    report.stepText = stepText;
    report.cause = CauseOf(std::current_exception());
    dialogs::ShowRunFailure(windows, stepText);
  }
  return report;
}

}  // namespace nbl::importing
