#include "plugin/com/dispatch.h"

#include "common/text.h"

namespace nbl::com {

namespace {

bool IsOmittedMark(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

std::u16string_view View(const OLECHAR* s) {
  if (s == nullptr) return {};
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return {U16(s), n};
}

}  // namespace

bool NameMatches(const char16_t* memberName, const OLECHAR* name) {
  return name != nullptr && text::EqualsIgnoringAsciiCase(memberName, View(name));
}

int FindParamName(const char16_t* const* params, UINT count, const OLECHAR* name) {
  for (UINT i = 0; i < count && i < kMaxDispParams; ++i) {
    if (params[i] != nullptr && NameMatches(params[i], name)) return static_cast<int>(i);
  }
  return -1;
}

HRESULT DispArgs::Bind(const DISPPARAMS& params, UINT minArgs, UINT maxArgs, UINT* argErr) {
  argErr_ = argErr;
  const UINT n = params.cArgs;
  const UINT named = params.cNamedArgs;
  if (named > n || (n > 0 && params.rgvarg == nullptr) || (named > 0 && params.rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  if (n > maxArgs || maxArgs > kMaxDispParams) return DISP_E_BADPARAMCOUNT;
  const UINT positional = n - named;
  if (named == 0 && positional < minArgs) return DISP_E_BADPARAMCOUNT;
  for (UINT i = 0; i < positional; ++i) {
    slot_[i] = &params.rgvarg[n - 1 - i];
    index_[i] = n - 1 - i;
  }
  for (UINT k = 0; k < named; ++k) {
    const DISPID pos = params.rgdispidNamedArgs[k];
    if (pos < 0 || static_cast<UINT>(pos) >= maxArgs || slot_[pos] != nullptr) {
      if (argErr_ != nullptr) *argErr_ = k;
      return DISP_E_PARAMNOTFOUND;
    }
    slot_[pos] = &params.rgvarg[k];
    index_[pos] = k;
  }
  for (UINT i = 0; i < minArgs; ++i) {
    if (slot_[i] == nullptr) return DISP_E_PARAMNOTOPTIONAL;
    if (IsOmittedMark(*slot_[i])) {
      if (argErr_ != nullptr) *argErr_ = index_[i];
      return DISP_E_PARAMNOTOPTIONAL;
    }
  }
  return S_OK;
}

bool DispArgs::Missing(UINT pos) const {
  return pos >= kMaxDispParams || slot_[pos] == nullptr || IsOmittedMark(*slot_[pos]);
}

const VARIANT* DispArgs::Value(UINT pos) const {
  if (Missing(pos)) return nullptr;
  const VARIANT* v = slot_[pos];
  if (v->vt == (VT_VARIANT | VT_BYREF)) return v->pvarVal;
  return v;
}

HRESULT DispArgs::Mismatch(UINT pos) const {
  if (argErr_ != nullptr && pos < kMaxDispParams) *argErr_ = index_[pos];
  return DISP_E_TYPEMISMATCH;
}

HRESULT DispArgs::GetBstr(UINT pos, BSTR& out) const {
  const VARIANT* v = Value(pos);
  if (v == nullptr) return Mismatch(pos);
  switch (v->vt) {
    case VT_EMPTY:
      out = nullptr;
      return S_OK;
    case VT_BSTR:
      out = v->bstrVal;
      return S_OK;
    case VT_BSTR | VT_BYREF:
      if (v->pbstrVal == nullptr) return Mismatch(pos);
      out = *v->pbstrVal;
      return S_OK;
    default:
      return Mismatch(pos);
  }
}

HRESULT DispArgs::GetBoolean(UINT pos, VARIANT_BOOL fallback, VARIANT_BOOL& out) const {
  if (Missing(pos)) {
    out = fallback;
    return S_OK;
  }
  const VARIANT* v = Value(pos);
  if (v == nullptr) return Mismatch(pos);
  const bool byRef = (v->vt & VT_BYREF) != 0;
  if (byRef && v->byref == nullptr) return Mismatch(pos);
  long long number = 0;
  switch (v->vt & ~VT_BYREF) {
    case VT_BOOL:
      // A Boolean reaches the method as the caller wrote it.
      out = byRef ? *v->pboolVal : v->boolVal;
      return S_OK;
    case VT_EMPTY:
      if (byRef) return Mismatch(pos);
      number = 0;
      break;
    case VT_I2:
      number = byRef ? *v->piVal : v->iVal;
      break;
    case VT_I4:
      number = byRef ? *v->plVal : v->lVal;
      break;
    case VT_UI1:
      number = byRef ? *v->pbVal : v->bVal;
      break;
    default:
      return Mismatch(pos);
  }
  out = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT DispArgs::GetRecord(UINT pos, const GUID& type, void*& layout) const {
  const VARIANT* v = Value(pos);
  if (v == nullptr || (v->vt & ~VT_BYREF) != VT_RECORD || v->pvRecord == nullptr) return Mismatch(pos);
  if (v->pRecInfo != nullptr) {
    GUID given{};
    if (FAILED(v->pRecInfo->GetGuid(&given)) || !IsEqualGUID(given, type)) return Mismatch(pos);
  }
  layout = v->pvRecord;
  return S_OK;
}

void SetResultBoolean(VARIANT* result, VARIANT_BOOL value) {
  if (result == nullptr) return;
  result->vt = VT_BOOL;
  result->boolVal = value;
}

void SetResultShort(VARIANT* result, SHORT value) {
  if (result == nullptr) return;
  result->vt = VT_I2;
  result->iVal = value;
}

}  // namespace nbl::com
