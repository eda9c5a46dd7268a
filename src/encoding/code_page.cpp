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

CodePageTable TableOfAnswers(const std::function<char16_t(std::uint8_t)>& alone,
                             const std::function<std::optional<char16_t>(std::uint8_t, std::uint8_t)>& pair) {
  CodePageTable table;
  for (int b = 0; b < 256; ++b) table.single[b] = alone(static_cast<std::uint8_t>(b));
  table.pairs.assign(256, 0);  // slot 0: every byte that is not a lead byte
  for (int b0 = 0; b0 < 256; ++b0) {
    if (table.single[b0] != kReplacementCharacter) continue;
    std::vector<char16_t> row(256, 0);
    bool lead = false;
    for (int b1 = 0; b1 < 256; ++b1) {
      if (const std::optional<char16_t> unit = pair(static_cast<std::uint8_t>(b0), static_cast<std::uint8_t>(b1))) {
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

const CodePageTable& CodePage932() {
  static const CodePageTable table = BuildTable();
  return table;
}

}  // namespace detail

}  // namespace nbl::encoding
