// Has the system start writing a file's new bytes to the disk while more come,
// a few megabytes at a time, so that the sync that ends the writing (the
// document's, a transaction's, a checkpoint's) finds little left to write.
// Only when, never what, reaches the disk changes: a failure to start is
// ignored, and the sync still tells the truth.
#pragma once

#include <cstdint>
#include <memory>

namespace nbl::files {

class WriteBack {
 public:
  // The bytes received before a write-back starts.
  static constexpr std::uint64_t kRun = 4 << 20;

  // `handle`: the file's descriptor (POSIX) or HANDLE (Windows), open at
  // least as long as this object.
  explicit WriteBack(std::intptr_t handle);
  ~WriteBack();
  WriteBack(const WriteBack&) = delete;
  WriteBack& operator=(const WriteBack&) = delete;

  // The file received `size` bytes at `offset`.
  void Received(std::uint64_t offset, std::uint64_t size);
  // A sync or a truncation took care of what was received.
  void Settled() { from_ = to_ = 0; }

 private:
  // Starts writing [from, to): Linux's sync_file_range returns at once;
  // Windows has only FlushFileBuffers, which waits, and runs on a thread of
  // its own made at the first run.
  void Start(std::uint64_t from, std::uint64_t to);

  std::intptr_t handle_;
  std::uint64_t from_ = 0, to_ = 0;  // received since the last start
#ifdef _WIN32
  struct Flusher;
  std::unique_ptr<Flusher> flusher_;
#endif
};

}  // namespace nbl::files
