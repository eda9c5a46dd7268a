// The plug-in's version, and the entries of its version resource, kept in this
// one place for the Information class, the library's file name and
// `nblinout version`.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "plugin/version_numbers.h"

namespace nbl::plugin {

inline constexpr int kVersionMajor = NBL_VERSION_MAJOR;
inline constexpr int kVersionMinor = NBL_VERSION_MINOR;
inline constexpr int kVersionRevision = NBL_VERSION_REVISION;

// The version resource as (entry, value) pairs, UTF-8, in this order:
// FileVersion and ProductVersion numeric ("1.0.0.4", major.minor.0.revision),
// the string table's language block ("041104B0"), the string entries
// FileVersion, ProductVersion ("1.00.0004"), FileDescription, Comments,
// InternalName, OriginalFilename, and OLESelfRegister (present, empty value).
const std::vector<std::pair<std::string, std::string>>& VersionEntries();

// The numeric version, major.minor.0.revision: "1.0.0.4".
std::string NumericVersion();

}  // namespace nbl::plugin
