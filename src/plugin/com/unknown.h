// Reference counting, interface lookup and class factories shared by every
// object of the server, and the module lock count behind DllCanUnloadNow.
#pragma once

#include <atomic>
#include <initializer_list>

#include "plugin/com/com_platform.h"

namespace nbl::com {

// Objects alive plus server locks held. The library may be unloaded only
// while both are zero.
class ModuleLock {
 public:
  static void ObjectCreated();
  static void ObjectDestroyed();
  // LockServer(TRUE) / LockServer(FALSE). Unlocking without a lock held is
  // refused (E_UNEXPECTED) so that a host's extra unlock cannot let the
  // library go while objects still live.
  static HRESULT Lock();
  static HRESULT Unlock();
  static long Objects();
  static long ServerLocks();
  // S_OK when nothing holds the library, else S_FALSE.
  static HRESULT CanUnloadNow();
};

// IUnknown for an object reached through one chain of interfaces (each
// derived from the one before, so every interface shares one address):
// `Interface` is the most derived one, `iids` the ids it answers to.
template <class Interface>
class Unknown : public Interface {
 public:
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    for (std::size_t i = 0; i < count_; ++i) {
      if (IsEqualIID(*iids_[i], riid)) {
        *ppvObject = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
      }
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  // At most four interface ids; the table lives as long as the class.
  explicit Unknown(std::initializer_list<const IID*> iids) {
    std::size_t i = 0;
    for (const IID* iid : iids) {
      if (i < kMaxInterfaces) iids_[i++] = iid;
    }
    count_ = i;
    ModuleLock::ObjectCreated();
  }
  virtual ~Unknown() { ModuleLock::ObjectDestroyed(); }

 private:
  static constexpr std::size_t kMaxInterfaces = 4;

  std::atomic<ULONG> refs_{0};
  const IID* iids_[kMaxInterfaces] = {};
  std::size_t count_ = 0;
};

// Makes a new T (constructed with no arguments) and asks it for `riid`.
// The new object is released again when it lacks that interface.
template <class T>
HRESULT CreateObject(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  T* object = nullptr;
  try {
    object = new T();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  object->AddRef();
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

using CreateFunction = HRESULT (*)(REFIID riid, void** ppv);

// The class factory of one class: makes its objects through `create`.
// Aggregation is not offered.
class ClassFactory final : public Unknown<IClassFactory> {
 public:
  explicit ClassFactory(CreateFunction create) : Unknown({&IID_IUnknown, &IID_IClassFactory}), create_(create) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

 private:
  CreateFunction create_;
};

}  // namespace nbl::com
