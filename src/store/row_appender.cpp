#include "store/row_appender.h"

#include <algorithm>
#include <utility>

#include "common/failure.h"

namespace nbl::store::detail {
namespace {

std::string QuoteIdentifier(std::u16string_view name) {
  std::string out = "\"";
  for (char c : text::ToUtf8(name)) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

void RowAppender::Open(sqlite3* db, std::u16string_view name) {
  db_ = db;
  const std::string what = "cannot open table " + Quoted(name) + " for adding rows";
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT name FROM pragma_table_info(?1);", -1, &raw, nullptr);
  Statement info(raw);
  if (rc != SQLITE_OK) Fail(what, db_, rc);
  const std::string utf8 = text::ToUtf8(name);
  sqlite3_bind_text(raw, 1, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
  std::vector<std::u16string> found;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    const auto* col = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    found.push_back(text::FromUtf8(col != nullptr ? col : ""));
  }
  if (rc != SQLITE_DONE) Fail(what, db_, rc);
  if (found.empty()) throw StoreFailure(what + ": no such table", LackingCause(db_, "no such table: " + utf8));
  table_ = name;
  columns_ = std::move(found);
  cells_.assign(columns_.size(), Cell{});
  isSet_.assign(columns_.size(), 0);
  pending_ = false;
  row_.clear();
}

void RowAppender::Close() noexcept {
  lastInsert_ = nullptr;
  lastShape_.clear();
  inserts_.clear();
  columns_.clear();
  cells_.clear();
  isSet_.clear();
  row_.clear();
  pending_ = false;
  db_ = nullptr;
}

int RowAppender::ColumnIndex(std::u16string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (text::EqualsIgnoringAsciiCase(columns_[i], name)) return static_cast<int>(i);
  }
  throw StoreFailure("table " + Quoted(table_) + " has no column " + Quoted(name),
                     LackingCause(db_, "no such column: " + text::ToUtf8(name)));
}

void RowAppender::RefuseColumn(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= columns_.size()) {
    throw StoreFailure("table " + Quoted(table_) + " has no column number " + std::to_string(index));
  }
  throw StoreFailure("cannot set column " + Quoted(columns_[static_cast<std::size_t>(index)]) + ": no row was added");
}

Insert& RowAppender::InsertFor(const std::vector<int>& shape) {
  if (lastInsert_ != nullptr && shape == lastShape_) return *lastInsert_;
  auto it = inserts_.find(shape);
  if (it == inserts_.end()) {
    std::string sql = "INSERT INTO " + QuoteIdentifier(table_);
    if (shape.empty()) {
      sql += " DEFAULT VALUES;";
    } else {
      std::string names, marks;
      for (std::size_t i = 0; i < shape.size(); ++i) {
        names += (i ? "," : "") + QuoteIdentifier(columns_[static_cast<std::size_t>(shape[i])]);
        marks += i ? ",?" : "?";
      }
      sql += " (" + names + ") VALUES (" + marks + ");";
    }
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    Statement stmt(raw);
    if (rc != SQLITE_OK) Fail("cannot add a row to " + Quoted(table_), db_, rc);
    it = inserts_.emplace(shape, Insert{std::move(stmt), std::vector<std::uint64_t>(shape.size(), 0)}).first;
  }
  lastShape_ = shape;
  lastInsert_ = &it->second;
  return *lastInsert_;
}

void RowAppender::Set(int index, Value value) {
  cells_[static_cast<std::size_t>(index)].Set(std::move(value), versions_);
  MarkSet(index);
}

void RowAppender::SetText(int index, std::u16string_view text) {
  cells_[static_cast<std::size_t>(index)].SetText(text, versions_);
  MarkSet(index);
}

void RowAppender::SetUtf8(int index, std::string_view text) {
  cells_[static_cast<std::size_t>(index)].SetUtf8(text, versions_);
  MarkSet(index);
}

// A column set twice keeps its first place in the row.
void RowAppender::MarkSet(int index) {
  char& set = isSet_[static_cast<std::size_t>(index)];
  if (!set) row_.push_back(index);
  set = 1;
}

void RowAppender::AddNew() {
  if (pending_) Update();
  for (const int index : row_) isSet_[static_cast<std::size_t>(index)] = 0;
  row_.clear();
  pending_ = true;
}

void RowAppender::Update() {
  pending_ = false;
  Insert& insert = InsertFor(row_);
  sqlite3_stmt* stmt = insert.stmt.get();
  int rc = SQLITE_OK;
  // A binding outlives the row: only what changed since is bound again, which
  // for the many alike rows of an import is most of the columns.
  for (std::size_t i = 0; i < row_.size() && rc == SQLITE_OK; ++i) {
    const Cell& cell = cells_[static_cast<std::size_t>(row_[i])];
    if (insert.bound[i] == cell.version) continue;
    rc = cell.Bind(stmt, static_cast<int>(i + 1));
    insert.bound[i] = cell.version;
  }
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);
    return;
  }
  // Taken before the reset, which clears the handle's error.
  StoreFailure failure = FailureOf("cannot add a row to " + Quoted(table_), db_, rc);
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  std::fill(insert.bound.begin(), insert.bound.end(), 0);
  throw failure;
}

}  // namespace nbl::store::detail
