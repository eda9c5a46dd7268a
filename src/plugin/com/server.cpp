#include "plugin/com/server.h"

#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "plugin/com/unknown.h"

namespace nbl::com {

namespace {

struct ClassEntry {
  const CLSID* clsid;
  const char16_t* progId;
  CreateFunction create;
};

const ClassEntry kClasses[] = {
    {&CLSID_clsNubeloHandle, kProgIdNubeloHandle, &CreateNubeloHandle},
    {&CLSID_Information, kProgIdInformation, &CreateInformation},
};

}  // namespace

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  for (const ClassEntry& entry : kClasses) {
    if (!IsEqualCLSID(*entry.clsid, rclsid)) continue;
    ClassFactory* factory = nullptr;
    try {
      factory = new ClassFactory(entry.create);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return ModuleLock::CanUnloadNow(); }

std::vector<platform::RegistryRow> RegistrationRows(const std::u16string& libraryPath) {
  std::vector<platform::RegistryRow> rows;
  for (const ClassEntry& entry : kClasses) {
    const std::u16string progId = entry.progId;
    const std::u16string clsid = GuidToString(*entry.clsid);
    const std::u16string classKey = u"CLSID\\" + clsid;
    rows.push_back({progId, u"", progId});
    rows.push_back({progId + u"\\CLSID", u"", clsid});
    rows.push_back({classKey, u"", progId});
    rows.push_back({classKey + u"\\ProgID", u"", progId});
    rows.push_back({classKey + u"\\InprocServer32", u"", libraryPath});
    rows.push_back({classKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment"});
    if (platform::kKeepsTypeLibraries) rows.push_back({classKey + u"\\TypeLib", u"", GuidToString(LIBID_NBLHandleDLL)});
  }
  return rows;
}

std::vector<std::u16string> RegistrationKeys() {
  std::vector<std::u16string> keys;
  for (const ClassEntry& entry : kClasses) {
    keys.emplace_back(entry.progId);
    keys.push_back(u"CLSID\\" + GuidToString(*entry.clsid));
  }
  return keys;
}

HRESULT RegisterServer(const std::u16string& libraryPath) {
  if (libraryPath.empty()) return SELFREG_E_CLASS;
  HRESULT hr = SELFREG_E_CLASS;
  try {
    hr = platform::WriteRegistryRows(RegistrationRows(libraryPath));
    if (SUCCEEDED(hr)) hr = platform::RegisterTypeLibrary(libraryPath);
  } catch (...) {
    hr = SELFREG_E_CLASS;
  }
  // Half a registration would send hosts to a class they cannot use: take it all back.
  if (FAILED(hr)) UnregisterServer(libraryPath);
  return hr;
}

HRESULT UnregisterServer(const std::u16string& libraryPath) {
  try {
    const HRESULT keys = platform::DeleteRegistryKeys(RegistrationKeys());
    const HRESULT typeLibrary = platform::UnregisterTypeLibrary(libraryPath);
    return FAILED(keys) ? keys : typeLibrary;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

}  // namespace nbl::com
