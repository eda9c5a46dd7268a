// The import's day numbers and heading times, stated the plain way: a walk over
// the records for each number, and a date value by floating point. The run's
// own table and whole-second reckoning must agree; only the tests use these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/records.h"

namespace nbl::reference {

// The next number of `day`: one more than the record of that day (updated in
// place), or 1 with a new record appended. Throws OverflowFailure past 32767,
// leaving the record unchanged.
vb::Integer NextDayNumber(std::u16string day, std::vector<DayAndNumber>& table);

// The date value in Japan Standard Time (fixed UTC+9) of seconds since 1970-01-01 UTC.
double UnixTimeToDate(std::int32_t seconds);

}  // namespace nbl::reference
