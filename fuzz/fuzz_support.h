// What the harnesses share: a check that stops the run as a finding, fuzz bytes
// read as 16-bit text, and a well-formedness check by libxml2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace nbl::fuzz {

// Aborts with `what`; libFuzzer then saves the input that got here.
[[noreturn]] inline void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "fuzz check failed: %s%s%.*s\n", what, detail.empty() ? "" : ": ",
               static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// Two bytes to a code unit, low byte first; an odd last byte is dropped.
inline std::u16string Units(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t k = 0; k < text.size(); ++k) {
    text[k] = static_cast<char16_t>(data[2 * k] | (data[2 * k + 1] << 8));
  }
  return text;
}

inline bool IsSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// True when some surrogate of `text` is not half of a high-low pair.
inline bool HasLoneSurrogate(std::u16string_view text) {
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (!IsSurrogate(text[k])) continue;
    if (text[k] <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] <= 0xDFFF) {
      ++k;
      continue;
    }
    return true;
  }
  return false;
}

}  // namespace nbl::fuzz
