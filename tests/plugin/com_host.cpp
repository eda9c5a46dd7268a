#include "plugin/com_host.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

#include "common/text.h"
#include "plugin/com/com_util.h"

namespace nbl::com::host {

namespace {

std::u16string View(LPCOLESTR s) {
  std::u16string out;
  if (s != nullptr)
    for (; *s != 0; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

// The libraries CreateInstance has loaded, by path.
std::mutex g_mutex;
std::map<std::string, std::unique_ptr<ServerLibrary>>& Loaded() {
  static std::map<std::string, std::unique_ptr<ServerLibrary>> loaded;
  return loaded;
}

// The value in the registry the server registers itself in.
bool ReadDefaultRegistryValue(const std::u16string& key, std::u16string& value) {
  const auto path = RegistryFile::DefaultPath();
  return path && ReadRegistryValue(RegistryFile(*path), key, u"", value);
}

}  // namespace

std::optional<GUID> GuidFromString(std::u16string_view text) {
  // {8-4-4-4-12}: 38 units with the dashes at fixed places.
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
  const std::u16string_view body = text.substr(1, 36);
  int digits[32];
  std::size_t n = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (body[i] != u'-') return std::nullopt;
      continue;
    }
    const int v = text::HexDigitValue(body[i]);
    if (v < 0) return std::nullopt;
    digits[n++] = v;
  }
  unsigned char bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(digits[2 * i] * 16 + digits[2 * i + 1]);
  GUID g{};
  g.Data1 =
      (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(g.Data4, bytes + 8, 8);
  return g;
}

bool ReadRegistryValue(const RegistryFile& registry, const std::u16string& key, const std::u16string& name,
                       std::u16string& value) {
  try {
    const RegistryKeys keys = registry.Load();
    const auto k = keys.find(key);
    if (k == keys.end()) return false;
    const auto v = k->second.find(name);
    if (v == k->second.end()) return false;
    value = v->second;
    return true;
  } catch (...) {
    return false;
  }
}

HRESULT ServerLibrary::Load(const std::string& path, std::unique_ptr<ServerLibrary>& out, std::string* error) {
  out.reset();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) {
      const char* why = ::dlerror();
      *error = why != nullptr ? why : "cannot load " + path;
    }
    return CO_E_DLLNOTFOUND;
  }
  std::unique_ptr<ServerLibrary> lib(new ServerLibrary());
  lib->handle_ = handle;
  lib->getClassObject_ = reinterpret_cast<decltype(lib->getClassObject_)>(::dlsym(handle, "DllGetClassObject"));
  lib->canUnloadNow_ = reinterpret_cast<decltype(lib->canUnloadNow_)>(::dlsym(handle, "DllCanUnloadNow"));
  lib->registerServer_ = reinterpret_cast<decltype(lib->registerServer_)>(::dlsym(handle, "DllRegisterServer"));
  lib->unregisterServer_ = reinterpret_cast<decltype(lib->unregisterServer_)>(::dlsym(handle, "DllUnregisterServer"));
  if (lib->getClassObject_ == nullptr || lib->canUnloadNow_ == nullptr || lib->registerServer_ == nullptr ||
      lib->unregisterServer_ == nullptr) {
    if (error != nullptr) *error = path + " is not an in-process server: an entry point is missing";
    return CO_E_ERRORINDLL;
  }
  out = std::move(lib);
  return S_OK;
}

ServerLibrary::~ServerLibrary() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

void* ServerLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
  try {
    std::u16string text;
    if (!ReadDefaultRegistryValue(View(progId) + u"\\CLSID", text)) return CO_E_CLASSSTRING;
    const auto guid = GuidFromString(text);
    if (!guid) return CO_E_CLASSSTRING;
    *clsid = *guid;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  try {
    std::u16string path;
    if (!ReadDefaultRegistryValue(u"CLSID\\" + GuidToString(clsid) + u"\\InprocServer32", path) || path.empty()) {
      return REGDB_E_CLASSNOTREG;
    }
    const std::string file = text::ToUtf8(path);
    IClassFactory* factory = nullptr;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      auto& slot = Loaded()[file];
      if (!slot) {
        const HRESULT hr = ServerLibrary::Load(file, slot);
        if (FAILED(hr)) {
          Loaded().erase(file);
          return hr;
        }
      }
      const HRESULT hr = slot->DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
      if (FAILED(hr)) return hr;
    }
    const HRESULT hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CreateInstanceByProgID(LPCOLESTR progId, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CLSID clsid{};
  const HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CreateInstance(clsid, nullptr, riid, ppv);
}

int FreeUnusedLibraries() {
  std::lock_guard<std::mutex> lock(g_mutex);
  int freed = 0;
  for (auto it = Loaded().begin(); it != Loaded().end();) {
    if (it->second->DllCanUnloadNow() == S_OK) {
      it = Loaded().erase(it);
      ++freed;
    } else {
      ++it;
    }
  }
  return freed;
}

}  // namespace nbl::com::host
