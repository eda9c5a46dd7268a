// An ADO-shaped connection to a diary store held in an SQLite file.
//
// Ownership: a Connection owns its database handle and releases it in its
// destructor (no explicit close is needed). A Recordset opened on it shares the
// handle, so the file stays open until the last of the two is gone, whatever
// order they are destroyed in. Nothing is shared between Connection objects.
#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

namespace nbl::store {

// How long a connection waits for a store another program is writing to before
// it fails, unless its host says otherwise: as long as a user would accept.
inline constexpr std::chrono::milliseconds kDefaultLockWait{30000};

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The connection text "Provider=...;Data Source=<path>"; used by Open when
  // it is given an empty text.
  void SetConnectionString(std::u16string_view text);

  // How the next Open uses the store: adModeRead makes the connection refuse
  // every statement that would change it; any other value reads and writes.
  void SetMode(int mode) { mode_ = mode; }

  // How long the connection the next Open makes waits for a store another
  // program holds before a statement fails (kDefaultLockWait unless set; a
  // negative wait is none).
  void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = std::max(wait, std::chrono::milliseconds(0)); }

  // Opens the existing database named by `connectionString` (or by the text set
  // before when it is empty) for reading and writing, or only reading in
  // adModeRead. Never creates a file.
  // Throws StoreFailure, naming the path and the reason, when the text names no
  // path, the file is missing, empty or not a database, or the connection is
  // already open. User, password and options are accepted and not used.
  void Open(std::u16string_view connectionString = {}, std::u16string_view user = {}, std::u16string_view password = {},
            int options = -1);

  bool IsOpen() const { return db_ != nullptr; }

  // Transactions; one at a time, no nesting. Each throws StoreFailure when the
  // connection is closed, when a transaction is (or is not) already open, or
  // when the store refuses.
  //
  // BeginTrans takes the store's write lock at once, waiting up to the lock wait
  // for another writer, so that nothing another connection writes can come
  // between what this one reads and what it writes. Rows added through record
  // sets on this connection are kept only by CommitTrans.
  void BeginTrans();
  // A read transaction: every read until CommitTrans or RollbackTrans sees one
  // snapshot of the store, while writers elsewhere go on.
  void BeginReadTrans();
  void CommitTrans();
  // Undoes everything since BeginTrans. Never throws: what it cannot undo, the
  // store undoes when the connection is released.
  void RollbackTrans() noexcept;
  bool InTransaction() const;
  sqlite3* handle() const { return db_.get(); }
  // The handle for a Recordset, which keeps it open as long as it needs it.
  std::shared_ptr<sqlite3> shared_handle() const { return db_; }

 private:
  void RequireNoTransaction(const char* action) const;
  void RequireTransaction(const char* action) const;

  std::u16string connectionString_;
  int mode_ = 0;
  std::chrono::milliseconds lockWait_ = kDefaultLockWait;
  std::shared_ptr<sqlite3> db_;
};

inline constexpr int adModeRead = 1;
inline constexpr int adModeReadWrite = 3;

// The connection text that names the store at a path: this prefix, then the path.
inline constexpr std::u16string_view kConnectionPrefix = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

// The database path named by "Data Source=" (key in any letter case) in a
// connection text: everything after it to the end of the text, so that a path
// holding ';' survives; empty when the key is absent.
std::u16string DataSourceOf(std::u16string_view connectionString);

// Creates a new, empty diary store at `path` (WAL journal, table Contents).
// Throws StoreFailure when the file exists or cannot be created; a file it
// created and could not finish is removed again.
void CreateDiaryStore(std::u16string_view path);

}  // namespace nbl::store
