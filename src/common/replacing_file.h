// Writes a file through a temporary file in the same folder and puts it in
// place only when complete and synced, so the target holds either the whole
// new content or, after any failure or kill, exactly what it held before.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/output.h"

namespace nbl::files {

class ReplacingFile final : public Output {
 public:
  // Unnamed: the content goes into a file without a name (O_TMPFILE) that gets
  // one only at Commit, so a kill leaves nothing; where the file system cannot,
  // it falls back to Named. Named: a visible temporary file from the start.
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
  void Discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::filesystem::path temp_;  // empty while the file has no name
  mode_t mode_ = 0;
  int fd_ = -1;
  bool committed_ = false;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace nbl::files
