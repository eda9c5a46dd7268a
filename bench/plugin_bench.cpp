// The export and the import as a host runs them: libNBLinout.so loaded with
// dlopen and registered, the handle created by its ProgID and driven through
// IDispatch alone. These rows stand beside those of NBLinout.dll under wine
// (bench/windows/dll_bench.cpp), which does the same work on the same files,
// so both are timed alike: by the clock on the wall, from Initialize to the
// end of Execute.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_support.h"
#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com_host.h"

namespace {

using nbl::com::Bstr;
using nbl::com::MakeBstr;

// The plug-in, loaded and registered in a registry of this process's own,
// with no windows; null (and `failure` set) when it cannot be.
std::unique_ptr<nbl::com::host::ServerLibrary> LoadPlugin(std::string& failure) {
  ::setenv("NBL_COM_REGISTRY", nbl::bench::ScratchPath("com-registry").c_str(), 1);
  ::setenv("NBL_UI", "none", 1);
  std::unique_ptr<nbl::com::host::ServerLibrary> lib;
  if (nbl::com::host::ServerLibrary::Load(NBL_PLUGIN_PATH, lib, &failure) != S_OK) return nullptr;
  if (lib->DllRegisterServer() != S_OK) {
    failure = "DllRegisterServer failed";
    return nullptr;
  }
  return lib;
}

void UnloadPlugin(std::unique_ptr<nbl::com::host::ServerLibrary> lib) {
  if (lib) lib->DllUnregisterServer();
  lib.reset();
  for (const char* name : {"com-registry", "com-registry.lock"}) std::filesystem::remove(nbl::bench::ScratchPath(name));
}

// A late-bound call by name, the arguments first to last; false when it fails.
bool Call(IDispatch* object, const char16_t* name, std::vector<VARIANT> args) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(nbl::com::Ole(name))};
  DISPID id = 0;
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT argErr = 0;
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep, &argErr);
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr == S_OK;
}

VARIANT Text(BSTR text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

VARIANT True() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  return v;
}

// One run as a host makes it: a new handle, Initialize with the store, the
// direction, SetPath (replacing the file), Execute; false when a call fails.
bool Run(const std::filesystem::path& db, bool import, const std::filesystem::path& file) {
  IDispatch* handle = nullptr;
  if (nbl::com::host::CreateInstanceByProgID(nbl::com::Ole(u"NBLHandleDLL.clsNubeloHandle"), IID_IDispatch,
                                             reinterpret_cast<void**>(&handle)) != S_OK) {
    return false;
  }
  const Bstr dbText = MakeBstr(nbl::text::FromUtf8(db.string()));
  const Bstr fileText = MakeBstr(nbl::text::FromUtf8(file.string()));
  const bool ok = Call(handle, u"Initialize", {Text(dbText.get())}) &&
                  Call(handle, import ? u"SetImport" : u"SetExport", {}) &&
                  Call(handle, u"SetPath", {Text(fileText.get()), True()}) && Call(handle, u"Execute", {});
  handle->Release();
  return ok;
}

// The rows of the store; -1 when it cannot be read.
long long CountRows(const std::filesystem::path& db) {
  sqlite3* handle = nullptr;
  long long rows = -1;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(handle, "SELECT COUNT(*) FROM Contents", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    rows = sqlite3_column_int64(st, 0);
  }
  sqlite3_finalize(st);
  sqlite3_close(handle);
  return rows;
}

void RemoveStore(const std::filesystem::path& db) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
}

void BM_PluginExport(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto db = nbl::bench::DiaryStore(entries, static_cast<int>(state.range(1)));
  const auto out = nbl::bench::ScratchPath("plugin-export.xml");
  std::string failure;
  auto lib = LoadPlugin(failure);
  if (!lib) {
    state.SkipWithError(("the plug-in cannot be loaded: " + failure).c_str());
    return;
  }
  bool ok = true;
  nbl::bench::TimeElapsed(state, [&] { ok = Run(db, false, out) && ok; });
  UnloadPlugin(std::move(lib));
  // The document ends with the diary's closing tag only when every entry was written.
  std::string tail(8, '\0');
  if (FILE* f = std::fopen(out.c_str(), "rb")) {
    std::fseek(f, -8, SEEK_END);
    tail.resize(std::fread(tail.data(), 1, tail.size(), f));
    std::fclose(f);
  }
  if (!ok || tail != "</diary>") {
    state.SkipWithError("the export through the plug-in failed");
    return;
  }
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(out)));
  nbl::bench::RecordPeakMemory(state);
  std::filesystem::remove(out);
}

void BM_PluginImport(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const auto file = nbl::bench::DiaryFile(entries);
  const auto empty = nbl::bench::EmptyStore();
  const auto db = nbl::bench::ScratchPath("plugin-import.db");
  std::string failure;
  auto lib = LoadPlugin(failure);
  if (!lib) {
    state.SkipWithError(("the plug-in cannot be loaded: " + failure).c_str());
    return;
  }
  bool ok = true;
  nbl::bench::TimeElapsed(
      state, [&] { ok = Run(db, true, file) && ok; },
      [&] {
        RemoveStore(db);
        std::filesystem::copy_file(empty, db);
      });
  UnloadPlugin(std::move(lib));
  const long long rows = CountRows(db);
  RemoveStore(db);
  if (!ok || rows != entries) {
    state.SkipWithError(("the import through the plug-in stored " + std::to_string(rows) + " rows").c_str());
    return;
  }
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(file)));
  nbl::bench::RecordPeakMemory(state);
}

BENCHMARK(BM_PluginExport)->Args({100000, 1200})->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_PluginImport)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace
