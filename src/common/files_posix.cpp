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
  if (path.empty() || text::HasLoneSurrogate(path)) return false;
  return ::stat(text::ToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::filesystem::path ToPath(std::u16string_view path) {
  const std::string utf8 = text::ToUtf8(path);
  if (text::HasLoneSurrogate(path)) {
    throw FileFailure("the path '" + utf8 + "' holds a lone surrogate and names no file exactly",
                      "the path '" + utf8 + "' is not valid text (a lone surrogate); give another path");
  }
  return std::filesystem::path(utf8);
}

std::filesystem::path FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) break;
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
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
  if (path.empty() || text::HasLoneSurrogate(path)) return PathKind::None;
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
      return "the disk is full: no room to write " + p + "; free some space and try again";
    case EFBIG:
      return "the file size limit of this process was reached while writing " + p +
             "; raise the limit (ulimit -f) or write less";
    case EISDIR:
      return p + " is a directory; give the path of a file";
    case ENOENT:
    case ENOTDIR:
      return "no such folder or file " + p + "; check the path";
    default:
      return {};
  }
}

InputFile::InputFile(std::u16string_view path) : name_(ToPath(path).string()) {
  fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) Fail("open");
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("read the length of");
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    Fail("read");
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void InputFile::Fail(const std::string& action) const {
  const int err = errno;
  throw FileFailure("cannot " + action + " '" + name_ + "': " + std::strerror(err), CauseOfErrno(err, name_));
}

std::size_t InputFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("read");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::vector<std::uint8_t> InputFile::ReadAll() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  // A file that shrank while it was read ends where it ended.
  bytes.resize(ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> ReadAll(std::u16string_view path) { return InputFile(path).ReadAll(); }

}  // namespace nbl::files
