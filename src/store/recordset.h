// An ADO-shaped record set: keyset (with record count) and forward-only reads
// of an SQL text, and appending rows to a table opened by name.
//
// Ownership: a Recordset owns its prepared statements and finalizes them in
// Close or its destructor. It shares the database handle of the Connection it
// was opened on, so either may be released first. Values it returns are copies;
// the bytes of FieldBytes are views that it keeps valid as that method says.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "store/value.h"

namespace nbl::store {

inline constexpr int adOpenUnspecified = -1;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockUnspecified = -1;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockOptimistic = 3;
inline constexpr int adCmdTableDirect = 512;

class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens `source` on `connection`. With lockType adLockOptimistic `source` is a
  // table name opened for appending. With adLockReadOnly (or adLockUnspecified) it
  // is one SQL text that only reads and returns columns; the first row is
  // current after opening. A keyset or static cursor (adOpenKeyset, adOpenStatic) counts the rows at
  // opening with count(*) over the text, holding none of them. `options` is
  // accepted and not used.
  // Throws StoreFailure on a closed connection, an open Recordset, a bad, empty,
  // writing or multi-statement SQL text, an unknown table or an unsupported
  // cursor or lock type.
  void Open(std::u16string_view source, Connection& connection, int cursorType, int lockType, int options);

  // Number of rows of a keyset read, counted at opening; -1 for a forward-only
  // read and for appending. Throws StoreFailure when closed.
  std::int32_t RecordCount() const;

  // True past the last row of a read; always true when appending.
  // Throws StoreFailure when closed.
  bool IsEOF() const;
  // Next row of a read (StoreFailure past the end or when the store fails);
  // nothing when appending.
  void MoveNext();

  // The current row's value of the column `name` (case-insensitive; a column
  // written as "Table.Column" is found by "Column" too). Text and BLOBs are read
  // as UTF-8 into 16-bit units (text::FromUtf8MarkingBadBytes): characters outside
  // the BMP become surrogate pairs, and each byte that is not UTF-8 the lone
  // surrogate U+DC00 + byte. Throws StoreFailure at the end of rows, when
  // appending, or for an unknown column.
  Value Field(std::u16string_view name) const;

  // The position of the column `name`: in a read, found as Field finds it, for
  // FieldBytes; when appending, found as SetField finds it, for setting the
  // column by index below. Throws StoreFailure when closed or for an unknown column.
  int ColumnIndex(std::u16string_view name) const;

  // The current row's value of the column at `index` as UTF-8 bytes, without a
  // copy: text and BLOBs as the store holds them (unchecked, so they may hold
  // bytes that are not UTF-8; Field decodes the same bytes), numbers as the text
  // of Value::CStr, Null as nullopt. The bytes stay valid until the next
  // FieldBytes or Field of that column, MoveNext or Close. Throws StoreFailure
  // as Field does, and for an index that names no column.
  std::optional<std::string_view> FieldBytes(int index) const;

  // Appending: start a new row (a row pending from an earlier AddNew is stored
  // first), set columns by name (case-insensitive; an unknown column throws
  // StoreFailure), and store it with Update: at once, in its own transaction
  // unless the connection has one open (then the row is kept only by its commit).
  // A failed Update throws StoreFailure and abandons the row; rows stored before
  // stay. Update without AddNew throws StoreFailure.
  void AddNew();
  void SetField(std::u16string_view name, Value value);
  void Update();

  // For many rows: setting a column by its ColumnIndex, found once. Text is
  // stored as UTF-8, each lone surrogate (which UTF-8 cannot carry) as U+FFFD.
  // SetText converts `text` at once; it need not outlive the call. Each throws
  // StoreFailure where SetField by name would, and for an index the table has
  // no column at.
  void SetField(int index, Value value);
  void SetText(int index, std::u16string_view text);
  // Text given as UTF-8 the way TextToUtf8Bytes writes 16-bit text (a surrogate
  // outside a pair as its own three bytes), stored as SetText stores that text.
  // It is bound where it lies: `text` must stay as it is until the row is
  // stored (by Update, or by the next AddNew).
  void SetUtf8(int index, std::string_view text);

  // Finalizes the statements; a row added but not updated is abandoned. Closing
  // a closed Recordset does nothing.
  void Close();
  bool IsOpen() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nbl::store
