// Export speed and memory: a store of N generated entries exported to a file.
// Run one size per process (bench/compare does) so the peak memory is that size's own.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "common/text.h"
#include "dialogs/silent_ui.h"
#include "export/export_run.h"
#include "store/connection.h"

namespace {

std::filesystem::path StoreOf(int entries) {
  const auto path = std::filesystem::temp_directory_path() / ("nbl-bench-export-" + std::to_string(entries) + ".db");
  if (std::filesystem::exists(path)) return path;
  nbl::store::CreateDiaryStore(nbl::text::FromUtf8(path.string()));
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
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
  return path;
}

void BM_Export(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto db = StoreOf(entries);
  const auto out = std::filesystem::temp_directory_path() / "nbl-bench-export.xml";
  std::string failure;
  auto windows = nbl::dialogs::MakeSilentUi([&failure](std::u16string_view m) { failure = nbl::text::ToUtf8(m); });
  const nbl::ExportSettingNubelo set{u"", u"", u"", 0, 0, 1, 1, 1};
  for (auto _ : state) {
    nbl::exporting::ExportDiary(nbl::text::FromUtf8(out.string()), nbl::text::FromUtf8(db.string()), set, *windows);
  }
  if (!failure.empty()) state.SkipWithError(("the export failed: " + failure).c_str());
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(out)));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::filesystem::remove(out);
}

BENCHMARK(BM_Export)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
