#include "support/test_platform.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>

namespace nbl::testing {

void SetEnvironment(const char* name, const char* value) { _putenv_s(name, value == nullptr ? "" : value); }

void SetTimeZone(const char* zone) {
  SetEnvironment("TZ", zone);
  _tzset();
}

void MakeReadOnly(const std::filesystem::path& file) {
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(file.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
}

}  // namespace nbl::testing
