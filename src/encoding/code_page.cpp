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

}  // namespace nbl::encoding
