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
  // The first record of `day`, or kNone.
  std::size_t Find(const std::u16string& day) const;
  // The first record of the day YYYY/MM/DD whose eight digits spell `digits`, or kNone.
  std::size_t FindDigits(std::int64_t digits) const;
  // Next for the record `found` (kNone: a new day, whose text day() makes).
  template <typename DayText>
  vb::Integer NextOf(std::size_t found, DayText day);
  // Makes `record` the first record of `day` unless the day has one.
  void Index(const std::u16string& day, std::size_t record);
  void Grow();

  // By record: its day, its number and its number before the first Next. The
  // numbers lie apart from the days, so counting touches little memory.
  std::vector<std::u16string> days_;
  std::vector<std::int16_t> numbers_, before_;
  // Days written YYYY/MM/DD in digits, as every entry's day is, are found by
  // the number their eight digits spell in a flat table probed slot after slot:
  // no text to hash or compare, and mostly one cache line per question.
  std::vector<std::uint64_t> slots_;  // (digits + 1) << 32 | record; 0 = free
  std::size_t used_ = 0;
  std::unordered_map<std::u16string, std::size_t> others_;  // every other day text -> its first record
};

// The calendar parts in Japan Standard Time (fixed UTC+9) of seconds since
// 1970-01-01 UTC, reckoned in whole seconds.
date::Parts UnixTimeInJapan(std::int32_t seconds);

}  // namespace nbl::importing
