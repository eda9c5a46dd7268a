#include "common/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/failure.h"

namespace nbl::files {

int WriteAll(int fd, const std::uint8_t* data, std::size_t size) noexcept {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

void StreamOutput::Append(const std::uint8_t* data, std::size_t size) {
  if (const int err = WriteAll(fd_, data, size); err != 0) {
    throw FileFailure("cannot write the document to " + name_ + ": " + std::strerror(err));
  }
}

}  // namespace nbl::files
