#include "common/vb_types.h"

#include <gtest/gtest.h>

namespace nbl::vb {
namespace {

TEST(VbInteger, ArithmeticFailsOutsideSixteenBits) {
  EXPECT_EQ((Integer(32766) + Integer(1)).value(), 32767);
  EXPECT_THROW(Integer(32767) + Integer(1), OverflowFailure);
  EXPECT_THROW(Integer(-32768) - Integer(1), OverflowFailure);
  EXPECT_THROW(Integer(200) * Integer(200), OverflowFailure);
  EXPECT_THROW(Integer::From(32768), OverflowFailure);
  EXPECT_EQ(Integer::From(-32768).value(), -32768);
  Integer i = 32767;
  EXPECT_THROW(i += 1, OverflowFailure);
  EXPECT_EQ(i.value(), 32767);  // a failed increment leaves the value as it was
}

TEST(VbLong, ArithmeticFailsOutsideThirtyTwoBits) {
  EXPECT_THROW(Long(2147483647) + Long(1), OverflowFailure);
  EXPECT_EQ((Long(2147483646) + Long(1)).value(), 2147483647);
  EXPECT_EQ(True, -1);
  EXPECT_EQ(ToBoolean(true), True);
  EXPECT_EQ(ToBoolean(false), False);
}

}  // namespace
}  // namespace nbl::vb
