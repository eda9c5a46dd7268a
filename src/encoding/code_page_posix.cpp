// Code page 932 as glibc's iconv converts it ("CP932"): the tables are read
// from it once (the tests hold them to iconv's whole-array reading too).
#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>

#include "common/failure.h"
#include "encoding/code_page_table.h"

namespace nbl::encoding {

namespace {

using detail::kReplacementCharacter;

// Owns one iconv conversion descriptor.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw ConversionFailure(std::string("cannot convert from ") + from + " to " + to + ": " + std::strerror(errno));
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Code page 932 to UTF-16 through `cd`, from its initial state.
std::u16string DecodeByIconv(const Iconv& cd, const std::uint8_t* data, std::size_t size) {
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);

  // Code page 932 has no character outside the 16-bit range and no character
  // shorter than one byte, and a bad byte gives one U+FFFD: one unit per input
  // byte is always enough.
  std::string raw(2 * size, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
  std::size_t in_left = size;
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

}  // namespace

namespace detail {

// Asks iconv about every byte, and about every pair after a byte that is no
// character alone: a pair that gives one unit is a character, any other gives
// U+FFFD followed by what its second byte gives alone.
CodePageTable SystemCodePage932() {
  const Iconv cd("UTF-16LE", "CP932");
  auto unexpected = [](int b0, int b1) {
    return ConversionFailure("code page 932: iconv does not decode " + std::to_string(b0) + " " + std::to_string(b1) +
                             " byte by byte");
  };
  std::array<char16_t, 256> single{};
  return TableOfAnswers(
      [&](std::uint8_t b) {
        const std::u16string alone = DecodeByIconv(cd, &b, 1);
        if (alone.size() != 1) throw unexpected(b, -1);
        return single[b] = alone[0];
      },
      [&](std::uint8_t b0, std::uint8_t b1) -> std::optional<char16_t> {
        const std::uint8_t two[] = {b0, b1};
        const std::u16string text = DecodeByIconv(cd, two, 2);
        if (text.size() == 1 && text[0] != kReplacementCharacter) return text[0];
        if (text.size() != 2 || text[0] != kReplacementCharacter || text[1] != single[b1]) throw unexpected(b0, b1);
        return std::nullopt;
      });
}

}  // namespace detail

}  // namespace nbl::encoding
