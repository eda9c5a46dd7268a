// The kanji code module as a whole-array reference: recognises JIS, EUC-JP and
// Shift-JIS byte arrays and turns the first two into Shift-JIS (the converter
// chain), or straight into 16-bit text. The import's piece decoders and
// code_guess must agree with it; only the tests and fuzzers use it.
#pragma once

#include <cstdint>
#include <string>

#include "encoding/code_guess.h"
#include "encoding/utf8.h"

namespace nbl::encoding {

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

// Code page 932 bytes to 16-bit text through the tables, as CodePageBytesToTextBySystem
// reads them: a sequence not valid there becomes U+FFFD and decoding goes on with its next byte.
std::u16string CodePageBytesToText(const Bytes& bytes);

// The same conversion asked of the system's own converter: glibc's iconv in one
// call on POSIX systems, MultiByteToWideChar a character at a time on Windows.
std::u16string CodePageBytesToTextBySystem(const Bytes& bytes);

// True when all of `bytes` is well-formed UTF-8 holding at least one multi-byte
// sequence. Well-formed: no overlong form, code points up to U+10FFFF, encoded
// surrogates only as a high-low pair (the six-byte form of older files). Plain
// 7-bit bytes give false, so JIS text is left to the kanji code guess. Never fails.
bool IsUtf8Text(const Bytes& bytes);

}  // namespace nbl::encoding
