#include "common/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/failure.h"
#include "common/text.h"

namespace nbl::files {
namespace {

bool StatRegular(std::u16string_view path, struct stat& st) {
  if (path.empty()) return false;
  return ::stat(text::ToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::filesystem::path ToPath(std::u16string_view path) {
  const std::string utf8 = text::ToUtf8(path);
  return std::filesystem::path(utf8);
}

bool ExistsR(std::u16string_view path) {
  struct stat st {};
  return StatRegular(path, st);
}

bool ExistsN(std::u16string_view path) {
  struct stat st {};
  return StatRegular(path, st) && (st.st_mode & S_IWUSR) != 0;
}

PathKind KindOf(std::u16string_view path) {
  struct stat st {};
  if (path.empty()) return PathKind::None;
  if (::stat(text::ToUtf8(path).c_str(), &st) != 0) return errno == EACCES ? PathKind::Denied : PathKind::None;
  if (S_ISREG(st.st_mode)) return PathKind::File;
  return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
}

const char* WhyNotAFile(PathKind kind) {
  switch (kind) {
    case PathKind::None:
      return "no such file";
    case PathKind::Denied:
      return "permission denied";
    case PathKind::Directory:
      return "is a directory";
    case PathKind::Other:
      return "is not a regular file";
    case PathKind::File:
      break;
  }
  return "";
}

std::string CauseOfErrno(int err, const std::string& path) {
  const std::string p = "'" + path + "'";
  switch (err) {
    case EACCES:
    case EPERM:
      return "permission denied on " + p + "; check the permissions of it and of its folder";
    case EROFS:
      return p + " is on a read-only file system; choose another place";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "the disk is full: no room to write " + p + "; free some space and try again";
    case EISDIR:
      return p + " is a directory; give the path of a file";
    case ENOENT:
    case ENOTDIR:
      return "no such folder or file " + p + "; check the path";
    default:
      return {};
  }
}

std::vector<std::uint8_t> ReadAll(std::u16string_view path) {
  const std::string name = text::ToUtf8(path);
  auto fail = [&name](const std::string& action) {
    const int err = errno;
    throw FileFailure("cannot " + action + " '" + name + "': " + std::strerror(err), CauseOfErrno(err, name));
  };
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail("open");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail("read the length of");
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    fail("read");
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("read");
    if (n == 0) break;  // the file shrank while it was read
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace nbl::files
