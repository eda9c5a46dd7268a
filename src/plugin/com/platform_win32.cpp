// The platform services of the server on Windows: the module's path, the
// classes root of the registry, and the type library the DLL carries.
#include <memory>
#include <string>
#include <type_traits>

#include "plugin/com/com_platform.h"

namespace nbl::com::platform {
namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

struct KeyClose {
  void operator()(HKEY key) const { RegCloseKey(key); }
};

struct ReleaseTypeLib {
  void operator()(ITypeLib* lib) const { lib->Release(); }
};
using TypeLibPtr = std::unique_ptr<ITypeLib, ReleaseTypeLib>;

TypeLibPtr LoadOwnTypeLib(const std::u16string& libraryPath, REGKIND kind) {
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(Wide(libraryPath).c_str(), kind, &lib))) return nullptr;
  return TypeLibPtr(lib);
}

}  // namespace

std::u16string ThisModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ThisModulePath), &module)) {
    return {};
  }
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  return std::u16string(path.begin(), path.end());
}

HRESULT WriteRegistryRows(const std::vector<RegistryRow>& rows) {
  for (const RegistryRow& row : rows) {
    const std::wstring key = Wide(row.key), name = Wide(row.name), value = Wide(row.value);
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS) {
      return SELFREG_E_CLASS;
    }
    const std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose> closer(h);
    const LONG rc = RegSetValueExW(h, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT DeleteRegistryKeys(const std::vector<std::u16string>& keys) {
  for (const std::u16string& key : keys) {
    const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT RegisterTypeLibrary(const std::u16string& libraryPath) {
  // REGKIND_REGISTER writes TypeLib\{libid}\1.0 with the DLL's path and its interfaces' keys.
  return LoadOwnTypeLib(libraryPath, REGKIND_REGISTER) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterTypeLibrary(const std::u16string& libraryPath) {
  const TypeLibPtr lib = LoadOwnTypeLib(libraryPath, REGKIND_NONE);
  if (!lib) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const HRESULT hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
  lib->ReleaseTLibAttr(attr);
  // Not registered (any more) is what was asked for.
  return SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED ? S_OK : SELFREG_E_TYPELIB;
}

ITypeInfo* TypeInfoOf(REFIID iid) {
  // Loaded once per process from the DLL's own resource; oleaut32 keeps it cached.
  static ITypeLib* const own = LoadOwnTypeLib(ThisModulePath(), REGKIND_NONE).release();
  ITypeInfo* info = nullptr;
  if (own == nullptr || FAILED(own->GetTypeInfoOfGuid(iid, &info))) return nullptr;
  return info;
}

}  // namespace nbl::com::platform
