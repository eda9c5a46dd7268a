// File-system operations of the handle and the runs, on 16-bit paths, and the
// plain words a user is told when one of them fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace nbl::files {

// The path of 16-bit text as the file system sees it.
std::filesystem::path ToPath(std::u16string_view path);

// Test R: a regular file (links followed) of any permissions. False for empty paths and directories.
bool ExistsR(std::u16string_view path);

// Test N: a regular file (links followed) that has its owner write bit.
bool ExistsN(std::u16string_view path);

// What a path names, links followed: None for an empty path, a dangling link or
// nothing at all; Denied when a folder on the way may not be searched.
enum class PathKind { None, Denied, File, Directory, Other };
PathKind KindOf(std::u16string_view path);

// Why a path of that kind is no file to read: "no such file", "permission
// denied", "is a directory", "is not a regular file"; "" for a File.
const char* WhyNotAFile(PathKind kind);

// One plain line for a user after a file operation on `path` failed with `err`
// (an errno value): permission denied, a read-only file system, a full disk (a
// file size limit counts as one), a directory or a missing folder, each saying
// what to do. Empty when `err` tells nothing a user can act on.
std::string CauseOfErrno(int err, const std::string& path);

// The whole content of the file; throws FileFailure (with a cause where the
// system tells one) when it cannot be read.
std::vector<std::uint8_t> ReadAll(std::u16string_view path);

}  // namespace nbl::files
