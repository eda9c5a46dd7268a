// The four entry points of the in-process server library, the only symbols it exports.
#include "plugin/com/com_platform.h"
#include "plugin/com/plugin_ui.h"
#include "plugin/com/server.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  nbl::com::SelectHostWindows();
  return nbl::com::GetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return nbl::com::CanUnloadNow(); }

STDAPI DllRegisterServer() { return nbl::com::RegisterServer(nbl::com::platform::ThisModulePath()); }

STDAPI DllUnregisterServer() { return nbl::com::UnregisterServer(nbl::com::platform::ThisModulePath()); }
