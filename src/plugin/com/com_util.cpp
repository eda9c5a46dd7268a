#include "plugin/com/com_util.h"

#include <cstring>
#include <exception>
#include <new>

#include "common/failure.h"
#include "common/text.h"

namespace nbl::com {

Bstr MakeBstr(std::u16string_view text) {
  return Bstr(SysAllocStringLen(Ole(text.data()), static_cast<UINT>(text.size())));
}

std::u16string FromBstr(BSTR s) {
  if (s == nullptr) return {};
  return std::u16string(U16(s), SysStringLen(s));
}

namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

void AppendHex(std::u16string& out, unsigned long long value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
}

}  // namespace

std::u16string GuidToString(const GUID& guid) {
  std::u16string out = u"{";
  AppendHex(out, guid.Data1, 8);
  out += u'-';
  AppendHex(out, guid.Data2, 4);
  out += u'-';
  AppendHex(out, guid.Data3, 4);
  out += u'-';
  AppendHex(out, guid.Data4[0], 2);
  AppendHex(out, guid.Data4[1], 2);
  out += u'-';
  for (int i = 2; i < 8; ++i) AppendHex(out, guid.Data4[i], 2);
  out += u'}';
  return out;
}

ComError CurrentError() {
  try {
    try {
      throw;
    } catch (const MethodFailure& e) {
      return e.error();
    } catch (const OverflowFailure& e) {
      return {kOverflowError, text::FromUtf8(e.what())};
    } catch (const FileFailure& e) {
      return {kPathFileAccessError, text::FromUtf8(e.what())};
    } catch (const NullValueFailure& e) {
      return {kInvalidUseOfNullError, text::FromUtf8(e.what())};
    } catch (const std::bad_alloc&) {
      return {E_OUTOFMEMORY, u"out of memory"};
    } catch (const std::exception& e) {
      return {E_FAIL, text::FromUtf8(e.what())};
    } catch (...) {
      return {E_FAIL, u"unknown failure"};
    }
  } catch (...) {
    // Building the description itself failed: keep the code only.
    return {E_OUTOFMEMORY, {}};
  }
}

namespace {
thread_local ComError t_errorInfo{S_OK, {}};
}  // namespace

void RecordErrorInfo(const ComError& error) noexcept {
  try {
    t_errorInfo = error;
  } catch (...) {
    t_errorInfo = {error.code, {}};  // the description did not fit in memory; keep the code
  }
}

ComError TakeErrorInfo(HRESULT code) {
  ComError taken{code, {}};
  if (t_errorInfo.code == code) taken.description = std::move(t_errorInfo.description);
  t_errorInfo = {S_OK, {}};
  return taken;
}

void FillExcepInfo(EXCEPINFO* info, std::u16string_view source, const ComError& error) {
  if (info == nullptr) return;
  std::memset(info, 0, sizeof(EXCEPINFO));
  info->bstrSource = MakeBstr(source).release();
  info->bstrDescription = MakeBstr(error.description).release();
  info->scode = error.code;
}

}  // namespace nbl::com
