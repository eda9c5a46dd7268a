// The host side of the COM layer on systems without one: what a host uses in
// place of the platform's class lookup and object creation, as the tests play
// the host. Classes are found through the registry file
// (registry_file.h); libraries are loaded with dlopen.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/com/com_platform.h"
#include "plugin/com/registry_file.h"

namespace nbl::com::host {

// A class id as the registry writes it (GuidToString; braces required, either
// case); nullopt when malformed.
std::optional<GUID> GuidFromString(std::u16string_view text);

// The value `name` ("" for the key's default value) of `key` in `registry`;
// false when either is missing or the file cannot be read.
bool ReadRegistryValue(const RegistryFile& registry, const std::u16string& key, const std::u16string& name,
                       std::u16string& value);

// One in-process server library, loaded by path; unloaded when destroyed.
class ServerLibrary {
 public:
  // Loads the library at `path`. CO_E_DLLNOTFOUND when it cannot be loaded,
  // CO_E_ERRORINDLL when it lacks one of the four entry points; `error`
  // (when given) then says why.
  static HRESULT Load(const std::string& path, std::unique_ptr<ServerLibrary>& out, std::string* error = nullptr);
  ~ServerLibrary();
  ServerLibrary(const ServerLibrary&) = delete;
  ServerLibrary& operator=(const ServerLibrary&) = delete;

  HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const {
    return getClassObject_(rclsid, riid, ppv);
  }
  HRESULT DllCanUnloadNow() const { return canUnloadNow_(); }
  HRESULT DllRegisterServer() const { return registerServer_(); }
  HRESULT DllUnregisterServer() const { return unregisterServer_(); }

  // The symbol `name` of the library, or null.
  void* Symbol(const char* name) const;

 private:
  ServerLibrary() = default;
  void* handle_ = nullptr;
  HRESULT (*getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT (*canUnloadNow_)() = nullptr;
  HRESULT (*registerServer_)() = nullptr;
  HRESULT (*unregisterServer_)() = nullptr;
};

// The class id registered for the ProgID (compared without ASCII case).
// CO_E_CLASSSTRING when the ProgID is not registered or its class id is malformed.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

// A new object of the class, asked for `riid`, made by the class factory of
// the library registered for it (loaded once per process and kept).
// REGDB_E_CLASSNOTREG when the class has no library registered,
// CO_E_DLLNOTFOUND / CO_E_ERRORINDLL when it cannot be loaded, else what
// the server answers (CLASS_E_NOAGGREGATION for an outer object).
HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** ppv);

// CLSIDFromProgID, then CreateInstance.
HRESULT CreateInstanceByProgID(LPCOLESTR progId, REFIID riid, void** ppv);

// Unloads each library kept by CreateInstance that answers DllCanUnloadNow
// with S_OK. Returns how many libraries it unloaded.
int FreeUnusedLibraries();

}  // namespace nbl::com::host
