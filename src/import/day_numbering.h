// Per-day entry numbers of the import, and heading seconds to Japan time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/date.h"
#include "common/records.h"

namespace nbl::importing {

// The numbers one day's entries got: first to last, one apart.
struct DayNumbers {
  std::u16string day;
  std::int32_t first = 0, last = 0;
};

// The day-number table of a run with a lookup by day: the next number of a day
// is one more than the highest it holds for that day, 1 for a day it lacks.
class DayNumberTable {
 public:
  // Room for the stored days the query counted (a count below 1 reserves nothing).
  void Reserve(std::int32_t count);
  // Appends a record as loaded from the store; a day already held keeps its first record.
  void Add(DayAndNumber record);
  // The next number of `day`, counted; throws OverflowFailure past 32767, leaving the record unchanged.
  vb::Integer Next(const std::u16string& day);
  // The same for a day given in ASCII, as the import reads it (each byte one unit).
  vb::Integer Next(std::string_view day);
  // The records in order: those added, then the days Next met first.
  std::vector<DayAndNumber> records() const;
  // The days Next gave numbers to, in the order of the records, each with the
  // first and the last number it gave.
  std::vector<DayNumbers> Given() const;

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // Days per month in the day index: DD runs 00 to 99.
  static constexpr std::size_t kMonthDays = 100;
  // The first record of `day`, or kNone.
  std::size_t Find(const std::u16string& day) const;
  // The first record of the day YYYY/MM/DD whose eight digits spell `digits`, or kNone.
  std::size_t FindDigits(std::int32_t digits) const;
  // Next for the record `found` (kNone: a new day, whose text day() makes).
  template <typename DayText>
  vb::Integer NextOf(std::size_t found, DayText day);
  // Makes `record` the first record of `day` unless the day has one.
  void Index(const std::u16string& day, std::size_t record);
  // Where the day index keeps the first record (+ 1, 0 for none) of the day of
  // `digits`; nullptr when its month has no place yet and `make` is false.
  std::int32_t* SlotOf(std::int32_t digits, bool make) const;
  std::u16string TextOf(std::size_t record) const;

  // By record: its day, as the eight digits of a day written YYYY/MM/DD, or
  // -1 - k for the k-th of otherDays_; its number; its number before the first
  // Next. No text is kept for the days of digits, which are nearly all, so a
  // long diary costs a few bytes a day and no allocation.
  std::vector<std::int32_t> keys_;
  std::vector<std::int16_t> numbers_, before_;
  std::vector<std::u16string> otherDays_;
  // Days of digits are found by month (YYYYMM), then by DD in a run of
  // kMonthDays slots: no text to hash or compare, and a diary read day after
  // day asks about one month again and again.
  mutable std::unordered_map<std::int32_t, std::size_t> months_;  // -> the month's first slot
  mutable std::vector<std::int32_t> slots_;
  mutable std::int32_t lastMonth_ = -1;
  mutable std::size_t lastSlots_ = 0;
  std::unordered_map<std::u16string, std::size_t> others_;  // every other day text -> its first record
};

// The calendar parts in Japan Standard Time (fixed UTC+9) of seconds since
// 1970-01-01 UTC, reckoned in whole seconds.
date::Parts UnixTimeInJapan(std::int32_t seconds);

}  // namespace nbl::importing
