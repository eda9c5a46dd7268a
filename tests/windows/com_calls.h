// Late-bound calls of a COM host, for the C++ hosts of NBLinout.dll: interface
// pointers and variants released at scope end, and a call by name.
#pragma once

#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/text.h"

namespace nbl::com {

// An interface pointer released at scope end.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  ~Ptr() { Reset(); }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

inline VARIANT Text(const std::wstring& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

inline VARIANT Boolean(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

inline VARIANT Omitted() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

inline std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
inline std::wstring Wide(const std::string& utf8) { return Wide(text::FromUtf8(utf8)); }
inline std::string Utf8(const wchar_t* text) { return text::ToUtf8(std::u16string(text, text + wcslen(text))); }

struct Call {
  HRESULT hr = E_FAIL;
  Variant result;
  EXCEPINFO excep{};
  ~Call() {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
};

// A late-bound method call by name, the arguments in their declared order;
// they are cleared afterwards (records are the caller's and stay).
inline void Invoke(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, Call& call) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  call.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(call.hr)) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argErr = 0;
    call.hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &call.result, &call.excep, &argErr);
  }
  for (VARIANT& v : args) {
    if ((v.vt & ~VT_BYREF) != VT_RECORD) VariantClear(&v);
  }
}

inline HRESULT Must(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {}) {
  Call call;
  Invoke(object, name, std::move(args), call);
  EXPECT_EQ(call.hr, S_OK) << Utf8(name);
  return call.hr;
}

inline void Create(const wchar_t* progId, Ptr<IDispatch>& object) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()), S_OK);
}

}  // namespace nbl::com
