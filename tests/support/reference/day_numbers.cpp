#include "support/reference/day_numbers.h"

#include <utility>

namespace nbl::reference {

vb::Integer NextDayNumber(std::u16string day, std::vector<DayAndNumber>& table) {
  for (DayAndNumber& record : table) {
    if (record.stDay == day) {
      // Checked arithmetic: past 32767 this throws before the record is touched.
      const vb::Integer next = record.iNumber + vb::Integer(1);
      record.iNumber = next;
      return next;
    }
  }
  table.push_back(DayAndNumber{std::move(day), vb::Integer(1)});
  return vb::Integer(1);
}

double UnixTimeToDate(std::int32_t seconds) {
  // 1970-01-01 09:00:00, the epoch seen from Japan Standard Time; a fixed offset,
  // never the machine's zone.
  constexpr double kEpochInJapan = 25569.375;
  return kEpochInJapan + static_cast<double>(seconds) / 86400.0;
}

}  // namespace nbl::reference
