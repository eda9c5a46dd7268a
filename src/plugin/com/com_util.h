// Small helpers of the server on top of the platform definitions: owned
// strings, text conversion, class id texts and the translation of failures.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/com/com_platform.h"

namespace nbl::com {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "text crosses the interface as 16-bit units");

struct BstrFree {
  void operator()(OLECHAR* s) const { SysFreeString(s); }
};
// An owned string; release() hands it to a caller who frees it.
using Bstr = std::unique_ptr<OLECHAR, BstrFree>;

// A new string holding `text`; null only when memory runs out.
Bstr MakeBstr(std::u16string_view text);

// The units of a string (embedded zeros kept); "" for null.
std::u16string FromBstr(BSTR s);

// OLECHAR text as 16-bit text and back (the same units).
inline const char16_t* U16(const OLECHAR* s) { return reinterpret_cast<const char16_t*>(s); }
inline const OLECHAR* Ole(const char16_t* s) { return reinterpret_cast<const OLECHAR*>(s); }

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry writes class ids.
std::u16string GuidToString(const GUID& guid);
// The class id written as above (braces required, either case); nullopt when malformed.
std::optional<GUID> GuidFromString(std::u16string_view text);

// What a failure looks like to a caller: its code and its description.
struct ComError {
  HRESULT code;
  std::u16string description;
};

// Error codes of the host language's run-time errors, as its components report them.
inline constexpr HRESULT kOverflowError = static_cast<HRESULT>(0x800A0006L);            // error 6
inline constexpr HRESULT kPathFileAccessError = static_cast<HRESULT>(0x800A004BL);      // error 75
inline constexpr HRESULT kInvalidUseOfNullError = static_cast<HRESULT>(0x800A005EL);    // error 94

// The exception being handled, as a code and description: an OverflowFailure
// becomes kOverflowError, a FileFailure kPathFileAccessError, a
// NullValueFailure kInvalidUseOfNullError, bad_alloc E_OUTOFMEMORY, anything
// else E_FAIL. Call only inside a catch block.
ComError CurrentError();

// Fills `info` (when not null) for DISP_E_EXCEPTION: source, description, scode.
void FillExcepInfo(EXCEPINFO* info, std::u16string_view source, const ComError& error);

// Runs `body`; an exception becomes its code (see CurrentError) and never
// leaves. For the methods of the interface tables.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    return CurrentError().code;
  }
}

}  // namespace nbl::com
