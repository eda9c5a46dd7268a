#include "common/date.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace nbl::date {
namespace {

TEST(DateValue, MatchesTheOleDayCount) {
  struct Case {
    Parts parts;
    double value;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},    {{1970, 1, 1, 9, 0, 0}, 25569.375}, {{1970, 1, 1, 0, 0, 0}, 25569.0},
      {{2000, 3, 1, 12, 0, 0}, 36586.5}, {{1899, 12, 29, 6, 0, 0}, -1.25},  // before the epoch the time counts away
                                                                            // from zero
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(FromParts(c.parts), c.value) << c.parts.year << "/" << c.parts.month << "/" << c.parts.day;
    const Parts back = ToParts(c.value);
    EXPECT_EQ(back.year, c.parts.year);
    EXPECT_EQ(back.month, c.parts.month);
    EXPECT_EQ(back.day, c.parts.day);
    EXPECT_EQ(back.hour, c.parts.hour);
  }
}

TEST(DateText, GeneralFormDropsAMidnightTime) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {25569.375, "1970/01/01 9:00:00"},
      {25569.0, "1970/01/01"},
      {FromParts({2007, 5, 1, 15, 13, 20}), "2007/05/01 15:13:20"},
      {FromParts({2007, 5, 1, 5, 3, 7}), "2007/05/01 5:03:07"},
      {FromParts({2007, 12, 31, 23, 59, 59}) + 0.4 / 86400, "2007/12/31 23:59:59"},
      {FromParts({2007, 12, 31, 23, 59, 59}) + 0.6 / 86400, "2008/01/01"},  // rounds into the next day
  };
  for (const auto& c : cases) {
    std::string text;
    AppendGeneralDate(c.value, text);
    EXPECT_EQ(text, c.text);
  }
  EXPECT_EQ(ShortDate(2006, 2, 25), u"2006/02/25");
  EXPECT_EQ(DateTimeText(25569.0), u"1970/01/01 0:00:00");  // the time stays even at midnight
  EXPECT_EQ(DateTimeText(25569.375), u"1970/01/01 9:00:00");
}

}  // namespace
}  // namespace nbl::date
