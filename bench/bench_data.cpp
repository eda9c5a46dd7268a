#include "bench_data.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "common/text.h"
#include "store/connection.h"

namespace nbl::bench {

std::filesystem::path DiaryStore(int entries, int bodyBytes) {
  return CachedFile(
      "export-" + std::to_string(entries) + "-" + std::to_string(bodyBytes) + ".db",
      [entries, bodyBytes](const std::filesystem::path& path) {
        store::CreateDiaryStore(text::FromUtf8(path.string()));
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT INTO Contents (Day, Number, Weather, Genre, Private, Title, Contents, extend, PublishTime) "
            "VALUES (?, 1, '-', '一般', ?, ?, ?, '', ?)",
            -1, &st, nullptr);
        std::string body = "今日は晴れ - 散歩した。\r\n";
        while (static_cast<int>(body.size()) < bodyBytes - 40) {
          body +=
              body.size() % 3 == 0 ? "川沿いの道を歩いて、駅前の喫茶店に寄った。" : "Walked to the station, x < y.\r\n";
        }
        body += "\r\nline <3> & more 🍙";
        for (int i = 0; i < entries; ++i) {
          char day[16];
          std::snprintf(day, sizeof day, "%04d/%02d/%02d", 2000 + i / 336 % 100, i / 28 % 12 + 1, i % 28 + 1);
          const std::string title = "日記 " + std::to_string(i) + " <見出し> & \"引用\"";
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

std::filesystem::path DiaryFile(int entries) {
  return CachedFile("import-" + std::to_string(entries) + ".xml", [entries](const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
    for (int i = 0; i < entries; ++i) {
      char day[16];
      std::snprintf(day, sizeof day, "%04d-%02d-%02d", 2000 + i / 336 % 100, i / 28 % 12 + 1, i % 28 + 1);
      out << "<day date=\"" << day << "\" title=\"日記 " << i << " &amp; &lt;見出し&gt;\">\n<body>\n"
          << "*" << 1178000000 + i * 60 << "*今日の出来事\n"
          << "今日は晴れ－散歩した。&amp;lt;BR&amp;gt;" << std::string(200, 'x')
          << "&amp;lt;BR&amp;gt;line &amp;lt;3&amp;gt; 🍙\n"
          << "\n</body>\n</day>\n";
    }
    out << "</diary>";
  });
}

std::filesystem::path EmptyStore() {
  return CachedFile("empty.db",
                    [](const std::filesystem::path& path) { store::CreateDiaryStore(text::FromUtf8(path.string())); });
}

}  // namespace nbl::bench
