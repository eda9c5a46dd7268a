// Code page 932 as glibc's iconv reads a whole array in one call: the tables the
// product reads from iconv pair by pair are held to it.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "common/failure.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {

std::u16string CodePageBytesToTextBySystem(const Bytes& bytes) {
  const iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw ConversionFailure(std::string("iconv: ") + std::strerror(errno));
  // One unit per byte at most: no character of the code page lies outside the 16-bit range.
  std::u16string text(bytes.size(), u'\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t inLeft = bytes.size();
  char* out = reinterpret_cast<char*>(text.data());
  std::size_t outLeft = 2 * text.size();
  while (inLeft > 0 && iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    if (errno != EILSEQ && errno != EINVAL) break;
    // A byte that starts no character here, or a lead byte cut off by the end: U+FFFD for that byte.
    const char16_t replacement = u'\uFFFD';
    std::memcpy(out, &replacement, 2);
    out += 2;
    outLeft -= 2;
    ++in;
    --inLeft;
  }
  iconv_close(cd);
  text.resize(text.size() - outLeft / 2);
  return text;
}

}  // namespace nbl::encoding
