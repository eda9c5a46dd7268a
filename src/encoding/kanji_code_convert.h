// The modKanjiCodeConvert module: recognises JIS, EUC-JP and Shift-JIS byte
// arrays and turns the first two into Shift-JIS, or straight into text.
#pragma once

#include <cstdint>
#include <string>

#include "encoding/utf8.h"

namespace nbl::encoding {

inline constexpr std::int32_t kCodeUndecided = 0;
inline constexpr std::int32_t kCodeShiftJis = 1;
inline constexpr std::int32_t kCodeJis = 2;
inline constexpr std::int32_t kCodeEuc = 3;

// Which code the bytes most likely use (0-3). Throws ConversionFailure for an empty array.
std::int32_t GuessKanjiCode(const Bytes& bytes);

// Whether every byte from 0x80 up belongs to an EUC-JP character that
// EucBytesToText reads (a JIS X 0208 pair, or 0x8E and a half-width kana),
// with at least one such character.
bool IsEucText(const Bytes& bytes);

// Byte converters; each returns a new array cut before its first 0x00 byte.
// They throw ConversionFailure on a read past the end, a computed byte outside
// 0-255, or an empty result.
Bytes JisToSjisBytes(const Bytes& bytes);
Bytes EucToJisBytes(const Bytes& bytes);
Bytes EucToSjisBytes(const Bytes& bytes);

// Whole conversions to text: exactly the code page step applied to what
// JisToSjisBytes or EucToSjisBytes give, failing where they fail, but done in
// one pass through the code page tables (kanji_text.cpp).
std::u16string JisBytesToText(const Bytes& bytes);
std::u16string EucBytesToText(const Bytes& bytes);

}  // namespace nbl::encoding
