// The connection against POSIX permissions, which Windows has no counterpart of.
#include "store/connection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/failure.h"
#include "common/text.h"
#include "support/temp_dir.h"

namespace nbl::store {
namespace {

using nbl::testing::TempDir;

std::u16string ConnectionText(std::u16string_view path) {
  return std::u16string(kConnectionPrefix) + std::u16string(path);
}

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
