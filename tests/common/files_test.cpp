#include "common/files.h"

#include <sys/stat.h>

#include <fstream>
#include <gtest/gtest.h>

#include "common/failure.h"
#include "support/temp_dir.h"

namespace nbl::files {
namespace {

TEST(FileTests, RCountsAnyRegularFileAndNOnlyWritableOnes) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "plain") << "x";
  std::ofstream(dir.path() / "readonly") << "x";
  ::chmod((dir.path() / "readonly").c_str(), 0444);
  std::filesystem::create_directory(dir.path() / "folder");
  std::filesystem::create_symlink(dir.path() / "plain", dir.path() / "link");
  std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "dangling");

  struct Case {
    std::string name;
    bool r, n;
  };
  const Case cases[] = {
      {"plain", true, true}, {"readonly", true, false}, {"folder", false, false},
      {"link", true, true},  {"dangling", false, false}, {"missing", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExistsR(dir.File(c.name)), c.r) << c.name;
    EXPECT_EQ(ExistsN(dir.File(c.name)), c.n) << c.name;
  }
  EXPECT_FALSE(ExistsR(u""));
  EXPECT_FALSE(ExistsN(u""));
}

TEST(FileRead, ReadsExactBytesAndFailsOnMissingFiles) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "data", std::ios::binary) << std::string("a\0b", 3);
  EXPECT_EQ(ReadAll(dir.File("data")), (std::vector<std::uint8_t>{'a', 0, 'b'}));
  EXPECT_THROW(ReadAll(dir.File("missing")), FileFailure);
  EXPECT_THROW(Delete(dir.File("missing")), FileFailure);
  Delete(dir.File("data"));
  EXPECT_FALSE(ExistsR(dir.File("data")));
}

}  // namespace
}  // namespace nbl::files
