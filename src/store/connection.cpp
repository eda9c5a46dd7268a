#include "store/connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"
#include "store/read_ahead_vfs.h"
#include "store/schema.h"
#include "store/sqlite_handle.h"
#include "store/store_platform.h"

namespace nbl::store {
namespace detail {
namespace {

std::string DatabaseFile(sqlite3* db) {
  const char* name = db != nullptr ? sqlite3_db_filename(db, "main") : nullptr;
  return name != nullptr ? name : "";
}

}  // namespace

std::string LackingCause(sqlite3* db, const std::string& lack) {
  return "'" + DatabaseFile(db) + "' lacks what a diary store holds (" + lack + "); give the path of a diary store";
}

std::string PlainCause(sqlite3* db, int rc, std::string path) {
  if (path.empty()) path = DatabaseFile(db);
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "the diary store '" + path + "' is locked by another program; close it there or try again when it is done";
    case SQLITE_NOTADB:
      return "'" + path + "' is not a SQLite database; give the path of a diary store";
    case SQLITE_FULL:
      return files::CauseOfErrno(ENOSPC, path);
    case SQLITE_READONLY:
      // The store writes its journal beside it, so a folder it may not write to refuses it too.
      if (rc == SQLITE_READONLY_DIRECTORY) return files::CauseOfErrno(EACCES, platform::FolderOf(path));
      return files::CauseOfErrno(EACCES, path);
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return files::CauseOfErrno(EACCES, path);
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      if (platform::JournalCannotBeReplayed(path)) {
        return "the journal '" + path + "-wal' of the diary store cannot be replayed because its folder is " +
               "read-only; make the folder writable, or copy the store and its -wal file to a writable folder";
      }
      const int err = db != nullptr ? sqlite3_system_errno(db) : 0;
      if (err != 0) return platform::CauseOfSystemError(err, path);
      const int fullness = (rc & 0xFF) == SQLITE_IOERR ? platform::FullnessOf(path) : 0;
      return fullness != 0 ? files::CauseOfErrno(fullness, path) : std::string();
    }
    case SQLITE_ERROR: {
      const std::string message = db != nullptr ? sqlite3_errmsg(db) : "";
      if (message.rfind("no such table", 0) == 0 || message.rfind("no such column", 0) == 0)
        return LackingCause(db, message);
      return {};
    }
    default:
      return {};
  }
}

StoreFailure FailureOf(const std::string& what, sqlite3* db, int rc, const std::string& path) {
  return StoreFailure(what + ": " + ErrorText(db, rc), PlainCause(db, rc, path));
}

}  // namespace detail

namespace {

using detail::Quoted;

// The UTF-8 form SQLite and POSIX take; a NUL inside would silently name another file.
std::string FilePathBytes(std::u16string_view path, const char* action) {
  if (path.empty()) throw StoreFailure(std::string("cannot ") + action + " diary store: no path given");
  if (path.find(u'\0') != std::u16string_view::npos) {
    throw StoreFailure(std::string("cannot ") + action + " diary store " + Quoted(path) +
                       ": the path holds a NUL character");
  }
  std::string utf8 = text::ToUtf8(path);
  // This SQLite reads names beginning "file:" as URIs, whose options could create a file or change
  // the mode; "./" keeps such a relative name a plain file name.
  if (utf8.size() >= 5 && sqlite3_strnicmp(utf8.c_str(), "file:", 5) == 0) utf8.insert(0, "./");
  return utf8;
}

// A clearer failure than SQLite's "unable to open database file" where the file system can tell.
StoreFailure OpenFailure(const std::string& what, std::u16string_view path, const std::string& utf8Path, sqlite3* db,
                         int rc) {
  const files::PathKind kind = files::KindOf(path);
  if (kind == files::PathKind::None) {
    return StoreFailure(what + ": " + files::WhyNotAFile(kind),
                        "there is no diary store '" + utf8Path + "'; give the path of an existing store");
  }
  if (kind == files::PathKind::Directory) {
    return StoreFailure(what + ": " + files::WhyNotAFile(kind), files::CauseOfErrno(EISDIR, utf8Path));
  }
  return detail::FailureOf(what, db, rc, utf8Path);
}

std::int64_t SingleInteger(sqlite3* db, const char* sql, const std::string& what) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  detail::Statement stmt(raw);
  if (rc != SQLITE_OK) detail::Fail(what, db, rc);
  rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW) detail::Fail(what, db, rc);
  return sqlite3_column_int64(stmt.get(), 0);
}

}  // namespace

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::SetConnectionString(std::u16string_view text) { connectionString_ = text; }

void Connection::Open(std::u16string_view connectionString, std::u16string_view /*user*/,
                      std::u16string_view /*password*/, int /*options*/) {
  if (IsOpen()) {
    throw StoreFailure("cannot open diary store " + Quoted(DataSourceOf(connectionString_)) +
                       ": the connection is already open");
  }
  if (!connectionString.empty()) connectionString_ = connectionString;
  const std::u16string path = DataSourceOf(connectionString_);
  if (path.empty()) throw StoreFailure("cannot open diary store: the connection text names no Data Source");
  const std::string utf8 = FilePathBytes(path, "open");
  const std::string what = "cannot open diary store " + Quoted(path);

  sqlite3* raw = nullptr;
  // Read-write only: a missing store must fail, never become a new empty file. A
  // connection serves one run on one thread, so it takes no lock of its own per call.
  const int rc =
      sqlite3_open_v2(utf8.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, detail::ReadAheadVfsName());
  std::shared_ptr<sqlite3> db = detail::AdoptDatabase(raw);
  if (rc != SQLITE_OK) throw OpenFailure(what, path, utf8, raw, rc);

  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, static_cast<int>(std::min<std::int64_t>(lockWait_.count(), INT32_MAX)));
  // The genre-list query writes its literal in double quotes; do not depend on the build default.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);

  // SQLite opens lazily: read the schema now so that a file that is not a database fails here.
  sqlite3_stmt* probe = nullptr;
  int prc = sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master;", -1, &probe, nullptr);
  detail::Statement probeOwner(probe);
  if (prc == SQLITE_OK) prc = sqlite3_step(probe);
  if (prc != SQLITE_ROW) throw OpenFailure(what, path, utf8, raw, prc);
  probeOwner.reset();
  // SQLite takes an empty file for an empty database; a diary store never is one.
  if (SingleInteger(raw, "PRAGMA page_count;", what) == 0) {
    throw StoreFailure(what + ": the file is empty, not a database",
                       "'" + utf8 + "' is not a SQLite database (the file is empty); give the path of a diary store");
  }
  // A read-only open would leave the WAL's -wal and -shm files behind; a connection that
  // refuses writes removes them at its close, as a writer's does.
  detail::Exec(raw, mode_ == adModeRead ? "PRAGMA query_only=ON;" : "PRAGMA synchronous=NORMAL;", what);
  db_ = std::move(db);
}

void Connection::BeginTrans() {
  RequireNoTransaction("begin a transaction");
  const std::string what = "cannot begin a transaction on " + Quoted(DataSourceOf(connectionString_));
  if (const auto place = platform::ReadOnlyPlaceOf(detail::DatabaseFile(db_.get()))) {
    throw StoreFailure(what + ": '" + place->name + "' is read-only",
                       "permission denied on '" + place->name + "': " + place->why);
  }
  detail::Exec(db_.get(), "BEGIN IMMEDIATE;", what);
}

void Connection::BeginReadTrans() {
  RequireNoTransaction("begin a read transaction");
  const std::string what = "cannot begin a read transaction on " + Quoted(DataSourceOf(connectionString_));
  detail::Exec(db_.get(), "BEGIN DEFERRED;", what);
  try {
    // The snapshot is taken by the first read, so read now rather than at the first query.
    SingleInteger(db_.get(), "SELECT count(*) FROM sqlite_master;", what);
  } catch (...) {
    RollbackTrans();
    throw;
  }
}

void Connection::CommitTrans() {
  RequireTransaction("commit");
  detail::Exec(db_.get(), "COMMIT;", "cannot commit to " + Quoted(DataSourceOf(connectionString_)));
}

void Connection::RollbackTrans() noexcept {
  if (db_ && !sqlite3_get_autocommit(db_.get())) sqlite3_exec(db_.get(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

bool Connection::InTransaction() const { return db_ && !sqlite3_get_autocommit(db_.get()); }

void Connection::RequireNoTransaction(const char* action) const {
  if (!IsOpen()) throw StoreFailure(std::string("cannot ") + action + ": the connection is closed");
  if (InTransaction()) throw StoreFailure(std::string("cannot ") + action + ": a transaction is already open");
}

void Connection::RequireTransaction(const char* action) const {
  if (!IsOpen()) throw StoreFailure(std::string("cannot ") + action + ": the connection is closed");
  if (!InTransaction()) throw StoreFailure(std::string("cannot ") + action + ": no transaction is open");
}

std::u16string DataSourceOf(std::u16string_view connectionString) {
  constexpr std::u16string_view key = u"data source";
  const std::u16string_view t = connectionString;
  bool atStart = true;  // at the start of the text or of a key=value pair
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (atStart && text::EqualsIgnoringAsciiCase(t.substr(i, key.size()), key)) {
      std::size_t j = i + key.size();
      while (j < t.size() && t[j] == u' ') ++j;
      // The runs put the path last, so it runs to the end of the text, ';' included.
      if (j < t.size() && t[j] == u'=') return std::u16string(t.substr(j + 1));
    }
    if (t[i] == u';')
      atStart = true;
    else if (t[i] != u' ')
      atStart = false;
  }
  return {};
}

void CreateDiaryStore(std::u16string_view path) {
  const std::string utf8 = FilePathBytes(path, "create");
  const std::string what = "cannot create diary store " + Quoted(path);
  // A journal left by a deleted database would be replayed into the new file.
  for (const char* suffix : {"-wal", "-journal"}) {
    if (platform::Exists(utf8 + suffix))
      throw StoreFailure(what + ": a leftover journal '" + utf8 + suffix + "' exists");
  }
  // An existing file is refused even when it appears between a check and the creation.
  if (const std::string refused = platform::CreateNewFile(utf8); !refused.empty()) {
    throw StoreFailure(what + ": " + refused);
  }

  auto removeAll = [&utf8] {
    for (const char* suffix : {"", "-wal", "-shm"}) platform::RemoveFile(utf8 + suffix);
  };
  try {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(utf8.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::shared_ptr<sqlite3> db = detail::AdoptDatabase(raw);
    if (rc != SQLITE_OK) detail::Fail(what, raw, rc);
    sqlite3_extended_result_codes(raw, 1);

    sqlite3_stmt* s = nullptr;
    int jrc = sqlite3_prepare_v2(raw, "PRAGMA journal_mode=WAL;", -1, &s, nullptr);
    detail::Statement journal(s);
    if (jrc == SQLITE_OK) jrc = sqlite3_step(s);
    if (jrc != SQLITE_ROW) detail::Fail(what, raw, jrc);
    const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    if (mode == nullptr || std::strcmp(mode, "wal") != 0)
      throw StoreFailure(what + ": the file system refuses the WAL journal");
    journal.reset();

    detail::Exec(raw, detail::kDiaryStoreSchema, what);
    db.reset();
  } catch (...) {
    removeAll();
    throw;
  }
}

}  // namespace nbl::store
