// The local time of day, from the C library's reentrant conversion.
#include <ctime>

#include "common/date.h"

namespace nbl::date {

double Now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return FromParts({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec});
}

}  // namespace nbl::date
