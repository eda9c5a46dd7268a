// The file operations on Windows: every path goes to the wide (W) functions as
// its 16-bit units, never through the ANSI code page.
#include "common/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "common/failure.h"
#include "common/text.h"
#include "common/win32_error.h"

namespace nbl::files {
namespace {

std::wstring Wide(std::u16string_view path) { return std::wstring(path.begin(), path.end()); }

// Attributes of the path, links followed by the system; INVALID_FILE_ATTRIBUTES when there
// is nothing, or the text names no file exactly.
DWORD AttributesOf(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos || text::HasLoneSurrogate(path))
    return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(Wide(path).c_str());
}

// A file as a directory listing of normal and read-only files shows it: no folder,
// no hidden or system file, no device.
bool IsListedFile(DWORD attributes) {
  constexpr DWORD kNotListed =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNotListed) == 0;
}

}  // namespace

std::filesystem::path ToPath(std::u16string_view path) {
  if (text::HasLoneSurrogate(path)) {
    const std::string utf8 = text::ToUtf8(path);
    throw FileFailure("the path '" + utf8 + "' holds a lone surrogate and names no file exactly",
                      "the path '" + utf8 + "' is not valid text (a lone surrogate); give another path");
  }
  return std::filesystem::path(Wide(path));
}

std::filesystem::path FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 63; ++hops) {  // the system's own limit of reparse points
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) break;
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

bool ExistsR(std::u16string_view path) { return IsListedFile(AttributesOf(path)); }

bool ExistsN(std::u16string_view path) {
  const DWORD attributes = AttributesOf(path);
  return IsListedFile(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

PathKind KindOf(std::u16string_view path) {
  if (path.empty()) return PathKind::None;
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_ACCESS_DENIED ? PathKind::Denied : PathKind::None;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Directory;
  return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::Other : PathKind::File;
}

const char* WhyNotAFile(PathKind kind) {
  switch (kind) {
    case PathKind::None:
      return "no such file";
    case PathKind::Denied:
      return "permission denied";
    case PathKind::Directory:
      return "is a directory";
    case PathKind::Other:
      return "is not a regular file";
    case PathKind::File:
      break;
  }
  return "";
}

std::string CauseOfErrno(int err, const std::string& path) {
  const std::string p = "'" + path + "'";
  switch (err) {
    case EACCES:
    case EPERM:
      return "permission denied on " + p + "; check the permissions of it and of its folder";
    case EROFS:
      return p + " is on a read-only file system; choose another place";
    case ENOSPC:
      return "the disk is full: no room to write " + p + "; free some space and try again";
    case EFBIG:
      return "the file size limit of this process was reached while writing " + p +
             "; raise the limit (ulimit -f) or write less";
    case EISDIR:
      return p + " is a directory; give the path of a file";
    case ENOENT:
    case ENOTDIR:
      return "no such folder or file " + p + "; check the path";
    default:
      return {};
  }
}

InputFile::InputFile(std::u16string_view path) : name_(text::ToUtf8(ToPath(path).u16string())) {
  // A C runtime descriptor over a handle of the wide CreateFileW, so that reads can name their offset.
  const HANDLE h =
      CreateFileW(ToPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail("open");
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    Fail("read the length of");
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    SetLastError(ERROR_DIRECTORY);
    Fail("read");
  }
  fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd_ < 0) {
    CloseHandle(h);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    Fail("open");
  }
  size_ = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

InputFile::~InputFile() {
  if (fd_ >= 0) _close(fd_);
}

void InputFile::Fail(const std::string& action) const {
  const DWORD error = GetLastError();
  throw FileFailure("cannot " + action + " '" + name_ + "': " + ReasonOf(error), CauseOfSystemError(error, name_));
}

std::size_t InputFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(h, buffer + done, want, &got, &where)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      Fail("read");
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::vector<std::uint8_t> InputFile::ReadAll() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  // A file that shrank while it was read ends where it ended.
  bytes.resize(ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> ReadAll(std::u16string_view path) { return InputFile(path).ReadAll(); }

}  // namespace nbl::files
