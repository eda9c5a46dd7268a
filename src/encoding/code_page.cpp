#include "encoding/code_page.h"

#include "encoding/code_page_table.h"
#include "encoding/jis_step.h"

namespace nbl::encoding {

namespace {

using detail::kReplacementCharacter;

// The system's tables, and the character of each JIS X 0208 code through them.
detail::CodePageTable BuildTable() {
  detail::CodePageTable table = detail::SystemCodePage932();
  table.jis.assign(94 * 94, 0);
  for (unsigned row = 0x21; row <= 0x7E; ++row) {
    for (unsigned cell = 0x21; cell <= 0x7E; ++cell) {
      std::uint8_t s1 = 0;
      std::uint8_t s2 = 0;
      detail::JisPairToSjis(row, cell, s1, s2);  // always in range for these codes
      table.jis[(row - 0x21) * 94 + (cell - 0x21)] = table.Pair(s1, s2);
    }
  }
  return table;
}

}  // namespace

namespace detail {

const CodePageTable& CodePage932() {
  static const CodePageTable table = BuildTable();
  return table;
}

}  // namespace detail

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
