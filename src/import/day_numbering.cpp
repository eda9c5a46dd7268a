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
std::int32_t DigitsOf(std::basic_string_view<Char> day) {
  const std::optional<date::Day> d = date::ParseDayText(day);
  return d ? (d->year * 100 + d->month) * 100 + d->day : -1;
}

}  // namespace

void DayNumberTable::Reserve(std::int32_t count) {
  if (count <= 0) return;
  keys_.reserve(static_cast<std::size_t>(count));
  numbers_.reserve(static_cast<std::size_t>(count));
  before_.reserve(static_cast<std::size_t>(count));
}

std::int32_t* DayNumberTable::SlotOf(std::int32_t digits, bool make) const {
  const std::int32_t month = digits / 100;
  if (month != lastMonth_) {
    auto it = months_.find(month);
    if (it == months_.end()) {
      if (!make) return nullptr;
      it = months_.emplace(month, slots_.size()).first;
      slots_.resize(slots_.size() + kMonthDays, 0);
    }
    lastMonth_ = month;
    lastSlots_ = it->second;
  }
  return &slots_[lastSlots_ + static_cast<std::size_t>(digits % 100)];
}

std::size_t DayNumberTable::Find(const std::u16string& day) const {
  const std::int32_t digits = DigitsOf(std::u16string_view(day));
  if (digits < 0) {
    const auto it = others_.find(day);
    return it == others_.end() ? kNone : it->second;
  }
  return FindDigits(digits);
}

std::size_t DayNumberTable::FindDigits(std::int32_t digits) const {
  const std::int32_t* slot = SlotOf(digits, false);
  return slot == nullptr || *slot == 0 ? kNone : static_cast<std::size_t>(*slot - 1);
}

std::u16string DayNumberTable::TextOf(std::size_t record) const {
  const std::int32_t key = keys_[record];
  if (key < 0) return otherDays_[static_cast<std::size_t>(-1 - key)];
  std::u16string text = u"0000/00/00";
  for (std::size_t k = 10, rest = static_cast<std::size_t>(key); k-- > 0;) {
    if (k == 4 || k == 7) continue;
    text[k] = static_cast<char16_t>(u'0' + rest % 10);
    rest /= 10;
  }
  return text;
}

void DayNumberTable::Index(const std::u16string& day, std::size_t record) {
  const std::int32_t digits = DigitsOf(std::u16string_view(day));
  if (digits < 0) {
    others_.try_emplace(day, record);
    otherDays_.push_back(day);
    keys_.push_back(-static_cast<std::int32_t>(otherDays_.size()));
    return;
  }
  std::int32_t& slot = *SlotOf(digits, true);
  if (slot == 0) slot = static_cast<std::int32_t>(record) + 1;
  keys_.push_back(digits);
}

void DayNumberTable::Add(DayAndNumber record) {
  Index(record.stDay, keys_.size());
  numbers_.push_back(record.iNumber.value());
  before_.push_back(record.iNumber.value());
}

vb::Integer DayNumberTable::Next(const std::u16string& day) {
  return NextOf(Find(day), [&day] { return day; });
}

vb::Integer DayNumberTable::Next(std::string_view day) {
  const std::int32_t digits = DigitsOf(day);
  if (digits < 0) {
    const std::u16string text(day.begin(), day.end());
    return NextOf(Find(text), [&text] { return text; });
  }
  // A new day of digits needs no text: only its number is kept.
  std::int32_t& slot = *SlotOf(digits, true);
  if (slot != 0) return NextOf(static_cast<std::size_t>(slot - 1), [] { return std::u16string(); });
  slot = static_cast<std::int32_t>(keys_.size()) + 1;
  keys_.push_back(digits);
  numbers_.push_back(1);
  before_.push_back(0);
  return vb::Integer(1);
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
    const std::string dayText = text::ToUtf8(TextOf(found));
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
  for (std::size_t k = 0; k < keys_.size(); ++k) records.push_back({TextOf(k), vb::Integer(numbers_[k])});
  return records;
}

std::vector<DayNumbers> DayNumberTable::Given() const {
  std::vector<DayNumbers> given;
  for (std::size_t k = 0; k < keys_.size(); ++k) {
    if (numbers_[k] != before_[k]) given.push_back({TextOf(k), before_[k] + 1, numbers_[k]});
  }
  return given;
}

date::Parts UnixTimeInJapan(std::int32_t seconds) {
  constexpr std::int64_t kJapanOffset = 9 * 3600;
  return date::PartsOfUnixTime(static_cast<std::int64_t>(seconds) + kJapanOffset);
}

}  // namespace nbl::importing
