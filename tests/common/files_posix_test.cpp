#include "common/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "common/failure.h"
#include "support/temp_dir.h"

namespace nbl::files {
namespace {

TEST(FileTests, RCountsAnyRegularFileAndNOnlyWritableOnesAndKindTellsTheRest) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "plain") << "x";
  std::ofstream(dir.path() / "readonly") << "x";
  ::chmod((dir.path() / "readonly").c_str(), 0444);
  std::filesystem::create_directory(dir.path() / "folder");
  std::filesystem::create_symlink(dir.path() / "plain", dir.path() / "link");
  std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "dangling");

  ::mkfifo((dir.path() / "fifo").c_str(), 0600);

  struct Case {
    std::string name;
    bool r, n;
    PathKind kind;
  };
  const Case cases[] = {
      {"plain", true, true, PathKind::File},         {"readonly", true, false, PathKind::File},
      {"folder", false, false, PathKind::Directory}, {"link", true, true, PathKind::File},
      {"dangling", false, false, PathKind::None},    {"missing", false, false, PathKind::None},
      {"fifo", false, false, PathKind::Other},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExistsR(dir.File(c.name)), c.r) << c.name;
    EXPECT_EQ(ExistsN(dir.File(c.name)), c.n) << c.name;
    EXPECT_EQ(KindOf(dir.File(c.name)), c.kind) << c.name;
  }
  EXPECT_FALSE(ExistsR(u""));
  EXPECT_FALSE(ExistsN(u""));
  EXPECT_EQ(KindOf(u""), PathKind::None);
  // A lone surrogate names no file exactly, least of all the one it would become with U+FFFD in its place.
  std::ofstream(dir.path() / "x\uFFFD") << "x";
  const std::u16string lone = dir.File("x") + u'\xDC80';
  EXPECT_FALSE(ExistsR(lone));
  EXPECT_EQ(KindOf(lone), PathKind::None);
  EXPECT_THROW(ToPath(lone), FileFailure);
}

TEST(FileRead, ReadsExactBytesAndSaysWhyItCannot) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "data", std::ios::binary) << std::string("a\0b", 3);
  EXPECT_EQ(ReadAll(dir.File("data")), (std::vector<std::uint8_t>{'a', 0, 'b'}));
  std::filesystem::create_directory(dir.path() / "folder");
  const struct {
    std::string name, cause;
  } cases[] = {{"missing", "no such folder or file"}, {"folder", "is a directory"}};
  for (const auto& c : cases) {
    try {
      ReadAll(dir.File(c.name));
      ADD_FAILURE() << c.name << " was read";
    } catch (const FileFailure& f) {
      EXPECT_NE(f.cause().find(c.cause), std::string::npos) << f.cause();
      EXPECT_NE(f.cause().find(c.name), std::string::npos) << f.cause();
    }
  }
}

}  // namespace
}  // namespace nbl::files
