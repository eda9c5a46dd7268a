// Writes a file through a temporary file in the same folder and puts it in
// place only when complete, so the target holds either the whole new content
// or what it held before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace nbl::files {

class ReplacingFile {
 public:
  // Opens a temporary file beside `target`. Throws FileFailure when the folder
  // cannot take it, or when `target` exists but is not a regular file or lacks
  // its owner write bit (refused even where the process could write anyway).
  explicit ReplacingFile(std::u16string_view target);
  // Without Commit the temporary file is removed and the target left alone.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Appends bytes through a buffer; throws FileFailure when the write fails.
  void Append(const std::uint8_t* data, std::size_t size);
  // Flushes, syncs and closes the temporary file, then renames it over the target.
  void Commit();

  const std::filesystem::path& TemporaryPath() const { return temp_; }

 private:
  void Flush();
  void Discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  bool committed_ = false;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace nbl::files
