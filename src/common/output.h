// Where a run writes a document: bytes appended as they come, made final by Commit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nbl::files {

class Output {
 public:
  virtual ~Output() = default;
  // Throws FileFailure, with a cause for the user where one helps, when the bytes cannot be written.
  virtual void Append(const std::uint8_t* data, std::size_t size) = 0;
  // Makes what was appended final; throws FileFailure when that fails.
  virtual void Commit() = 0;
};

// Writes all `size` bytes to `fd`, again after an interrupted or short write.
// Returns 0, or the errno of the write that failed.
int WriteAll(int fd, const std::uint8_t* data, std::size_t size) noexcept;

// An open descriptor such as standard output, written unbuffered as the bytes
// come: there is nothing to replace, and Commit does nothing. A reader that has
// gone makes Append fail with EPIPE only where SIGPIPE is ignored.
class StreamOutput final : public Output {
 public:
  // `name` says in failures what `fd` is ("standard output"). The descriptor stays open.
  StreamOutput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  void Append(const std::uint8_t* data, std::size_t size) override;
  void Commit() override {}

 private:
  int fd_;
  std::string name_;
};

}  // namespace nbl::files
