// File-system operations of the handle and the runs, on 16-bit paths, and the
// plain words a user is told when one of them fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace nbl::files {

// The path of 16-bit text as the file system sees it. Throws FileFailure when
// the text holds a lone surrogate: it has no exact form, and the nearest one
// (U+FFFD in its place) would name another file.
std::filesystem::path ToPath(std::u16string_view path);

// The file a chain of symbolic links ends at, existing or not; `path` itself
// when it is no link. A loop or an unreadable link ends the chain where it stands.
std::filesystem::path FollowLinks(std::filesystem::path path);

// Test R: a regular file (links followed) of any permissions. False for empty paths, directories
// and paths that name no file exactly (see ToPath).
bool ExistsR(std::u16string_view path);

// Test N: a regular file (links followed) that has its owner write bit.
bool ExistsN(std::u16string_view path);

// What a path names, links followed: None for an empty path, a dangling link or
// nothing at all (or a path that names no file exactly); Denied when a folder
// on the way may not be searched.
enum class PathKind { None, Denied, File, Directory, Other };
PathKind KindOf(std::u16string_view path);

// Why a path of that kind is no file to read: "no such file", "permission
// denied", "is a directory", "is not a regular file"; "" for a File.
const char* WhyNotAFile(PathKind kind);

// One plain line for a user after a file operation on `path` failed with `err`
// (an errno value): permission denied, a read-only file system, a full disk,
// the file size limit of the process, a directory or a missing folder, each
// saying what to do. Empty when `err` tells nothing a user can act on.
std::string CauseOfErrno(int err, const std::string& path);

// A file opened for reading, read in pieces from any offset.
class InputFile {
 public:
  // Throws FileFailure (with a cause where the system tells one) when `path`
  // cannot be opened or is a directory.
  explicit InputFile(std::u16string_view path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The length the file had when it was opened.
  std::uint64_t size() const { return size_; }
  // Reads up to `count` bytes from `offset` into `buffer`: fewer only where
  // the file ends. Throws FileFailure.
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count);
  // The whole content, from the start: as long as the file was opened, or shorter if it shrank.
  std::vector<std::uint8_t> ReadAll();

 private:
  [[noreturn]] void Fail(const std::string& action) const;

  std::string name_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The whole content of the file; throws FileFailure (with a cause where the
// system tells one) when it cannot be read.
std::vector<std::uint8_t> ReadAll(std::u16string_view path);

}  // namespace nbl::files
