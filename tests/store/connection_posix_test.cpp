// The connection against POSIX permissions, which Windows has no counterpart of.
#include "store/connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/failure.h"
#include "common/text.h"
#include "store/read_ahead_vfs.h"
#include "support/temp_dir.h"

namespace nbl::store {
namespace {

using nbl::testing::TempDir;

std::u16string ConnectionText(std::u16string_view path) {
  return std::u16string(kConnectionPrefix) + std::u16string(path);
}

#ifdef __linux__
// The store and its log are written back as they are written: the layer finds the descriptors of
// SQLite's own files (it reads them where the unix layer keeps them, which a new SQLite may change).
TEST(ConnectionOpen, StartsWritingBackTheStoreAndItsLogOnTheirOwnDescriptors) {
  TempDir dir;
  const std::filesystem::path store = dir.path() / "d.db";
  CreateDiaryStore(text::FromUtf8(store.string()));
  Connection connection;
  connection.SetConnectionString(ConnectionText(text::FromUtf8(store.string())));
  connection.Open(u"", u"", u"", -1);
  connection.BeginTrans();
  ASSERT_EQ(
      sqlite3_exec(connection.handle(), "INSERT INTO Contents (Day) VALUES ('2007/05/01')", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_file* log = nullptr;
  ASSERT_EQ(sqlite3_file_control(connection.handle(), "main", SQLITE_FCNTL_JOURNAL_POINTER, &log), SQLITE_OK);
  ASSERT_NE(log, nullptr);
  int storeFd = -1, logFd = -1;
  ASSERT_EQ(sqlite3_file_control(connection.handle(), "main", detail::kWriteBackDescriptorControl, &storeFd),
            SQLITE_OK);
  ASSERT_EQ(log->pMethods->xFileControl(log, detail::kWriteBackDescriptorControl, &logFd), SQLITE_OK);
  const auto sameFile = [](int fd, const std::filesystem::path& path) {
    struct stat held {
    }, named{};
    return fd >= 0 && ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
           held.st_dev == named.st_dev;
  };
  EXPECT_TRUE(sameFile(storeFd, store));
  EXPECT_TRUE(sameFile(logFd, store.string() + "-wal"));
  connection.RollbackTrans();
}
#endif

TEST(ConnectionOpen, AStoreThisUserMayNotReachOrWriteBesideIsDeniedByName) {
  TempDir dir;
  const std::filesystem::path closed = dir.path() / "closed", readOnly = dir.path() / "ro";
  for (const auto& folder : {closed, readOnly}) {
    std::filesystem::create_directory(folder);
    CreateDiaryStore(text::FromUtf8((folder / "d.db").string()));
    ::chmod((folder / "d.db").c_str(), 0666);
  }
  ::chmod(closed.c_str(), 0);
  ::chmod(readOnly.c_str(), 0555);  // the store could be written, but not its journal beside it
  ::chmod(dir.path().c_str(), 0755);
  const struct {
    std::filesystem::path store, named;
  } cases[] = {{closed / "d.db", closed / "d.db"}, {readOnly / "d.db", readOnly}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.store.string());
    // Root passes every permission, so the child gives its privileges up first.
    EXPECT_EXIT(
        {
          if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
          try {
            Connection().Open(ConnectionText(text::FromUtf8(c.store.string())));
          } catch (const StoreFailure& f) {
            std::fprintf(stderr, "%s\n", f.cause().c_str());
            std::_Exit(f.cause().rfind("permission denied on '" + c.named.string() + "'", 0) == 0 ? 0 : 1);
          }
          std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
  }
  ::chmod(closed.c_str(), 0755);
  ::chmod(readOnly.c_str(), 0755);
}

}  // namespace
}  // namespace nbl::store
