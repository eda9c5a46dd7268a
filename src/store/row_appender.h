// Internal to the store: the append side of a Recordset, new rows of one table.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "store/sqlite_handle.h"
#include "store/stored_text.h"
#include "store/value.h"

namespace nbl::store::detail {

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
    if (!StoredAsIs(text)) {
      KeepUtf8(StoredUtf8(text), versions);
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
  Statement stmt;
  std::vector<std::uint64_t> bound;  // by parameter; 0 = nothing bound
};

class RowAppender {
 public:
  // Reads the columns of `table` on `db`. Throws StoreFailure for an unknown table.
  void Open(sqlite3* db, std::u16string_view table);
  void Close() noexcept;

  // The column `name` (case-insensitive); throws StoreFailure for an unknown one.
  int ColumnIndex(std::u16string_view name) const;
  bool pending() const { return pending_; }
  // Whether `index` names a column of a pending row: what setting it by index needs.
  bool Settable(int index) const { return pending_ && index >= 0 && static_cast<std::size_t>(index) < columns_.size(); }
  // Why a column cannot be set by `index`: no such column, or no row pending.
  [[noreturn]] void RefuseColumn(int index) const;

  // Starts a new row, storing a pending one first.
  void AddNew();
  void Set(int index, Value value);
  void SetText(int index, std::u16string_view text);
  void SetUtf8(int index, std::string_view text);
  // Stores the pending row; throws StoreFailure when the store refuses it.
  void Update();

 private:
  Insert& InsertFor(const std::vector<int>& shape);
  void MarkSet(int index);

  sqlite3* db_ = nullptr;
  std::u16string table_;
  std::vector<std::u16string> columns_;  // the table's own spelling
  bool pending_ = false;
  std::vector<Cell> cells_;                     // by column index
  std::vector<int> row_;                        // the columns set in this row, in the order first set
  std::vector<char> isSet_;                     // by column index
  std::map<std::vector<int>, Insert> inserts_;  // by column set, so a repeated row shape reuses one
  std::vector<int> lastShape_;                  // the column set of the last row stored, and its insert
  Insert* lastInsert_ = nullptr;
  std::uint64_t versions_ = 0;  // the last version a cell took
};

}  // namespace nbl::store::detail
