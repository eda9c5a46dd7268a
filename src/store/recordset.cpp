#include "store/recordset.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "store/sqlite_handle.h"
#include "store/stored_text.h"

namespace nbl::store {
namespace {

using detail::Quoted;

// Column names compare without ASCII case, as the host's data access does.
std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = text::AsciiUpper(c);
  return out;
}

std::string QuoteIdentifier(std::u16string_view name) {
  std::string out = "\"";
  for (char c : text::ToUtf8(name)) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool OnlyBlanks(const char* p) {
  for (; *p != '\0'; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  }
  return true;
}

enum class Mode { Closed, Read, Append };

// One column's value in the row being added, kept in the form it is bound in.
// Its buffers live on from row to row, so a run of rows allocates little, and a
// value set again as it was keeps its version, so the statement keeps its binding.
struct Cell {
  enum class Kind { Null, Utf8, Borrowed, Integer, Double } kind = Kind::Null;
  std::string utf8;
  std::string_view borrowed;  // the caller's UTF-8 (SetUtf8), bound where it lies
  std::int64_t integer = 0;
  double real = 0;
  std::uint64_t version = 0;  // changes with the value; 0 before the first

  // Texts up to this size are copied rather than borrowed, so that a repeated value is seen as one.
  static constexpr std::size_t kCopied = 64;

  void Changed(std::uint64_t& versions) { version = ++versions; }

  // `utf8` as stored, unless it is that already.
  void KeepUtf8(std::string&& text, std::uint64_t& versions) {
    if (kind == Kind::Utf8 && utf8 == text) return;
    kind = Kind::Utf8;
    utf8 = std::move(text);
    Changed(versions);
  }

  // Bound as our own UTF-8, never as UTF-16: SQLite would take a leading U+FEFF
  // or U+FFFE for a byte-order mark and join a lone surrogate with the next unit.
  void SetText(std::u16string_view text, std::uint64_t& versions) { KeepUtf8(text::ToUtf8(text), versions); }

  void SetUtf8(std::string_view text, std::uint64_t& versions) {
    // What the cell holds is stored as it is, so a text equal to it is stored as it is too.
    if (kind == Kind::Utf8 && text.size() <= kCopied && utf8 == text) return;
    if (!detail::StoredAsIs(text)) {
      KeepUtf8(detail::StoredUtf8(text), versions);
    } else if (text.size() <= kCopied) {
      kind = Kind::Utf8;
      utf8.assign(text);
      Changed(versions);
    } else {
      kind = Kind::Borrowed;
      borrowed = text;
      Changed(versions);
    }
  }

  void SetInteger(std::int64_t v, std::uint64_t& versions) {
    if (kind == Kind::Integer && integer == v) return;
    kind = Kind::Integer;
    integer = v;
    Changed(versions);
  }

  void Set(Value value, std::uint64_t& versions) {
    struct Visitor {
      Cell& c;
      std::uint64_t& versions;
      void operator()(std::monostate) const {
        if (c.kind == Kind::Null) return;
        c.kind = Kind::Null;
        c.Changed(versions);
      }
      void operator()(const std::u16string& t) const { c.SetText(t, versions); }
      void operator()(std::int64_t v) const { c.SetInteger(v, versions); }
      void operator()(double v) const {
        // Compared bit for bit: -0.0 and 0.0 differ, and a NaN is its own value.
        if (c.kind == Kind::Double && std::memcmp(&c.real, &v, sizeof v) == 0) return;
        c.kind = Kind::Double;
        c.real = v;
        c.Changed(versions);
      }
      // Stored as 1/0 so that "= TRUE" and "= FALSE" find it.
      void operator()(Value::BoolBox b) const { c.SetInteger(b.b ? 1 : 0, versions); }
    };
    std::visit(Visitor{*this, versions}, value.raw());
  }

  static int BindUtf8(sqlite3_stmt* stmt, int index, std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return SQLITE_TOOBIG;
    return sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  // The buffers stay bound until the cell's value changes.
  int Bind(sqlite3_stmt* stmt, int index) const {
    switch (kind) {
      case Kind::Null:
        return sqlite3_bind_null(stmt, index);
      case Kind::Integer:
        return sqlite3_bind_int64(stmt, index, integer);
      case Kind::Double:
        return sqlite3_bind_double(stmt, index, real);
      case Kind::Utf8:
        return BindUtf8(stmt, index, utf8);
      case Kind::Borrowed:
        return BindUtf8(stmt, index, borrowed);
    }
    return SQLITE_MISUSE;
  }
};

// A prepared insert of one column set, with the version of the cell each of its parameters was last bound to.
struct Insert {
  detail::Statement stmt;
  std::vector<std::uint64_t> bound;  // by parameter; 0 = nothing bound
};

}  // namespace

struct Recordset::Impl {
  Mode mode = Mode::Closed;
  std::shared_ptr<sqlite3> db;

  // Reading.
  detail::Statement query;
  std::vector<std::u16string> fullNames;         // folded, as SQLite names the result columns
  std::vector<std::u16string> shortNames;        // folded, the part after the last '.'
  mutable std::vector<std::string> numberTexts;  // per column, the bytes FieldBytes gave for a number
  std::int32_t recordCount = -1;
  bool eof = true;

  // Appending.
  std::u16string table;
  std::vector<std::u16string> columns;  // the table's own spelling
  bool pending = false;
  std::vector<Cell> cells;                     // by column index
  std::vector<int> row;                        // the columns set in this row, in the order first set
  std::vector<char> isSet;                     // by column index
  std::map<std::vector<int>, Insert> inserts;  // by column set, so a repeated row shape reuses one
  std::vector<int> lastShape;                  // the column set of the last row stored, and its insert
  Insert* lastInsert = nullptr;
  std::uint64_t versions = 0;  // the last version a cell took

  sqlite3* handle() const { return db.get(); }

  void RequireOpen() const {
    if (mode == Mode::Closed) throw StoreFailure("the record set is closed");
  }

  // Throws unless this is a read, standing on a row when `onRow`; `what()` begins
  // the message, and is only called for one, so that a read that succeeds builds no text.
  template <typename What>
  void RequireRead(What what, bool onRow) const {
    RequireOpen();
    if (mode != Mode::Read) throw StoreFailure(what() + ": the record set only adds rows");
    if (onRow && eof) throw StoreFailure(what() + ": there is no current row");
  }

  // The bytes of a TEXT or BLOB column of the current row.
  std::string_view StoredBytes(int index) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), index));
    if (p == nullptr) {
      if (sqlite3_errcode(handle()) == SQLITE_NOMEM)
        throw StoreFailure("out of memory reading column " + std::to_string(index));
      return {};
    }
    return std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(query.get(), index)));
  }

  // The current row's value of the column at `index`.
  Value Read(int index) const {
    switch (sqlite3_column_type(query.get(), index)) {
      case SQLITE_NULL:
        return Value();
      case SQLITE_INTEGER:
        return Value::Integer(sqlite3_column_int64(query.get(), index));
      case SQLITE_FLOAT:
        return Value::Double(sqlite3_column_double(query.get(), index));
      default:  // TEXT, and BLOB read as UTF-8 text
        // Bytes that are not UTF-8 keep a mark of their own, so whoever writes the text out can replace and count them.
        return Value(text::FromUtf8MarkingBadBytes(StoredBytes(index)));
    }
  }

  // Steps the query once; false at the end of rows.
  bool Step(const char* what) {
    const int rc = sqlite3_step(query.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    detail::Fail(what, handle(), rc);
  }

  void OpenRead(std::u16string_view sql, int cursorType) {
    const std::string utf8 = text::ToUtf8(sql);
    const std::string what = "cannot run " + Quoted(sql);
    // SQLite stops reading at a NUL, which would run a different text than the one given.
    if (sql.find(u'\0') != std::u16string_view::npos) throw StoreFailure(what + ": the SQL text holds a NUL character");
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(handle(), utf8.c_str(), static_cast<int>(utf8.size() + 1), &raw, &tail);
    detail::Statement stmt(raw);
    if (rc != SQLITE_OK) detail::Fail(what, handle(), rc);
    if (!stmt) throw StoreFailure(what + ": the SQL text is empty");
    // A second statement after the first (even a harmless one) is refused rather than silently skipped.
    if (tail != nullptr && !OnlyBlanks(tail)) {
      sqlite3_stmt* rest = nullptr;
      rc = sqlite3_prepare_v2(handle(), tail, -1, &rest, nullptr);
      detail::Statement restOwner(rest);
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

    query = std::move(stmt);
    const int n = sqlite3_column_count(query.get());
    for (int i = 0; i < n; ++i) {
      const char* name = sqlite3_column_name(query.get(), i);
      const std::u16string folded = Fold(text::FromUtf8(name != nullptr ? name : ""));
      const auto dot = folded.rfind(u'.');
      fullNames.push_back(folded);
      shortNames.push_back(dot == std::u16string::npos ? folded : folded.substr(dot + 1));
    }
    numberTexts.assign(fullNames.size(), std::string());

    recordCount = -1;
    if (counted) {
      const std::int64_t count = CountRows(utf8, what);
      if (count > std::numeric_limits<std::int32_t>::max()) throw OverflowFailure(what + ": too many rows to count");
      recordCount = static_cast<std::int32_t>(count);
    }
    eof = !Step(what.c_str());
    mode = Mode::Read;
  }

  // The rows of the query just prepared. SQLite counts "count(*)" over it
  // reading only the columns its conditions name, where stepping through the
  // query itself would read every text of every row, the largest included.
  // Where the wrapped form does not prepare, the query is stepped through once.
  std::int64_t CountRows(std::string_view sql, const std::string& what) {
    std::string_view body = sql;
    while (!body.empty() && (body.back() == ';' || body.back() == ' ' || body.back() == '\n')) body.remove_suffix(1);
    std::string counting = "SELECT count(*) FROM (";
    counting.append(body).append("\n);");
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(handle(), counting.c_str(), -1, &raw, nullptr) == SQLITE_OK && raw != nullptr) {
      detail::Statement count(raw);
      const int rc = sqlite3_step(raw);
      if (rc != SQLITE_ROW) detail::Fail(what, handle(), rc);
      return sqlite3_column_int64(raw, 0);
    }
    sqlite3_finalize(raw);
    std::int64_t count = 0;
    while (Step(what.c_str())) ++count;
    sqlite3_reset(query.get());
    return count;
  }

  void OpenAppend(std::u16string_view name) {
    const std::string what = "cannot open table " + Quoted(name) + " for adding rows";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(handle(), "SELECT name FROM pragma_table_info(?1);", -1, &raw, nullptr);
    detail::Statement info(raw);
    if (rc != SQLITE_OK) detail::Fail(what, handle(), rc);
    const std::string utf8 = text::ToUtf8(name);
    sqlite3_bind_text(raw, 1, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    std::vector<std::u16string> found;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      const auto* col = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
      found.push_back(text::FromUtf8(col != nullptr ? col : ""));
    }
    if (rc != SQLITE_DONE) detail::Fail(what, handle(), rc);
    if (found.empty())
      throw StoreFailure(what + ": no such table", detail::LackingCause(handle(), "no such table: " + utf8));
    table = name;
    columns = std::move(found);
    cells.assign(columns.size(), Cell{});
    isSet.assign(columns.size(), 0);
    pending = false;
    row.clear();
    mode = Mode::Append;
  }

  int TableColumnIndex(std::u16string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (text::EqualsIgnoringAsciiCase(columns[i], name)) return static_cast<int>(i);
    }
    throw StoreFailure("table " + Quoted(table) + " has no column " + Quoted(name),
                       detail::LackingCause(handle(), "no such column: " + text::ToUtf8(name)));
  }

  Insert& InsertFor(const std::vector<int>& shape) {
    if (lastInsert != nullptr && shape == lastShape) return *lastInsert;
    auto it = inserts.find(shape);
    if (it == inserts.end()) {
      std::string sql = "INSERT INTO " + QuoteIdentifier(table);
      if (shape.empty()) {
        sql += " DEFAULT VALUES;";
      } else {
        std::string names, marks;
        for (std::size_t i = 0; i < shape.size(); ++i) {
          names += (i ? "," : "") + QuoteIdentifier(columns[static_cast<std::size_t>(shape[i])]);
          marks += i ? ",?" : "?";
        }
        sql += " (" + names + ") VALUES (" + marks + ");";
      }
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v3(handle(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
      detail::Statement stmt(raw);
      if (rc != SQLITE_OK) detail::Fail("cannot add a row to " + Quoted(table), handle(), rc);
      it = inserts.emplace(shape, Insert{std::move(stmt), std::vector<std::uint64_t>(shape.size(), 0)}).first;
    }
    lastShape = shape;
    lastInsert = &it->second;
    return *lastInsert;
  }

  void Set(int index, Value value) {
    cells[static_cast<std::size_t>(index)].Set(std::move(value), versions);
    MarkSet(index);
  }

  void SetText(int index, std::u16string_view text) {
    cells[static_cast<std::size_t>(index)].SetText(text, versions);
    MarkSet(index);
  }

  void SetUtf8(int index, std::string_view text) {
    cells[static_cast<std::size_t>(index)].SetUtf8(text, versions);
    MarkSet(index);
  }

  // What SetField by name checks, for a column given by its index.
  void RequireColumn(int index) const {
    if (mode == Mode::Append && pending && index >= 0 && static_cast<std::size_t>(index) < columns.size()) [[likely]]
      return;
    RefuseColumn(index);
  }

  [[noreturn]] void RefuseColumn(int index) const {
    RequireOpen();
    if (mode != Mode::Append) throw StoreFailure("cannot set a column: the record set was opened read-only");
    if (index < 0 || static_cast<std::size_t>(index) >= columns.size()) {
      throw StoreFailure("table " + Quoted(table) + " has no column number " + std::to_string(index));
    }
    // What is left: no row is pending.
    throw StoreFailure("cannot set column " + Quoted(columns[static_cast<std::size_t>(index)]) + ": no row was added");
  }

  // A column set twice keeps its first place in the row.
  void MarkSet(int index) {
    char& set = isSet[static_cast<std::size_t>(index)];
    if (!set) row.push_back(index);
    set = 1;
  }

  void StartRow() {
    for (const int index : row) isSet[static_cast<std::size_t>(index)] = 0;
    row.clear();
    pending = true;
  }

  void StorePending() {
    pending = false;
    Insert& insert = InsertFor(row);
    sqlite3_stmt* stmt = insert.stmt.get();
    int rc = SQLITE_OK;
    // A binding outlives the row: only what changed since is bound again, which
    // for the many alike rows of an import is most of the columns.
    for (std::size_t i = 0; i < row.size() && rc == SQLITE_OK; ++i) {
      const Cell& cell = cells[static_cast<std::size_t>(row[i])];
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
    StoreFailure failure = detail::FailureOf("cannot add a row to " + Quoted(table), handle(), rc);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    std::fill(insert.bound.begin(), insert.bound.end(), 0);
    throw failure;
  }

  void Close() noexcept {
    query.reset();
    lastInsert = nullptr;
    lastShape.clear();
    inserts.clear();
    fullNames.clear();
    shortNames.clear();
    numberTexts.clear();
    columns.clear();
    cells.clear();
    isSet.clear();
    row.clear();
    pending = false;
    eof = true;
    recordCount = -1;
    db.reset();
    mode = Mode::Closed;
  }
};

Recordset::Recordset() : impl_(std::make_unique<Impl>()) {}
Recordset::~Recordset() { impl_->Close(); }

void Recordset::Open(std::u16string_view source, Connection& connection, int cursorType, int lockType,
                     int /*options*/) {
  if (impl_->mode != Mode::Closed)
    throw StoreFailure("cannot open " + Quoted(source) + ": the record set is already open");
  if (!connection.IsOpen()) throw StoreFailure("cannot open " + Quoted(source) + ": the connection is closed");
  impl_->db = connection.shared_handle();
  try {
    if (lockType == adLockOptimistic) {
      impl_->OpenAppend(source);
    } else if (lockType == adLockReadOnly || lockType == adLockUnspecified) {
      impl_->OpenRead(source, cursorType);
    } else {
      throw StoreFailure("cannot open " + Quoted(source) + ": unsupported lock type " + std::to_string(lockType));
    }
  } catch (...) {
    impl_->Close();
    throw;
  }
}

std::int32_t Recordset::RecordCount() const {
  impl_->RequireOpen();
  return impl_->mode == Mode::Read ? impl_->recordCount : -1;
}

bool Recordset::IsEOF() const {
  impl_->RequireOpen();
  return impl_->mode == Mode::Read ? impl_->eof : true;
}

void Recordset::MoveNext() {
  impl_->RequireOpen();
  if (impl_->mode == Mode::Append) return;
  if (impl_->eof) throw StoreFailure("cannot move past the last row");
  impl_->eof = !impl_->Step("cannot read the next row");
}

int Recordset::ColumnIndex(std::u16string_view name) const {
  impl_->RequireOpen();
  if (impl_->mode == Mode::Append) return impl_->TableColumnIndex(name);
  impl_->RequireRead([name] { return "cannot find column " + Quoted(name); }, false);
  const std::u16string folded = Fold(name);
  for (const auto* names : {&impl_->fullNames, &impl_->shortNames}) {
    const auto hit = std::find(names->begin(), names->end(), folded);
    if (hit != names->end()) return static_cast<int>(hit - names->begin());
  }
  throw StoreFailure("the query has no column " + Quoted(name),
                     detail::LackingCause(impl_->handle(), "no such column: " + text::ToUtf8(name)));
}

std::optional<std::string_view> Recordset::FieldBytes(int index) const {
  impl_->RequireRead([index] { return "cannot read column " + std::to_string(index); }, true);
  if (index < 0 || static_cast<std::size_t>(index) >= impl_->fullNames.size())
    throw StoreFailure("cannot read column " + std::to_string(index) + ": the query has no such column");
  switch (sqlite3_column_type(impl_->query.get(), index)) {
    case SQLITE_NULL:
      return std::nullopt;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
      // SQLite's own text of a double differs from the host language's, so numbers take Value's.
      std::string& number = impl_->numberTexts[static_cast<std::size_t>(index)];
      number = text::ToUtf8(impl_->Read(index).CStr());
      return number;
    }
    default:  // TEXT, and BLOB read as UTF-8 text
      return impl_->StoredBytes(index);
  }
}

Value Recordset::Field(std::u16string_view name) const {
  impl_->RequireRead([name] { return "cannot read column " + Quoted(name); }, true);
  return impl_->Read(ColumnIndex(name));
}

void Recordset::AddNew() {
  impl_->RequireOpen();
  if (impl_->mode != Mode::Append) throw StoreFailure("cannot add a row: the record set was opened read-only");
  if (impl_->pending) impl_->StorePending();
  impl_->StartRow();
}

void Recordset::SetField(std::u16string_view name, Value value) {
  impl_->RequireOpen();
  if (impl_->mode != Mode::Append)
    throw StoreFailure("cannot set column " + Quoted(name) + ": the record set was opened read-only");
  if (!impl_->pending) throw StoreFailure("cannot set column " + Quoted(name) + ": no row was added");
  impl_->Set(impl_->TableColumnIndex(name), std::move(value));
}

void Recordset::SetField(int index, Value value) {
  impl_->RequireColumn(index);
  impl_->Set(index, std::move(value));
}

void Recordset::SetText(int index, std::u16string_view text) {
  impl_->RequireColumn(index);
  impl_->SetText(index, text);
}

void Recordset::SetUtf8(int index, std::string_view text) {
  impl_->RequireColumn(index);
  impl_->SetUtf8(index, text);
}

void Recordset::Update() {
  impl_->RequireOpen();
  if (impl_->mode != Mode::Append || !impl_->pending) throw StoreFailure("cannot update: no row was added");
  impl_->StorePending();
}

void Recordset::Close() { impl_->Close(); }

bool Recordset::IsOpen() const { return impl_->mode != Mode::Closed; }

}  // namespace nbl::store
