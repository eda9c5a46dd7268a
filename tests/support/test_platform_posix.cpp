#include "support/test_platform.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

namespace nbl::testing {

void SetEnvironment(const char* name, const char* value) {
  if (value == nullptr) {
    ::unsetenv(name);
  } else {
    ::setenv(name, value, 1);
  }
}

void SetTimeZone(const char* zone) {
  SetEnvironment("TZ", zone);
  ::tzset();
}

void MakeReadOnly(const std::filesystem::path& file) { ::chmod(file.c_str(), 0444); }

}  // namespace nbl::testing
