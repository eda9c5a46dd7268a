#include "common/win32_error.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

#include "common/files.h"
#include "common/text.h"

namespace nbl::files {

std::string SystemErrorText(unsigned long error) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::u16string message(buffer, buffer + n);
  LocalFree(buffer);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' '))
    message.pop_back();
  if (message.empty()) return "system error " + std::to_string(error);
  return text::ToUtf8(message);
}

int ErrnoOf(unsigned long error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_DIRECTORY:
      return EISDIR;
    default:
      return EIO;
  }
}

std::string ReasonOf(unsigned long error) {
  const int err = ErrnoOf(error);
  return err != EIO ? std::string(std::strerror(err)) : SystemErrorText(error);
}

std::string CauseOfSystemError(unsigned long error, const std::string& path) {
  return CauseOfErrno(ErrnoOf(error), path);
}

}  // namespace nbl::files
