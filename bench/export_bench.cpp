// Export speed and memory: a store of N generated entries exported to a file,
// beside two yardsticks on the same store: reading the store file and writing
// as many bytes as the document has (the limit of the disk and the kernel),
// and a bare SQLite scan of every text.
// Run one benchmark per process (bench/compare does) so the peak memory is its own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/records.h"
#include "common/text.h"
#include "dialogs/silent_ui.h"
#include "export/export_run.h"
#include "store/connection.h"

namespace {

std::filesystem::path StoreOf(int entries) {
  return nbl::bench::CachedFile(
      "export-" + std::to_string(entries) + ".db", [entries](const std::filesystem::path& path) {
        nbl::store::CreateDiaryStore(nbl::text::FromUtf8(path.string()));
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT INTO Contents (Day, Number, Weather, Genre, Private, Title, Contents, extend, PublishTime) "
            "VALUES (?, 1, '-', '一般', ?, ?, ?, '', ?)",
            -1, &st, nullptr);
        for (int i = 0; i < entries; ++i) {
          char day[16];
          std::snprintf(day, sizeof day, "%04d/%02d/%02d", 2000 + i / 336 % 100, i / 28 % 12 + 1, i % 28 + 1);
          const std::string title = "日記 " + std::to_string(i) + " <見出し> & \"引用\"";
          const std::string body = "今日は晴れ - 散歩した。\r\n" + std::string(200, 'x') + "\r\nline <3> & more 🍙";
          const std::string publish = std::string(day) + " 12:34:56";
          sqlite3_bind_text(st, 1, day, -1, SQLITE_TRANSIENT);
          sqlite3_bind_int(st, 2, i % 2);
          sqlite3_bind_text(st, 3, title.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(st, 4, body.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(st, 5, publish.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_step(st);
          sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
      });
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
  const auto db = StoreOf(entries);
  const auto out = nbl::bench::ScratchPath("export.xml");
  std::string failure;
  nbl::bench::TimeCpu(state, [&] { failure = Export(db, out); });
  if (!failure.empty()) state.SkipWithError(("the export failed: " + failure).c_str());
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(out)));
  nbl::bench::RecordPeakMemory(state);
  std::filesystem::remove(out);
}

// Reads the whole store file and writes as many bytes as the export's document
// holds, with the same closing sync: what no export can beat on this machine.
void BM_ReadWriteLimit(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto db = StoreOf(entries);
  const auto out = nbl::bench::ScratchPath("limit.xml");
  if (const std::string failure = Export(db, out); !failure.empty()) {
    state.SkipWithError(("the export failed: " + failure).c_str());
    return;
  }
  const auto document = std::filesystem::file_size(out);
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  nbl::bench::TimeCpu(state, [&] {
    const int in = ::open(db.c_str(), O_RDONLY);
    while (::read(in, buffer.data(), buffer.size()) > 0) {
    }
    ::close(in);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (std::uintmax_t left = document; left > 0;) {
      const auto n = ::write(fd, buffer.data(), std::min<std::uintmax_t>(left, buffer.size()));
      if (n <= 0) break;
      left -= static_cast<std::uintmax_t>(n);
    }
    ok = ok && ::fsync(fd) == 0 && ::close(fd) == 0 && std::filesystem::file_size(out) == document;
  });
  if (!ok) state.SkipWithError("the read and write failed");
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document));
  std::filesystem::remove(out);
}

// Steps through every row and reads every column as UTF-8 text, as stored.
void BM_SqliteScan(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto db = StoreOf(entries);
  std::size_t rows = 0;
  nbl::bench::TimeCpu(state, [&] {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(handle, "SELECT * FROM Contents", -1, &st, nullptr);
    std::size_t bytes = 0;
    rows = 0;
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
  });
  if (rows != static_cast<std::size_t>(entries)) state.SkipWithError("the scan missed rows");
  state.SetItemsProcessed(state.iterations() * entries);
}

BENCHMARK(BM_Export)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_ReadWriteLimit)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SqliteScan)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
