#include "import/xml_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/text.h"

namespace nbl::importing {
namespace {

bool IsAsciiAlnum(char c) { return text::IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The character of a numeric reference body ("#65", "#x1F600"), or -1 when the
// body is malformed or names no character that text may hold.
long NumericReferenceValue(std::string_view body) {
  if (body.size() < 2 || body[0] != '#') return -1;
  const bool hex = body[1] == 'x';
  const std::size_t first = hex ? 2 : 1;
  if (first >= body.size()) return -1;
  long value = 0;
  for (std::size_t k = first; k < body.size(); ++k) {
    const int digit = hex ? text::HexDigitValue(static_cast<char16_t>(static_cast<unsigned char>(body[k])))
                          : (text::IsDigit(body[k]) ? body[k] - '0' : -1);
    if (digit < 0) return -1;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return -1;  // also keeps the sum from overflowing
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return value;
}

}  // namespace

void DecodeBodyEntitiesInPlace(std::string& text, std::size_t from) {
  std::size_t r = text.find('&', from);
  if (r == std::string::npos) return;
  char* const p = text.data();
  const std::size_t n = text.size();
  const auto at = [p, n](std::size_t k, std::string_view what) {
    return n - k >= what.size() && std::memcmp(p + k, what.data(), what.size()) == 0;
  };
  // One pass does what the four in turn do: "&amp;" leaves an "&", which the
  // text after it may make into one of the other three; what replaces those
  // (no "&") never makes another.
  std::size_t w = r;
  while (r < n) {
    std::size_t q = r + 1;  // p[r] is an "&"
    if (at(q, "amp;")) q += 4;
    char c = '&';
    if (at(q, "lt;")) {
      c = '<';
      q += 3;
    } else if (at(q, "gt;")) {
      c = '>';
      q += 3;
    } else if (at(q, "quot;")) {
      c = '"';
      q += 5;
    }
    p[w++] = c;
    r = q;
    const std::size_t next = std::min(text.find('&', r), n);
    std::memmove(p + w, p + r, next - r);
    w += next - r;
    r = next;
  }
  text.resize(w);
}

std::string DecodeBodyEntities(std::string_view body) {
  std::string out(body);
  DecodeBodyEntitiesInPlace(out, 0);
  return out;
}

std::string DecodeTitleReferences(std::string_view title) {
  std::string out;
  AppendTitleReferences(title, out);
  return out;
}

void AppendTitleReferences(std::string_view title, std::string& out) {
  if (title.find('&') == std::string_view::npos) {
    out.append(title);
    return;
  }
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  std::size_t i = 0;
  while (i < title.size()) {
    const char c = title[i];
    if (c != '&') {
      const std::size_t next = std::min(title.find('&', i), title.size());
      out.append(title.substr(i, next - i));
      i = next;
      continue;
    }
    // A reference holds only letters, digits and "#" before its ";", so the search for
    // the ";" stops at any other character: a title full of "&" stays one pass.
    std::size_t semi = i + 1;
    while (semi < title.size() && (IsAsciiAlnum(title[semi]) || title[semi] == '#')) ++semi;
    if (semi == title.size() || title[semi] != ';') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::string_view body = title.substr(i + 1, semi - i - 1);
    bool decoded = false;
    for (const auto& [name, ch] : kNamed) {
      if (body == name) {
        out.push_back(ch);
        decoded = true;
        break;
      }
    }
    if (!decoded) {
      const long cp = NumericReferenceValue(body);
      if (cp > 0) {
        text::AppendUtf8(static_cast<char32_t>(cp), out);
        decoded = true;
      }
    }
    if (decoded) {
      i = semi + 1;
    } else {
      out.push_back(c);  // not a reference: keep the "&" and read on after it
      ++i;
    }
  }
}

}  // namespace nbl::importing
