// Writes a file through a temporary file in the same folder and puts it in
// place only when complete and synced, so the target holds either the whole
// new content or, after any failure or kill, exactly what it held before.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/output.h"
#ifdef _WIN32
#include "common/write_back.h"
#endif

namespace nbl::files {

class ReplacingFile final : public Output {
 public:
  // Unnamed: the content goes into a file without a name (O_TMPFILE) that gets
  // one only at Commit, so a kill leaves nothing; where the file system cannot,
  // or the environment holds NBL_NAMED_TEMPORARY, it falls back to Named.
  // Named: a hidden temporary file from the start. The file that replaces an
  // existing target gets its owner, group (where this process may give them)
  // and permission bits, without set-user-ID and set-group-ID.
  enum class Temporary { Unnamed, Named };

  // Throws FileFailure, with a cause for the user, when `target` could not be
  // replaced: it exists but is not a regular file or lacks its owner write bit,
  // or its folder is missing, lacks its owner write bit, refuses this process
  // or is sticky and not ours. Owner write bits are honoured even by root.
  // Touches nothing.
  static void CheckReplaceable(std::u16string_view target);

  // Checks as CheckReplaceable, removes temporary files of the same target
  // that no live run holds, and opens a new temporary file beside `target`.
  // Throws FileFailure when the check fails or the folder cannot take the file.
  explicit ReplacingFile(std::u16string_view target, Temporary kind = Temporary::Unnamed);
  // Without Commit the temporary file is removed and the target left alone.
  ~ReplacingFile() override;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Appends bytes through a buffer (a block at least as large as the buffer is
  // written as it is); throws FileFailure when the write fails.
  void Append(const std::uint8_t* data, std::size_t size) override;
  // Writes what is buffered, syncs the file, renames it over the target and
  // syncs the folder. Throws FileFailure when any of it fails; the target is
  // then untouched unless only the folder's sync failed.
  void Commit() override;

 private:
  void OpenNamed();
  void LinkUnnamed();
  void Write(const std::uint8_t* data, std::size_t size);
  void Flush();
  int TakeOwnerAndMode();  // 0 or the errno of the failure
  void Discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::filesystem::path temp_;  // empty while the file has no name
  mode_t mode_ = 0;
  // The uid_t and gid_t of the target being replaced (Windows has no such ids).
  std::optional<std::pair<unsigned, unsigned>> owner_;
  int fd_ = -1;
  bool committed_ = false;
  std::vector<std::uint8_t> buffer_;
#ifdef _WIN32
  // What flushes the document on a thread of its own as it is written, made at the first write,
  // so that the flush of Commit finds little left. On Linux neither a write-back started early
  // nor such a flush made the export faster (measured).
  std::unique_ptr<WriteBack> writeBack_;
  std::uint64_t written_ = 0;
#endif
};

// For a signal handler (async-signal-safe): removes the named temporary file of
// the newest ReplacingFile of this process that is neither committed nor
// discarded, so that a command stopped by a signal leaves no hidden file.
void RemoveTemporaryOnSignal() noexcept;

}  // namespace nbl::files
