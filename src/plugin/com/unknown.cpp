#include "plugin/com/unknown.h"

namespace nbl::com {

namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_serverLocks{0};
}  // namespace

void ModuleLock::ObjectCreated() { g_objects.fetch_add(1, std::memory_order_relaxed); }
void ModuleLock::ObjectDestroyed() { g_objects.fetch_sub(1, std::memory_order_acq_rel); }

HRESULT ModuleLock::Lock() {
  g_serverLocks.fetch_add(1, std::memory_order_relaxed);
  return S_OK;
}

HRESULT ModuleLock::Unlock() {
  long held = g_serverLocks.load(std::memory_order_relaxed);
  while (held > 0) {
    if (g_serverLocks.compare_exchange_weak(held, held - 1, std::memory_order_acq_rel)) return S_OK;
  }
  return E_UNEXPECTED;
}

long ModuleLock::Objects() { return g_objects.load(std::memory_order_acquire); }
long ModuleLock::ServerLocks() { return g_serverLocks.load(std::memory_order_acquire); }

HRESULT ModuleLock::CanUnloadNow() { return Objects() == 0 && ServerLocks() == 0 ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  return create_(riid, ppvObject);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL fLock) {
  return fLock ? ModuleLock::Lock() : ModuleLock::Unlock();
}

}  // namespace nbl::com
