#include "store/stored_entries.h"

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <unordered_map>

#include "common/failure.h"
#include "store/sqlite_handle.h"
#include "store/stored_text.h"

namespace nbl::store {
namespace {

std::string_view ColumnBytes(sqlite3_stmt* st, int column) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
  if (p == nullptr) return {};
  return std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st, column)));
}

std::uint64_t HashOf(std::string_view day, std::string_view title, std::string_view contents) {
  std::uint64_t h = 0;
  for (const std::string_view part : {day, title, contents}) {
    h ^= std::hash<std::string_view>{}(part) + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
  }
  return h;
}

detail::Statement Prepare(sqlite3* db, const char* sql, const std::string& what) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  detail::Statement st(raw);
  if (rc != SQLITE_OK) detail::Fail(what, db, rc);
  return st;
}

}  // namespace

struct StoredEntries::Impl {
  sqlite3* db = nullptr;
  std::string what;
  std::unordered_multimap<std::uint64_t, std::int64_t> rows;  // hash of the three texts -> rowid
  detail::Statement same;                                     // is the row of rowid ?1 one with these texts?
  std::string_view texts[3];  // the texts of the last question, as the store would hold them
  std::string converted[3];   // those that are not stored as they are
  std::uint64_t lastHash = 0;

  [[noreturn]] void TooLong() const { throw StoreFailure(what + ": a text is too long for the store"); }

  // The bytes the store would hold for `text` (as SetUtf8 takes it): `text`
  // itself, or its stored form kept in `out`.
  static std::string_view StoredBytes(std::string_view text, std::string& out) {
    if (detail::StoredAsIs(text)) return text;
    out = detail::StoredUtf8(text);
    return out;
  }

  bool Same(std::int64_t rowid) {
    sqlite3_stmt* st = same.get();
    int rc = sqlite3_bind_int64(st, 1, rowid);
    for (int k = 0; k < 3 && rc == SQLITE_OK; ++k) {
      rc = sqlite3_bind_text(st, k + 2, texts[k].data(), static_cast<int>(texts[k].size()), SQLITE_STATIC);
    }
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    const bool found = rc == SQLITE_ROW;
    if (!found && rc != SQLITE_DONE) {
      const StoreFailure failure = detail::FailureOf(what, db, rc);
      sqlite3_reset(st);
      throw failure;
    }
    sqlite3_reset(st);
    return found;
  }
};

StoredEntries::StoredEntries(Connection& connection) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.db = connection.handle();
  if (m.db == nullptr) throw StoreFailure("cannot read the stored entries: the connection is closed");
  m.what = "cannot read the stored entries";
  m.same =
      Prepare(m.db, "SELECT 1 FROM Contents WHERE rowid = ?1 AND Day = ?2 AND Title = ?3 AND Contents = ?4;", m.what);
  // A Null is equal to nothing, so rows holding one are never found.
  detail::Statement scan = Prepare(
      m.db,
      "SELECT rowid, Day, Title, Contents FROM Contents WHERE Day NOTNULL AND Title NOTNULL AND Contents NOTNULL;",
      m.what);
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(scan.get())) == SQLITE_ROW) {
    sqlite3_stmt* st = scan.get();
    m.rows.emplace(HashOf(ColumnBytes(st, 1), ColumnBytes(st, 2), ColumnBytes(st, 3)), sqlite3_column_int64(st, 0));
  }
  if (rc != SQLITE_DONE) detail::Fail(m.what, m.db, rc);
}

StoredEntries::~StoredEntries() = default;

bool StoredEntries::Holds(std::string_view day, std::string_view title, std::string_view contents) {
  Impl& m = *impl_;
  m.texts[0] = m.StoredBytes(day, m.converted[0]);
  m.texts[1] = m.StoredBytes(title, m.converted[1]);
  m.texts[2] = m.StoredBytes(contents, m.converted[2]);
  for (const std::string_view t : m.texts) {
    if (t.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) m.TooLong();
  }
  m.lastHash = HashOf(m.texts[0], m.texts[1], m.texts[2]);
  const auto [first, last] = m.rows.equal_range(m.lastHash);
  for (auto it = first; it != last; ++it) {
    if (m.Same(it->second)) return true;
  }
  return false;
}

void StoredEntries::AddedLast() { impl_->rows.emplace(impl_->lastHash, sqlite3_last_insert_rowid(impl_->db)); }

}  // namespace nbl::store
