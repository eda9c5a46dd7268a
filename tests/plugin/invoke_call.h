// Late-bound calls as hosts make them: arguments given first-to-last and laid
// into DISPPARAMS last first, with the result, exception and argument error
// kept (and freed) by the call.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/com/com_platform.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"

namespace nbl::testing {

inline VARIANT VEmpty() {
  VARIANT v;
  VariantInit(&v);
  return v;
}
inline VARIANT VBstr(BSTR s) {
  VARIANT v = VEmpty();
  v.vt = VT_BSTR;
  v.bstrVal = s;
  return v;
}
inline VARIANT VBstrRef(BSTR* s) {
  VARIANT v = VEmpty();
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = s;
  return v;
}
inline VARIANT VBool(VARIANT_BOOL b) {
  VARIANT v = VEmpty();
  v.vt = VT_BOOL;
  v.boolVal = b;
  return v;
}
inline VARIANT VBoolRef(VARIANT_BOOL* b) {
  VARIANT v = VEmpty();
  v.vt = VT_BOOL | VT_BYREF;
  v.pboolVal = b;
  return v;
}
inline VARIANT VI2(SHORT i) {
  VARIANT v = VEmpty();
  v.vt = VT_I2;
  v.iVal = i;
  return v;
}
inline VARIANT VI4(LONG i) {
  VARIANT v = VEmpty();
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}
inline VARIANT VNull() {
  VARIANT v = VEmpty();
  v.vt = VT_NULL;
  return v;
}
// The mark of an omitted optional argument.
inline VARIANT VMissing() {
  VARIANT v = VEmpty();
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}
inline VARIANT VVariantRef(VARIANT* inner) {
  VARIANT v = VEmpty();
  v.vt = VT_VARIANT | VT_BYREF;
  v.pvarVal = inner;
  return v;
}
inline VARIANT VRecord(void* record, IRecordInfo* info, bool byRef = false) {
  VARIANT v = VEmpty();
  v.vt = static_cast<VARTYPE>(VT_RECORD | (byRef ? VT_BYREF : 0));
  v.pvRecord = record;
  v.pRecInfo = info;
  return v;
}

// A record description that answers only its type id; enough for a caller
// that hands records over by VT_RECORD.
class FakeRecordInfo final : public IRecordInfo {
 public:
  explicit FakeRecordInfo(const GUID& type) : type_(type) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IRecordInfo)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE RecordInit(PVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RecordClear(PVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RecordCopy(PVOID, PVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGuid(GUID* g) override {
    *g = type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSize(ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetField(PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT*, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PutField(ULONG, PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG*, BSTR*) override { return E_NOTIMPL; }
  BOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo*) override { return FALSE; }
  PVOID STDMETHODCALLTYPE RecordCreate() override { return nullptr; }
  HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RecordDestroy(PVOID) override { return E_NOTIMPL; }

  ULONG refs = 1;

 private:
  GUID type_;
};

// One Invoke and what came back. Owns the strings of the exception.
class InvokeCall {
 public:
  InvokeCall(IDispatch* target, DISPID id, std::vector<VARIANT> args, WORD flags = DISPATCH_METHOD,
             std::vector<DISPID> named = {}, const IID& riid = IID_NULL) {
    VariantInit(&result);
    excep = EXCEPINFO{};
    // Hosts pass the arguments last first; named ones stand at the front.
    std::vector<VARIANT> rg(args.rbegin(), args.rend());
    DISPPARAMS params{rg.empty() ? nullptr : rg.data(), named.empty() ? nullptr : named.data(),
                      static_cast<UINT>(rg.size()), static_cast<UINT>(named.size())};
    hr = target->Invoke(id, riid, LOCALE_USER_DEFAULT, flags, &params, &result, &excep, &argErr);
  }
  ~InvokeCall() {
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  InvokeCall(const InvokeCall&) = delete;
  InvokeCall& operator=(const InvokeCall&) = delete;

  std::u16string Description() const { return com::FromBstr(excep.bstrDescription); }
  std::u16string Source() const { return com::FromBstr(excep.bstrSource); }

  HRESULT hr;
  VARIANT result;
  EXCEPINFO excep;
  UINT argErr = 0xFFFFFFFFu;
};

// The dispatch id of `name`, asked as a host asks; DISPID_UNKNOWN when refused.
inline DISPID IdOf(IDispatch* target, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(com::Ole(name))};
  DISPID id = 0;
  if (FAILED(target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
  return id;
}

}  // namespace nbl::testing
