// What the tests do to the system that each platform does its own way.
#pragma once

#include <filesystem>

namespace nbl::testing {

// Sets an environment variable of this process; a null value removes it.
void SetEnvironment(const char* name, const char* value);

// Makes the C library's local time follow the zone `zone` ("UTC", "Asia/Tokyo").
void SetTimeZone(const char* zone);

// Marks a file read-only: no write bit on POSIX systems, the read-only attribute on Windows.
void MakeReadOnly(const std::filesystem::path& file);

}  // namespace nbl::testing
