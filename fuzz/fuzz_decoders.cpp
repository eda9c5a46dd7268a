// The byte-to-text decoders and the code guess on any bytes: nothing but the
// documented ConversionFailure may leave them, the UTF-8 tests agree with the
// strict decoder of common/text, the code page tables agree with iconv, and each
// kanji decoder gives exactly what its byte converter chain followed by the code
// page step gives.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/failure.h"
#include "common/text.h"
#include "encoding/code_page.h"
#include "encoding/kanji_code_convert.h"
#include "encoding/utf8.h"
#include "fuzz_support.h"

using namespace nbl;
using namespace nbl::encoding;
using nbl::fuzz::Check;

namespace {

// The text a conversion gives, or nothing when it fails as documented.
template <typename F>
std::optional<std::u16string> Converted(F convert) {
  try {
    return convert();
  } catch (const ConversionFailure&) {
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes bytes(data, data + size);
  const auto n = static_cast<std::int32_t>(size);

  for (const std::int32_t count : {1024, n, 3, 0, -1}) {
    const vb::Boolean looks = LooksLikeUtf8(bytes, count);
    Check(looks == vb::True || looks == vb::False, "LooksLikeUtf8 gives a Boolean");
  }
  Check(LooksLikeUtf8(bytes, n + 5) == LooksLikeUtf8(bytes, n), "a window past the end is the whole array");

  const std::u16string dropped = Utf8BytesToText(bytes, u"");
  const std::u16string replaced = Utf8BytesToText(bytes, u"?");
  Check(replaced.size() >= dropped.size(), "a replacement never shortens the text");
  Check(dropped.size() <= size, "at most one unit per byte");

  // Strict UTF-8 is what survives the C++-side decoder unchanged.
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const bool strict = text::ToUtf8(text::FromUtf8(raw)) == raw;
  bool multiByte = false;
  for (const std::uint8_t b : bytes) multiByte |= b >= 0x80;
  if (IsUtf8Text(bytes)) {
    Check(multiByte, "IsUtf8Text needs a multi-byte character");
    Check(replaced.size() == dropped.size(), "UTF-8 text that IsUtf8Text accepts has no bad byte");
    Check(!fuzz::HasLoneSurrogate(dropped), "UTF-8 text that IsUtf8Text accepts gives no lone surrogate");
  }
  if (strict && multiByte) {
    Check(IsUtf8Text(bytes), "IsUtf8Text accepts strict UTF-8");
    Check(dropped == text::FromUtf8(raw), "Utf8BytesToText reads strict UTF-8 as the strict decoder does");
  }

  const std::optional<std::u16string> codePage = Converted([&] { return CodePageBytesToText(bytes); });
  Check(codePage.has_value(), "the code page step does not fail on content");
  Check(codePage->size() <= size, "the code page step gives at most one unit per byte");
  if (!multiByte) Check(*codePage == text::FromUtf8(raw), "code page 932 reads 7-bit bytes as ASCII");
  Check(*codePage == CodePageBytesToTextBySystem(bytes), "the code page tables differ from iconv");

  if (!bytes.empty()) {
    const std::int32_t code = GuessKanjiCode(bytes);
    Check(code >= kCodeUndecided && code <= kCodeEuc, "GuessKanjiCode gives a code number");
  }

  // Each whole conversion against the chain it is defined by.
  const auto jis = Converted([&] { return JisBytesToText(bytes); });
  const auto jisChain = Converted([&] {
    const Bytes sjis = JisToSjisBytes(bytes);
    Check(!sjis.empty() && sjis.size() <= size, "JIS to Shift-JIS never lengthens");
    return CodePageBytesToText(sjis);
  });
  Check(jis == jisChain, "JisBytesToText differs from JisToSjisBytes and the code page step");

  const auto euc = Converted([&] { return EucBytesToText(bytes); });
  const auto eucChain = Converted([&] {
    const Bytes jisBytes = EucToJisBytes(bytes);
    Check(!jisBytes.empty() && jisBytes.size() <= 3 * size, "EUC-JP to JIS at most triples");
    return CodePageBytesToText(JisToSjisBytes(jisBytes));
  });
  Check(euc == eucChain, "EucBytesToText differs from EucToJisBytes, JisToSjisBytes and the code page step");
  const auto eucSjis = Converted([&] { return CodePageBytesToText(EucToSjisBytes(bytes)); });
  Check(eucSjis == eucChain, "EucToSjisBytes differs from EucToJisBytes then JisToSjisBytes");
  return 0;
}
