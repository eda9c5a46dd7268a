#include "common/replacing_file.h"

#include <sys/stat.h>

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "common/failure.h"
#include "support/temp_dir.h"

namespace nbl::files {
namespace {

using ::nbl::testing::ReadFile;

std::size_t FilesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

void Put(ReplacingFile& f, const std::string& s) { f.Append(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

TEST(ReplacingFile, ReplacesALongerOldFileWhole) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "out.xml") << std::string(100, 'x');
  {
    ReplacingFile f(dir.File("out.xml"));
    Put(f, "new");
    EXPECT_EQ(ReadFile(dir.path() / "out.xml"), std::string(100, 'x'));  // untouched until committed
    f.Commit();
  }
  EXPECT_EQ(ReadFile(dir.path() / "out.xml"), "new");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(ReplacingFile, WithoutCommitLeavesTheTargetAndNoTemporaryFile) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "out.xml") << "old";
  {
    ReplacingFile f(dir.File("out.xml"));
    Put(f, std::string(200000, 'y'));  // more than one buffer reaches the disk
  }
  EXPECT_EQ(ReadFile(dir.path() / "out.xml"), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(ReplacingFile, LargeContentArrivesWhole) {
  testing::TempDir dir;
  std::string big;
  for (int i = 0; i < 50000; ++i) big += std::to_string(i) + ",";
  ReplacingFile f(dir.File("big"));
  for (std::size_t i = 0; i < big.size(); i += 7) Put(f, big.substr(i, 7));
  f.Commit();
  EXPECT_EQ(ReadFile(dir.path() / "big"), big);
}

TEST(ReplacingFile, RefusesReadOnlyTargetsFoldersAndMissingFolders) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "ro") << "keep";
  ::chmod((dir.path() / "ro").c_str(), 0444);
  std::filesystem::create_directory(dir.path() / "folder");
  EXPECT_THROW(ReplacingFile(dir.File("ro")), FileFailure);
  EXPECT_THROW(ReplacingFile(dir.File("folder")), FileFailure);
  EXPECT_THROW(ReplacingFile(dir.File("no/such/folder/x.xml")), FileFailure);
  EXPECT_EQ(ReadFile(dir.path() / "ro"), "keep");
}

}  // namespace
}  // namespace nbl::files
