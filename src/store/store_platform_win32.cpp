// The connection's file checks on Windows: UTF-8 paths go to the wide (W) functions.
#include "store/store_platform.h"

#include <windows.h>

#include <cerrno>
#include <filesystem>

#include "common/files.h"
#include "common/text.h"
#include "common/win32_error.h"

namespace nbl::store::platform {
namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string units = text::FromUtf8(utf8);
  return std::wstring(units.begin(), units.end());
}

}  // namespace

std::string FolderOf(const std::string& path) {
  return text::ToUtf8(std::filesystem::path(Wide(path)).parent_path().u16string());
}

// SQLite's Windows layer keeps the system error code (GetLastError) of the failed call.
std::string CauseOfSystemError(int error, const std::string& path) {
  return files::CauseOfSystemError(static_cast<unsigned long>(error), path);
}

// Windows sets no file size limit on a process: only a disk without room shows.
int FullnessOf(const std::string& path) {
  ULARGE_INTEGER available{};
  const std::string folder = FolderOf(path);
  return GetDiskFreeSpaceExW(Wide(folder.empty() ? "." : folder).c_str(), &available, nullptr, nullptr) &&
                 available.QuadPart == 0
             ? ENOSPC
             : 0;
}

// A folder's read-only attribute does not keep files from being written in it, so
// nothing here keeps a journal from being replayed that SQLite would not name itself.
bool JournalCannotBeReplayed(const std::string&) { return false; }

// The read-only attribute marks a read-only store, which SQLite would open and then fail
// to write part way.
std::optional<ReadOnlyPlace> ReadOnlyPlaceOf(const std::string& path) {
  const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return std::nullopt;
  return ReadOnlyPlace{path, "the store is read-only; make it writable or choose another store"};
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string CreateNewFile(const std::string& path) {
  const HANDLE h =
      CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS ? std::string("the file already exists") : files::ReasonOf(error);
  }
  CloseHandle(h);
  return {};
}

void RemoveFile(const std::string& path) noexcept { DeleteFileW(Wide(path).c_str()); }

}  // namespace nbl::store::platform
