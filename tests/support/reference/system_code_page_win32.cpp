// Code page 932 as Windows reads it, a character at a time, greedily: a whole pair,
// else the byte alone, else U+FFFD for that byte. The tables the product reads from
// the same system are held to it.
#include <windows.h>

#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {

std::u16string CodePageBytesToTextBySystem(const Bytes& bytes) {
  // The units exactly `size` bytes at `at` decode to as one character, or none.
  const auto one = [&bytes](std::size_t at, int size, char16_t& unit) {
    wchar_t units[2] = {};
    const int n =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(&bytes[at]), size, units, 2);
    unit = static_cast<char16_t>(units[0]);
    return n == 1;
  };
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size();) {
    char16_t unit = 0;
    if (i + 1 < bytes.size() && one(i, 2, unit)) {
      i += 2;
    } else {
      if (!one(i, 1, unit)) unit = u'\uFFFD';
      ++i;
    }
    text.push_back(unit);
  }
  return text;
}

}  // namespace nbl::encoding
