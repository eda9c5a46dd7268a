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

std::optional<GUID> GuidFromString(std::u16string_view text) {
  // {8-4-4-4-12}: 38 units with the dashes at fixed places.
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
  const std::u16string_view body = text.substr(1, 36);
  int digits[32];
  std::size_t n = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (body[i] != u'-') return std::nullopt;
      continue;
    }
    const int v = text::HexDigitValue(body[i]);
    if (v < 0) return std::nullopt;
    digits[n++] = v;
  }
  unsigned char bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(digits[2 * i] * 16 + digits[2 * i + 1]);
  GUID g{};
  g.Data1 =
      (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(g.Data4, bytes + 8, 8);
  return g;
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
