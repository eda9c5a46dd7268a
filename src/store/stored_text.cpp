#include "store/stored_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace nbl::store::detail {

bool StoredUtf8(std::u16string_view text, std::string& out) {
  const std::size_t n = text.size();
  if (n > 0 && (text[0] == 0xFEFF || text[0] == 0xFFFE)) return false;
  // Three bytes per unit at most; a pair takes four bytes for two units.
  out.resize(3 * n);
  char* w = out.data();
  std::size_t k = 0;
  while (k < n) {
    const char32_t u = text[k];
    if (u < 0x80) {
      *w++ = static_cast<char>(u);
      ++k;
    } else if (u < 0x800) {
      *w++ = static_cast<char>(0xC0 | (u >> 6));
      *w++ = static_cast<char>(0x80 | (u & 0x3F));
      ++k;
    } else if (u < 0xD800 || u > 0xDFFF) {
      *w++ = static_cast<char>(0xE0 | (u >> 12));
      *w++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *w++ = static_cast<char>(0x80 | (u & 0x3F));
      ++k;
    } else if (u <= 0xDBFF && k + 1 < n && text[k + 1] >= 0xDC00 && text[k + 1] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[k + 1] - 0xDC00);
      *w++ = static_cast<char>(0xF0 | (cp >> 18));
      *w++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *w++ = static_cast<char>(0x80 | (cp & 0x3F));
      k += 2;
    } else {
      return false;
    }
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
  return true;
}

bool StoredAsIs(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF") || text.starts_with("\xEF\xBF\xBE")) return false;
  // A surrogate's three bytes begin ED A0 to ED BF; no other sequence does.
  const auto surrogateAt = [&text](std::size_t k) {
    return k + 1 < text.size() && static_cast<unsigned char>(text[k + 1]) >= 0xA0;
  };
  if (text.size() < 64) {  // most columns: a loop costs less than a call
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (static_cast<unsigned char>(text[k]) == 0xED && surrogateAt(k)) return false;
    }
    return true;
  }
  const char* const end = text.data() + text.size();
  for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, 0xED, static_cast<std::size_t>(end - p))));
       ++p) {
    if (surrogateAt(static_cast<std::size_t>(p - text.data()))) return false;
  }
  return true;
}

}  // namespace nbl::store::detail
