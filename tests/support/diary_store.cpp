#include "support/diary_store.h"

#include <sqlite3.h>

#include <stdexcept>

#include "common/text.h"
#include "store/connection.h"

namespace nbl::testing {
namespace {

struct Db {
  explicit Db(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot open test store " + path);
    }
  }
  ~Db() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

void Bind(sqlite3_stmt* st, int i, const Text& t) {
  if (t)
    sqlite3_bind_text(st, i, t->c_str(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
  else
    sqlite3_bind_null(st, i);
}

void Bind(sqlite3_stmt* st, int i, const std::optional<int>& v) {
  if (v)
    sqlite3_bind_int(st, i, *v);
  else
    sqlite3_bind_null(st, i);
}

}  // namespace

void MakeStore(const std::string& path, const std::vector<Row>& rows) {
  store::CreateDiaryStore(text::FromUtf8(path));
  Db d(path);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(d.db,
                     "INSERT INTO Contents (Day, Number, Weather, Genre, Private, Title, Contents, extend, excerpt, "
                     "TrackBack, PublishTime) VALUES (?, ?, '-', ?, ?, ?, ?, ?, '', '', ?)",
                     -1, &st, nullptr);
  for (const Row& r : rows) {
    Bind(st, 1, r.day);
    Bind(st, 2, r.number);
    Bind(st, 3, r.genre);
    Bind(st, 4, r.isPrivate);
    Bind(st, 5, r.title);
    Bind(st, 6, r.contents);
    Bind(st, 7, r.extend);
    Bind(st, 8, r.publishTime);
    if (sqlite3_step(st) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(d.db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

std::vector<std::vector<Text>> SqlRows(const std::string& path, const std::string& sql) {
  Db d(path);
  std::vector<std::vector<Text>> rows;
  auto collect = [](void* out, int n, char** values, char**) {
    auto& r = *static_cast<std::vector<std::vector<Text>>*>(out);
    r.emplace_back();
    for (int i = 0; i < n; ++i) r.back().push_back(values[i] != nullptr ? Text(values[i]) : std::nullopt);
    return 0;
  };
  char* message = nullptr;
  if (sqlite3_exec(d.db, sql.c_str(), collect, &rows, &message) != SQLITE_OK) {
    const std::string reason = message != nullptr ? message : sqlite3_errmsg(d.db);
    sqlite3_free(message);
    throw std::runtime_error("test SQL failed: " + reason);
  }
  return rows;
}

void ExecSql(const std::string& path, const std::string& sql) { SqlRows(path, sql); }

std::vector<std::string> QueryRows(const std::string& path, const std::string& sql) {
  std::vector<std::string> out;
  for (const std::vector<Text>& row : SqlRows(path, sql)) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + row[i].value_or("<NULL>");
    out.push_back(line);
  }
  return out;
}

}  // namespace nbl::testing
