// Import speed and memory: a generated diary file of N entries imported into a fresh store.
// Run one size per process (bench/compare does) so the peak memory is that size's own.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/text.h"
#include "dialogs/silent_ui.h"
#include "import/import_run.h"
#include "store/connection.h"

namespace {

// A diary file as the export writes it: a few days a month, each with a heading and some lines.
std::filesystem::path FileOf(int entries) {
  const auto path = std::filesystem::temp_directory_path() / ("nbl-bench-import-" + std::to_string(entries) + ".xml");
  if (std::filesystem::exists(path)) return path;
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
  for (int i = 0; i < entries; ++i) {
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", 2000 + i / 336 % 100, i / 28 % 12 + 1, i % 28 + 1);
    out << "<day date=\"" << day << "\" title=\"日記 " << i << " &amp; &lt;見出し&gt;\">\n<body>\n"
        << "*" << 1178000000 + i * 60 << "*今日の出来事\n"
        << "今日は晴れ－散歩した。&amp;lt;BR&amp;gt;" << std::string(200, 'x') << "&amp;lt;BR&amp;gt;line &amp;lt;3&amp;gt; 🍙\n"
        << "\n</body>\n</day>\n";
  }
  out << "</diary>";
  return path;
}

void BM_Import(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto file = FileOf(entries);
  const auto db = std::filesystem::temp_directory_path() / "nbl-bench-import.db";
  std::string failure;
  auto windows = nbl::dialogs::MakeSilentUi([&failure](std::u16string_view m) { failure = nbl::text::ToUtf8(m); });
  const nbl::ImportSettingNubelo set{u"<H2>", u"</H2>"};
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
    nbl::store::CreateDiaryStore(nbl::text::FromUtf8(db.string()));
    state.ResumeTiming();
    nbl::importing::ImportDiary(nbl::text::FromUtf8(file.string()), nbl::text::FromUtf8(db.string()), set, *windows);
  }
  if (!failure.empty()) state.SkipWithError(("the import failed: " + failure).c_str());
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(file)));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
}

BENCHMARK(BM_Import)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
