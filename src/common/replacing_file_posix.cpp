#include "common/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"

namespace nbl::files {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kRandomLength = 6;
constexpr std::string_view kTemporarySuffix = ".part";

std::string Reason(int err) { return std::strerror(err); }

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A temporary file of `target` is named ".<target's name>.XXXXXX.part", so that a
// later run can tell the ones of its target from every other file in the folder.
// A long name is cut so that the whole stays within the longest name a folder
// takes (255 bytes): a target of any valid name can be written.
std::string TemporaryPrefix(const std::filesystem::path& target) {
  constexpr std::size_t kLongestName = 255;
  constexpr std::size_t kRoom = kLongestName - 2 - kRandomLength - kTemporarySuffix.size();
  const std::string name = target.filename().string();
  return "." + name.substr(0, kRoom) + ".";
}

// The named temporary file of this process that a signal would otherwise leave
// behind; atomic flags are what a signal handler may read.
char g_pendingName[PATH_MAX];
std::atomic<bool> g_pendingArmed{false};

void ArmSignalRemoval(const std::filesystem::path& name) noexcept {
  g_pendingArmed.store(false);
  const std::string& bytes = name.native();
  if (bytes.size() >= sizeof(g_pendingName)) return;
  std::memcpy(g_pendingName, bytes.c_str(), bytes.size() + 1);
  g_pendingArmed.store(true);
}

void DisarmSignalRemoval() noexcept { g_pendingArmed.store(false); }

// Holds back the signals that remove the temporary file from a name's creation until it is
// armed: one arriving in between would otherwise leave the file behind.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_;
};

// NBL_NAMED_TEMPORARY (any value) asks for the named temporary file from the
// start, as on a file system without unnamed files.
bool NamedTemporaryForced() {
  static const bool forced = std::getenv("NBL_NAMED_TEMPORARY") != nullptr;
  return forced;
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  return name.size() == prefix.size() + kRandomLength + kTemporarySuffix.size() &&
         name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - kTemporarySuffix.size()) == kTemporarySuffix;
}

std::filesystem::path NewTemporaryName(const std::filesystem::path& folder, const std::string& prefix) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
  std::string name = prefix;
  for (std::size_t i = 0; i < kRandomLength; ++i) name.push_back(kLetters[pick(source)]);
  name += kTemporarySuffix;
  return folder / name;
}

bool SameFile(int fd, const std::filesystem::path& path) {
  struct stat byFd {
  }, byName{};
  return ::fstat(fd, &byFd) == 0 && ::lstat(path.c_str(), &byName) == 0 && byFd.st_dev == byName.st_dev &&
         byFd.st_ino == byName.st_ino;
}

// Every run holds an exclusive flock on its temporary file until it ends, and the
// kernel drops it when the run dies: a file whose lock is free belongs to no live run.
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& prefix) noexcept {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTemporaryName(entry->d_name, prefix)) continue;
    const std::filesystem::path path = folder / entry->d_name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, path)) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(dir);
}

struct Place {
  std::filesystem::path target, folder;
  mode_t mode = 0;  // of the file that replaces the target
  bool exists = false;
  uid_t owner = 0;  // of the target, when it exists
  gid_t group = 0;
};

[[noreturn]] void Refuse(const std::string& target, const std::string& reason, const std::string& cause) {
  throw FileFailure("cannot replace '" + target + "': " + reason, cause);
}

Place Examine(std::u16string_view targetText) {
  Place place;
  place.target = FollowLinks(ToPath(targetText));
  const std::string name = place.target.string();
  place.folder = place.target.parent_path();
  if (place.folder.empty()) place.folder = ".";
  const std::string folderName = place.folder.string();

  struct stat target {};
  const bool exists = ::stat(name.c_str(), &target) == 0;
  if (exists) {
    if (S_ISDIR(target.st_mode)) Refuse(name, "is a directory", CauseOfErrno(EISDIR, name));
    if (!S_ISREG(target.st_mode))
      Refuse(name, "not a regular file", "'" + name + "' is not a regular file; give the path of a file");
    if ((target.st_mode & S_IWUSR) == 0)
      Refuse(name, "the file is read-only", "'" + name + "' is read-only; make it writable or choose another file");
    // A replaced document keeps its permissions, but never a set-user-ID or set-group-ID bit.
    place.mode = target.st_mode & 07777 & ~(S_ISUID | S_ISGID);
    place.exists = true;
    place.owner = target.st_uid;
    place.group = target.st_gid;
  } else {
    const int err = errno;
    if (err != ENOENT) Refuse(name, Reason(err), CauseOfErrno(err, name));
    place.mode = NewFileMode();
  }

  struct stat folder {};
  if (::stat(folderName.c_str(), &folder) != 0) {
    const int err = errno;
    Refuse(name, "folder '" + folderName + "': " + Reason(err), CauseOfErrno(err, folderName));
  }
  if (!S_ISDIR(folder.st_mode)) Refuse(name, "'" + folderName + "' is not a folder", CauseOfErrno(ENOTDIR, name));
  // The owner write bit marks a read-only folder even for root, as it marks a read-only file.
  if ((folder.st_mode & S_IWUSR) == 0)
    Refuse(name, "the folder is read-only",
           "permission denied on '" + folderName + "': the folder is read-only; choose another folder");
  if (::faccessat(AT_FDCWD, folderName.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    const int err = errno;
    Refuse(name, "folder '" + folderName + "': " + Reason(err), CauseOfErrno(err, folderName));
  }
  // In a sticky folder only the owners of the file or of the folder may replace the file.
  const uid_t me = ::geteuid();
  if (exists && (folder.st_mode & S_ISVTX) != 0 && me != 0 && target.st_uid != me && folder.st_uid != me)
    Refuse(name, "the file belongs to another user of a shared folder", CauseOfErrno(EPERM, name));
  return place;
}

}  // namespace

void ReplacingFile::CheckReplaceable(std::u16string_view target) { Examine(target); }

void RemoveTemporaryOnSignal() noexcept {
  if (g_pendingArmed.exchange(false)) ::unlink(g_pendingName);
}

ReplacingFile::ReplacingFile(std::u16string_view target, Temporary kind) {
  Place place = Examine(target);
  target_ = std::move(place.target);
  folder_ = std::move(place.folder);
  mode_ = place.mode;
  if (place.exists) owner_ = {place.owner, place.group};
  RemoveStaleTemporaries(folder_, TemporaryPrefix(target_));
  if (kind == Temporary::Unnamed && !NamedTemporaryForced()) {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      const int err = errno;
      // These say the file system has no unnamed files; anything else is a real refusal.
      if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) {
        throw FileFailure("cannot create a file in '" + folder_.string() + "': " + Reason(err),
                          CauseOfErrno(err, folder_.string()));
      }
    } else {
      ::flock(fd_, LOCK_EX);  // for the name it gets at Commit
      if (const int err = TakeOwnerAndMode(); err != 0) {
        Discard();
        throw FileFailure("cannot prepare a file in '" + folder_.string() + "': " + Reason(err));
      }
    }
  }
  if (fd_ < 0) OpenNamed();
  buffer_.reserve(kBufferSize);
}

ReplacingFile::~ReplacingFile() {
  if (!committed_) Discard();
}

void ReplacingFile::OpenNamed() {
  const std::string prefix = TemporaryPrefix(target_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path name = NewTemporaryName(folder_, prefix);
    const SignalsHeld held;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      const int err = errno;
      if (err == EEXIST) continue;
      throw FileFailure("cannot create a file in '" + folder_.string() + "': " + Reason(err),
                        CauseOfErrno(err, folder_.string()));
    }
    // Where the file system has no locks, no clean-up can lock the file to remove it either.
    ::flock(fd, LOCK_EX);
    // Another run's clean-up may remove the file between its creation and the lock; then take another name.
    if (!SameFile(fd, name)) {
      ::close(fd);
      continue;
    }
    fd_ = fd;
    temp_ = name;
    ArmSignalRemoval(temp_);
    if (const int err = TakeOwnerAndMode(); err != 0) {
      Discard();
      throw FileFailure("cannot set the permissions of '" + name.string() + "': " + Reason(err));
    }
    return;
  }
  throw FileFailure("cannot create a temporary file in '" + folder_.string() + "': every name tried is taken");
}

void ReplacingFile::LinkUnnamed() {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  const std::string prefix = TemporaryPrefix(target_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path name = NewTemporaryName(folder_, prefix);
    const SignalsHeld held;
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp_ = name;
      ArmSignalRemoval(temp_);
      return;
    }
    const int err = errno;
    if (err != EEXIST) {
      throw FileFailure("cannot give the new '" + target_.string() + "' a name: " + Reason(err),
                        CauseOfErrno(err, folder_.string()));
    }
  }
  throw FileFailure("cannot give the new '" + target_.string() + "' a name: every name tried is taken");
}

void ReplacingFile::Append(const std::uint8_t* data, std::size_t size) {
  if (buffer_.size() + size > kBufferSize) Flush();
  // A block that fills the buffer by itself gains nothing from a copy into it.
  if (size >= kBufferSize) {
    Write(data, size);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void ReplacingFile::Write(const std::uint8_t* data, std::size_t size) {
  if (const int err = WriteAll(fd_, data, size); err != 0) {
    throw FileFailure("cannot write the new '" + target_.string() + "': " + Reason(err),
                      CauseOfErrno(err, target_.string()));
  }
}

void ReplacingFile::Flush() {
  Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void ReplacingFile::Commit() {
  Flush();
  if (::fsync(fd_) != 0) {
    const int err = errno;
    throw FileFailure("cannot sync the new '" + target_.string() + "': " + Reason(err),
                      CauseOfErrno(err, target_.string()));
  }
  if (temp_.empty()) LinkUnnamed();
  // The lock stays until the rename is done, so no other run takes the file for a stale one.
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    throw FileFailure("cannot put '" + target_.string() + "' in place: " + Reason(err),
                      CauseOfErrno(err, target_.string()));
  }
  committed_ = true;
  DisarmSignalRemoval();
  ::close(fd_);
  fd_ = -1;
  const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int err = dir < 0 ? errno : (::fsync(dir) == 0 ? 0 : errno);
  if (dir >= 0) ::close(dir);
  // Some file systems cannot sync a folder (EINVAL); there the rename is as durable as they make it.
  if (err != 0 && err != EINVAL) {
    throw FileFailure("'" + target_.string() + "' is in place, but its folder could not be synced: " + Reason(err),
                      CauseOfErrno(err, folder_.string()));
  }
}

int ReplacingFile::TakeOwnerAndMode() {
  // Root replacing a user's document leaves it theirs. Others may give only a group of their own, if
  // that; the file then stays this process's own, which is no reason to refuse the export.
  if (owner_ && ::fchown(fd_, owner_->first, owner_->second) != 0) {
    [[maybe_unused]] const int ignored = ::fchown(fd_, static_cast<uid_t>(-1), owner_->second);
  }
  // After fchown, which may clear mode bits.
  return ::fchmod(fd_, mode_) == 0 ? 0 : errno;
}

void ReplacingFile::Discard() noexcept {
  // Removed while still locked, so no other run's clean-up races for it.
  DisarmSignalRemoval();
  if (!temp_.empty()) ::unlink(temp_.c_str());
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace nbl::files
