// Code page 932 as Windows converts it (MultiByteToWideChar): the tables are
// read from it once (the tests hold them to its whole-array reading too).
#include <windows.h>

#include <optional>

#include "common/failure.h"
#include "encoding/code_page_table.h"

namespace nbl::encoding {

namespace {

using detail::kReplacementCharacter;

constexpr UINT kCodePage = 932;

// The one unit that exactly these bytes decode to, or nothing when they are
// not one whole character. MB_ERR_INVALID_CHARS keeps the system from putting
// its default character where a byte is not valid.
std::optional<char16_t> OneCharacter(const std::uint8_t* bytes, int size) {
  wchar_t units[2] = {};
  const int n =
      MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), size, units, 2);
  if (n != 1) return std::nullopt;
  return static_cast<char16_t>(units[0]);
}

}  // namespace

namespace detail {

CodePageTable SystemCodePage932() {
  if (!IsValidCodePage(kCodePage)) throw ConversionFailure("code page 932 is not installed");
  return TableOfAnswers([](std::uint8_t b) { return OneCharacter(&b, 1).value_or(kReplacementCharacter); },
                        [](std::uint8_t b0, std::uint8_t b1) {
                          const std::uint8_t two[] = {b0, b1};
                          return OneCharacter(two, 2);
                        });
}

}  // namespace detail

}  // namespace nbl::encoding
