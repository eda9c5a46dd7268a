// The services of the platform the in-process server needs beyond its binary
// definitions: where the module lies, the class registry, type libraries.
// Defined in platform_posix.cpp or platform_win32.cpp, whichever CMake builds.
#pragma once

#include <string>
#include <vector>

#include "plugin/com/com_abi.h"

namespace nbl::com::platform {

// Whether the platform keeps compiled type libraries: then the library carries
// one (resource TYPELIB 1), registers it and answers GetTypeInfo from it.
#ifdef _WIN32
inline constexpr bool kKeepsTypeLibraries = true;
#else
inline constexpr bool kKeepsTypeLibraries = false;
#endif

// The full path of the library or program that holds this code, as it was loaded.
std::u16string ThisModulePath();

// One value of the class registry: a key path below the classes root
// (u"CLSID\\{...}\\InprocServer32"), the value's name ("" for the key's
// default value) and its text.
struct RegistryRow {
  std::u16string key;
  std::u16string name;
  std::u16string value;
};

// Writes the rows, creating their keys and replacing values of the same name.
// SELFREG_E_CLASS when the registry cannot be written.
HRESULT WriteRegistryRows(const std::vector<RegistryRow>& rows);
// Removes each key with everything below it; keys that are already gone are
// fine. SELFREG_E_CLASS when the registry cannot be written.
HRESULT DeleteRegistryKeys(const std::vector<std::u16string>& keys);

// Registers the type library that the library at `libraryPath` carries.
// SELFREG_E_TYPELIB when it has none or it cannot be registered; S_OK where the
// platform keeps no type libraries.
HRESULT RegisterTypeLibrary(const std::u16string& libraryPath);
// Removes the registration of that type library; one that is already gone is
// fine. SELFREG_E_TYPELIB when it cannot be removed.
HRESULT UnregisterTypeLibrary(const std::u16string& libraryPath);

// The description of the dual interface `iid` from this module's own type
// library, for IDispatch::GetTypeInfo; the caller releases it. Null where the
// platform keeps no type libraries or the module carries none.
ITypeInfo* TypeInfoOf(REFIID iid);

}  // namespace nbl::com::platform
