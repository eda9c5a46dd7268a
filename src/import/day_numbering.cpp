#include "import/day_numbering.h"

#include <limits>
#include <string>
#include <utility>

#include "common/date.h"
#include "common/failure.h"
#include "common/text.h"

namespace nbl::importing {
namespace {

// The eight digits of a day written YYYY/MM/DD as one number, or -1 for any other text.
template <typename Char>
std::int64_t DigitsOf(std::basic_string_view<Char> day) {
  const std::optional<date::Day> d = date::ParseDayText(day);
  return d ? (std::int64_t{d->year} * 100 + d->month) * 100 + d->day : -1;
}

constexpr std::uint64_t kRecordBits = 0xFFFFFFFFu;

std::uint64_t TagOf(std::int64_t digits) { return static_cast<std::uint64_t>(digits + 1) << 32; }

// The first slot to probe for a tag in a table of `size` slots (a power of two
// of at least 32). The days of one month lie side by side in a run of 32 slots
// that the month's hash places, so that a diary read day after day touches few
// cache lines.
std::size_t HomeOf(std::uint64_t tag, std::size_t size) {
  const std::uint64_t digits = (tag >> 32) - 1;
  const std::uint64_t month = digits / 100, day = digits % 100;
  return static_cast<std::size_t>(((month * 0x9E3779B97F4A7C15ULL) >> 32) * 32 + day % 32) & (size - 1);
}

}  // namespace

void DayNumberTable::Reserve(std::int32_t count) {
  if (count <= 0) return;
  days_.reserve(static_cast<std::size_t>(count));
  numbers_.reserve(static_cast<std::size_t>(count));
  before_.reserve(static_cast<std::size_t>(count));
  while (slots_.size() < 2 * static_cast<std::size_t>(count)) Grow();
}

void DayNumberTable::Grow() {
  std::vector<std::uint64_t> old(slots_.empty() ? 1024 : 2 * slots_.size(), 0);
  old.swap(slots_);
  for (const std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t k = HomeOf(slot, slots_.size());
    while (slots_[k] != 0) k = (k + 1) & (slots_.size() - 1);
    slots_[k] = slot;
  }
}

std::size_t DayNumberTable::Find(const std::u16string& day) const {
  const std::int64_t digits = DigitsOf(std::u16string_view(day));
  if (digits < 0) {
    const auto it = others_.find(day);
    return it == others_.end() ? kNone : it->second;
  }
  return FindDigits(digits);
}

std::size_t DayNumberTable::FindDigits(std::int64_t digits) const {
  if (slots_.empty()) return kNone;
  const std::uint64_t tag = TagOf(digits);
  for (std::size_t k = HomeOf(tag, slots_.size());; k = (k + 1) & (slots_.size() - 1)) {
    if (slots_[k] == 0) return kNone;
    if ((slots_[k] & ~kRecordBits) == tag) return static_cast<std::size_t>(slots_[k] & kRecordBits);
  }
}

void DayNumberTable::Index(const std::u16string& day, std::size_t record) {
  const std::int64_t digits = DigitsOf(std::u16string_view(day));
  if (digits < 0) {
    others_.try_emplace(day, record);
    return;
  }
  // At most half full, so that probing stays short.
  if (2 * (used_ + 1) > slots_.size()) Grow();
  const std::uint64_t tag = TagOf(digits);
  std::size_t k = HomeOf(tag, slots_.size());
  for (; slots_[k] != 0; k = (k + 1) & (slots_.size() - 1)) {
    if ((slots_[k] & ~kRecordBits) == tag) return;
  }
  slots_[k] = tag | record;
  ++used_;
}

void DayNumberTable::Add(DayAndNumber record) {
  Index(record.stDay, days_.size());
  numbers_.push_back(record.iNumber.value());
  before_.push_back(record.iNumber.value());
  days_.push_back(std::move(record.stDay));
}

vb::Integer DayNumberTable::Next(const std::u16string& day) {
  return NextOf(Find(day), [&day] { return day; });
}

vb::Integer DayNumberTable::Next(std::string_view day) {
  const auto text = [day] { return std::u16string(day.begin(), day.end()); };
  const std::int64_t digits = DigitsOf(day);
  // Only a new day's text is made, and a day of digits needs none to be found.
  return NextOf(digits < 0 ? Find(text()) : FindDigits(digits), text);
}

template <typename DayText>
vb::Integer DayNumberTable::NextOf(std::size_t found, DayText day) {
  if (found == kNone) {
    Add(DayAndNumber{day(), vb::Integer(1)});
    before_.back() = 0;
    return vb::Integer(1);
  }
  // Numbers are 16-bit: past 32767 this throws before the number is touched.
  if (numbers_[found] >= std::numeric_limits<std::int16_t>::max()) {
    const std::string dayText = text::ToUtf8(days_[found]);
    throw OverflowFailure(
        "overflow: entry number 32768 of " + dayText + " does not fit in 16 bits",
        "the day " + dayText + " would get its 32,768th entry, but a day holds at most 32,767 entries");
  }
  const vb::Integer next = vb::Integer(numbers_[found]) + vb::Integer(1);
  numbers_[found] = next.value();
  return next;
}

std::vector<DayAndNumber> DayNumberTable::records() const {
  std::vector<DayAndNumber> records;
  for (std::size_t k = 0; k < days_.size(); ++k) records.push_back({days_[k], vb::Integer(numbers_[k])});
  return records;
}

std::vector<DayNumbers> DayNumberTable::Given() const {
  std::vector<DayNumbers> given;
  for (std::size_t k = 0; k < days_.size(); ++k) {
    if (numbers_[k] != before_[k]) given.push_back({days_[k], before_[k] + 1, numbers_[k]});
  }
  return given;
}

date::Parts UnixTimeInJapan(std::int32_t seconds) {
  constexpr std::int64_t kJapanOffset = 9 * 3600;
  return date::PartsOfUnixTime(static_cast<std::int64_t>(seconds) + kJapanOffset);
}

}  // namespace nbl::importing
