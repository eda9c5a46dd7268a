// Per-day entry numbers of the import, and heading seconds to Japan time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/records.h"

namespace nbl::importing {

// The next number of `day`: one more than the record of that day (updated in
// place), or 1 with a new record appended. Throws OverflowFailure past 32767,
// leaving the record unchanged.
vb::Integer NextDayNumber(std::u16string day, std::vector<DayAndNumber>& table);

// The day-number table of a run with a lookup by day: numbers exactly as
// NextDayNumber over the same records, without walking the table each time.
class DayNumberTable {
 public:
  // Room for the stored days the query counted (a count below 1 reserves nothing).
  void Reserve(std::int32_t count);
  // Appends a record as loaded from the store; a day already held keeps its first record.
  void Add(DayAndNumber record);
  // As NextDayNumber: throws OverflowFailure past 32767, leaving the record unchanged.
  vb::Integer Next(const std::u16string& day);
  const std::vector<DayAndNumber>& records() const { return records_; }

 private:
  std::vector<DayAndNumber> records_;
  std::unordered_map<std::u16string, std::size_t> index_;  // day -> its first record
};

// The date value in Japan Standard Time (fixed UTC+9) of seconds since 1970-01-01 UTC.
double UnixTimeToDate(std::int32_t seconds);

}  // namespace nbl::importing
