#include "import/import_run.h"

#include <algorithm>
#include <array>
#include <functional>
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
#include "import/import_step.h"
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

// Thrown on the storing thread to end a walk that went ahead of the first
// reading of the file, which read the file otherwise.
struct FirstReadingDisagrees {};

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
  // Whether the line count is shown, showing it when it can be; until then
  // the lines done are kept back, the last in `heldTo`.
  std::function<bool()> countShown;
  bool shown = false;
  std::size_t heldTo = 0;

  StoringEntries(store::Recordset& t, std::optional<store::StoredEntries>& s, DayNumberTable& d, const std::string& m,
                 dialogs::frmProgress& p, ImportReport& r, std::function<bool()> c)
      : table(t), stored(s), dayNumbers(d), importMark(m), progress(p), report(r), countShown(std::move(c)) {}

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
  void LineDone(std::size_t line) override {
    if (!shown) {
      try {
        shown = countShown();
      } catch (...) {
        heldTo = 0;  // no line is done before the count
        throw;
      }
      if (!shown) {
        heldTo = line;
        return;
      }
    }
    MoveHeldBack();
    progress.SetProgressValue(static_cast<float>(line - 1));
  }
  // The bar moves through the lines kept back, as it would have line by line.
  void MoveHeldBack() {
    for (std::size_t k = 1; k <= heldTo; ++k) progress.SetProgressValue(static_cast<float>(k - 1));
    heldTo = 0;
  }
};

// What the store holds that a walk of the file needs: the highest number of
// each day, and the rows an entry may already be.
struct StoreAtStart {
  DayNumberTable dayNumbers;
  std::optional<store::StoredEntries> stored;
};

// One import, step by step; each step's failures pass to ImportDiary with the step then in force.
class ImportRun {
 public:
  ImportRun(const ImportSettingNubelo& set, const ImportOptions& options, std::chrono::milliseconds lockWait,
            dialogs::frmProgress& progress)
      : set_(set), options_(options), lockWait_(lockWait), progress_(progress) {}

  ImportStep step() const { return step_; }

  ImportReport Run(const std::u16string& filePath, const std::u16string& diaryMdbPath) {
    step_ = ImportStep::kReadDayNumbers;
    connection_.SetLockWait(lockWait_);
    connection_.SetConnectionString(std::u16string(store::kConnectionPrefix) + diaryMdbPath);
    connection_.Open(u"", u"", u"", -1);
    const RollbackUnlessCommitted rollback{connection_};
    BeginWalk();
    step_ = ImportStep::kReadFile;
    // The first reading of a file that looks like UTF-8 runs beside the walk,
    // which stores its first lines meanwhile: only the line count waits for it.
    DiaryFile file(filePath, DiaryFile::kPiece, true);
    if (!file.Beside()) CountLines(file);
    step_ = ImportStep::kCutLines;
    const std::string importMark = text::ToUtf8(MakeImportMark(date::Now()));
    ImportReport report;
    const std::size_t skippedLines = Walk(file, importMark, report);
    step_ = ImportStep::kStore;
    if (options_.dryRun) {
      connection_.RollbackTrans();
    } else {
      connection_.CommitTrans();
    }
    report.stored = storing_->storedCount.value();
    report.skippedEntries = storing_->skippedCount;
    // Only a dry run shows them: a long diary's days cost more to list than to number.
    if (options_.dryRun) {
      report.days = start_.dayNumbers.Given();
      const auto byDay = [](const DayNumbers& a, const DayNumbers& b) { return a.day < b.day; };
      // A diary is mostly written day after day, so its days often come in order already.
      if (!std::is_sorted(report.days.begin(), report.days.end(), byDay))
        std::sort(report.days.begin(), report.days.end(), byDay);
    }
    report.skippedLines = static_cast<std::int64_t>(skippedLines);
    progress_.SetTxtText(u"\r\n" + text::Digits(storing_->storedCount.value()) + u"件の日記をImport完了！");
    progress_.SetBtnOkEnabled(true);
    report.completed = true;
    return report;
  }

 private:
  // What comes before the first line: the failures of the first reading at
  // their step, then the line count shown.
  void CountLines(DiaryFile& file) {
    step_ = ImportStep::kDecode;
    file.Decode();
    step_ = ImportStep::kCutLines;
    counted_ = true;  // once, even when the windows refuse it
    const std::size_t last = file.LineCount() - 1;
    // A text without line breaks gives a maximum of 0, which the windows draw as a bar with nothing left to do.
    progress_.SetProgressMax(static_cast<float>(last));
    progress_.SetTxtText(text::Digits(static_cast<long long>(last)) + u"行のテキストをインポートします。");
    progress_.DoEvents();
    progress_.Refresh();
  }

  // On the storing thread, at a line done: whether the line count is shown,
  // showing it once the first reading has ended. Never waits.
  bool CountShown(DiaryFile& file) {
    if (counted_) return true;
    const std::optional<bool> agrees = file.BesideAgrees();
    if (!agrees) return false;
    if (!*agrees) throw FirstReadingDisagrees();
    try {
      CountLines(file);
    } catch (...) {
      // At its own step, not at the line in hand, as when it came before the first line.
      throw PlacedFailure({step_, {}}, 0, std::current_exception());
    }
    return true;
  }

  // Begins the run's transaction and reads what the walk needs. The write lock
  // comes before the day numbers are read, so two imports into one store run one
  // after the other and never hand out the same number.
  void BeginWalk() {
    connection_.BeginTrans();
    store::Recordset records;
    records.Open(kDayNumberQuery, connection_, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
    start_.dayNumbers = DayNumberTable();
    start_.dayNumbers.Reserve(records.RecordCount());
    while (!records.IsEOF()) {
      start_.dayNumbers.Add(DayAndNumber{records.Field(u"Day").CStr(), records.Field(u"NumMax").CInt()});
      records.MoveNext();
    }
    records.Close();
    start_.stored.reset();
    if (options_.skipExisting) start_.stored.emplace(connection_);
  }

  // Stores the entries of the file; the lines it skipped. A file read line by line
  // whose tags turn out to share a line is read again from the start by the XML
  // parser, what the first walk stored undone.
  std::size_t Walk(DiaryFile& file, const std::string& importMark, ImportReport& report) {
    store::Recordset records;
    for (Layout layout = Layout::kLines;;) {
      records.Open(u"Contents", connection_, store::adOpenKeyset, store::adLockOptimistic, store::adCmdTableDirect);
      storing_.emplace(records, start_.stored, start_.dayNumbers, importMark, progress_, report,
                       [this, &file] { return CountShown(file); });
      std::optional<ImportFailure> failed;
      std::size_t skippedLines = 0;
      try {
        // The file is read on a thread of its own while this one stores.
        EntriesAhead reading(file, set_, layout);
        reading.Drain(*storing_);
        skippedLines = reading.skippedLines();
      } catch (const ImportFailure& failure) {
        failed = failure;
      }
      // A walk that went ahead of the first reading stands where that reading
      // agrees; its failures come first, as they came before any line.
      if (file.Beside()) {
        step_ = ImportStep::kReadFile;
        const bool readAgain = file.Settle();
        if (!counted_) CountLines(file);
        if (readAgain) {
          Restart(records, report);
          continue;
        }
        storing_->MoveHeldBack();
        step_ = ImportStep::kCutLines;
      }
      if (!failed) return skippedLines;
      if (!failed->sharedLine || layout == Layout::kXml) throw *failed;
      layout = Layout::kXml;
      Restart(records, report);
    }
  }

  // Undoes what a walk stored, to walk the file again.
  void Restart(store::Recordset& records, ImportReport& report) {
    records.Close();
    connection_.RollbackTrans();
    report.firstTitles.clear();
    step_ = ImportStep::kReadDayNumbers;
    BeginWalk();
  }

  const ImportSettingNubelo& set_;
  const ImportOptions& options_;
  const std::chrono::milliseconds lockWait_;
  dialogs::frmProgress& progress_;
  ImportStep step_ = ImportStep::kStart;
  bool counted_ = false;  // the line count is shown
  store::Connection connection_;
  StoreAtStart start_;
  std::optional<StoringEntries> storing_;
};

// Tells `failure` to the user, and in a report of a run that stored nothing.
ImportReport Failed(dialogs::Ui& windows, const ImportFailure& failure) {
  ImportReport report;
  report.stepText = failure.at.Text();
  report.cause = CauseOf(failure.error);
  report.failureLine = failure.line;
  report.failureColumn = failure.column;
  dialogs::ShowRunFailure(windows, report.stepText);
  return report;
}

}  // namespace

std::u16string MakeImportMark(double now) { return date::DateTimeText(now) + u" byNBLinout.dll"; }

ImportReport ImportDiary(const std::u16string& filePath, const std::u16string& diaryMdbPath,
                         const ImportSettingNubelo& set, dialogs::Ui& windows, const ImportOptions& options,
                         std::chrono::milliseconds lockWait) {
  std::optional<ImportFailure> failure;
  {
    // Released, the store and the file closed, before the failure is shown.
    std::optional<ImportRun> run;
    try {
      dialogs::frmProgress& progress = dialogs::ShowRunWindow(windows, u"Nubelo Import");
      progress.DoEvents();
      progress.Refresh();
      run.emplace(set, options, lockWait, progress);
      return run->Run(filePath, diaryMdbPath);
    } catch (const ImportFailure& placed) {
      failure = placed;
    } catch (...) {
      failure = PlacedFailure({run ? run->step() : ImportStep::kStart, {}}, 0, std::current_exception());
    }
  }
  return Failed(windows, *failure);
}

}  // namespace nbl::importing
