// The IDispatch half of a dual interface, served from the class's one
// dispatch table whose handlers call the vtable methods, as an Invoke driven by
// a type library does; each class writes each method once, in its vtable.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>

#include "plugin/com/dispatch.h"
#include "plugin/com/unknown.h"

namespace nbl::com {

template <class Interface>
class DispatchObject : public Unknown<Interface> {
 public:
  // The description comes from the type library the module carries, where the
  // platform keeps one; elsewhere there is none to give.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) final {
    if (pctinfo == nullptr) return E_INVALIDARG;
    ITypeInfo* info = platform::TypeInfoOf(dual_);
    *pctinfo = info != nullptr ? 1 : 0;
    if (info != nullptr) info->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) final {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = iTInfo == 0 ? platform::TypeInfoOf(dual_) : nullptr;
    return *ppTInfo != nullptr ? S_OK : DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) final {
    return GetIDsOfNamesIn(table_, riid, rgszNames, cNames, rgDispId);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) final {
    return InvokeIn(table_, static_cast<Interface&>(*this), source_, dispIdMember, riid, wFlags, pDispParams,
                    pVarResult, pExcepInfo, puArgErr);
  }

 protected:
  // `iids` end with the dual interface's own id. They, `table` and `source`
  // (the ProgID named in EXCEPINFO) live as long as the class.
  DispatchObject(std::initializer_list<const IID*> iids, std::span<const DispMember<Interface>> table,
                 std::u16string_view source)
      : Unknown<Interface>(iids), dual_(*iids.end()[-1]), table_(table), source_(source) {}

 private:
  const IID& dual_;
  std::span<const DispMember<Interface>> table_;
  std::u16string_view source_;
};

}  // namespace nbl::com
