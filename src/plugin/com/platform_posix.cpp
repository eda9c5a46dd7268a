// The platform services of the server on POSIX systems: where the library
// lives, and the class registry kept in a file (registry_file.h).
#include <dlfcn.h>

#include <filesystem>

#include "common/text.h"
#include "plugin/com/com_platform.h"
#include "plugin/com/registry_file.h"

namespace nbl::com::platform {

std::u16string ThisModulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&ThisModulePath), &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(info.dli_fname, ec);
  if (ec) return {};
  return text::FromUtf8(path.lexically_normal().string());
}

HRESULT WriteRegistryRows(const std::vector<RegistryRow>& rows) {
  const auto path = RegistryFile::DefaultPath();
  if (!path) return SELFREG_E_CLASS;
  const HRESULT hr = RegistryFile(*path).WriteRows(rows);
  return hr == E_INVALIDARG ? SELFREG_E_CLASS : hr;
}

HRESULT DeleteRegistryKeys(const std::vector<std::u16string>& keys) {
  const auto path = RegistryFile::DefaultPath();
  if (!path) return SELFREG_E_CLASS;
  return RegistryFile(*path).DeleteKeys(keys);
}

// The interface description stays an IDL file here (installed beside the library):
// there is no compiled type library to register or to answer GetTypeInfo from.
HRESULT RegisterTypeLibrary(const std::u16string&) { return S_OK; }
HRESULT UnregisterTypeLibrary(const std::u16string&) { return S_OK; }
ITypeInfo* TypeInfoOf(REFIID) { return nullptr; }

}  // namespace nbl::com::platform
