// Any 16-bit text through TextToUtf8Bytes and back through Utf8BytesToText is
// the same text: every unit has an encoding, lone surrogates included. Without
// lone surrogates the bytes are standard UTF-8, as the UTF-8 tests must see.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/text.h"
#include "encoding/utf8.h"
#include "fuzz_support.h"
#include "support/reference/kanji_code_convert.h"

using namespace nbl;
using namespace nbl::encoding;
using nbl::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = fuzz::Units(data, size);
  const Bytes before = {0x41, 0x42};
  Bytes bytes = before;
  const std::int32_t n = TextToUtf8Bytes(text, bytes);
  if (text.empty()) {
    Check(n == 0 && bytes == before, "the empty text leaves the caller's array alone");
    return 0;
  }
  Check(n >= 0 && static_cast<std::size_t>(n) == bytes.size(), "the result is the number of bytes");
  Check(Utf8BytesToText(bytes, u"") == text, "the text does not come back");
  Check(Utf8BytesToText(bytes, u"?") == text, "the encoder wrote a byte the decoder counts as bad");

  // Multi-byte sequences: a surrogate pair is one, every other unit from U+0080 is one.
  int sequences = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] < 0x80) continue;
    ++sequences;
    if (text[k] >= 0xD800 && text[k] <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] <= 0xDFFF)
      ++k;
  }
  Check(LooksLikeUtf8(bytes, n) == vb::ToBoolean(sequences >= 2), "LooksLikeUtf8 misjudges the encoder's bytes");

  const bool lone = fuzz::HasLoneSurrogate(text);
  Check(IsUtf8Text(bytes) == (!lone && sequences > 0), "IsUtf8Text misjudges the encoder's bytes");
  if (!lone) {
    Check(std::string(bytes.begin(), bytes.end()) == text::ToUtf8(text), "the bytes are not standard UTF-8");
  }
  return 0;
}
