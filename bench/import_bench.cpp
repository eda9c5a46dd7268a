// Import speed and memory: a generated diary file of N entries imported into a
// fresh store, beside the yardstick of SQLite inserting the same rows into a
// fresh store in one transaction.
// Run one benchmark per process (bench/compare does) so the peak memory is its own.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_support.h"
#include "common/records.h"
#include "common/text.h"
#include "dialogs/silent_ui.h"
#include "import/import_run.h"
#include "store/connection.h"

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

struct Finalize {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};

// One column of a stored row, held as SQLite handed it out.
struct Column {
  int type = SQLITE_NULL;
  sqlite3_int64 integer = 0;
  double real = 0;
  std::string bytes;  // text or blob
};
using Row = std::vector<Column>;

// The rows the import stores, each column as stored, read back from a store it filled.
std::vector<Row> RowsOfImport(const std::filesystem::path& file, int& columns, std::string& failure) {
  const auto db = nbl::bench::ScratchPath("rows.db");
  FreshStore(db);
  failure = Import(file, db);
  sqlite3* handle = nullptr;
  sqlite3_open(db.c_str(), &handle);
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(handle, "SELECT * FROM Contents", -1, &raw, nullptr);
  const std::unique_ptr<sqlite3_stmt, Finalize> st(raw);
  columns = sqlite3_column_count(raw);
  std::vector<Row> rows;
  while (sqlite3_step(raw) == SQLITE_ROW) {
    Row row(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      Column& column = row[static_cast<std::size_t>(c)];
      column.type = sqlite3_column_type(raw, c);
      if (column.type == SQLITE_INTEGER) column.integer = sqlite3_column_int64(raw, c);
      if (column.type == SQLITE_FLOAT) column.real = sqlite3_column_double(raw, c);
      if (column.type == SQLITE_TEXT || column.type == SQLITE_BLOB) {
        const void* p = column.type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(raw, c))
                                                   : sqlite3_column_blob(raw, c);
        column.bytes.assign(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(raw, c)));
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_close_v2(handle);
  RemoveStore(db);
  return rows;
}

int Bind(sqlite3_stmt* st, int index, const Column& column) {
  const int size = static_cast<int>(column.bytes.size());
  switch (column.type) {
    case SQLITE_INTEGER:
      return sqlite3_bind_int64(st, index, column.integer);
    case SQLITE_FLOAT:
      return sqlite3_bind_double(st, index, column.real);
    case SQLITE_TEXT:
      return sqlite3_bind_text(st, index, column.bytes.data(), size, SQLITE_STATIC);
    case SQLITE_BLOB:
      return sqlite3_bind_blob(st, index, column.bytes.data(), size, SQLITE_STATIC);
    default:
      return sqlite3_bind_null(st, index);
  }
}

// SQLite alone storing the import's rows: open the store as the import does,
// one transaction of prepared inserts bound without a copy, close.
void BM_RawInsert(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  int columns = 0;
  std::string failure;
  const std::vector<Row> rows = RowsOfImport(nbl::bench::DiaryFile(entries), columns, failure);
  const auto db = nbl::bench::ScratchPath("insert.db");
  std::string sql = "INSERT INTO Contents VALUES (?";
  for (int c = 1; c < columns; ++c) sql += ", ?";
  sql += ")";
  bool ok = true;
  const auto insert = [&] {
    sqlite3* handle = nullptr;
    // The flags the import's connection opens with.
    ok = ok &&
         sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK &&
         sqlite3_exec(handle, "PRAGMA synchronous=NORMAL; BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(handle, sql.c_str(), -1, &st, nullptr);
    for (const Row& row : rows) {
      for (int c = 0; c < columns; ++c) ok = ok && Bind(st, c + 1, row[static_cast<std::size_t>(c)]) == SQLITE_OK;
      ok = ok && sqlite3_step(st) == SQLITE_DONE;
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
  };
  nbl::bench::TimeElapsed(state, insert, [&] { FreshStore(db); });
  if (!failure.empty() || rows.size() != static_cast<std::size_t>(entries) || !ok) {
    state.SkipWithError(("the rows could not be stored: " + failure).c_str());
  }
  state.SetItemsProcessed(state.iterations() * entries);
  RemoveStore(db);
}

BENCHMARK(BM_Import)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_RawInsert)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace
