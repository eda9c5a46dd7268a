#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "encoding/hex.h"
#include "encoding/same_as.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

using nbl::testing::Decoder;
using nbl::testing::Hex;
using nbl::testing::SameAs;

// The converter chain with iconv as its last step: what the one-pass decoders must give.
std::u16string JisChain(const Bytes& b) { return CodePageBytesToTextBySystem(JisToSjisBytes(b)); }
std::u16string EucChain(const Bytes& b) { return CodePageBytesToTextBySystem(EucToSjisBytes(b)); }

const Decoder kJis{"JisBytesToText", JisBytesToText, JisChain};
const Decoder kEuc{"EucBytesToText", EucBytesToText, EucChain};

TEST(KanjiBytesToText, AgreesWithTheChainOnEdgeCases) {
  const std::vector<std::string> inputs = {
      "1B 24 42 46 7C 1B 41 42 43",     // odd bytes left before the end
      "1B 24 42 46 1B 28 4A 41",        // an odd byte before an escape
      "1B 24 42 46 7C 1B 28 42 41 42",  // ESC ( B
      "41 00 42",
      "00 41",
      "41 00 C6 41",
      "41 00 1B",
      "C6 80 41",
      "80 C6 41",
      "C6 FC 41 00 8E",
      "1B 24 42 C6 FC 41",
      "41 1B 24 42 C6 FC 41",
      "41 1B 28 49 B1",
      "1B 28 49 31 81 1B 28 4A 40",
      "93 1B 28 4A FA",
      "1B 24 42 2D 21 29 21 1B 28 42 0A",
      "8E E0 A1 A1",
      "8F A1 A1 A1",
      "A1",
      "1B",
      "1B 24 42",
  };
  for (const Decoder* d : {&kJis, &kEuc}) {
    SameAs same(*d);
    for (const auto& in : inputs) same.Check(Hex(in));
  }
  // Far more text than the decoders write between their checks for room.
  Bytes jis;
  Bytes euc;
  for (int k = 0; k < 20000; ++k) {
    jis.insert(jis.end(), {0x1B, 0x24, 0x42, 0x46, 0x7C, 0x35, 0x2D, 0x1B, 0x28, 0x42, 0x41, 0x0A});
    euc.insert(euc.end(), {0xC6, 0xFC, 0xB5, 0xAD, 0x8E, 0xB1, 0x41, 0x0A});
  }
  SameAs(kJis).Check(jis);
  SameAs(kEuc).Check(euc);
}

// Every pair in each mode, after an escape's first byte, at the end and before more text.
TEST(KanjiBytesToText, JisAgreesWithTheChainOnEveryPair) {
  SameAs(kJis).CheckEveryPair({{"", ""},
                               {"", "1B 28 4A 41"},
                               {"41 1B 24 42", ""},
                               {"41 1B 24 42", "1B 28 4A 41"},
                               {"1B 28 49", ""},
                               {"1B", ""}});
}

TEST(KanjiBytesToText, EucAgreesWithTheChainOnEveryPair) {
  SameAs(kEuc).CheckEveryPair(
      {{"", ""}, {"", "41"}, {"C6 FC", ""}, {"C6 FC", "41"}, {"8E B1", "41"}, {"1B", ""}, {"41 1B 24 42", "41"}});
}

TEST(KanjiBytesToText, AgreesWithTheChainOnRandomBytes) {
  // Mostly the bytes that switch modes, cut, or sit on a range boundary.
  const Bytes telling = Hex("1B 24 28 42 40 4A 49 00 0A 21 7E 7F 80 81 8E 8F 9F A0 A1 DF E0 EF FC FE FF 5C");
  std::mt19937 random(20240610);
  for (const Decoder* d : {&kJis, &kEuc}) {
    SameAs same(*d);
    for (int n = 0; n < 20000; ++n) {
      Bytes bytes(1 + random() % 24);
      for (auto& b : bytes) {
        b = random() % 2 ? telling[random() % telling.size()] : static_cast<std::uint8_t>(random());
      }
      same.Check(bytes);
    }
  }
}

}  // namespace
}  // namespace nbl::encoding
