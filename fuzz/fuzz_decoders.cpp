// The byte-to-text decoders and the code guess on any bytes: nothing but the
// documented ConversionFailure may leave them, the UTF-8 tests agree with the
// strict decoder of common/text, the code page tables agree with iconv, each
// kanji decoder gives exactly what its byte converter chain followed by the code
// page step gives, and each decoder to UTF-8 and each test of the code, fed the
// bytes in pieces of random lengths, gives what its whole-array form gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "encoding/code_guess.h"
#include "encoding/piece_decoder.h"
#include "encoding/utf8.h"
#include "fuzz_support.h"
#include "support/reference/kanji_code_convert.h"

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

// Lengths of pieces, 0 to 7 bytes, drawn from a generator the bytes seed.
class Pieces {
 public:
  Pieces(const std::uint8_t* data, std::size_t size) : state_(0x9E3779B97F4A7C15ull ^ size) {
    for (std::size_t k = 0; k < size; ++k) state_ = (state_ ^ data[k]) * 0x100000001B3ull;
  }
  std::size_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::size_t>(state_ % 8);
  }

 private:
  std::uint64_t state_;
};

// The UTF-8 a decoder gives for the bytes in pieces, each written into exactly the room it is promised.
std::optional<std::string> InPieces(FileCode code, const Bytes& bytes, Pieces& pieces, bool& replaced) {
  const auto decoder = MakePieceDecoder(code);
  std::string text;
  const auto run = [&text](std::size_t n, const auto& decode) {
    std::vector<char> room(PieceDecoder::MaxText(n));
    const char* end = decode(room.data());
    Check(end >= room.data() && end <= room.data() + room.size(), "a decoder writes within its room");
    text.append(room.data(), static_cast<std::size_t>(end - room.data()));
  };
  try {
    for (std::size_t from = 0; from < bytes.size();) {
      const std::size_t n = std::min(pieces.Next(), bytes.size() - from);
      run(n, [&](char* out) { return decoder->Decode(bytes.data() + from, n, out); });
      from += n;
    }
    run(0, [&](char* out) { return decoder->Finish(out); });
  } catch (const ConversionFailure&) {
    return std::nullopt;
  }
  replaced = decoder->replaced();
  return text;
}

std::optional<std::string> AsUtf8(const std::optional<std::u16string>& text) {
  if (!text) return std::nullopt;
  Bytes utf8;
  TextToUtf8Bytes(*text, utf8);
  return std::string(utf8.begin(), utf8.end());
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

  // The decoders to UTF-8 and the tests of the code, in pieces, against the whole arrays.
  Pieces pieces(data, size);
  const std::pair<FileCode, std::optional<std::u16string>> wholes[] = {
      {FileCode::kUtf8, dropped}, {FileCode::kJis, jis}, {FileCode::kEuc, euc}, {FileCode::kCodePage, codePage}};
  for (const auto& [code, whole] : wholes) {
    bool replaced = false;
    const auto text = InPieces(code, bytes, pieces, replaced);
    Check(text == AsUtf8(whole), "a decoder to UTF-8 differs in pieces from its 16-bit decoder");
    if (code == FileCode::kCodePage) {
      Check(replaced == (whole->find(u'\uFFFD') != std::u16string::npos), "replaced() tells a U+FFFD");
    }
  }
  KanjiCodeGuess guess;
  EucTextCheck eucText;
  Utf8TextCheck utf8Text;
  for (std::size_t from = 0; from < size;) {
    const std::size_t n = std::min(pieces.Next(), size - from);
    guess.Feed(data + from, n);
    eucText.Feed(data + from, n);
    utf8Text.Feed(data + from, n);
    from += n;
  }
  if (!bytes.empty()) Check(guess.Result() == GuessKanjiCode(bytes), "the guess in pieces differs");
  Check(eucText.Result() == IsEucText(bytes), "IsEucText in pieces differs");
  Check(utf8Text.Result() == IsUtf8Text(bytes), "IsUtf8Text in pieces differs");
  return 0;
}
