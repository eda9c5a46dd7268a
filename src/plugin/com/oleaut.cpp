// The string and variant services of the platform, for systems that lack them.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "plugin/com/com_platform.h"

namespace {

// Layout of one string block: 4-byte byte length, the units, a 0 unit.
constexpr std::size_t kPrefix = sizeof(std::uint32_t);

unsigned char* BlockOf(BSTR s) { return reinterpret_cast<unsigned char*>(s) - kPrefix; }

}  // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  // The byte length has to fit the 32-bit prefix together with the terminator.
  if (ui > (std::numeric_limits<std::uint32_t>::max() - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
  const std::uint32_t bytes = static_cast<std::uint32_t>(ui * sizeof(OLECHAR));
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, kPrefix);
  auto* chars = reinterpret_cast<OLECHAR*>(block + kPrefix);
  if (strIn != nullptr) {
    std::memcpy(chars, strIn, bytes);
  } else {
    std::memset(chars, 0, bytes);
  }
  chars[ui] = 0;
  return chars;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  UINT n = 0;
  while (psz[n] != 0) ++n;
  return SysAllocStringLen(psz, n);
}

UINT SysStringByteLen(BSTR pbstr) {
  if (pbstr == nullptr) return 0;
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, BlockOf(pbstr), kPrefix);
  return bytes;
}

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

void SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) std::free(BlockOf(bstrString));
}

void VariantInit(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return;
  std::memset(pvarg, 0, sizeof(VARIANTARG));
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  // A reference owns nothing; an array is not a type this layer creates.
  if ((pvarg->vt & VT_BYREF) == 0) {
    if ((pvarg->vt & VT_ARRAY) != 0) return DISP_E_BADVARTYPE;
    switch (pvarg->vt) {
      case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
        break;
      case VT_RECORD:
        if (pvarg->pRecInfo != nullptr) {
          if (pvarg->pvRecord != nullptr) pvarg->pRecInfo->RecordDestroy(pvarg->pvRecord);
          pvarg->pRecInfo->Release();
        }
        break;
      default:
        break;
    }
  }
  VariantInit(pvarg);
  return S_OK;
}

}  // extern "C"
