#include "common/text.h"

namespace nbl::text {

std::u16string Replace(std::u16string_view text, std::u16string_view find, std::u16string_view with) {
  if (find.empty()) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit = text.find(find); hit != npos; hit = text.find(find, pos)) {
    out.append(text.substr(pos, hit - pos));
    out.append(with);
    pos = hit + find.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::u16string Digits(long long value) {
  std::string s = std::to_string(value);
  return std::u16string(s.begin(), s.end());
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

namespace {

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Surrogate pairs combined; a lone surrogate, and a unit `refused` names, written as U+FFFD.
template <typename Refused>
std::size_t EncodeUtf8(std::u16string_view text, std::string& out, Refused refused) {
  std::size_t replaced = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
      ++i;
    } else if ((u >= 0xD800 && u <= 0xDFFF) || refused(u)) {
      AppendUtf8(0xFFFD, out);
      ++replaced;
    } else {
      AppendUtf8(u, out);
    }
  }
  return replaced;
}

template <typename BadByte>
void DecodeUtf8(std::string_view utf8, BadByte badByte, std::u16string& out) {
  if (out.empty()) out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = Utf8SequenceLength(utf8, i);
    if (length == 0) {
      out.push_back(badByte(b0));
      ++i;
      continue;
    }
    // The lead byte's own bits, then six from each continuation byte.
    char32_t c = length == 1 ? b0 : b0 & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  EncodeUtf8(text, out, [](char16_t) { return false; });
  return out;
}

bool HasLoneSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0xD800 || u > 0xDFFF) continue;
    if (u >= 0xDC00 || i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
    ++i;
  }
  return false;
}

std::size_t AppendXmlUtf8(std::u16string_view text, std::string& out) { return EncodeUtf8(text, out, IsOutsideXml); }

std::u16string FromUtf8(std::string_view utf8) {
  std::u16string out;
  DecodeUtf8(
      utf8, [](unsigned char) { return u'\uFFFD'; }, out);
  return out;
}

std::u16string FromUtf8MarkingBadBytes(std::string_view utf8) {
  std::u16string out;
  AppendFromUtf8MarkingBadBytes(utf8, out);
  return out;
}

void AppendFromUtf8MarkingBadBytes(std::string_view utf8, std::u16string& out) {
  DecodeUtf8(
      utf8, [](unsigned char b) { return static_cast<char16_t>(0xDC00 + b); }, out);
}

}  // namespace nbl::text
