// Import speed and memory: a generated diary file of N entries imported into a
// fresh store, beside the yardstick of SQLite inserting the same rows into a
// fresh store in one transaction.
// Run one benchmark per process (bench/compare does) so the peak memory is its own.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_support.h"
#include "common/records.h"
#include "common/text.h"
#include "dialogs/silent_ui.h"
#include "import/import_run.h"
#include "store/connection.h"
#include "stored_rows.h"

namespace {

// A new empty store at `db`, replacing what was there.
void FreshStore(const std::filesystem::path& db) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
  nbl::store::CreateDiaryStore(nbl::text::FromUtf8(db.string()));
}

void RemoveStore(const std::filesystem::path& db) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
}

// Imports the file into the store; the failure message, empty when it succeeded.
std::string Import(const std::filesystem::path& file, const std::filesystem::path& db) {
  std::string failure;
  auto windows = nbl::dialogs::MakeSilentUi([&failure](std::u16string_view m) { failure = nbl::text::ToUtf8(m); });
  const nbl::ImportSettingNubelo set = nbl::DefaultImportSetting();
  nbl::importing::ImportDiary(nbl::text::FromUtf8(file.string()), nbl::text::FromUtf8(db.string()), set, *windows);
  return failure;
}

void BM_Import(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto file = nbl::bench::DiaryFile(entries);
  const auto db = nbl::bench::ScratchPath("import.db");
  std::string failure;
  nbl::bench::TimeElapsed(
      state, [&] { failure = Import(file, db); }, [&] { FreshStore(db); });
  if (!failure.empty()) state.SkipWithError(("the import failed: " + failure).c_str());
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(file)));
  nbl::bench::RecordPeakMemory(state);
  RemoveStore(db);
}

// The rows the import stores, each column as stored, read back from a store it filled.
std::vector<nbl::bench::Row> RowsOfImport(const std::filesystem::path& file, std::string& failure) {
  const auto db = nbl::bench::ScratchPath("rows.db");
  FreshStore(db);
  failure = Import(file, db);
  std::vector<nbl::bench::Row> rows = nbl::bench::ReadStoredRows(db.string());
  RemoveStore(db);
  return rows;
}

// SQLite alone storing the import's rows: open the store as the import does,
// one transaction of prepared inserts bound without a copy, close.
void BM_RawInsert(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  std::string failure;
  const std::vector<nbl::bench::Row> rows = RowsOfImport(nbl::bench::DiaryFile(entries), failure);
  const auto db = nbl::bench::ScratchPath("insert.db");
  bool ok = true;
  nbl::bench::TimeElapsed(
      state, [&] { ok = nbl::bench::InsertStoredRows(rows, db.string()) && ok; }, [&] { FreshStore(db); });
  if (!failure.empty() || rows.size() != static_cast<std::size_t>(entries) || !ok) {
    state.SkipWithError(("the rows could not be stored: " + failure).c_str());
  }
  state.SetItemsProcessed(state.iterations() * entries);
  RemoveStore(db);
}

BENCHMARK(BM_Import)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_RawInsert)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace
