#include "store/read_ahead_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/write_back.h"

#ifdef __linux__
#include <sys/stat.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace nbl::store::detail {
namespace {

constexpr int kWindow = 64 * 1024;

sqlite3_vfs* Real(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

// Our file, then the default layer's file in the bytes after it.
struct WindowFile {
  sqlite3_file base;
  sqlite3_file* real;
  bool windowed;  // the database file itself: only its reads go through the window
  std::unique_ptr<unsigned char[]> window;
  sqlite3_int64 start;
  int length;  // of the bytes in the window; 0 when it holds none
  // The database file and its log: what starts writing what they receive, on `handle`.
  std::unique_ptr<files::WriteBack> writeBack;
  std::intptr_t handle;
  // The write-ahead log: the appends not yet written, at `runAt`, and whether the
  // next write ends a commit frame.
  bool holdsAppends;
  std::unique_ptr<unsigned char[]> run;
  int runLength;
  sqlite3_int64 runAt;
  bool commitFrameEnds;

  void Drop() { length = 0; }
  int WriteThrough(const void* data, int amount, sqlite3_int64 offset) {
    const int rc = real->pMethods->xWrite(real, data, amount, offset);
    if (rc == SQLITE_OK && writeBack)
      writeBack->Received(static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(amount));
    return rc;
  }
  int WriteRun() {
    if (runLength == 0) return SQLITE_OK;
    const int length = runLength;
    runLength = 0;
    return WriteThrough(run.get(), length, runAt);
  }
  // Before a call that may change the file or what others see of it: the window goes, the run is written.
  int Clear() {
    Drop();
    return WriteRun();
  }
};

#ifdef __linux__
// The descriptor of the default layer's file for `name`, or -1. The unix layer
// keeps it after its methods, its layer and its inode record (the start of its
// struct unixFile); it is taken only when it names that very file, and only
// ever used to start a write-back early, which changes nothing but when.
std::intptr_t HandleOf(const sqlite3_vfs* real, sqlite3_file* file, const char* name) {
  if (name == nullptr || real->zName == nullptr || std::strncmp(real->zName, "unix", 4) != 0) return -1;
  struct UnixFileStart {
    const sqlite3_io_methods* methods;
    sqlite3_vfs* vfs;
    void* inode;
    int descriptor;
  };
  const int fd = reinterpret_cast<const UnixFileStart*>(file)->descriptor;
  struct stat held = {};
  struct stat named = {};
  if (fd < 0 || fstat(fd, &held) != 0 || stat(name, &named) != 0 || held.st_dev != named.st_dev ||
      held.st_ino != named.st_ino) {
    return -1;
  }
  return fd;
}
#elif defined(_WIN32)
std::intptr_t HandleOf(const sqlite3_vfs*, sqlite3_file* file, const char*) {
  HANDLE h = nullptr;
  if (file->pMethods->xFileControl(file, SQLITE_FCNTL_WIN32_GET_HANDLE, &h) != SQLITE_OK || h == nullptr ||
      h == INVALID_HANDLE_VALUE) {
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(h);
}
#else
std::intptr_t HandleOf(const sqlite3_vfs*, sqlite3_file*, const char*) { return -1; }
#endif

// A sync writes what was received; a truncation ends the file's run.
void Settled(WindowFile& f) {
  if (f.writeBack) f.writeBack->Settled();
}

// Where the default layer's file starts, on an eight-byte boundary.
constexpr std::size_t kRealAt = (sizeof(WindowFile) + 7) / 8 * 8;

WindowFile& Of(sqlite3_file* file) { return *reinterpret_cast<WindowFile*>(file); }
sqlite3_file* RealOf(sqlite3_file* file) { return Of(file).real; }

int Close(sqlite3_file* file) {
  WindowFile& f = Of(file);
  const int written = f.WriteRun();
  f.writeBack.reset();  // its last write-back ends while the file is open
  const int rc = f.real->pMethods->xClose(f.real);
  f.~WindowFile();
  return written != SQLITE_OK ? written : rc;
}

int Read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
  WindowFile& f = Of(file);
  if (const int rc = f.WriteRun(); rc != SQLITE_OK) return rc;
  if (!f.windowed || amount > kWindow) return f.real->pMethods->xRead(f.real, out, amount, offset);
  if (f.length == 0 || offset < f.start || offset + amount > f.start + f.length) {
    sqlite3_int64 size = 0;
    if (int rc = f.real->pMethods->xFileSize(f.real, &size); rc != SQLITE_OK) return rc;
    const sqlite3_int64 start = offset & ~static_cast<sqlite3_int64>(kWindow - 1);
    const sqlite3_int64 length = std::min<sqlite3_int64>(kWindow, size - start);
    // What the window cannot hold whole (a read at or past the end) goes as it is, short reads and all.
    if (length <= 0 || offset + amount > start + length) {
      f.Drop();
      return f.real->pMethods->xRead(f.real, out, amount, offset);
    }
    if (!f.window) f.window.reset(new (std::nothrow) unsigned char[kWindow]);
    if (!f.window) return f.real->pMethods->xRead(f.real, out, amount, offset);
    f.Drop();
    if (int rc = f.real->pMethods->xRead(f.real, f.window.get(), static_cast<int>(length), start); rc != SQLITE_OK) {
      return rc;
    }
    f.start = start;
    f.length = static_cast<int>(length);
  }
  std::memcpy(out, f.window.get() + (offset - f.start), static_cast<std::size_t>(amount));
  return SQLITE_OK;
}

// The size of a frame header in the write-ahead log; bytes 4 to 7 hold the store's size in
// pages after a commit, 0 in any other frame.
constexpr int kFrameHeader = 24;

// Appends to the log go into the run; anything else writes the run first.
int WriteToLog(WindowFile& f, const void* data, int amount, sqlite3_int64 offset) {
  const bool appends = f.runLength > 0 && offset == f.runAt + f.runLength;
  // The unix layer writes at most 128 KiB in one call: a run stays within the window's 64 KiB.
  if (!appends || f.runLength + amount > kWindow) {
    if (const int rc = f.WriteRun(); rc != SQLITE_OK) return rc;
  }
  const bool endsCommit = f.commitFrameEnds;
  f.commitFrameEnds = false;
  if (!f.run && amount <= kWindow) f.run.reset(new (std::nothrow) unsigned char[kWindow]);
  // Nothing is held here: what the run cannot take goes as it is.
  if (amount > kWindow || !f.run) return f.WriteThrough(data, amount, offset);
  if (f.runLength == 0) f.runAt = offset;
  std::memcpy(f.run.get() + f.runLength, data, static_cast<std::size_t>(amount));
  f.runLength += amount;
  if (amount == kFrameHeader) {
    const auto* header = static_cast<const unsigned char*>(data);
    f.commitFrameEnds = (header[4] | header[5] | header[6] | header[7]) != 0;
  }
  return endsCommit ? f.WriteRun() : SQLITE_OK;
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  WindowFile& f = Of(file);
  f.Drop();
  if (f.holdsAppends) return WriteToLog(f, data, amount, offset);
  return f.WriteThrough(data, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  if (const int rc = Of(file).Clear(); rc != SQLITE_OK) return rc;
  Settled(Of(file));
  return RealOf(file)->pMethods->xTruncate(RealOf(file), size);
}
int Sync(sqlite3_file* file, int flags) {
  if (const int rc = Of(file).Clear(); rc != SQLITE_OK) return rc;
  Settled(Of(file));
  return RealOf(file)->pMethods->xSync(RealOf(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  if (const int rc = Of(file).WriteRun(); rc != SQLITE_OK) return rc;
  return RealOf(file)->pMethods->xFileSize(RealOf(file), size);
}
int Lock(sqlite3_file* file, int level) {
  if (const int rc = Of(file).Clear(); rc != SQLITE_OK) return rc;
  return RealOf(file)->pMethods->xLock(RealOf(file), level);
}
int Unlock(sqlite3_file* file, int level) {
  if (const int rc = Of(file).Clear(); rc != SQLITE_OK) return rc;
  return RealOf(file)->pMethods->xUnlock(RealOf(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return RealOf(file)->pMethods->xCheckReservedLock(RealOf(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  if (op == kWriteBackDescriptorControl) {
    *static_cast<int*>(arg) = Of(file).writeBack ? static_cast<int>(Of(file).handle) : -1;
    return SQLITE_OK;
  }
  if (const int rc = Of(file).Clear(); rc != SQLITE_OK) return rc;
  return RealOf(file)->pMethods->xFileControl(RealOf(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return RealOf(file)->pMethods->xSectorSize(RealOf(file)); }
int DeviceCharacteristics(sqlite3_file* file) { return RealOf(file)->pMethods->xDeviceCharacteristics(RealOf(file)); }
// The shared-memory and mapping methods, which the layer may lack (an older version of them).
bool Has(sqlite3_file* file, int version) { return RealOf(file)->pMethods->iVersion >= version; }
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
  return Has(file, 2) ? RealOf(file)->pMethods->xShmMap(RealOf(file), region, size, extend, out) : SQLITE_IOERR;
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  Of(file).Drop();
  return Has(file, 2) ? RealOf(file)->pMethods->xShmLock(RealOf(file), offset, n, flags) : SQLITE_IOERR;
}
void ShmBarrier(sqlite3_file* file) {
  if (Has(file, 2)) RealOf(file)->pMethods->xShmBarrier(RealOf(file));
}
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
  return Has(file, 2) ? RealOf(file)->pMethods->xShmUnmap(RealOf(file), deleteFlag) : SQLITE_OK;
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  if (Has(file, 3)) return RealOf(file)->pMethods->xFetch(RealOf(file), offset, amount, out);
  *out = nullptr;  // not mapped: SQLite reads the page instead
  return SQLITE_OK;
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return Has(file, 3) ? RealOf(file)->pMethods->xUnfetch(RealOf(file), offset, page) : SQLITE_OK;
}

constexpr sqlite3_io_methods kMethods = {3,
                                         Close,
                                         Read,
                                         Write,
                                         Truncate,
                                         Sync,
                                         FileSize,
                                         Lock,
                                         Unlock,
                                         CheckReservedLock,
                                         FileControl,
                                         SectorSize,
                                         DeviceCharacteristics,
                                         ShmMap,
                                         ShmLock,
                                         ShmBarrier,
                                         ShmUnmap,
                                         Fetch,
                                         Unfetch};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  WindowFile* f = new (file) WindowFile{};
  f->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<unsigned char*>(file) + kRealAt);
  f->windowed = (flags & SQLITE_OPEN_MAIN_DB) != 0;
  f->holdsAppends = (flags & SQLITE_OPEN_WAL) != 0;
  const int rc = Real(vfs)->xOpen(Real(vfs), name, f->real, flags, outFlags);
  if (rc != SQLITE_OK || f->real->pMethods == nullptr) {
    // SQLite closes only a file that has methods; the layer's own failed open has released its part.
    f->~WindowFile();
    file->pMethods = nullptr;
    return rc;
  }
  file->pMethods = &kMethods;
  if ((flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL)) != 0) {
    f->handle = HandleOf(Real(vfs), f->real, name);
    if (f->handle != -1) f->writeBack = std::make_unique<files::WriteBack>(f->handle);
  }
  return SQLITE_OK;
}

int Delete(sqlite3_vfs* vfs, const char* name, int sync) { return Real(vfs)->xDelete(Real(vfs), name, sync); }
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
  return Real(vfs)->xAccess(Real(vfs), name, flags, out);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return Real(vfs)->xFullPathname(Real(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) { return Real(vfs)->xDlOpen(Real(vfs), name); }
void DlError(sqlite3_vfs* vfs, int size, char* out) { Real(vfs)->xDlError(Real(vfs), size, out); }
void (*DlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
  return Real(vfs)->xDlSym(Real(vfs), handle, symbol);
}
void DlClose(sqlite3_vfs* vfs, void* handle) { Real(vfs)->xDlClose(Real(vfs), handle); }
int Randomness(sqlite3_vfs* vfs, int size, char* out) { return Real(vfs)->xRandomness(Real(vfs), size, out); }
int Sleep(sqlite3_vfs* vfs, int microseconds) { return Real(vfs)->xSleep(Real(vfs), microseconds); }
int CurrentTime(sqlite3_vfs* vfs, double* out) { return Real(vfs)->xCurrentTime(Real(vfs), out); }
int GetLastError(sqlite3_vfs* vfs, int size, char* out) { return Real(vfs)->xGetLastError(Real(vfs), size, out); }
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) { return Real(vfs)->xCurrentTimeInt64(Real(vfs), out); }

sqlite3_vfs* Register() {
  sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
  if (real == nullptr || real->iVersion < 2) return nullptr;
  static sqlite3_vfs vfs{};
  vfs.iVersion = 2;
  vfs.szOsFile = static_cast<int>(kRealAt) + real->szOsFile;
  vfs.mxPathname = real->mxPathname;
  vfs.zName = "nbl-read-ahead";
  vfs.pAppData = real;
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  vfs.xDlOpen = DlOpen;
  vfs.xDlError = DlError;
  vfs.xDlSym = DlSym;
  vfs.xDlClose = DlClose;
  vfs.xRandomness = Randomness;
  vfs.xSleep = Sleep;
  vfs.xCurrentTime = CurrentTime;
  vfs.xGetLastError = GetLastError;
  vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? &vfs : nullptr;
}

}  // namespace

const char* ReadAheadVfsName() {
  static sqlite3_vfs* const vfs = Register();
  return vfs != nullptr ? vfs->zName : nullptr;
}

}  // namespace nbl::store::detail
