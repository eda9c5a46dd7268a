#include "store/row_reader.h"

#include <algorithm>
#include <limits>

#include "common/failure.h"
#include "common/text.h"
#include "store/recordset.h"

namespace nbl::store::detail {
namespace {

// Column names compare without ASCII case, as the host's data access does.
std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = text::AsciiUpper(c);
  return out;
}

bool OnlyBlanks(const char* p) {
  for (; *p != '\0'; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  }
  return true;
}

}  // namespace

void RowReader::Open(sqlite3* db, std::u16string_view sql, int cursorType) {
  db_ = db;
  const std::string utf8 = text::ToUtf8(sql);
  const std::string what = "cannot run " + Quoted(sql);
  // SQLite stops reading at a NUL, which would run a different text than the one given.
  if (sql.find(u'\0') != std::u16string_view::npos) throw StoreFailure(what + ": the SQL text holds a NUL character");
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db_, utf8.c_str(), static_cast<int>(utf8.size() + 1), &raw, &tail);
  Statement stmt(raw);
  if (rc != SQLITE_OK) Fail(what, db_, rc);
  if (!stmt) throw StoreFailure(what + ": the SQL text is empty");
  // A second statement after the first (even a harmless one) is refused rather than silently skipped.
  if (tail != nullptr && !OnlyBlanks(tail)) {
    sqlite3_stmt* rest = nullptr;
    rc = sqlite3_prepare_v2(db_, tail, -1, &rest, nullptr);
    Statement restOwner(rest);
    if (rc != SQLITE_OK || rest != nullptr) throw StoreFailure(what + ": more than one statement");
  }
  // A read-only record set must not change the store, nor start a transaction on the connection.
  if (!sqlite3_stmt_readonly(stmt.get()) || sqlite3_column_count(stmt.get()) == 0) {
    throw StoreFailure(what + ": not a query that reads rows");
  }
  const bool counted = cursorType == adOpenKeyset || cursorType == adOpenStatic;
  if (!counted && cursorType != adOpenForwardOnly && cursorType != adOpenDynamic && cursorType != adOpenUnspecified) {
    throw StoreFailure(what + ": unsupported cursor type " + std::to_string(cursorType));
  }

  query_ = std::move(stmt);
  const int n = sqlite3_column_count(query_.get());
  for (int i = 0; i < n; ++i) {
    const char* name = sqlite3_column_name(query_.get(), i);
    const std::u16string folded = Fold(text::FromUtf8(name != nullptr ? name : ""));
    const auto dot = folded.rfind(u'.');
    fullNames_.push_back(folded);
    shortNames_.push_back(dot == std::u16string::npos ? folded : folded.substr(dot + 1));
  }
  numberTexts_.assign(fullNames_.size(), std::string());

  recordCount_ = -1;
  if (counted) {
    const std::int64_t count = CountRows(utf8, what);
    if (count > std::numeric_limits<std::int32_t>::max()) throw OverflowFailure(what + ": too many rows to count");
    recordCount_ = static_cast<std::int32_t>(count);
  }
  eof_ = !Step(what.c_str());
}

void RowReader::Close() noexcept {
  query_.reset();
  fullNames_.clear();
  shortNames_.clear();
  numberTexts_.clear();
  eof_ = true;
  recordCount_ = -1;
  db_ = nullptr;
}

// The rows of the query just prepared. SQLite counts "count(*)" over it
// reading only the columns its conditions name, where stepping through the
// query itself would read every text of every row, the largest included.
// Where the wrapped form does not prepare, the query is stepped through once.
std::int64_t RowReader::CountRows(std::string_view sql, const std::string& what) {
  std::string_view body = sql;
  while (!body.empty() && (body.back() == ';' || body.back() == ' ' || body.back() == '\n')) body.remove_suffix(1);
  std::string counting = "SELECT count(*) FROM (";
  counting.append(body).append("\n);");
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, counting.c_str(), -1, &raw, nullptr) == SQLITE_OK && raw != nullptr) {
    Statement count(raw);
    const int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW) Fail(what, db_, rc);
    return sqlite3_column_int64(raw, 0);
  }
  sqlite3_finalize(raw);
  std::int64_t count = 0;
  while (Step(what.c_str())) ++count;
  sqlite3_reset(query_.get());
  return count;
}

bool RowReader::Step(const char* what) {
  const int rc = sqlite3_step(query_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(what, db_, rc);
}

std::string_view RowReader::StoredBytes(int index) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(query_.get(), index));
  if (p == nullptr) {
    if (sqlite3_errcode(db_) == SQLITE_NOMEM)
      throw StoreFailure("out of memory reading column " + std::to_string(index));
    return {};
  }
  return std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(query_.get(), index)));
}

Value RowReader::Field(int index) const {
  switch (sqlite3_column_type(query_.get(), index)) {
    case SQLITE_NULL:
      return Value();
    case SQLITE_INTEGER:
      return Value::Integer(sqlite3_column_int64(query_.get(), index));
    case SQLITE_FLOAT:
      return Value::Double(sqlite3_column_double(query_.get(), index));
    default:  // TEXT, and BLOB read as UTF-8 text
      // Bytes that are not UTF-8 keep a mark of their own, so whoever writes the text out can replace and count them.
      return Value(text::FromUtf8MarkingBadBytes(StoredBytes(index)));
  }
}

int RowReader::ColumnIndex(std::u16string_view name) const {
  const std::u16string folded = Fold(name);
  for (const auto* names : {&fullNames_, &shortNames_}) {
    const auto hit = std::find(names->begin(), names->end(), folded);
    if (hit != names->end()) return static_cast<int>(hit - names->begin());
  }
  throw StoreFailure("the query has no column " + Quoted(name),
                     LackingCause(db_, "no such column: " + text::ToUtf8(name)));
}

std::optional<std::string_view> RowReader::FieldBytes(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= fullNames_.size())
    throw StoreFailure("cannot read column " + std::to_string(index) + ": the query has no such column");
  switch (sqlite3_column_type(query_.get(), index)) {
    case SQLITE_NULL:
      return std::nullopt;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
      // SQLite's own text of a double differs from the host language's, so numbers take Value's.
      std::string& number = numberTexts_[static_cast<std::size_t>(index)];
      number = text::ToUtf8(Field(index).CStr());
      return number;
    }
    default:  // TEXT, and BLOB read as UTF-8 text
      return StoredBytes(index);
  }
}

}  // namespace nbl::store::detail
