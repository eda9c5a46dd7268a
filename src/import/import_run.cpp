#include "import/import_run.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <utility>

#include "common/date.h"
#include "common/failure.h"
#include "common/text.h"
#include "dialogs/windows.h"
#include "encoding/utf8.h"
#include "import/day_numbering.h"
#include "import/diary_file.h"
#include "import/diary_lines.h"
#include "import/entries_ahead.h"
#include "store/connection.h"
#include "store/recordset.h"
#include "store/stored_entries.h"
#include "store/value.h"

namespace nbl::importing {
namespace {

constexpr std::u16string_view kDayNumberQuery =
    u"SELECT Contents.Day, Max(Contents.Number) AS NumMax From Contents GROUP BY Contents.Day ORDER BY Contents.Day;";

// The columns an entry fills, in the order they are set.
enum Column {
  kDay,
  kNumber,
  kWeather,
  kGenre,
  kTitle,
  kContents,
  kExtend,
  kExcerpt,
  kTrackBack,
  kPublishTime,
  kPrivate,
  kImportMark,
  kColumns
};
constexpr std::u16string_view kColumnNames[kColumns] = {u"Day",       u"Number",      u"Weather", u"Genre",
                                                        u"Title",     u"Contents",    u"extend",  u"excerpt",
                                                        u"TrackBack", u"PublishTime", u"Private", u"ImportMark"};

// Undoes the run's transaction unless it was committed, whatever ends the run.
struct RollbackUnlessCommitted {
  store::Connection& connection;
  ~RollbackUnlessCommitted() { connection.RollbackTrans(); }
};

// Stores the entries the reading thread hands over, and moves the progress bar line by line.
struct StoringEntries : EntryHandler {
  store::Recordset& table;
  std::optional<store::StoredEntries>& stored;
  DayNumberTable& dayNumbers;
  const std::string& importMark;
  dialogs::frmProgress& progress;
  ImportReport& report;
  vb::Long storedCount = 0;
  std::int64_t skippedCount = 0;
  // Found at the first entry, so that a store lacking a column fails where it stores, as it always did.
  std::optional<std::array<int, kColumns>> columns;
  std::string publishTime;

  StoringEntries(store::Recordset& t, std::optional<store::StoredEntries>& s, DayNumberTable& d, const std::string& m,
                 dialogs::frmProgress& p, ImportReport& r)
      : table(t), stored(s), dayNumbers(d), importMark(m), progress(p), report(r) {}

  void Store(const DiaryEntry& entry) override {
    const std::string_view title =
        entry.title.empty() ? std::string_view(NoTitleUtf8()) : std::string_view(entry.title);
    if (stored && stored->Holds(entry.day, title, entry.body)) {
      ++skippedCount;
      return;
    }
    if (!columns) {
      columns.emplace();
      for (int c = 0; c < kColumns; ++c) (*columns)[c] = table.ColumnIndex(kColumnNames[c]);
    }
    const std::array<int, kColumns>& at = *columns;
    table.AddNew();
    table.SetUtf8(at[kDay], entry.day);
    table.SetField(at[kNumber], store::Value::Integer(dayNumbers.Next(std::string_view(entry.day))));
    table.SetUtf8(at[kWeather], "-");
    table.SetUtf8(at[kGenre], GeneralGenreUtf8());
    table.SetUtf8(at[kTitle], title);
    table.SetUtf8(at[kContents], entry.body);
    table.SetUtf8(at[kExtend], "");
    table.SetUtf8(at[kExcerpt], "");
    table.SetUtf8(at[kTrackBack], "");
    publishTime.assign(entry.day).append(" 00:00:00");
    table.SetUtf8(at[kPublishTime], publishTime);
    table.SetField(at[kPrivate], store::Value::Boolean(false));
    table.SetUtf8(at[kImportMark], importMark);
    table.Update();
    table.MoveNext();
    if (stored) stored->AddedLast();
    if (report.firstTitles.size() < ImportReport::kPreviewTitles) {
      report.firstTitles.push_back(encoding::Utf8BytesToText(title, u""));
    }
    storedCount += 1;
  }
  void LineDone(std::size_t line) override { progress.SetProgressValue(static_cast<float>(line - 1)); }
};

// What the store holds that a walk of the file needs: the highest number of
// each day, and the rows an entry may already be.
struct StoreAtStart {
  DayNumberTable dayNumbers;
  std::optional<store::StoredEntries> stored;
};

// Begins the run's transaction and reads what the walk needs. The write lock
// comes before the day numbers are read, so two imports into one store run one
// after the other and never hand out the same number.
void BeginWalk(store::Connection& connection, const ImportOptions& options, StoreAtStart& start) {
  connection.BeginTrans();
  store::Recordset records;
  records.Open(kDayNumberQuery, connection, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
  start.dayNumbers = DayNumberTable();
  start.dayNumbers.Reserve(records.RecordCount());
  while (!records.IsEOF()) {
    start.dayNumbers.Add(DayAndNumber{records.Field(u"Day").CStr(), records.Field(u"NumMax").CInt()});
    records.MoveNext();
  }
  records.Close();
  start.stored.reset();
  if (options.skipExisting) start.stored.emplace(connection);
}

// Everything after the window is set up; every failure passes to ImportDiary with `stepText`
// in force and `lineInHand` (1-based, 0 outside the walk) naming the line being handled.
void Run(const std::u16string& filePath, const std::u16string& diaryMdbPath, const ImportSettingNubelo& set,
         const ImportOptions& options, dialogs::frmProgress& progress, std::u16string& stepText,
         std::size_t& lineInHand, ImportReport& report) {
  stepText = u"日付読み込みエラー";
  auto connection = std::make_unique<store::Connection>();
  connection->SetConnectionString(std::u16string(store::kConnectionPrefix) + diaryMdbPath);
  connection->Open(u"", u"", u"", -1);
  const RollbackUnlessCommitted rollback{*connection};
  StoreAtStart start;
  BeginWalk(*connection, options, start);

  stepText = u"インポート元ファイル読み込みエラー";
  DiaryFile file(filePath);

  stepText = u"漢字コード変換エラー";
  file.Decode();

  stepText = u"改行コード変換エラー";
  const std::size_t last = file.LineCount() - 1;
  // A text without line breaks gives a maximum of 0, which the windows draw as a bar with nothing left to do.
  progress.SetProgressMax(static_cast<float>(last));
  progress.SetTxtText(text::Digits(static_cast<long long>(last)) + u"行のテキストをインポートします。");
  progress.DoEvents();
  progress.Refresh();
  const std::string importMark = text::ToUtf8(MakeImportMark(date::Now()));
  auto records = std::make_unique<store::Recordset>();

  std::optional<StoringEntries> storing;
  std::size_t skippedLines = 0;
  for (Layout layout = Layout::kLines;;) {
    records->Open(u"Contents", *connection, store::adOpenKeyset, store::adLockOptimistic, store::adCmdTableDirect);
    storing.emplace(*records, start.stored, start.dayNumbers, importMark, progress, report);
    try {
      // The file is read on a thread of its own while this one stores; a failure
      // of the reading that no line can be blamed for is one of reading the file.
      stepText = u"インポート元ファイル読み込みエラー";
      EntriesAhead reading(file, set, layout);
      reading.Drain(*storing, stepText, lineInHand);
      lineInHand = 0;
      skippedLines = reading.skippedLines();
      break;
    } catch (const SharedLineFailure&) {
      // A tag shares a line with text or another tag: read one line at a time, the file would lose that
      // text. What this walk stored is undone, and the XML parser reads the whole file again.
      if (layout == Layout::kXml) throw;
      layout = Layout::kXml;
      records->Close();
      connection->RollbackTrans();
      report.firstTitles.clear();
      stepText = u"日付読み込みエラー";
      BeginWalk(*connection, options, start);
    }
  }

  records->Close();
  records.reset();
  stepText = u"データ格納エラー：";
  if (options.dryRun) {
    connection->RollbackTrans();
  } else {
    connection->CommitTrans();
  }
  report.stored = storing->storedCount.value();
  report.skippedEntries = storing->skippedCount;
  report.days = start.dayNumbers.Given();
  const auto byDay = [](const DayNumbers& a, const DayNumbers& b) { return a.day < b.day; };
  // A diary is mostly written day after day, so its days often come in order already.
  if (!std::is_sorted(report.days.begin(), report.days.end(), byDay))
    std::sort(report.days.begin(), report.days.end(), byDay);
  report.skippedLines = static_cast<std::int64_t>(skippedLines);
  progress.SetTxtText(u"\r\n" + text::Digits(storing->storedCount.value()) + u"件の日記をImport完了！");
  progress.SetBtnOkEnabled(true);
  report.completed = true;
}

// Called inside a handler: tells the failure in flight to the user and in the report.
void Fail(dialogs::Ui& windows, const std::u16string& stepText, std::size_t line, ImportReport& report) {
  report.stepText = stepText;
  report.cause = CauseOf(std::current_exception());
  report.failureLine = line;
  // Nothing was stored: what the run had counted is no longer true.
  report.stored = report.skippedEntries = 0;
  report.days.clear();
  report.firstTitles.clear();
  dialogs::ShowRunFailure(windows, stepText);
}

}  // namespace

ImportReport ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ImportSettingNubelo& set, dialogs::Ui& windows, const ImportOptions& options) {
  ImportReport report;
  std::u16string stepText;
  std::size_t lineInHand = 0;
  try {
    dialogs::frmProgress& progress = dialogs::ShowRunWindow(windows, u"Nubelo Import");
    progress.DoEvents();
    progress.Refresh();
    Run(filePath, diaryMdbPath, set, options, progress, stepText, lineInHand, report);
  } catch (const DiaryFormatFailure& fault) {
    Fail(windows, stepText, fault.line(), report);
    report.failureColumn = fault.column();
  } catch (...) {
    Fail(windows, stepText, lineInHand, report);
  }
  return report;
}

}  // namespace nbl::importing
