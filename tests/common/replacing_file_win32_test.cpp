// Replacing a file on Windows: the old content stays whole until the new one is
// complete, after a failure or a kill, and what a killed run leaves is cleaned up.
#include "common/replacing_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "common/failure.h"
#include "common/files.h"
#include "support/temp_dir.h"

namespace nbl::files {
namespace {

using nbl::testing::ReadFile;
using nbl::testing::TempDir;

constexpr wchar_t kChildTarget[] = L"NBL_REPLACING_CHILD_TARGET";

// Started again as a child with kChildTarget set, this program writes part of a
// new document to that target, says so by creating "<target>.ready", and waits to be killed.
const bool kIsChild = [] {
  const wchar_t* target = _wgetenv(kChildTarget);
  if (target == nullptr) return false;
  const std::filesystem::path path(target);
  ReplacingFile out(path.u16string());
  const std::string part(200000, 'n');
  out.Append(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
  std::ofstream(std::filesystem::path(std::wstring(target) + L".ready")) << "ready";
  Sleep(INFINITE);
  return true;
}();

std::set<std::u16string> Names(const std::filesystem::path& dir) {
  std::set<std::u16string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename().u16string());
  return names;
}

void Write(ReplacingFile& out, const std::string& text) {
  out.Append(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(ReplacingFileWin32, PutsTheWholeNewContentInPlaceOnlyAtCommit) {
  TempDir dir;
  const std::u16string target = dir.File("日記.xml");
  std::ofstream(ToPath(target)) << "old";
  {
    ReplacingFile out(target);
    Write(out, std::string(100000, 'a'));  // more than the buffer holds
    EXPECT_EQ(ReadFile(ToPath(target)), "old");
    Write(out, "b");
    Write(out, std::string(2 * WriteBack::kRun, 'c'));  // written back as it comes
    out.Commit();
  }
  EXPECT_EQ(ReadFile(ToPath(target)), std::string(100000, 'a') + "b" + std::string(2 * WriteBack::kRun, 'c'));
  {
    ReplacingFile out(target);
    Write(out, "never committed");
  }
  EXPECT_EQ(ReadFile(ToPath(target)).size(), 100001u + 2 * WriteBack::kRun);
  EXPECT_EQ(Names(dir.path()), std::set<std::u16string>{u"日記.xml"});
}

TEST(ReplacingFileWin32, RefusesWhatCannotBeReplacedAndTouchesNothing) {
  TempDir dir;
  std::ofstream(dir.path() / "ro.xml") << "old";
  SetFileAttributesW((dir.path() / "ro.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  std::filesystem::create_directory(dir.path() / "folder");
  struct Case {
    const char* name;
    const char* reason;
  };
  for (const Case& c :
       {Case{"ro.xml", "is read-only"}, Case{"folder", "is a directory"}, Case{"gone/out.xml", "gone"}}) {
    SCOPED_TRACE(c.name);
    try {
      ReplacingFile::CheckReplaceable(dir.File(c.name));
      ADD_FAILURE() << "accepted";
    } catch (const FileFailure& f) {
      EXPECT_NE(std::string(f.what()).find(c.reason), std::string::npos) << f.what();
    }
    EXPECT_THROW(ReplacingFile out(dir.File(c.name)), FileFailure);
  }
  EXPECT_EQ(ReadFile(dir.path() / "ro.xml"), "old");
  EXPECT_EQ(Names(dir.path()), (std::set<std::u16string>{u"folder", u"ro.xml"}));
  SetFileAttributesW((dir.path() / "ro.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ReplacingFileWin32, AKilledRunLeavesTheOldDocumentAndTheNextRunRemovesItsFile) {
  TempDir dir;
  const std::u16string target = dir.File("日記.xml");
  std::ofstream(ToPath(target)) << "old";
  // A temporary file of another run that is still alive is left alone.
  const std::filesystem::path held = dir.path() / u".日記.xml.HELD00.part";
  const HANDLE holder = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  SetEnvironmentVariableW(kChildTarget, ToPath(target).c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=None";
  ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  SetEnvironmentVariableW(kChildTarget, nullptr);
  const std::filesystem::path ready = ToPath(target + u".ready");
  for (int i = 0; i < 600 && !std::filesystem::exists(ready); ++i) Sleep(50);
  ASSERT_TRUE(std::filesystem::exists(ready)) << "the child never wrote";
  TerminateProcess(child.hProcess, 9);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  std::filesystem::remove(ready);

  EXPECT_EQ(ReadFile(ToPath(target)), "old");
  EXPECT_EQ(Names(dir.path()).size(), 3u);  // the target, the held file and the killed run's
  { ReplacingFile next(target); }
  EXPECT_EQ(Names(dir.path()), (std::set<std::u16string>{u"日記.xml", u".日記.xml.HELD00.part"}));
  CloseHandle(holder);
}

}  // namespace
}  // namespace nbl::files
