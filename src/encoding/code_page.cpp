#include "encoding/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "common/failure.h"

namespace nbl::encoding {

namespace {

// Owns one iconv conversion descriptor.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw ConversionFailure(std::string("cannot convert from ") + from + " to " + to + ": " +
                              std::strerror(errno));
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

constexpr char16_t kReplacementCharacter = 0xFFFD;

}  // namespace

std::u16string CodePageBytesToText(const Bytes& bytes) {
  if (bytes.empty()) return {};
  Iconv cd("UTF-16LE", "CP932");

  // Code page 932 has no character outside the 16-bit range and no character
  // shorter than one byte, and a bad byte gives one U+FFFD: one unit per input
  // byte is always enough.
  std::string raw(2 * bytes.size(), '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t in_left = bytes.size();
  char* out = raw.data();
  std::size_t out_left = raw.size();

  auto put_replacement = [&] {
    if (out_left < 2) throw ConversionFailure("code page 932: output buffer exhausted");
    out[0] = static_cast<char>(kReplacementCharacter & 0xFF);
    out[1] = static_cast<char>(kReplacementCharacter >> 8);
    out += 2;
    out_left -= 2;
  };

  while (in_left > 0) {
    if (iconv(cd.get(), &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1)) break;
    if (errno == EILSEQ) {
      // Not Shift-JIS here: mark it and carry on with the next byte.
      put_replacement();
      ++in;
      --in_left;
    } else if (errno == EINVAL) {
      // A lead byte cut off by the end of the input.
      put_replacement();
      in_left = 0;
    } else {
      throw ConversionFailure(std::string("code page 932: ") + std::strerror(errno));
    }
  }

  const std::size_t written = raw.size() - out_left;
  std::u16string text(written / 2, u'\0');
  for (std::size_t k = 0; k < text.size(); ++k) {
    text[k] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * k]) |
                                    (static_cast<unsigned char>(raw[2 * k + 1]) << 8));
  }
  return text;
}

}  // namespace nbl::encoding
