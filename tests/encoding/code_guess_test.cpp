#include "encoding/code_guess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "common/failure.h"
#include "encoding/hex.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

using nbl::testing::Hex;
using nbl::testing::ToHex;

// The tests that choose a code, fed in random pieces, against their whole-array forms.
TEST(CodeGuess, RandomPiecesJudgeAsTheWholeArray) {
  // Encoded surrogate pairs, good and broken, which random bytes seldom make, then random bytes.
  std::vector<Bytes> inputs;
  for (const char* hex : {"ED A0 BD ED B8 80", "41 ED AF BF ED BF BF", "ED A0 BD ED 41 80", "ED A0 BD", "ED B8 80",
                          "ED A0 BD ED A0 BD", "ED A0 BD 41 ED B8 80", "ED A0 BD 41 B8 80", "ED 9F BF"}) {
    inputs.push_back(Hex(hex));
  }
  const Bytes telling = Hex("1B 24 28 00 41 80 8E 9F A0 A1 AF B0 BF C2 DF E0 ED EF F0 F4 FE FF");
  std::mt19937 random(20240612);
  while (inputs.size() < 50000) {
    Bytes& bytes = inputs.emplace_back(1 + random() % 12);
    for (auto& b : bytes) b = random() % 4 ? telling[random() % telling.size()] : static_cast<std::uint8_t>(random());
  }
  for (const Bytes& bytes : inputs) {
    KanjiCodeGuess guess;
    EucTextCheck euc;
    Utf8TextCheck utf8;
    for (std::size_t from = 0; from < bytes.size();) {
      const std::size_t n = std::min<std::size_t>(bytes.size() - from, random() % 4);
      guess.Feed(bytes.data() + from, n);
      euc.Feed(bytes.data() + from, n);
      utf8.Feed(bytes.data() + from, n);
      from += n;
    }
    ASSERT_EQ(guess.Result(), GuessKanjiCode(bytes)) << ToHex(bytes);
    ASSERT_EQ(euc.Result(), IsEucText(bytes)) << ToHex(bytes);
    ASSERT_EQ(utf8.Result(), IsUtf8Text(bytes)) << ToHex(bytes);
  }
  EXPECT_THROW(KanjiCodeGuess().Result(), ConversionFailure);
}

}  // namespace
}  // namespace nbl::encoding
