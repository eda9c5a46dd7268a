#include "common/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "common/text.h"

namespace nbl::number {
namespace {

TEST(ParseDecimal, AcceptsOnlyDecimalSpellings) {
  struct Case {
    std::u16string field;
    std::optional<double> value;
  };
  const Case cases[] = {
      {u"1178000000", 1178000000.0},
      {u" 42\t", 42.0},
      {u"+7", 7.0},
      {u"-7", -7.0},
      {u"2.5", 2.5},
      {u".5", 0.5},
      {u"5.", 5.0},
      {u"1.178e9", 1178000000.0},
      {u"12E-1", 1.2},
      {u"1e+2", 100.0},
      {u"1e-400", 0.0},
      {u"", std::nullopt},
      {u" ", std::nullopt},
      {u"-", std::nullopt},
      {u".", std::nullopt},
      {u"+.", std::nullopt},
      {u"e5", std::nullopt},
      {u"1e", std::nullopt},
      {u"0x10", std::nullopt},
      {u"&H10", std::nullopt},
      {u"1,000", std::nullopt},
      {u"inf", std::nullopt},
      {u"nan", std::nullopt},
      {u"1 2", std::nullopt},
      {u"メモ", std::nullopt},
      {u"１２", std::nullopt},
      {u"--1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.field));
    EXPECT_EQ(ParseDecimal(c.field), c.value);
  }
  EXPECT_TRUE(std::isinf(*ParseDecimal(u"1e400")));
}

// Halves to the even neighbour, within 32 bits or nothing.
TEST(RoundToInt32, HalvesGoToTheEvenNeighbour) {
  const std::pair<double, std::int32_t> cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {2.4, 2},
      {2.6, 3},
      {-2.6, -3},
      {2147483647.4, 2147483647},
      {-2147483648.5, -2147483648},
      {1178000000.5, 1178000000},
      {1178000001.5, 1178000002},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    EXPECT_EQ(RoundToInt32(in), out);
  }
  for (double bad : {2147483647.5, -2147483649.0, 1e12, std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(RoundToInt32(bad), std::nullopt);
  }
}

}  // namespace
}  // namespace nbl::number
