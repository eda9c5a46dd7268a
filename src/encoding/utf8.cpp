#include "encoding/utf8.h"

#include <algorithm>
#include <cstddef>

#include "common/text.h"
#include "encoding/code_page_table.h"

namespace nbl::encoding {

namespace {

bool IsContinuation(std::uint8_t b) { return b >= 0x80 && b <= 0xBF; }
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::int32_t TextToUtf8Bytes(std::u16string_view text, Bytes& bytes) {
  const std::size_t n = text.size();
  if (n == 0) return 0;  // the caller's array is left exactly as it was

  // Three bytes per unit is the worst case; a pair takes four bytes for two units.
  Bytes out(3 * n, 0);
  std::uint8_t* const first = out.data();
  std::uint8_t* w = first;
  for (std::size_t k = 0; k < n; ++k) {
    char32_t cp = text[k];
    if (IsHighSurrogate(text[k]) && k + 1 < n && IsLowSurrogate(text[k + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[k + 1] - 0xDC00);
      ++k;
    }
    // Lone surrogates take their own three bytes, so nothing of the text is lost.
    w = text::PutUtf8(cp, w);
  }
  const auto p = static_cast<std::size_t>(w - first);
  out.resize(p);
  out.shrink_to_fit();
  bytes = std::move(out);
  return vb::Long::From(static_cast<long long>(p)).value();
}

std::u16string Utf8BytesToText(const Bytes& bytes, std::u16string_view replacement) {
  const std::size_t n = bytes.size();
  if (n == 0) return {};

  // Every byte yields at most one unit or one replacement (a four-byte
  // sequence yields two units), so the reserved capacity is never exceeded;
  // the writer touches only the part of it that is used.
  const std::size_t r = replacement.size();
  detail::TextWriter out(r > 0 ? n * r : n);
  const std::size_t per_byte = r > 1 ? r : 1;
  const std::uint8_t* p = bytes.data();
  std::size_t i = 0;
  while (i < n) {
    // A sequence begun before `end` may read three bytes past it.
    const std::size_t end = i + detail::RunOf(n - i);
    char16_t* w = out.Room((end - i + 3) * per_byte);
    while (i < end) {
      const std::uint8_t b0 = p[i];
      if (b0 <= 0x7F) {
        *w++ = b0;
        i += 1;
        continue;
      }
      if (b0 >= 0xE0 && b0 <= 0xEF) {
        // Neither overlong forms nor encoded surrogates are refused: older files
        // hold characters above U+FFFF as two such three-byte surrogates.
        if (i + 2 < n && IsContinuation(p[i + 1]) && IsContinuation(p[i + 2])) {
          *w++ = static_cast<char16_t>(((b0 & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
          i += 3;
          continue;
        }
      } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (i + 1 < n && IsContinuation(p[i + 1])) {
          *w++ = static_cast<char16_t>(((b0 & 0x1F) << 6) | (p[i + 1] & 0x3F));
          i += 2;
          continue;
        }
      } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        // The second byte's range keeps the result within U+10000..U+10FFFF.
        const std::uint8_t lo = b0 == 0xF0 ? 0x90 : 0x80;
        const std::uint8_t hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (i + 3 < n && p[i + 1] >= lo && p[i + 1] <= hi && IsContinuation(p[i + 2]) && IsContinuation(p[i + 3])) {
          const char32_t cp =
              ((b0 & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
          *w++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
          *w++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
          i += 4;
          continue;
        }
      }
      // A bad lead byte: only it is consumed; what follows is read again as a lead.
      w = std::copy(replacement.begin(), replacement.end(), w);
      i += 1;
    }
    out.Commit(w);
  }
  return out.Take();
}

std::u16string Utf8BytesToText(std::string_view bytes, std::u16string_view replacement) {
  return Utf8BytesToText(Bytes(bytes.begin(), bytes.end()), replacement);
}

vb::Boolean LooksLikeUtf8(const Bytes& bytes, std::int32_t count) {
  if (count == 0) return vb::False;
  if (bytes.empty()) return vb::False;
  long long window = count;
  if (window > static_cast<long long>(bytes.size())) window = static_cast<long long>(bytes.size());
  if (window <= 0) return vb::False;

  long long i = 0;
  int sequences = 0;
  while (i < window) {
    const std::uint8_t b = bytes[static_cast<std::size_t>(i)];
    if (b <= 0x7F) {
      i += 1;
    } else if (b <= 0xBF) {
      return vb::False;  // a continuation byte where a lead byte is expected
    } else if (b == 0xFE || b == 0xFF) {
      i += 1;
    } else {
      int t = 1;
      if ((b & 0xFC) == 0xFC) {
        t = 5;
      } else if ((b & 0xF8) == 0xF8) {
        t = 4;
      } else if ((b & 0xF0) == 0xF0) {
        t = 3;
      } else if ((b & 0xE0) == 0xE0) {
        t = 2;
      }
      // A sequence the window cuts off is neither counted nor rejected.
      if (i + t >= window) break;
      for (int k = 1; k <= t; ++k) {
        if (!IsContinuation(bytes[static_cast<std::size_t>(i + k)])) return vb::False;
      }
      ++sequences;
      i += t + 1;
    }
  }
  return vb::ToBoolean(sequences >= 2);
}

}  // namespace nbl::encoding
