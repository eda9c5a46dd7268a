// Date values (days since 1899-12-30 as a double) and their Japanese text forms,
// independent of the machine's time zone and locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nbl::date {

struct Parts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// True when the day exists in the proleptic Gregorian calendar, years 1 to 9999.
bool IsCalendarDay(int year, int month, int day);

// A day as a day text names it.
struct Day {
  int year = 0, month = 0, day = 0;
  friend bool operator==(const Day&, const Day&) = default;
};

// How a day text may be written: YYYY/MM/DD (the store's form), also YYYY-MM-DD
// (a document's dates; one separator throughout), or YYYY/M/D with one or two
// digits of month and day (what a date picker's short date may read).
enum class DayForm { kSlashes, kSlashesOrHyphens, kShortParts };

// The parts of the day text `text` written in `form`, ASCII digits only;
// nothing for any other text. Whether such a day exists is IsCalendarDay's to say.
template <typename Char>
constexpr std::optional<Day> ParseDayText(std::basic_string_view<Char> text, DayForm form = DayForm::kSlashes) {
  const auto number = [&text](std::size_t from, std::size_t count, int& into) {
    into = 0;
    for (std::size_t k = from; k < from + count; ++k) {
      if (text[k] < Char('0') || text[k] > Char('9')) return false;
      into = into * 10 + static_cast<int>(text[k] - Char('0'));
    }
    return true;
  };
  Day d;
  if (form == DayForm::kShortParts) {
    if (text.size() < 8 || text[4] != Char('/')) return std::nullopt;
    const std::size_t second = text.find(Char('/'), 5);
    if (second == std::basic_string_view<Char>::npos) return std::nullopt;
    const std::size_t monthDigits = second - 5, dayDigits = text.size() - second - 1;
    if (monthDigits < 1 || monthDigits > 2 || dayDigits < 1 || dayDigits > 2) return std::nullopt;
    if (!number(0, 4, d.year) || !number(5, monthDigits, d.month) || !number(second + 1, dayDigits, d.day))
      return std::nullopt;
    return d;
  }
  const Char separator = text.size() == 10 ? text[4] : Char('/');
  const bool separates = separator == Char('/') || (form == DayForm::kSlashesOrHyphens && separator == Char('-'));
  if (text.size() != 10 || !separates || text[7] != separator) return std::nullopt;
  if (!number(0, 4, d.year) || !number(5, 2, d.month) || !number(8, 2, d.day)) return std::nullopt;
  return d;
}

// The date value of a calendar day and time of day (proleptic Gregorian).
double FromParts(const Parts& p);

// The calendar parts of a date value, rounded to the nearest second.
Parts ToParts(double value);

// The calendar parts of the time `seconds` after 1970-01-01 0:00:00, in whole
// seconds: what ToParts gives for the date value of that time, without a double.
Parts PartsOfUnixTime(std::int64_t seconds);

// Appends "YYYY/MM/DD H:MM:SS" to `out` (it is ASCII); the date alone ("YYYY/MM/DD")
// when the time of day is exactly 0:00:00.
void AppendGeneralDate(double value, std::string& out);
void AppendGeneralDate(const Parts& p, std::string& out);

// "YYYY/MM/DD H:MM:SS", with the time even at 0:00:00.
std::u16string DateTimeText(double value);

// "YYYY/MM/DD".
std::u16string ShortDate(int year, int month, int day);

// The machine's local date and time now, as a date value.
double Now();

}  // namespace nbl::date
