// Replacing a file on Windows: the new content goes to a visible temporary file
// beside the target ("." + name + ".XXXXXX.part"), is flushed to the disk and
// moved over the target in one step. Windows has no unnamed files, so both
// kinds of temporary file are named ones. Every path goes to the wide (W)
// functions.
#include "common/replacing_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"
#include "common/win32_error.h"

namespace nbl::files {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kRandomLength = 6;
constexpr std::wstring_view kTemporarySuffix = L".part";

std::string Utf8(const std::filesystem::path& path) { return text::ToUtf8(path.u16string()); }

// A long name is cut so that the whole stays within the longest name a folder takes
// (255 units): a target of any valid name can be written.
std::wstring TemporaryPrefix(const std::filesystem::path& target) {
  constexpr std::size_t kLongestName = 255;
  constexpr std::size_t kRoom = kLongestName - 2 - kRandomLength - kTemporarySuffix.size();
  return L"." + target.filename().wstring().substr(0, kRoom) + L".";
}

// The temporary file of this process that a console's Ctrl+C would otherwise leave
// behind; atomic flags are what a control handler may read.
wchar_t g_pendingName[32768];
std::atomic<bool> g_pendingArmed{false};

void ArmSignalRemoval(const std::filesystem::path& name) noexcept {
  g_pendingArmed.store(false);
  const std::wstring& units = name.native();
  if (units.size() >= std::size(g_pendingName)) return;
  std::memcpy(g_pendingName, units.c_str(), (units.size() + 1) * sizeof(wchar_t));
  g_pendingArmed.store(true);
}

bool IsTemporaryName(std::wstring_view name, std::wstring_view prefix) {
  return name.size() == prefix.size() + kRandomLength + kTemporarySuffix.size() &&
         name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - kTemporarySuffix.size()) == kTemporarySuffix;
}

std::filesystem::path NewTemporaryName(const std::filesystem::path& folder, const std::wstring& prefix) {
  static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kLetters) - 2);
  std::wstring name = prefix;
  for (std::size_t i = 0; i < kRandomLength; ++i) name.push_back(kLetters[pick(source)]);
  name += kTemporarySuffix;
  return folder / name;
}

// A run keeps its temporary file open without sharing its deletion until it
// ends, and the system closes it when the run dies: a file that can be deleted
// belongs to no live run.
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::wstring& prefix) noexcept {
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = (folder / (prefix + L"*" + std::wstring(kTemporarySuffix))).wstring();
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsTemporaryName(found.cFileName, prefix)) continue;
    DeleteFileW((folder / found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

struct Place {
  std::filesystem::path target, folder;
};

[[noreturn]] void Refuse(const std::string& target, const std::string& reason, const std::string& cause) {
  throw FileFailure("cannot replace '" + target + "': " + reason, cause);
}

Place Examine(std::u16string_view targetText) {
  Place place;
  // The replacement goes where a chain of links ends, so that a link stays a link.
  place.target = FollowLinks(ToPath(targetText));
  const std::string name = Utf8(place.target);
  place.folder = place.target.parent_path();
  if (place.folder.empty()) place.folder = L".";
  const std::string folderName = Utf8(place.folder);

  const DWORD target = GetFileAttributesW(place.target.c_str());
  if (target != INVALID_FILE_ATTRIBUTES) {
    if ((target & FILE_ATTRIBUTE_DIRECTORY) != 0) Refuse(name, "is a directory", CauseOfErrno(EISDIR, name));
    if ((target & FILE_ATTRIBUTE_DEVICE) != 0)
      Refuse(name, "not a regular file", "'" + name + "' is not a regular file; give the path of a file");
    if ((target & FILE_ATTRIBUTE_READONLY) != 0)
      Refuse(name, "the file is read-only", "'" + name + "' is read-only; make it writable or choose another file");
  } else if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND) {
    Refuse(name, ReasonOf(error), CauseOfSystemError(error, name));
  }

  const DWORD folder = GetFileAttributesW(place.folder.c_str());
  if (folder == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    Refuse(name, "folder '" + folderName + "': " + ReasonOf(error), CauseOfSystemError(error, folderName));
  }
  if ((folder & FILE_ATTRIBUTE_DIRECTORY) == 0)
    Refuse(name, "'" + folderName + "' is not a folder", CauseOfErrno(ENOTDIR, name));
  return place;
}

}  // namespace

void ReplacingFile::CheckReplaceable(std::u16string_view target) { Examine(target); }

void RemoveTemporaryOnSignal() noexcept {
  if (g_pendingArmed.exchange(false)) DeleteFileW(g_pendingName);
}

ReplacingFile::ReplacingFile(std::u16string_view target, Temporary) {
  Place place = Examine(target);
  target_ = std::move(place.target);
  folder_ = std::move(place.folder);
  RemoveStaleTemporaries(folder_, TemporaryPrefix(target_));
  OpenNamed();
  buffer_.reserve(kBufferSize);
}

ReplacingFile::~ReplacingFile() {
  if (!committed_) Discard();
}

void ReplacingFile::OpenNamed() {
  const std::wstring prefix = TemporaryPrefix(target_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path name = NewTemporaryName(folder_, prefix);
    // No FILE_SHARE_DELETE: another run's clean-up cannot take the file while this run lives.
    const HANDLE h =
        CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      throw FileFailure("cannot create a file in '" + Utf8(folder_) + "': " + ReasonOf(error),
                        CauseOfSystemError(error, Utf8(folder_)));
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    temp_ = name;
    ArmSignalRemoval(temp_);
    if (fd_ < 0) {
      CloseHandle(h);
      Discard();
      throw FileFailure("cannot create a file in '" + Utf8(folder_) + "': out of descriptors");
    }
    return;
  }
  throw FileFailure("cannot create a temporary file in '" + Utf8(folder_) + "': every name tried is taken");
}

void ReplacingFile::Append(const std::uint8_t* data, std::size_t size) {
  if (buffer_.size() + size > kBufferSize) Flush();
  // A block that fills the buffer by itself gains nothing from a copy into it.
  if (size >= kBufferSize) {
    Write(data, size);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void ReplacingFile::Write(const std::uint8_t* data, std::size_t size) {
  if (const int err = WriteAll(fd_, data, size); err != 0) {
    throw FileFailure("cannot write the new '" + Utf8(target_) + "': " + std::strerror(err),
                      CauseOfErrno(err, Utf8(target_)));
  }
  if (!writeBack_) writeBack_ = std::make_unique<WriteBack>(static_cast<std::intptr_t>(_get_osfhandle(fd_)));
  writeBack_->Received(written_, size);
  written_ += size;
}

void ReplacingFile::Flush() {
  Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void ReplacingFile::Commit() {
  Flush();
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)))) {
    const DWORD error = GetLastError();
    throw FileFailure("cannot sync the new '" + Utf8(target_) + "': " + ReasonOf(error),
                      CauseOfSystemError(error, Utf8(target_)));
  }
  // The file must be closed to be moved; another run's clean-up could take it in
  // the moment between, and then the move fails with the target untouched.
  writeBack_.reset();  // before the file it writes back closes
  _close(fd_);
  fd_ = -1;
  if (!MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    throw FileFailure("cannot put '" + Utf8(target_) + "' in place: " + ReasonOf(error),
                      CauseOfSystemError(error, Utf8(target_)));
  }
  committed_ = true;
  g_pendingArmed.store(false);
}

void ReplacingFile::Discard() noexcept {
  writeBack_.reset();
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
  g_pendingArmed.store(false);
  if (!temp_.empty()) DeleteFileW(temp_.c_str());
}

}  // namespace nbl::files
