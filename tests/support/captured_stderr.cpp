#include "support/captured_stderr.h"

#include <unistd.h>

#include <stdexcept>

namespace nbl::testing {

CapturedStderr::CapturedStderr() : file_(std::tmpfile()) {
  if (file_ == nullptr) throw std::runtime_error("cannot make a file to catch standard error");
  std::fflush(stderr);
  saved_ = ::dup(STDERR_FILENO);
  if (saved_ < 0 || ::dup2(::fileno(file_), STDERR_FILENO) < 0) {
    if (saved_ >= 0) ::close(saved_);
    std::fclose(file_);
    throw std::runtime_error("cannot catch standard error");
  }
}

CapturedStderr::~CapturedStderr() {
  Take();
  if (file_ != nullptr) std::fclose(file_);
}

std::string CapturedStderr::Take() {
  if (saved_ < 0) return {};
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
  saved_ = -1;
  std::string out;
  std::rewind(file_);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) out.append(buffer, n);
  return out;
}

}  // namespace nbl::testing
