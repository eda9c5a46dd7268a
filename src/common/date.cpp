#include "common/date.h"

#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace nbl::date {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
}

const long long kEpochOffset = DaysFromCivil(1899, 12, 30);

// Writes `n` (0 or more) in decimal at `at`, zero-padded to `width` digits, as "%0*d" writes it;
// returns the end of what it wrote.
char* PutNumber(char* at, int n, int width) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0);
  for (; width > count; --width) *at++ = '0';
  while (count > 0) *at++ = digits[--count];
  return at;
}

// Appends YYYY/MM/DD, and " H:MM:SS" when `time`, as "%04d/%02d/%02d %d:%02d:%02d" writes them.
template <typename String>
void AppendDayText(String& out, const Parts& p, bool time) {
  if (p.year < 0 || p.month < 0 || p.day < 0 || p.hour < 0 || p.minute < 0 || p.second < 0) {
    char buf[64];
    if (time) {
      std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    } else {
      std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", p.year, p.month, p.day);
    }
    for (const char* c = buf; *c != '\0'; ++c) out.push_back(static_cast<typename String::value_type>(*c));
    return;
  }
  // Each part has at most ten digits, so this holds the longest text.
  char buf[72];
  char* at = PutNumber(buf, p.year, 4);
  *at++ = '/';
  at = PutNumber(at, p.month, 2);
  *at++ = '/';
  at = PutNumber(at, p.day, 2);
  if (time) {
    *at++ = ' ';
    at = PutNumber(at, p.hour, 1);
    *at++ = ':';
    at = PutNumber(at, p.minute, 2);
    *at++ = ':';
    at = PutNumber(at, p.second, 2);
  }
  out.append(buf, at);
}

std::u16string DayText(const Parts& p, bool time) {
  std::u16string out;
  AppendDayText(out, p, time);
  return out;
}

bool HasTime(const Parts& p) { return p.hour != 0 || p.minute != 0 || p.second != 0; }

}  // namespace

bool IsCalendarDay(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= (month == 2 && leap ? 29 : kDays[month - 1]);
}

double FromParts(const Parts& p) {
  const double days = static_cast<double>(
      DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) - kEpochOffset);
  const double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
  // Before 1899-12-30 the time of day counts away from zero, as OLE dates do.
  return days >= 0 ? days + time : days - time;
}

Parts ToParts(double value) {
  double whole = std::trunc(value);
  long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
  long long day = static_cast<long long>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += value >= 0 ? 1 : -1;
  }
  Parts p;
  CivilFromDays(day + kEpochOffset, p.year, p.month, p.day);
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

Parts PartsOfUnixTime(std::int64_t seconds) {
  // Floor division, so that a time before 1970 still gets a time of day from 0:00:00 on.
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    days -= 1;
  }
  Parts p;
  CivilFromDays(days, p.year, p.month, p.day);
  p.hour = static_cast<int>(rest / 3600);
  p.minute = static_cast<int>(rest / 60 % 60);
  p.second = static_cast<int>(rest % 60);
  return p;
}

void AppendGeneralDate(const Parts& p, std::string& out) { AppendDayText(out, p, HasTime(p)); }

void AppendGeneralDate(double value, std::string& out) { AppendGeneralDate(ToParts(value), out); }

std::u16string DateTimeText(double value) { return DayText(ToParts(value), true); }

std::u16string ShortDate(int year, int month, int day) { return DayText(Parts{year, month, day, 0, 0, 0}, false); }

}  // namespace nbl::date
