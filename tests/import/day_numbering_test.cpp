#include "import/day_numbering.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/date.h"
#include "common/failure.h"
#include "common/text.h"
#include "support/reference/day_numbers.h"
#include "support/test_platform.h"

namespace nbl::importing {
namespace {

struct NumberCase {
  const char* name;
  std::vector<DayAndNumber> table;
  std::u16string day;
  int expected;
  std::vector<DayAndNumber> after;
};

TEST(NextDayNumber, NumbersAfterTheHighestStoredNumber) {
  const std::vector<NumberCase> cases = {
      {"empty table appends", {}, u"2007/05/01", 1, {{u"2007/05/01", 1}}},
      {"stored day continues", {{u"2007/05/01", 3}}, u"2007/05/01", 4, {{u"2007/05/01", 4}}},
      {"other spelling is another day", {{u"2007/05/01", 3}}, u"2007/5/1", 1, {{u"2007/05/01", 3}, {u"2007/5/1", 1}}},
      {"empty day is a day too", {{u"2007/05/01", 3}, {u"", 1}}, u"", 2, {{u"2007/05/01", 3}, {u"", 2}}},
      {"new day goes to the end", {{u"2007/05/02", 7}}, u"2007/05/01", 1, {{u"2007/05/02", 7}, {u"2007/05/01", 1}}},
      {"only the first equal record counts", {{u"a", 1}, {u"a", 9}}, u"a", 2, {{u"a", 2}, {u"a", 9}}},
  };
  for (NumberCase c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(reference::NextDayNumber(c.day, c.table).value(), c.expected);
    ASSERT_EQ(c.table.size(), c.after.size());
    for (std::size_t k = 0; k < c.after.size(); ++k) {
      EXPECT_EQ(c.table[k].stDay, c.after[k].stDay);
      EXPECT_EQ(c.table[k].iNumber.value(), c.after[k].iNumber.value());
    }
  }
}

TEST(NextDayNumber, SecondCallOfANewDayGivesTwo) {
  std::vector<DayAndNumber> table;
  EXPECT_EQ(reference::NextDayNumber(u"2007/05/01", table).value(), 1);
  EXPECT_EQ(reference::NextDayNumber(u"2007/05/01", table).value(), 2);
  EXPECT_EQ(table.size(), 1u);
}

TEST(NextDayNumber, OverflowFailsAndKeepsTheRecord) {
  std::vector<DayAndNumber> table = {{u"2007/05/01", 32766}};
  EXPECT_EQ(reference::NextDayNumber(u"2007/05/01", table).value(), 32767);
  EXPECT_THROW(reference::NextDayNumber(u"2007/05/01", table), OverflowFailure);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].iNumber.value(), 32767);
}

// The run's indexed table must number exactly as the walk over the same records.
TEST(DayNumberTable, NumbersAsTheWalkDoes) {
  const std::vector<DayAndNumber> loaded = {
      {u"2007/05/01", 3}, {u"2007/05/02", 32766}, {u"", 1}, {u"2007/05/01", 9}, {u"1999/12/31", 2}};
  // Months apart, and back, and the least and greatest days of digits.
  const std::u16string days[] = {u"2007/05/01", u"2007/05/03", u"2007/05/02", u"",
                                 u"2007/05/03", u"2007/05/02", u"2007/05/01", u"2007/5/1",
                                 u"2007/05/02", u"2007/05/04", u"2007/5/1",   u"0000/00/00",
                                 u"1999/12/31", u"9999/99/99", u"2007/05/04", u"0000/00/00"};
  std::vector<DayAndNumber> walked = loaded;
  DayNumberTable indexed;
  indexed.Reserve(static_cast<std::int32_t>(loaded.size()));
  for (const DayAndNumber& r : loaded) indexed.Add(r);
  bool ascii = false;  // every other day by its ASCII text, as the import gives it
  for (const std::u16string& day : days) {
    SCOPED_TRACE(text::ToUtf8(day));
    ascii = !ascii;
    int fromWalk = 0, fromIndex = 0;
    try {
      fromWalk = reference::NextDayNumber(day, walked).value();
    } catch (const OverflowFailure&) {
      fromWalk = -1;
    }
    try {
      fromIndex = (ascii ? indexed.Next(std::string_view(text::ToUtf8(day))) : indexed.Next(day)).value();
    } catch (const OverflowFailure&) {
      fromIndex = -1;
    }
    EXPECT_EQ(fromIndex, fromWalk);
  }
  const std::vector<DayAndNumber> records = indexed.records();
  ASSERT_EQ(records.size(), walked.size());
  for (std::size_t k = 0; k < walked.size(); ++k) {
    EXPECT_EQ(records[k].stDay, walked[k].stDay);
    EXPECT_EQ(records[k].iNumber.value(), walked[k].iNumber.value());
  }
  // The numbers the days got, the day that overflowed included and the second record of a day left out.
  std::vector<std::string> given;
  for (const DayNumbers& d : indexed.Given()) {
    given.push_back(text::ToUtf8(d.day) + " " + std::to_string(d.first) + "-" + std::to_string(d.last));
  }
  EXPECT_EQ(given, (std::vector<std::string>{"2007/05/01 4-5", "2007/05/02 32767-32767", " 2-2", "1999/12/31 3-3",
                                             "2007/05/03 1-2", "2007/5/1 1-2", "2007/05/04 1-2", "0000/00/00 1-2",
                                             "9999/99/99 1-1"}));
}

TEST(UnixTimeToDate, IsJapanTimeWhateverTheMachineZone) {
  struct Case {
    std::int32_t seconds;
    double value;  // < 0: not checked
    const char* general;
  };
  const Case cases[] = {
      {0, 25569.375, "1970/01/01 9:00:00"},    {-32400, 25569.0, "1970/01/01"},
      {54000, 25570.0, "1970/01/02"},          {1178000000, -1, "2007/05/01 15:13:20"},
      {1177963387, -1, "2007/05/01 5:03:07"},  {-2147483647 - 1, -1, "1901/12/14 5:45:52"},
      {2147483647, -1, "2038/01/19 12:14:07"},
  };
  for (const char* zone : {"UTC", "America/New_York", "Asia/Tokyo"}) {
    testing::SetTimeZone(zone);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(zone) + " " + std::to_string(c.seconds));
      const double value = reference::UnixTimeToDate(c.seconds);
      if (c.value >= 0) {
        EXPECT_DOUBLE_EQ(value, c.value);
      }
      std::string general, fromParts;
      date::AppendGeneralDate(value, general);
      EXPECT_EQ(general, c.general);
      date::AppendGeneralDate(UnixTimeInJapan(c.seconds), fromParts);
      EXPECT_EQ(fromParts, c.general);
    }
  }
  testing::SetTimeZone("UTC");
}

// The headings take the whole-second path; it must give the text of the date value for every time.
TEST(UnixTimeInJapan, GivesThePartsOfTheDateValue) {
  std::vector<std::int32_t> times;
  for (std::int64_t s = -2147483647LL - 1; s <= 2147483647LL; s += 9973 * 60 + 17)
    times.push_back(static_cast<std::int32_t>(s));
  for (std::int64_t day = -3; day <= 3; ++day) {  // the ends of days around 1970, in Japan and in UTC
    for (const std::int64_t edge : {-32400LL, 0LL}) {
      for (const int off : {-1, 0, 1}) times.push_back(static_cast<std::int32_t>(day * 86400 + edge + off));
    }
  }
  for (const std::int32_t s : times) {
    std::string viaValue, viaParts;
    date::AppendGeneralDate(reference::UnixTimeToDate(s), viaValue);
    date::AppendGeneralDate(UnixTimeInJapan(s), viaParts);
    ASSERT_EQ(viaParts, viaValue) << s;
  }
}

}  // namespace
}  // namespace nbl::importing
