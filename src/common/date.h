// Date values (days since 1899-12-30 as a double) and their Japanese text forms,
// independent of the machine's time zone and locale.
#pragma once

#include <cstdint>
#include <string>

namespace nbl::date {

struct Parts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// True when the day exists in the proleptic Gregorian calendar, years 1 to 9999.
bool IsCalendarDay(int year, int month, int day);

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
