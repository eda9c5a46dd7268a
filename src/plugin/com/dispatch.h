// Late-bound calls: one table per class holds each member's name, dispatch id,
// parameters and handler, so that GetIDsOfNames and Invoke cannot disagree.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "plugin/com/com_platform.h"
#include "plugin/com/com_util.h"

namespace nbl::com {

inline constexpr UINT kMaxDispParams = 4;

// The arguments of one Invoke, laid out by parameter position (0 = first
// declared parameter). Accessors convert one argument; on a value they cannot
// take they answer DISP_E_TYPEMISMATCH and store the argument's index in
// rgvarg into the caller's puArgErr.
class DispArgs {
 public:
  // Places positional arguments (rgvarg holds them last first) and named ones
  // (rgdispidNamedArgs gives their positions). Fails with
  // DISP_E_BADPARAMCOUNT (too many, or too few positional ones),
  // DISP_E_PARAMNOTFOUND (a named position that does not exist or is given
  // twice) or DISP_E_PARAMNOTOPTIONAL (a required parameter marked missing).
  HRESULT Bind(const DISPPARAMS& params, UINT minArgs, UINT maxArgs, UINT* argErr);

  // True when the caller left the parameter out (absent, or VT_ERROR holding
  // DISP_E_PARAMNOTFOUND, the usual mark of an omitted optional argument).
  bool Missing(UINT pos) const;

  // VT_BSTR by value or reference, VT_EMPTY as a null string: the caller's
  // own string, for passing on by reference to a method that only reads it.
  HRESULT GetBstr(UINT pos, BSTR& out) const;
  // VT_BOOL by value or reference as given; VT_I2, VT_I4, VT_UI1 (either way)
  // and VT_EMPTY as True when nonzero; `fallback` when Missing.
  HRESULT GetBoolean(UINT pos, VARIANT_BOOL fallback, VARIANT_BOOL& out) const;
  // VT_RECORD by value or reference whose record is of type `type` (checked
  // through its IRecordInfo when the caller gives one). `layout` then points
  // at the caller's record.
  HRESULT GetRecord(UINT pos, const GUID& type, void*& layout) const;

 private:
  // The argument itself, looking through one VT_VARIANT | VT_BYREF; null if absent.
  const VARIANT* Value(UINT pos) const;
  HRESULT Mismatch(UINT pos) const;

  const VARIANT* slot_[kMaxDispParams] = {};
  UINT index_[kMaxDispParams] = {};
  UINT* argErr_ = nullptr;
};

// Result setters; a null result (the caller does not want it) is fine.
void SetResultBoolean(VARIANT* result, VARIANT_BOOL value);
void SetResultShort(VARIANT* result, SHORT value);

// One method of a class's dispatch interface. `call` converts the arguments
// (returning their DISP_E_* code) and calls the method; a failure of the
// method itself is thrown (ThrowIfFailed) and becomes DISP_E_EXCEPTION.
template <class Object>
struct DispMember {
  const char16_t* name;
  DISPID id;
  UINT minArgs;
  UINT maxArgs;
  const char16_t* params[kMaxDispParams];
  HRESULT (*call)(Object& self, const DispArgs& args, VARIANT* result);
};

// The position of `name` among `params` (case folded), or -1.
int FindParamName(const char16_t* const* params, UINT count, const OLECHAR* name);
bool NameMatches(const char16_t* memberName, const OLECHAR* name);

// GetIDsOfNames over a table: names[0] a member, the rest its parameters.
// Unknown names get DISPID_UNKNOWN and the call answers DISP_E_UNKNOWNNAME.
template <class Object>
HRESULT GetIDsOfNamesIn(std::span<const DispMember<Object>> table, REFIID riid, LPOLESTR* names, UINT count,
                        DISPID* ids) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0 || names == nullptr || ids == nullptr) return E_INVALIDARG;
  const DispMember<Object>* member = nullptr;
  for (const DispMember<Object>& m : table) {
    if (NameMatches(m.name, names[0])) {
      member = &m;
      break;
    }
  }
  if (member == nullptr) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = member->id;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    const int pos = FindParamName(member->params, member->maxArgs, names[i]);
    ids[i] = pos >= 0 ? static_cast<DISPID>(pos) : DISPID_UNKNOWN;
    if (pos < 0) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

// Invoke over a table. Every member is a method: a call without
// DISPATCH_METHOD is DISP_E_MEMBERNOTFOUND. A method failure becomes
// DISP_E_EXCEPTION with `source` and the failure's description in `excep`.
template <class Object>
HRESULT InvokeIn(std::span<const DispMember<Object>> table, Object& self, std::u16string_view source, DISPID id,
                 REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                 UINT* argErr) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const DispMember<Object>* member = nullptr;
  for (const DispMember<Object>& m : table) {
    if (m.id == id) {
      member = &m;
      break;
    }
  }
  if (member == nullptr || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return E_INVALIDARG;
  DispArgs args;
  const HRESULT bound = args.Bind(*params, member->minArgs, member->maxArgs, argErr);
  if (FAILED(bound)) return bound;
  if (result != nullptr) VariantInit(result);
  try {
    return member->call(self, args, result);
  } catch (...) {
    FillExcepInfo(excep, source, CurrentError());
    return DISP_E_EXCEPTION;
  }
}

}  // namespace nbl::com
