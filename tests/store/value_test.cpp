#include "store/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/text.h"

namespace nbl::store {
namespace {

TEST(ValueCStr, WritesEachKindAsTheHostLanguageDoes) {
  const struct {
    Value value;
    std::u16string expected;
  } cases[] = {
      {Value(u"日記\U0001F600"), u"日記\U0001F600"},
      {Value(u""), u""},
      {Value::Integer(-1234), u"-1234"},
      {Value::Integer(4294967296LL), u"4294967296"},
      {Value::Double(2.5), u"2.5"},
      {Value::Double(0.1 + 0.2), u"0.3"},  // 15 significant digits, not the shortest round trip
      {Value::Double(-0.0), u"0"},
      {Value::Double(123456789012345.0), u"123456789012345"},
      {Value::Double(1e15), u"1E+15"},
      {Value::Double(0.0001), u"0.0001"},
      {Value::Double(0.00001), u"1E-05"},
      {Value::Boolean(true), u"True"},
      {Value::Boolean(false), u"False"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.CStr(), c.expected) << text::ToUtf8(c.expected);
}

TEST(ValueConversions, NullFailsBothWays) {
  EXPECT_TRUE(Value().IsNull());
  EXPECT_THROW(Value().CStr(), NullValueFailure);
  EXPECT_THROW(Value().CInt(), NullValueFailure);
}

TEST(ValueCInt, RoundsHalvesToEvenAndParsesNumericText) {
  const struct {
    Value value;
    int expected;
  } cases[] = {
      {Value::Double(2.5), 2},
      {Value::Double(3.5), 4},
      {Value::Double(-2.5), -2},
      {Value::Double(-3.5), -4},
      {Value::Double(0.5), 0},
      {Value::Double(1.5), 2},
      {Value::Double(2.4999), 2},
      {Value::Double(2.5001), 3},
      {Value::Double(32767.4), 32767},
      {Value::Double(-32768.5), -32768},
      {Value::Integer(32767), 32767},
      {Value::Integer(-32768), -32768},
      {Value(u"12"), 12},
      {Value(u" -7 "), -7},
      {Value(u"+3"), 3},
      {Value(u"2.5"), 2},
      {Value(u"3.5"), 4},
      {Value(u".5"), 0},
      {Value(u"1e3"), 1000},
      {Value(u"1e-999"), 0},
      {Value::Boolean(true), -1},
      {Value::Boolean(false), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.CInt().value(), c.expected) << text::ToUtf8(c.value.CStr());
}

TEST(ValueCInt, FailsOutOfRangeAndOnTextThatIsNoNumber) {
  const Value overflows[] = {
      Value::Integer(32768),
      Value::Integer(-32769),
      Value::Integer(1LL << 40),
      Value::Double(32767.5),
      Value::Double(-32768.51),
      Value::Double(1e300),
      Value::Double(std::numeric_limits<double>::quiet_NaN()),
      Value::Double(INFINITY),
      Value(u"32768"),
      Value(u"-32769"),
      Value(u"1e999"),
  };
  for (const auto& v : overflows) EXPECT_THROW(v.CInt(), OverflowFailure) << text::ToUtf8(v.CStr());

  const std::u16string notNumbers[] = {u"",    u"  ",  u"abc", u"12abc", u"0x10",  u"inf", u"nan",
                                       u"--1", u"+-1", u"1e",  u".",     u"1.2.3", u"１２"};
  for (const auto& t : notNumbers) EXPECT_THROW(Value(t).CInt(), ConversionFailure) << text::ToUtf8(t);
}

}  // namespace
}  // namespace nbl::store
