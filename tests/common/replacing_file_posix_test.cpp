#include "common/replacing_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "common/failure.h"
#include "support/temp_dir.h"

namespace nbl::files {
namespace {

using ::nbl::testing::ReadFile;

std::size_t FilesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

void Put(ReplacingFile& f, const std::string& s) {
  f.Append(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// The new file keeps the old one's owner and group (root gives them) and its permissions without set-id
// bits; a name as long as a folder takes is written too, its temporary name cut to fit.
TEST(ReplacingFile, ReplacesALongerOldFileWholeKeepingItsOwnerAndPermissions) {
  const std::string longest = std::string(251, 'n') + ".xml";
  for (const auto kind : {ReplacingFile::Temporary::Unnamed, ReplacingFile::Temporary::Named}) {
    for (const std::string& name : {std::string("out.xml"), longest}) {
      testing::TempDir dir;
      const std::string path = (dir.path() / name).string();
      std::ofstream(path) << std::string(100, 'x');
      const bool root = ::geteuid() == 0;
      if (root) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
      }
      ::chmod(path.c_str(), 06640);
      {
        ReplacingFile f(dir.File(name), kind);
        Put(f, "new");
        EXPECT_EQ(ReadFile(path), std::string(100, 'x'));  // untouched until committed
        f.Commit();
      }
      EXPECT_EQ(ReadFile(path), "new");
      EXPECT_EQ(FilesIn(dir.path()), 1u);
      struct stat st {};
      ::stat(path.c_str(), &st);
      EXPECT_EQ(st.st_mode & 07777, 0640u);
      if (root) {
        EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(uid_t{65534}, gid_t{65534}));
      }
    }
  }
}

// A link stays a link: the file it names, even through a chain or not there yet, gets the content.
TEST(ReplacingFile, ReplacesTheFileALinkNames) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.path() / "sub");
  std::ofstream(dir.path() / "sub" / "real.xml") << "old";
  std::filesystem::create_symlink("sub/real.xml", dir.path() / "link.xml");
  std::filesystem::create_symlink("link.xml", dir.path() / "chain.xml");
  std::filesystem::create_symlink("sub/new.xml", dir.path() / "dangling.xml");
  for (const auto& [link, real] : {std::pair{"chain.xml", "sub/real.xml"}, std::pair{"dangling.xml", "sub/new.xml"}}) {
    SCOPED_TRACE(link);
    ReplacingFile f(dir.File(link));
    Put(f, "new");
    f.Commit();
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / link));
    EXPECT_EQ(ReadFile(dir.path() / real), "new");
  }
  EXPECT_EQ(FilesIn(dir.path()), 4u);
  EXPECT_EQ(FilesIn(dir.path() / "sub"), 2u);
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

TEST(ReplacingFile, RefusesWhatItCouldNotReplaceSaysWhyAndTouchesNothing) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "ro") << "keep";
  ::chmod((dir.path() / "ro").c_str(), 0444);
  std::filesystem::create_directory(dir.path() / "folder");
  std::filesystem::create_directory(dir.path() / "locked");
  std::ofstream(dir.path() / "locked" / "x.xml") << "keep";
  ::chmod((dir.path() / "locked").c_str(), 0555);
  const struct {
    std::string name, cause;
  } cases[] = {
      {"ro", "is read-only"},
      {"folder", "is a directory"},
      {"no/such/folder/x.xml", "no such folder"},
      {"locked/x.xml", "permission denied on '" + (dir.path() / "locked").string() + "'"},
      {"locked/new.xml", "permission denied on"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool open : {false, true}) {
      try {
        if (open) {
          ReplacingFile f(dir.File(c.name));
        } else {
          ReplacingFile::CheckReplaceable(dir.File(c.name));
        }
        ADD_FAILURE() << "not refused";
      } catch (const FileFailure& f) {
        EXPECT_NE(f.cause().find(c.cause), std::string::npos) << f.cause();
      }
    }
  }
  ::chmod((dir.path() / "locked").c_str(), 0755);
  EXPECT_EQ(ReadFile(dir.path() / "ro"), "keep");
  EXPECT_EQ(ReadFile(dir.path() / "locked" / "x.xml"), "keep");
  EXPECT_EQ(FilesIn(dir.path() / "locked"), 1u);
}

// Only the files of dead writers of the same target go: not a live writer's, not a user's, not another target's.
TEST(ReplacingFile, AKilledWriterLeavesNothingOnceTheNextWriterOfItsTargetHasRun) {
  for (const auto kind : {ReplacingFile::Temporary::Unnamed, ReplacingFile::Temporary::Named}) {
    const bool named = kind == ReplacingFile::Temporary::Named;
    SCOPED_TRACE(named ? "named" : "unnamed");
    testing::TempDir dir;
    std::ofstream(dir.path() / "out.xml") << "old";
    std::ofstream(dir.path() / ".out.xml.backup") << "a user's file";
    std::ofstream(dir.path() / ".other.xml.abcdef.part") << "another target's";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ReplacingFile f(dir.File("out.xml"), kind);
      Put(f, std::string(200000, 'y'));
      ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(ReadFile(dir.path() / "out.xml"), "old");
    EXPECT_EQ(FilesIn(dir.path()), named ? 4u : 3u);  // an unnamed file dies with its writer
    ReplacingFile live(dir.File("out.xml"), ReplacingFile::Temporary::Named);
    Put(live, "live");
    {
      ReplacingFile next(dir.File("out.xml"), kind);
      Put(next, "next");
      next.Commit();
    }
    EXPECT_EQ(ReadFile(dir.path() / "out.xml"), "next");
    live.Commit();
    EXPECT_EQ(ReadFile(dir.path() / "out.xml"), "live");
    EXPECT_EQ(FilesIn(dir.path()), 3u);
  }
}

}  // namespace
}  // namespace nbl::files
