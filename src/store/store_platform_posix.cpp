#include "store/store_platform.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/files.h"

namespace nbl::store::platform {

namespace {

// The folder to look at for `path`: its own, or the current one.
std::string FolderToLookAt(const std::string& path) {
  const std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

}  // namespace

std::string FolderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

std::string CauseOfSystemError(int error, const std::string& path) { return files::CauseOfErrno(error, path); }

// SQLite keeps the errno of a failed write to itself (only ENOSPC shows, as SQLITE_FULL), so a
// full disk is told by what it leaves.
int FullnessOf(const std::string& path) {
  struct statvfs fs {};
  if (::statvfs(FolderToLookAt(path).c_str(), &fs) == 0 && fs.f_bavail == 0) return ENOSPC;
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  for (const char* suffix : {"", "-wal", "-journal"}) {
    struct stat st {};
    if (::stat((path + suffix).c_str(), &st) == 0 && static_cast<rlim_t>(st.st_size) >= limit.rlim_cur) return EFBIG;
  }
  return 0;
}

// A left-over journal is replayed into a shared-memory file beside it; a folder that may
// not be written makes that fail as a missing file would.
bool JournalCannotBeReplayed(const std::string& path) {
  struct stat st {};
  return ::stat((path + "-wal").c_str(), &st) == 0 && ::stat((path + "-shm").c_str(), &st) != 0 &&
         ::access(FolderToLookAt(path).c_str(), W_OK) != 0;
}

// The owner write bit marks a read-only store, and a folder its journal may not be written
// in, even for root, which the file system itself would let write.
std::optional<ReadOnlyPlace> ReadOnlyPlaceOf(const std::string& path) {
  const ReadOnlyPlace places[] = {{path, "the store is read-only; make it writable or choose another store"},
                                  {FolderOf(path), "the folder is read-only; make it writable or move the store"}};
  for (const ReadOnlyPlace& place : places) {
    struct stat st {};
    if (!place.name.empty() && ::stat(place.name.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) return place;
  }
  return std::nullopt;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(path), ec);
}

std::string CreateNewFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? std::string("the file already exists") : std::strerror(errno);
  ::close(fd);
  return {};
}

void RemoveFile(const std::string& path) noexcept {
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(path), ignored);
}

}  // namespace nbl::store::platform
