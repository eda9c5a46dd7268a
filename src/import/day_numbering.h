// Per-day entry numbers of the import, and heading seconds to Japan time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/records.h"

namespace nbl::importing {

// The next number of `day`: one more than the record of that day (updated in
// place), or 1 with a new record appended. Throws OverflowFailure past 32767,
// leaving the record unchanged.
vb::Integer NextDayNumber(std::u16string day, std::vector<DayAndNumber>& table);

// The date value in Japan Standard Time (fixed UTC+9) of seconds since 1970-01-01 UTC.
double UnixTimeToDate(std::int32_t seconds);

}  // namespace nbl::importing
