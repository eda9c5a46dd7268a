// Text helpers on 16-bit strings shared by every subsystem, and the conversion
// between 16-bit text and the UTF-8 of the C++ side (paths, messages, SQL).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nbl::text {

inline constexpr std::size_t npos = std::u16string_view::npos;

// Every occurrence of `find` (exact, case-sensitive, left to right, no rescan of
// what was inserted) replaced by `with`. An empty `find` leaves the text as it is.
std::u16string Replace(std::u16string_view text, std::u16string_view find, std::u16string_view with);

// The text without the spaces and tabs at either end; a view into `text`.
// Inline: the import asks it of every line.
template <typename Char>
std::basic_string_view<Char> TrimBlanksOf(std::basic_string_view<Char> text) {
  const auto blank = [](Char c) { return c == Char(' ') || c == Char('\t'); };
  std::size_t first = 0, end = text.size();
  while (first < end && blank(text[first])) ++first;
  while (end > first && blank(text[end - 1])) --end;
  return text.substr(first, end - first);
}
inline std::u16string_view TrimBlanks(std::u16string_view text) { return TrimBlanksOf(text); }
inline std::string_view TrimBlanks(std::string_view text) { return TrimBlanksOf(text); }

// The ASCII digits and the blanks (space and tab) in any unit type.
constexpr bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
constexpr bool IsBlank(char32_t c) { return c == U' ' || c == U'\t'; }

// Writes the code point `cp` (at most U+10FFFF; a surrogate as its own three
// bytes) as UTF-8 from `out`, and returns where it ends.
template <typename Byte>
constexpr Byte* PutUtf8(char32_t cp, Byte* out) {
  const auto byte = [](char32_t b) { return static_cast<Byte>(b); };
  if (cp < 0x80) {
    *out++ = byte(cp);
  } else if (cp < 0x800) {
    *out++ = byte(0xC0 | (cp >> 6));
    *out++ = byte(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = byte(0xE0 | (cp >> 12));
    *out++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *out++ = byte(0x80 | (cp & 0x3F));
  } else {
    *out++ = byte(0xF0 | (cp >> 18));
    *out++ = byte(0x80 | ((cp >> 12) & 0x3F));
    *out++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *out++ = byte(0x80 | (cp & 0x3F));
  }
  return out;
}

// The same appended to `out`.
inline void AppendUtf8(char32_t cp, std::string& out) {
  char bytes[4];
  out.append(bytes, PutUtf8(cp, bytes));
}

// Decimal digits of a number, as 16-bit text.
std::u16string Digits(long long value);

// ASCII letters folded to upper case; every other unit unchanged (as OLE compares names).
char16_t AsciiUpper(char16_t c);
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// The value of one hexadecimal digit (either case), or -1.
int HexDigitValue(char16_t c);

// Standard conversions for the C++ side: surrogate pairs are combined; a lone
// surrogate or a malformed byte becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view utf8);

// Length (1 to 4) of the well-formed UTF-8 sequence that starts at utf8[i], or 0
// when that byte starts none: a continuation byte, C0, C1, F5..FF, a sequence cut
// short or with a byte that is no continuation, an overlong form, a surrogate or
// a value past U+10FFFF. `i` must lie inside `utf8`.
inline std::size_t Utf8SequenceLength(std::string_view utf8, std::size_t i) {
  auto at = [&utf8](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
  auto continues = [&](std::size_t k) { return k < utf8.size() && (at(k) & 0xC0) == 0x80; };
  const unsigned char b0 = at(i);
  if (b0 < 0x80) return 1;
  if (b0 < 0xC2) return 0;
  if (b0 < 0xE0) return continues(i + 1) ? 2 : 0;
  if (b0 < 0xF0) {
    if (!continues(i + 1) || !continues(i + 2)) return 0;
    const unsigned char b1 = at(i + 1);
    const bool overlong = b0 == 0xE0 && b1 < 0xA0, surrogate = b0 == 0xED && b1 >= 0xA0;
    return overlong || surrogate ? 0 : 3;
  }
  if (b0 < 0xF5) {
    if (!continues(i + 1) || !continues(i + 2) || !continues(i + 3)) return 0;
    const unsigned char b1 = at(i + 1);
    const bool overlong = b0 == 0xF0 && b1 < 0x90, pastLast = b0 == 0xF4 && b1 >= 0x90;
    return overlong || pastLast ? 0 : 4;
  }
  return 0;
}

// Whether every byte of `utf8` belongs to a well-formed sequence (see Utf8SequenceLength).
inline bool IsWellFormedUtf8(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t length = Utf8SequenceLength(utf8, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// Whether `text` holds a surrogate that is not half of a pair: such text has no
// exact UTF-8 form (ToUtf8 makes the unit U+FFFD).
bool HasLoneSurrogate(std::u16string_view text);

// As FromUtf8, except that each byte that starts no well-formed sequence becomes
// the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), which no decoded text holds:
// text read from a store keeps the mark of its bad bytes for whoever writes it out.
std::u16string FromUtf8MarkingBadBytes(std::string_view utf8);
// The same text appended to `out`.
void AppendFromUtf8MarkingBadBytes(std::string_view utf8, std::u16string& out);

// True for the units an XML 1.0 document cannot carry in any form: U+0000..U+0008,
// U+000B, U+000C, U+000E..U+001F, U+FFFE and U+FFFF (lone surrogates are the
// caller's to find, since they depend on the neighbouring unit).
constexpr bool IsOutsideXml(char16_t unit) {
  return (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') || unit == 0xFFFE || unit == 0xFFFF;
}

// Appends `text` to `out` as the bytes of an XML 1.0 document: UTF-8 with each
// surrogate pair as one four-byte sequence and every other unit as one to three
// bytes, except that every unit IsOutsideXml and every lone surrogate is written
// as U+FFFD (EF BF BD). Returns the number of units so replaced. Without such
// units the bytes are exactly those of ToUtf8.
std::size_t AppendXmlUtf8(std::u16string_view text, std::string& out);

}  // namespace nbl::text
