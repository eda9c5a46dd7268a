// Small helpers of the server on top of the platform definitions: owned
// strings, text conversion, class id texts and the translation of failures.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

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

// What a failure looks like to a caller: its code and its description.
struct ComError {
  HRESULT code;
  std::u16string description;
};

// Error codes of the host language's run-time errors, as its components report them.
inline constexpr HRESULT kOverflowError = static_cast<HRESULT>(0x800A0006L);          // error 6
inline constexpr HRESULT kPathFileAccessError = static_cast<HRESULT>(0x800A004BL);    // error 75
inline constexpr HRESULT kInvalidUseOfNullError = static_cast<HRESULT>(0x800A005EL);  // error 94

// The exception being handled, as a code and description: an OverflowFailure
// becomes kOverflowError, a FileFailure kPathFileAccessError, a
// NullValueFailure kInvalidUseOfNullError, bad_alloc E_OUTOFMEMORY, a
// MethodFailure its own error, anything else E_FAIL. Call only inside a catch block.
ComError CurrentError();

// This thread's error information: what the last method that failed through
// Guard said, so that a late-bound caller can be told more than the code.
void RecordErrorInfo(const ComError& error) noexcept;
// Takes the recorded error (the record is cleared) when its code is `code`;
// else `code` with no description.
ComError TakeErrorInfo(HRESULT code);

// A vtable method answered a failure; carries its error information to Invoke.
class MethodFailure : public std::exception {
 public:
  explicit MethodFailure(ComError error) : error_(std::move(error)) {}
  const ComError& error() const { return error_; }
  const char* what() const noexcept override { return "the method failed"; }

 private:
  ComError error_;
};

// Throws MethodFailure, with the thread's error information, when `hr` is a failure.
inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw MethodFailure(TakeErrorInfo(hr));
}

// Fills `info` (when not null) for DISP_E_EXCEPTION: source, description, scode.
void FillExcepInfo(EXCEPINFO* info, std::u16string_view source, const ComError& error);

// Runs `body`; an exception becomes its code (see CurrentError), recorded as
// the thread's error information, and never leaves. For the vtable methods.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    const ComError error = CurrentError();
    RecordErrorInfo(error);
    return error.code;
  }
}

}  // namespace nbl::com
