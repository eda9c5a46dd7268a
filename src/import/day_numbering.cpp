#include "import/day_numbering.h"

#include <utility>

namespace nbl::importing {

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

void DayNumberTable::Reserve(std::int32_t count) {
  if (count <= 0) return;
  records_.reserve(static_cast<std::size_t>(count));
  index_.reserve(static_cast<std::size_t>(count));
}

void DayNumberTable::Add(DayAndNumber record) {
  index_.try_emplace(record.stDay, records_.size());
  records_.push_back(std::move(record));
}

vb::Integer DayNumberTable::Next(const std::u16string& day) {
  const auto it = index_.find(day);
  if (it == index_.end()) {
    Add(DayAndNumber{day, vb::Integer(1)});
    return vb::Integer(1);
  }
  DayAndNumber& record = records_[it->second];
  const vb::Integer next = record.iNumber + vb::Integer(1);
  record.iNumber = next;
  return next;
}

double UnixTimeToDate(std::int32_t seconds) {
  // 1970-01-01 09:00:00, the epoch seen from Japan Standard Time; a fixed offset,
  // never the machine's zone.
  constexpr double kEpochInJapan = 25569.375;
  return kEpochInJapan + static_cast<double>(seconds) / 86400.0;
}

}  // namespace nbl::importing
