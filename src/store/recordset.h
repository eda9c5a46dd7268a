// An ADO-shaped record set: keyset (with record count) and forward-only reads
// of an SQL text, and appending rows to a table opened by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "store/value.h"

namespace nbl::store {

inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
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
  // table name opened for appending; otherwise it is an SQL text read row by row.
  // Throws StoreFailure on a bad SQL text or a closed connection.
  void Open(std::u16string_view source, Connection& connection, int cursorType, int lockType, int options);

  // Number of rows of a keyset read; -1 for a forward-only read.
  std::int32_t RecordCount() const;

  bool IsEOF() const;
  void MoveNext();

  // The current row's value of the column `name` (case-insensitive).
  // Throws StoreFailure at the end of rows or for an unknown column.
  Value Field(std::u16string_view name) const;

  // Appending: start a new row, set columns by name, store it (autocommit).
  void AddNew();
  void SetField(std::u16string_view name, Value value);
  void Update();

  void Close();
  bool IsOpen() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nbl::store
