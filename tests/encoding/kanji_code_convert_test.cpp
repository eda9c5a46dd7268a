#include "support/reference/kanji_code_convert.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "encoding/hex.h"

namespace nbl::encoding {
namespace {

using nbl::testing::Hex;
using nbl::testing::ToHex;
using nbl::testing::Units;

constexpr const char* kFails = "fails";

TEST(GuessKanjiCode, JudgesByTheFirstTellingPair) {
  struct Case {
    std::string bytes;
    std::int32_t code;
  };
  const std::vector<Case> cases = {
      {"1B 24 42", kCodeJis},
      {"1B 28 4A", kCodeJis},
      {"93 FA", kCodeShiftJis},
      {"C6 FC", kCodeEuc},
      {"A4 A2 A4 A4", kCodeEuc},
      {"61 62 63", kCodeShiftJis},
      {"41 00 42", kCodeUndecided},
      {"00", kCodeShiftJis},
      {"41", kCodeShiftJis},
      {"41 00", kCodeShiftJis},
      {"E0 E0", kCodeShiftJis},
      {"E0 E0 E0", kCodeShiftJis},
      {"1B 41", kCodeJis},
      {"B1 B2 B3", kCodeEuc},
      {"8E B1 8E B2 8E B3", kCodeShiftJis},
      {"A1 FF", kCodeEuc},
      {"A1 41 E0 41", kCodeEuc},
      {"80 3F", kCodeShiftJis},
      // Ties: Shift-JIS before JIS, JIS before EUC-JP.
      {"1B 41 E0 E0", kCodeShiftJis},
      {"1B 41 A1 A1", kCodeJis},
      {"1B 41 A1 41 A1 41 A1 41", kCodeEuc},
      // The first decisive pair wins over what the scores said so far.
      {"A1 A1 80 40", kCodeShiftJis},
      {"80 3F A1 E0", kCodeEuc},
      {"41 42 00 1B 24", kCodeUndecided},
      {"1B 24 00", kCodeJis},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(GuessKanjiCode(Hex(c.bytes)), c.code);
  }
}

TEST(GuessKanjiCode, ScansPastALongAsciiStart) {
  for (const auto& [tail, code] : std::vector<std::pair<std::string, std::int32_t>>{
           {"C6 FC", kCodeEuc}, {"1B 24 42", kCodeJis}, {"93 FA", kCodeShiftJis}, {"B1 B2 B3", kCodeEuc}}) {
    SCOPED_TRACE(tail);
    Bytes bytes(5000, 'a');
    const Bytes end = Hex(tail);
    bytes.insert(bytes.end(), end.begin(), end.end());
    EXPECT_EQ(GuessKanjiCode(bytes), code);
  }
}

TEST(GuessKanjiCode, EmptyArrayFails) { EXPECT_THROW(GuessKanjiCode({}), ConversionFailure); }

struct ConvertCase {
  std::string in;
  std::string out;  // kFails when the conversion must fail
};

void CheckConverter(Bytes (*convert)(const Bytes&), const std::vector<ConvertCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    if (c.out == kFails) {
      EXPECT_THROW(convert(Hex(c.in)), ConversionFailure);
      continue;
    }
    try {
      EXPECT_EQ(ToHex(convert(Hex(c.in))), c.out);
    } catch (const Failure& e) {
      ADD_FAILURE() << "failed: " << e.what();
    }
  }
}

TEST(JisToSjisBytes, ConvertsByMode) {
  CheckConverter(JisToSjisBytes, {
                                     {"1B 24 42 46 7C 1B 28 4A 41", "93 FA 41"},
                                     {"1B 24 40 46 7C", "93 FA"},
                                     {"1B 24 42 24 22", "82 A0"},
                                     {"1B 28 49 31 41", "B1 C1"},
                                     {"1B 28 49 B1", "B1"},
                                     {"41 42", "41 42"},
                                     {"93 FA", "93 FA"},
                                     {"0E 41 0F 0D 0A", "0E 41 0F 0D 0A"},
                                     {"1B 24 42 46 7C 1B 41 42", "93 FA 91 61"},
                                     // ESC ( B leaves kanji mode like ESC ( J.
                                     {"1B 24 42 46 7C 1B 28 42 41 42", "93 FA 41 42"},
                                     {"1B 24 42 21 21 5E 7E 5F 21 7E 7E", "81 40 9F FC E0 40 EF FC"},
                                     {"1B 24 42 21 DF 22 81 9E 21", "81 FF 81 FF FF 9F"},
                                     {"41 00 42", "41"},
                                     {"1B 24 42 46 7C 1B 28 4A 00 41", "93 FA"},
                                     {"1B 24 42 46 7C 1B 41 42 43", kFails},
                                     {"1B", kFails},
                                     {"41 1B", kFails},
                                     {"41 1B 24", kFails},
                                     {"1B 24 42", kFails},
                                     {"1B 24 42 1B 28 4A", kFails},
                                     {"1B 24 42 46", kFails},
                                     {"00 41", kFails},
                                     {"", kFails},
                                     // Computed bytes outside 0-255.
                                     {"1B 24 42 9F 21", kFails},
                                     {"1B 24 42 21 E0", kFails},
                                     {"1B 24 42 22 82", kFails},
                                 });
}

TEST(EucToJisBytes, WritesEscapesOnlyWhenTheModeChanges) {
  CheckConverter(EucToJisBytes, {
                                    {"C6 FC 41", "1B 24 42 46 7C 1B 28 4A 41"},
                                    {"8E B1", "1B 28 49 31"},
                                    {"41", "41"},
                                    {"C6 FC", "1B 24 42 46 7C"},
                                    {"C6 FC A4 A2", "1B 24 42 46 7C 24 22"},
                                    {"8E B1 41", "1B 28 49 31 1B 28 4A 41"},
                                    {"8E B1 C6 FC 8E B2", "1B 28 49 31 1B 24 42 46 7C 1B 28 49 32"},
                                    {"8E A0", "1B 24 42 0E 20"},
                                    {"8F A1 A1 A1", "1B 24 42 0F 21 21 21"},
                                    {"41 00 42", "41"},
                                    {"C6 80", "1B 24 42 46"},
                                    {"C6 41", kFails},
                                    {"41 C6", kFails},
                                    {"8E", kFails},
                                    {"00", kFails},
                                    {"", kFails},
                                });
}

TEST(EucToSjisBytes, ChainsBothConverters) {
  CheckConverter(EucToSjisBytes, {
                                     {"C6 FC 41", "93 FA 41"},
                                     {"8E B1 41", "B1 41"},
                                     {"A4 A2 A4 A4", "82 A0 82 A2"},
                                     {"41 00 42", "41"},
                                     {"C6 41", kFails},
                                     {"C6", kFails},
                                     {"C6 80", kFails},
                                 });
}

TEST(KanjiBytesToText, DecodesThroughTheCodePage) {
  struct Case {
    Bytes bytes;
    std::u16string (*convert)(const Bytes&);
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {Hex("1B 24 42 46 7C 35 2D 1B 28 4A 41"), JisBytesToText, u"日記A"},
      {Hex("1B 28 49 31 1B 28 4A 0D 0A"), JisBytesToText, u"\uFF71\r\n"},
      {Hex("1B 24 42 2D 21 1B 28 42"), JisBytesToText, u"\u2460"},
      {Hex("C6 FC B5 AD 41"), EucBytesToText, u"日記A"},
      {Hex("8E B1 0A"), EucBytesToText, u"\uFF71\n"},
      {Hex("AD A1"), EucBytesToText, u"\u2460"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToHex(c.bytes));
    EXPECT_EQ(Units(c.convert(c.bytes)), Units(c.text));
  }
  EXPECT_THROW(JisBytesToText(Hex("41 1B")), ConversionFailure);
  EXPECT_THROW(EucBytesToText(Hex("41 C6")), ConversionFailure);
}

// Independent reference: glibc's own code page 932 decoder, strict.
std::optional<std::u16string> ReferenceDecode(const Bytes& bytes) {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(2 * bytes.size() + 2, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t in_left = bytes.size();
  char* o = out.data();
  std::size_t o_left = out.size();
  const std::size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || in_left != 0) return std::nullopt;
  std::u16string text;
  for (std::size_t k = 0; k + 1 < out.size() - o_left; k += 2) {
    text.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(out[k]) | (static_cast<unsigned char>(out[k + 1]) << 8)));
  }
  return text;
}

// The usual JIS to Shift-JIS arithmetic, written apart from the code under test.
void AppendSjis(Bytes& out, int j1, int j2) {
  out.push_back(static_cast<std::uint8_t>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0)));
  out.push_back(static_cast<std::uint8_t>(j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E)));
}

TEST(KanjiBytesToText, AllThreeCodesAgreeOverTheWholeTwoByteSet) {
  Bytes jis;
  Bytes euc;
  Bytes sjis;
  std::size_t characters = 0;
  for (int row = 0x21; row <= 0x7E; ++row) {
    Bytes row_sjis;
    Bytes row_jis;
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      Bytes one;
      AppendSjis(one, row, cell);
      const auto decoded = ReferenceDecode(one);
      // Keep codes that stand for a real character, not for a user-defined one.
      if (!decoded || decoded->size() != 1 || (*decoded)[0] == 0xFFFD ||
          ((*decoded)[0] >= 0xE000 && (*decoded)[0] <= 0xF8FF)) {
        continue;
      }
      row_sjis.insert(row_sjis.end(), one.begin(), one.end());
      row_jis.push_back(static_cast<std::uint8_t>(row));
      row_jis.push_back(static_cast<std::uint8_t>(cell));
      ++characters;
    }
    if (row_jis.empty()) continue;
    const Bytes to_kanji = Hex("1B 24 42");
    const Bytes to_roman = Hex("1B 28 4A");
    jis.insert(jis.end(), to_kanji.begin(), to_kanji.end());
    jis.insert(jis.end(), row_jis.begin(), row_jis.end());
    jis.insert(jis.end(), to_roman.begin(), to_roman.end());
    jis.push_back('\n');
    for (std::uint8_t b : row_jis) euc.push_back(static_cast<std::uint8_t>(b + 0x80));
    euc.push_back('\n');
    sjis.insert(sjis.end(), row_sjis.begin(), row_sjis.end());
    sjis.push_back('\n');
  }
  // JIS X 0208 alone holds 6879 characters; the NEC and IBM rows add more.
  ASSERT_GT(characters, 7000u);

  const auto expected = ReferenceDecode(sjis);
  ASSERT_TRUE(expected.has_value());
  EXPECT_TRUE(JisBytesToText(jis) == *expected);
  EXPECT_TRUE(EucBytesToText(euc) == *expected);
  EXPECT_TRUE(CodePageBytesToText(sjis) == *expected);
  EXPECT_EQ(ToHex(JisToSjisBytes(jis)), ToHex(sjis));
  EXPECT_EQ(ToHex(EucToSjisBytes(euc)), ToHex(sjis));

  EXPECT_EQ(GuessKanjiCode(jis), kCodeJis);
  EXPECT_EQ(GuessKanjiCode(euc), kCodeEuc);
  EXPECT_EQ(GuessKanjiCode(sjis), kCodeShiftJis);
}

}  // namespace
}  // namespace nbl::encoding
