// Export speed and memory: a store of N generated entries of about B bytes
// each exported to a file, beside yardsticks on the same store: reading the
// store file and writing as many bytes as the document has (the limit of the
// disk and the kernel); a bare SQLite scan of every text; and the floor of any
// export, that scan plus writing and syncing the document's bytes.
// Run one benchmark per process (bench/compare does) so the peak memory is its own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_support.h"
#include "common/records.h"
#include "common/text.h"
#include "dialogs/silent_ui.h"
#include "export/export_run.h"
#include "store/connection.h"

namespace {

std::filesystem::path StoreOf(const benchmark::State& state) {
  return nbl::bench::DiaryStore(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

// Steps through every row and reads every column as UTF-8 text, as stored; the number of rows.
std::size_t Scan(const std::filesystem::path& db) {
  sqlite3* handle = nullptr;
  sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(handle, "SELECT * FROM Contents", -1, &st, nullptr);
  std::size_t bytes = 0, rows = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      benchmark::DoNotOptimize(sqlite3_column_text(st, c));
      bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, c));
    }
    ++rows;
  }
  sqlite3_finalize(st);
  sqlite3_close(handle);
  benchmark::DoNotOptimize(bytes);
  return rows;
}

// Writes `size` bytes from `buffer` over and over to `out`, syncs and closes it; false on a failure.
bool WriteSynced(const std::filesystem::path& out, const std::vector<char>& buffer, std::uintmax_t size) {
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (std::uintmax_t left = size; left > 0;) {
    const auto n = ::write(fd, buffer.data(), std::min<std::uintmax_t>(left, buffer.size()));
    if (n <= 0) break;
    left -= static_cast<std::uintmax_t>(n);
  }
  return ::fsync(fd) == 0 && ::close(fd) == 0 && std::filesystem::file_size(out) == size;
}

// Exports the store to `out`; the failure message, empty when it succeeded.
std::string Export(const std::filesystem::path& db, const std::filesystem::path& out) {
  std::string failure;
  auto windows = nbl::dialogs::MakeSilentUi([&failure](std::u16string_view m) { failure = nbl::text::ToUtf8(m); });
  const nbl::ExportSettingNubelo set = nbl::DefaultExportSetting();
  nbl::exporting::ExportDiary(nbl::text::FromUtf8(out.string()), nbl::text::FromUtf8(db.string()), set, *windows);
  return failure;
}

void BM_Export(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto db = StoreOf(state);
  const auto out = nbl::bench::ScratchPath("export.xml");
  std::string failure;
  nbl::bench::TimeCpu(state, [&] { failure = Export(db, out); });
  if (!failure.empty()) state.SkipWithError(("the export failed: " + failure).c_str());
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(out)));
  nbl::bench::RecordPeakMemory(state);
  std::filesystem::remove(out);
}

// The size of the document an export of the store writes; 0 when the export fails.
std::uintmax_t DocumentSize(benchmark::State& state, const std::filesystem::path& db) {
  const auto out = nbl::bench::ScratchPath("size.xml");
  if (const std::string failure = Export(db, out); !failure.empty()) {
    state.SkipWithError(("the export failed: " + failure).c_str());
    return 0;
  }
  const auto size = std::filesystem::file_size(out);
  std::filesystem::remove(out);
  return size;
}

// Reads the whole store file and writes as many bytes as the export's document
// holds, with the same closing sync: what no export can beat on this machine.
void BM_ReadWriteLimit(benchmark::State& state) {
  const auto db = StoreOf(state);
  const auto out = nbl::bench::ScratchPath("limit.xml");
  const std::uintmax_t document = DocumentSize(state, db);
  if (document == 0) return;
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  nbl::bench::TimeCpu(state, [&] {
    const int in = ::open(db.c_str(), O_RDONLY);
    while (::read(in, buffer.data(), buffer.size()) > 0) {
    }
    ::close(in);
    ok = ok && WriteSynced(out, buffer, document);
  });
  if (!ok) state.SkipWithError("the read and write failed");
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document));
  std::filesystem::remove(out);
}

void BM_SqliteScan(benchmark::State& state) {
  const auto db = StoreOf(state);
  std::size_t rows = 0;
  nbl::bench::TimeCpu(state, [&] { rows = Scan(db); });
  if (rows != static_cast<std::size_t>(state.range(0))) state.SkipWithError("the scan missed rows");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The floor of any export of the store: one plain C scan that touches every
// stored text, then the document's bytes written and synced.
void BM_ExportFloor(benchmark::State& state) {
  const auto db = StoreOf(state);
  const auto out = nbl::bench::ScratchPath("floor.xml");
  const std::uintmax_t document = DocumentSize(state, db);
  if (document == 0) return;
  std::vector<char> buffer(1 << 20, 'x');
  bool ok = true;
  nbl::bench::TimeCpu(state, [&] {
    ok = ok && Scan(db) == static_cast<std::size_t>(state.range(0)) && WriteSynced(out, buffer, document);
  });
  if (!ok) state.SkipWithError("the scan or the write failed");
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document));
  std::filesystem::remove(out);
}

// Entries and body bytes: short entries by the thousand and by the hundred thousand, for the memory
// that must not grow with them; entries of about 1.2 KB, for the speed against the floor.
void Sizes(benchmark::internal::Benchmark* b) { b->Args({2000, 300})->Args({200000, 300})->Args({100000, 1200}); }

BENCHMARK(BM_Export)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_ReadWriteLimit)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SqliteScan)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_ExportFloor)->Args({100000, 1200})->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
