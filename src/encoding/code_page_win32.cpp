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

// Each byte alone, then every pair after a byte that is no character alone.
CodePageTable SystemCodePage932() {
  if (!IsValidCodePage(kCodePage)) throw ConversionFailure("code page 932 is not installed");
  CodePageTable table;
  for (int b = 0; b < 256; ++b) {
    const std::uint8_t one = static_cast<std::uint8_t>(b);
    table.single[b] = OneCharacter(&one, 1).value_or(kReplacementCharacter);
  }
  table.pairs.assign(256, 0);  // slot 0: every byte that is not a lead byte
  for (int b0 = 0; b0 < 256; ++b0) {
    if (table.single[b0] != kReplacementCharacter) continue;
    std::vector<char16_t> row(256, 0);
    bool lead = false;
    for (int b1 = 0; b1 < 256; ++b1) {
      const std::uint8_t two[] = {static_cast<std::uint8_t>(b0), static_cast<std::uint8_t>(b1)};
      if (const std::optional<char16_t> unit = OneCharacter(two, 2)) {
        row[b1] = *unit;
        lead = true;
      }
    }
    if (!lead) continue;
    table.slot[b0] = static_cast<std::uint8_t>(table.pairs.size() / 256);
    table.pairs.insert(table.pairs.end(), row.begin(), row.end());
  }
  return table;
}

}  // namespace detail

}  // namespace nbl::encoding
