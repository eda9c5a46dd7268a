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

// Cuts at every `separator`; n separators give n + 1 parts (empty ones kept).
// An empty text gives one empty part; an empty separator gives the whole text.
std::vector<std::u16string> Split(std::u16string_view text, std::u16string_view separator);

// 0-based position of the first `find` at or after `from`, or npos.
std::size_t Find(std::u16string_view text, std::u16string_view find, std::size_t from = 0);

// The first n units (all when shorter).
std::u16string Left(std::u16string_view text, std::size_t n);

// From 0-based `start`, at most `length` units (to the end when npos); empty past the end.
std::u16string Mid(std::u16string_view text, std::size_t start, std::size_t length = npos);

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

// As FromUtf8, except that each byte that starts no well-formed sequence becomes
// the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), which no decoded text holds:
// text read from a store keeps the mark of its bad bytes for whoever writes it out.
std::u16string FromUtf8MarkingBadBytes(std::string_view utf8);

// True for the units an XML 1.0 document cannot carry in any form: U+0000..U+0008,
// U+000B, U+000C, U+000E..U+001F, U+FFFE and U+FFFF (lone surrogates are the
// caller's to find, since they depend on the neighbouring unit).
bool IsOutsideXml(char16_t unit);

// Appends `text` to `out` as the bytes of an XML 1.0 document: UTF-8 with each
// surrogate pair as one four-byte sequence and every other unit as one to three
// bytes, except that every unit IsOutsideXml and every lone surrogate is written
// as U+FFFD (EF BF BD). Returns the number of units so replaced. Without such
// units the bytes are exactly those of ToUtf8.
std::size_t AppendXmlUtf8(std::u16string_view text, std::string& out);

}  // namespace nbl::text
