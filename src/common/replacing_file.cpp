#include "common/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"

namespace nbl::files {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

std::string Reason() { return std::strerror(errno); }

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ReplacingFile::ReplacingFile(std::u16string_view target) : target_(ToPath(target)) {
  const std::string name = target_.string();
  mode_t mode = NewFileMode();
  struct stat st{};
  if (::stat(name.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) throw FileFailure("cannot write '" + name + "': not a regular file");
    if ((st.st_mode & S_IWUSR) == 0) throw FileFailure("cannot write '" + name + "': the file is read-only");
    mode = st.st_mode & 07777;
  }
  std::filesystem::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw FileFailure("cannot create a file in '" + folder.string() + "': " + Reason());
  temp_ = pattern;
  ::fchmod(fd_, mode);
  buffer_.reserve(kBufferSize);
}

ReplacingFile::~ReplacingFile() {
  if (!committed_) Discard();
}

void ReplacingFile::Append(const std::uint8_t* data, std::size_t size) {
  if (buffer_.size() + size > kBufferSize) Flush();
  if (size >= kBufferSize) {
    buffer_.assign(data, data + size);
    Flush();
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void ReplacingFile::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileFailure("cannot write '" + temp_.string() + "': " + Reason());
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void ReplacingFile::Commit() {
  Flush();
  if (::fsync(fd_) != 0) throw FileFailure("cannot sync '" + temp_.string() + "': " + Reason());
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw FileFailure("cannot close '" + temp_.string() + "': " + Reason());
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    throw FileFailure("cannot put '" + target_.string() + "' in place: " + Reason());
  }
  committed_ = true;
}

void ReplacingFile::Discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

}  // namespace nbl::files
