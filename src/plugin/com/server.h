// The module of the in-process server: its class table, the work behind the
// four entry points, and the registration rows.
#pragma once

#include <string>
#include <vector>

#include "plugin/com/com_platform.h"

namespace nbl::com {

// DllGetClassObject: the class factory of `rclsid` asked for `riid`;
// CLASS_E_CLASSNOTAVAILABLE for a class this server does not make.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

// DllCanUnloadNow: S_OK when no object, factory or server lock is alive.
HRESULT CanUnloadNow();

// The registry rows of both classes with the library at `libraryPath`:
// ProgID -> class id, class id -> ProgID and library (threading model
// Apartment), and class id -> type library where the platform keeps them.
std::vector<platform::RegistryRow> RegistrationRows(const std::u16string& libraryPath);
// The keys that unregistering removes (with everything below them).
std::vector<std::u16string> RegistrationKeys();

// DllRegisterServer / DllUnregisterServer for the library at `libraryPath`:
// the rows above and, where the platform keeps them, its type library. A
// registration that fails part way is taken back whole. Unregistering what is
// already gone succeeds.
HRESULT RegisterServer(const std::u16string& libraryPath);
HRESULT UnregisterServer(const std::u16string& libraryPath);

}  // namespace nbl::com
