// Internal to encoding/: what the JIS to Shift-JIS step knows, shared by the
// converter chain, its one-pass form and the code page tables.
#pragma once

#include <cstdint>

namespace nbl::encoding::detail {

inline constexpr std::uint8_t kEsc = 0x1B;

enum class JisMode { kKanji = 1, kRoman = 2, kKana = 3 };

// Sets `mode` for ESC e1 e2 when the step recognises that escape; false for any other.
inline bool RecogniseEscape(std::uint8_t e1, std::uint8_t e2, JisMode& mode) {
  if (e1 == 0x24 && (e2 == 0x42 || e2 == 0x40)) {
    mode = JisMode::kKanji;
  } else if (e1 == 0x28 && (e2 == 0x4A || e2 == 0x42)) {
    // ESC ( B (ASCII) is what most JIS writers use to leave kanji mode; read it as ESC ( J.
    mode = JisMode::kRoman;
  } else if (e1 == 0x28 && e2 == 0x49) {
    mode = JisMode::kKana;
  } else {
    return false;
  }
  return true;
}

// The Shift-JIS bytes of the two-byte code c1, c2 in kanji mode (for JIS X 0208
// codes the usual transformation); false when one would fall outside 0-255.
inline bool JisPairToSjis(unsigned c1, unsigned c2, std::uint8_t& s1, std::uint8_t& s2) {
  unsigned b1 = (c1 + 1) / 2 + 0x70;
  unsigned b2 = c2 + 0x1F;
  if (c1 % 2 == 0) {
    b1 = c1 / 2 + 0x70;
    b2 = c2 + 0x7D;
  }
  if (b1 >= 0xA0) b1 += 0x40;
  if (b2 >= 0x7F) b2 += 1;
  if (b1 > 0xFF || b2 > 0xFF) return false;
  s1 = static_cast<std::uint8_t>(b1);
  s2 = static_cast<std::uint8_t>(b2);
  return true;
}

}  // namespace nbl::encoding::detail
