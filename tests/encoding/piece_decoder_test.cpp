#include "encoding/piece_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/failure.h"
#include "encoding/code_page.h"
#include "encoding/hex.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

using nbl::testing::Hex;
using nbl::testing::ToHex;
using Outcome = std::optional<std::string>;  // nullopt: the decoding failed

// What the 16-bit decoder of `code` gives for all the bytes at once, as UTF-8.
Outcome Whole(FileCode code, const Bytes& bytes) {
  try {
    const std::u16string text = code == FileCode::kUtf8  ? Utf8BytesToText(bytes, u"")
                                : code == FileCode::kJis ? JisBytesToText(bytes)
                                : code == FileCode::kEuc ? EucBytesToText(bytes)
                                                         : CodePageBytesToText(bytes);
    Bytes utf8;
    TextToUtf8Bytes(text, utf8);
    return std::string(utf8.begin(), utf8.end());
  } catch (const ConversionFailure&) {
    return std::nullopt;
  }
}

// What a piece decoder gives for the bytes cut at `cuts` (ascending), each
// piece written into exactly the room it is promised, so that the sanitizer
// sees a write past it.
Outcome InPieces(FileCode code, const Bytes& bytes, const std::vector<std::size_t>& cuts, bool* replaced = nullptr) {
  const auto decoder = MakePieceDecoder(code);
  std::string text;
  const auto run = [&](std::size_t n, const auto& decode) {
    std::vector<char> room(PieceDecoder::MaxText(n));
    text.append(room.data(), decode(room.data()));
  };
  try {
    std::size_t from = 0;
    for (std::size_t k = 0; k <= cuts.size(); ++k) {
      const std::size_t to = k < cuts.size() ? cuts[k] : bytes.size();
      run(to - from, [&](char* out) { return decoder->Decode(bytes.data() + from, to - from, out) - out; });
      from = to;
    }
    run(0, [&](char* out) { return decoder->Finish(out) - out; });
  } catch (const ConversionFailure&) {
    return std::nullopt;
  }
  if (replaced) *replaced = decoder->replaced();
  return text;
}

constexpr FileCode kCodes[] = {FileCode::kUtf8, FileCode::kJis, FileCode::kEuc, FileCode::kCodePage};

// Reports the first few differences only, so a broken decoder does not flood the log.
void Expect(FileCode code, const Bytes& bytes, const std::vector<std::size_t>& cuts, int& differences) {
  const Outcome whole = Whole(code, bytes), pieces = InPieces(code, bytes, cuts);
  if (whole == pieces || ++differences > 10) return;
  std::string at;
  for (const std::size_t c : cuts) at += " " + std::to_string(c);
  ADD_FAILURE() << "code " << static_cast<int>(code) << " (" << ToHex(bytes) << ") cut at" << at << " gives "
                << (pieces ? ToHex(Bytes(pieces->begin(), pieces->end())) : "a failure") << ", the whole array "
                << (whole ? ToHex(Bytes(whole->begin(), whole->end())) : "a failure");
}

// Characters and escapes cut at every place, and failures that the end or a later byte tells.
TEST(PieceDecoder, EveryCutGivesWhatTheWholeArrayGives) {
  const char* inputs[] = {
      "", "41", "0A 0D 41 0D 0A",
      // UTF-8: kana, a character past U+FFFF, surrogate halves in pairs and alone, overlong and cut forms
      "E3 81 82 F0 9F 8D 99 C3 A9 0A", "ED A0 BD ED B8 80 41", "ED A0 BD FF ED B8 80", "ED A0 BD F0 9F 8D 99",
      "ED B8 80 ED A0 BD", "E0 80 8A C0 80 E3 81", "EF BB BF 41 F4 90 80 80 E3 41", "F0 9F 8D",
      // JIS: escapes of each mode, an unknown one, ESC ( B, a pair cut by the end
      "1B 24 42 46 7C 35 2D 1B 28 42 41 0A", "1B 28 49 31 41 1B 24 40 46 7C 1B 28 4A 41", "1B 24 42 46 7C 1B 41 42 43",
      "1B 24 42 46 7C 1B 41 42", "41 1B 24", "1B 24 42", "41 00 1B 24 42 46",
      // EUC-JP: kanji, half-width kana, 0x8F, a lead at the end, a second byte below 0x80, a computed 0x00
      "C6 FC 8E B1 41 8F A1 A1 0A", "C6 FC A1", "C6 41", "41 80 C6 41", "1B 24 42 C6 FC 41",
      // Shift-JIS: kanji, half-width kana, bytes code page 932 cannot read, a lead byte at the end
      "93 FA 96 7B B1 0A 82 A0", "81 20 80 A0 FD 93", "8E B1 8E B2 8E"};
  int differences = 0;
  for (const char* hex : inputs) {
    const Bytes bytes = Hex(hex);
    for (const FileCode code : kCodes) {
      Expect(code, bytes, {}, differences);
      std::vector<std::size_t> each;
      for (std::size_t at = 0; at <= bytes.size(); ++at) {
        Expect(code, bytes, {at}, differences);
        each.push_back(at);
      }
      Expect(code, bytes, each, differences);
    }
  }
}

// Every pair of bytes in each code, cut between its two bytes, after text that leaves each decoder in another state.
TEST(PieceDecoder, EveryPairCutInTheMiddleGivesWhatTheWholeArrayGives) {
  const char* contexts[] = {"", "41 1B 24 42", "1B 28 49", "C6 FC", "E3 81", "93"};
  int differences = 0;
  for (const char* context : contexts) {
    Bytes bytes = Hex(context);
    const std::size_t at = bytes.size();
    bytes.resize(at + 3, 0x41);
    for (const FileCode code : kCodes) {
      for (int pair = 0; pair < 0x10000; ++pair) {
        bytes[at] = static_cast<std::uint8_t>(pair >> 8);
        bytes[at + 1] = static_cast<std::uint8_t>(pair);
        Expect(code, bytes, {at + 1}, differences);
      }
    }
  }
}

TEST(PieceDecoder, RandomBytesInRandomPiecesGiveWhatTheWholeArrayGives) {
  // Mostly the bytes that switch modes, cut, or sit on a range boundary.
  const Bytes telling =
      Hex("1B 24 28 42 40 4A 49 00 0A 0D 21 7E 7F 80 81 8E 8F 9F A0 A1 BF C2 DF E0 ED EF F0 F4 FC FF");
  std::mt19937 random(20240611);
  int differences = 0;
  for (int n = 0; n < 20000; ++n) {
    Bytes bytes(random() % 40);
    for (auto& b : bytes) b = random() % 2 ? telling[random() % telling.size()] : static_cast<std::uint8_t>(random());
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; at <= bytes.size(); ++at) {
      if (random() % 4 == 0) cuts.push_back(at);
    }
    for (const FileCode code : kCodes) Expect(code, bytes, cuts, differences);
  }
}

TEST(PieceDecoder, TellsWhetherCodePage932ReplacedBytes) {
  const std::pair<const char*, bool> cases[] = {
      {"93 FA 41", false}, {"93 FA 93", true}, {"A0 41", true}, {"93 20", true}, {"8E B1 8E B2", false}};
  for (const auto& [hex, replaced] : cases) {
    const Bytes bytes = Hex(hex);
    for (std::size_t at = 0; at <= bytes.size(); ++at) {
      bool got = !replaced;
      InPieces(FileCode::kCodePage, bytes, {at}, &got);
      EXPECT_EQ(got, replaced) << hex << " cut at " << at;
    }
  }
}

}  // namespace
}  // namespace nbl::encoding
