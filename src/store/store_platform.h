// Internal to store/: what the connection asks of the file system around a store,
// each platform its own way (store_platform_posix.cpp, store_platform_win32.cpp).
// Paths are UTF-8, as SQLite takes them.
#pragma once

#include <optional>
#include <string>

namespace nbl::store::platform {

// The folder of `path`; "" when it names none.
std::string FolderOf(const std::string& path);

// One plain line for a user after SQLite's file layer failed on `path` with
// `error`, the system's code it kept (sqlite3_system_errno); "" when it tells nothing.
std::string CauseOfSystemError(int error, const std::string& path);

// What a failed write left to tell: ENOSPC when the disk has no room left, EFBIG
// when the store or a journal reached the largest file this process may write,
// else 0.
int FullnessOf(const std::string& path);

// Whether the store's left-over write-ahead journal cannot be replayed because
// its folder may not be written.
bool JournalCannotBeReplayed(const std::string& path);

// A place that marks the store read-only even to a user the system would let
// write (the store or its folder), with the plain words for it; nothing when none does.
struct ReadOnlyPlace {
  std::string name;
  std::string why;
};
std::optional<ReadOnlyPlace> ReadOnlyPlaceOf(const std::string& path);

// Whether anything exists at `path`.
bool Exists(const std::string& path);

// Creates `path` as a new empty file, refusing one that exists even when it
// appears meanwhile. "" on success, else the reason ("the file already exists").
std::string CreateNewFile(const std::string& path);

// Removes the file at `path`, if there is one.
void RemoveFile(const std::string& path) noexcept;

}  // namespace nbl::store::platform
