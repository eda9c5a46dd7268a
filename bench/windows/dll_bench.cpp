// A host of the registered NBLinout.dll that times an export or an import as
// the .so's rows in bench/plugin_bench.cpp do: the handle made by
// CoCreateInstance, driven by name through IDispatch, and timed by the clock
// on the wall from Initialize to the end of Execute. bench/compare runs it
// under wine on the files the Linux benchmarks made.
//
//   nbl_dll_bench export NAME RUNS STORE OUTPUT
//   nbl_dll_bench import NAME RUNS DIARY_FILE EMPTY_STORE STORE INSERT_NAME
//
// It prints one line as bench/compare keeps its results, tab-separated: NAME,
// entries/s and bytes/s of the median run, peak memory in MB, the CPU seconds
// of the median run, and the failure (empty when every run succeeded). After
// the import, a second line, INSERT_NAME: SQLite alone storing the same rows,
// the yardstick that tells wine's share from ours.
#include <objbase.h>
#include <oleauto.h>
#include <psapi.h>
#include <sqlite3.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "../stored_rows.h"

namespace {

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

VARIANT Text(const std::wstring& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

VARIANT True() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  return v;
}

// A late-bound call by name, the arguments first to last (cleared afterwards); false when it fails.
bool Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep, &argErr);
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  for (VARIANT& v : args) VariantClear(&v);
  return hr == S_OK;
}

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process, in seconds.
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct Timing {
  double elapsed;
  double cpu;
};

// One run as a host makes it: a new handle, Initialize with the store, the
// direction, SetPath (replacing the file), Execute. The handle is made before
// the clock starts, as on Linux.
bool Run(const std::wstring& db, bool import, const std::wstring& file, Timing& timing) {
  CLSID clsid{};
  IDispatch* handle = nullptr;
  if (CLSIDFromProgID(L"NBLHandleDLL.clsNubeloHandle", &clsid) != S_OK ||
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&handle)) !=
          S_OK) {
    return false;
  }
  const double start = Now(), startCpu = CpuSeconds();
  const bool ok = Call(handle, L"Initialize", {Text(db)}) && Call(handle, import ? L"SetImport" : L"SetExport", {}) &&
                  Call(handle, L"SetPath", {Text(file), True()}) && Call(handle, L"Execute", {});
  timing = {Now() - start, CpuSeconds() - startCpu};
  handle->Release();
  return ok;
}

// The rows of the store; -1 when it cannot be read.
long long CountRows(const std::wstring& db) {
  sqlite3* handle = nullptr;
  sqlite3_stmt* st = nullptr;
  long long rows = -1;
  if (sqlite3_open_v2(Utf8(db).c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(handle, "SELECT COUNT(*) FROM Contents", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    rows = sqlite3_column_int64(st, 0);
  }
  sqlite3_finalize(st);
  sqlite3_close(handle);
  return rows;
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// True when the file ends with `tail`.
bool EndsWith(const std::wstring& path, const std::string& tail) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = -static_cast<LONGLONG>(tail.size());
  std::string got(tail.size(), '\0');
  DWORD read = 0;
  const bool ok = SetFilePointerEx(f, at, nullptr, FILE_END) &&
                  ReadFile(f, got.data(), static_cast<DWORD>(got.size()), &read, nullptr) && got == tail;
  CloseHandle(f);
  return ok;
}

void RemoveStore(const std::wstring& db) {
  for (const wchar_t* suffix : {L"", L"-wal", L"-shm"}) DeleteFileW((db + suffix).c_str());
}

// `withMemory`: the process's peak so far is this work's own.
void Print(const std::string& name, std::vector<Timing> timings, long long entries, long long bytes, bool withMemory,
           const std::string& failure) {
  std::sort(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) { return a.elapsed < b.elapsed; });
  const Timing median = timings[timings.size() / 2];
  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("%s\t%.6g\t%.6g\t%.1f\t%.6g\t%s\n", name.c_str(), static_cast<double>(entries) / median.elapsed,
              static_cast<double>(bytes) / median.elapsed,
              withMemory ? static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0 : 0.0, median.cpu,
              failure.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  const bool import = mode == L"import";
  if (!(mode == L"export" && argc == 6) && !(import && argc == 8)) {
    std::fprintf(stderr,
                 "usage: nbl_dll_bench export NAME RUNS STORE OUTPUT\n"
                 "       nbl_dll_bench import NAME RUNS DIARY_FILE EMPTY_STORE STORE INSERT_NAME\n");
    return 2;
  }
  const std::string name = Utf8(argv[2]);
  const int runs = std::max(1, _wtoi(argv[3]));
  const std::wstring db = import ? argv[6] : argv[4];
  const std::wstring file = import ? argv[4] : argv[5];
  const std::string insertName = import ? Utf8(argv[7]) : "";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;

  std::vector<Timing> timings;
  std::string failure;
  long long entries = import ? -1 : CountRows(db);
  for (int i = 0; i < runs && failure.empty(); ++i) {
    if (import) {
      RemoveStore(db);
      CopyFileW(argv[5], db.c_str(), FALSE);
    }
    Timing t{};
    if (!Run(db, import, file, t)) failure = "a call on the handle failed";
    timings.push_back(t);
    if (import) entries = CountRows(db);
  }
  // An export is whole when the document ends with the diary's closing tag; an import when every entry is stored.
  if (failure.empty() && !import && !EndsWith(file, "</diary>")) failure = "the export wrote no whole document";
  if (failure.empty() && entries <= 0) failure = "no entries in the store";
  const long long bytes = FileSize(file);
  Print(name, timings, entries, bytes, true, failure);
  if (!import) DeleteFileW(file.c_str());

  // Beside the import, SQLite alone under wine storing the rows the import stored.
  if (import && failure.empty()) {
    const std::vector<nbl::bench::Row> rows = nbl::bench::ReadStoredRows(Utf8(db));
    std::vector<Timing> inserts;
    std::string insertFailure;
    for (int i = 0; i < runs && insertFailure.empty(); ++i) {
      RemoveStore(db);
      CopyFileW(argv[5], db.c_str(), FALSE);
      const double start = Now(), startCpu = CpuSeconds();
      const bool stored = nbl::bench::InsertStoredRows(rows, Utf8(db));
      inserts.push_back({Now() - start, CpuSeconds() - startCpu});
      if (!stored || CountRows(db) != entries) insertFailure = "the rows could not be stored";
    }
    Print(insertName, inserts, entries, 0, false, insertFailure);
  }
  if (import) RemoveStore(db);
  CoUninitialize();
  return failure.empty() ? 0 : 1;
}
