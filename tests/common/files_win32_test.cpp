// The Windows file operations: attributes as a listing sees them, and paths that
// reach the file system as the 16-bit text they are.
#include "common/files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "common/failure.h"
#include "common/text.h"
#include "support/temp_dir.h"

namespace nbl::files {
namespace {

using nbl::testing::TempDir;

void SetAttributes(const std::filesystem::path& path, DWORD extra) {
  SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | extra);
}

TEST(FileTests, CountWhatAListingOfNormalAndReadOnlyFilesShows) {
  TempDir dir;
  struct Case {
    const char* name;
    DWORD attributes;  // 0: a plain file; FILE_ATTRIBUTE_DIRECTORY: a folder; ~0u: nothing
    bool r, n;
    PathKind kind;
  };
  const Case cases[] = {
      {"plain.xml", 0, true, true, PathKind::File},
      {"日記 (1).xml", 0, true, true, PathKind::File},
      {"readonly.xml", FILE_ATTRIBUTE_READONLY, true, false, PathKind::File},
      {"hidden.xml", FILE_ATTRIBUTE_HIDDEN, false, false, PathKind::File},
      {"system.xml", FILE_ATTRIBUTE_SYSTEM, false, false, PathKind::File},
      {"folder", FILE_ATTRIBUTE_DIRECTORY, false, false, PathKind::Directory},
      {"missing.xml", ~0u, false, false, PathKind::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string path = dir.File(c.name);
    if (c.attributes == FILE_ATTRIBUTE_DIRECTORY) {
      std::filesystem::create_directory(ToPath(path));
    } else if (c.attributes != ~0u) {
      std::ofstream(ToPath(path)) << "x";
      SetAttributes(ToPath(path), c.attributes);
    }
    EXPECT_EQ(ExistsR(path), c.r);
    EXPECT_EQ(ExistsN(path), c.n);
    EXPECT_EQ(KindOf(path), c.kind);
  }
  EXPECT_FALSE(ExistsR(u""));
  EXPECT_EQ(KindOf(u""), PathKind::None);
  // The Japanese name is on the disk as written, not as bytes of some code page.
  bool found = false;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    found = found || entry.path().filename().u16string() == u"日記 (1).xml";
  EXPECT_TRUE(found);
  for (const char* name : {"readonly.xml", "hidden.xml", "system.xml"})
    SetFileAttributesW(ToPath(dir.File(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(InputFile, ReadsAJapaneseNamedFileFromAnyOffset) {
  TempDir dir;
  const std::u16string path = dir.File("日記.xml");
  std::ofstream(ToPath(path), std::ios::binary) << "0123456789";
  InputFile file(path);
  EXPECT_EQ(file.size(), 10u);
  struct Case {
    std::uint64_t offset;
    std::size_t count;
    std::string read;
  };
  for (const Case& c : {Case{0, 4, "0123"}, Case{6, 10, "6789"}, Case{10, 4, ""}, Case{40, 4, ""}}) {
    std::string buffer(c.count, '\0');
    buffer.resize(file.ReadAt(c.offset, reinterpret_cast<std::uint8_t*>(buffer.data()), c.count));
    EXPECT_EQ(buffer, c.read) << c.offset;
  }
  EXPECT_EQ(ReadAll(path).size(), 10u);
}

TEST(InputFile, NamesWhatKeepsAPathFromBeingRead) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  struct Case {
    const char* name;
    const char* cause;
  };
  for (const Case& c : {Case{"missing.xml", "no such folder or file"}, Case{"folder", "is a directory"},
                        Case{"gone/x.xml", "no such folder or file"}}) {
    try {
      InputFile file(dir.File(c.name));
      ADD_FAILURE() << c.name << " was opened";
    } catch (const FileFailure& f) {
      EXPECT_NE(f.cause().find(c.cause), std::string::npos) << c.name << ": " << f.cause();
    }
  }
}

}  // namespace
}  // namespace nbl::files
