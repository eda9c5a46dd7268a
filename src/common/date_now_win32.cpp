// The local time of day, from the Windows C runtime's thread-safe conversion.
#include <ctime>

#include "common/date.h"

namespace nbl::date {

double Now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &t);
  return FromParts({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec});
}

}  // namespace nbl::date
