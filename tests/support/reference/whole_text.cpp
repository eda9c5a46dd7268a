#include <cstdint>
#include <string>

#include "encoding/code_page_table.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

bool IsContinuation(std::uint8_t b) { return b >= 0x80 && b <= 0xBF; }

}  // namespace

bool IsUtf8Text(const Bytes& bytes) {
  const std::size_t n = bytes.size();
  bool multiByte = false;
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t b0 = bytes[i];
    if (b0 <= 0x7F) {
      ++i;
      continue;
    }
    // The range of the second byte rules out overlong forms and values past U+10FFFF.
    std::size_t length = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3;
      if (b0 == 0xE0) lo = 0xA0;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      length = 4;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < length || bytes[i + 1] < lo || bytes[i + 1] > hi) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!IsContinuation(bytes[i + k])) return false;
    }
    if (b0 == 0xED && bytes[i + 1] >= 0xA0) {
      // An encoded surrogate: a high half followed at once by a low half.
      if (bytes[i + 1] > 0xAF || n - i < 6 || bytes[i + 3] != 0xED || bytes[i + 4] < 0xB0 || bytes[i + 4] > 0xBF ||
          !IsContinuation(bytes[i + 5])) {
        return false;
      }
      length = 6;
    }
    multiByte = true;
    i += length;
  }
  return multiByte;
}

std::u16string CodePageBytesToText(const Bytes& bytes) {
  if (bytes.empty()) return {};
  const detail::CodePageTable& table = detail::CodePage932();
  detail::TextWriter out(bytes.size());
  const std::uint8_t* p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i + 1 < n) {
    const std::size_t room = detail::RunOf(n - i);
    char16_t* w = out.Room(room);
    char16_t* const stop = w + room;
    for (; i + 1 < n && w != stop; ++w) {
      // A branch rather than a select: the next position then does not wait
      // for the table lookups.
      const std::uint8_t b = p[i];
      if (const char16_t pair = table.Pair(b, p[i + 1]); __builtin_expect(pair != 0, 1)) {
        *w = pair;
        i += 2;
      } else {
        *w = table.single[b];
        i += 1;
      }
    }
    out.Commit(w);
  }
  if (i < n) out.Put(table.single[p[i]]);  // a lead byte here is cut off: U+FFFD
  return out.Take();
}

}  // namespace nbl::encoding
