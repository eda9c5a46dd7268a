#include "plugin/version_info.h"

#include <cstdio>

namespace nbl::plugin {

std::string NumericVersion() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + ".0." + std::to_string(kVersionRevision);
}

namespace {

// The text form of the version resource: minor in two digits, revision in four.
std::string TextVersion() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%02d.%04d", kVersionMajor, kVersionMinor, kVersionRevision);
  return buf;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& VersionEntries() {
  static const std::vector<std::pair<std::string, std::string>> entries = [] {
    const std::string description = "LoggamoとNubelo形式のファイルをやりとりするためのDLLです。";
    return std::vector<std::pair<std::string, std::string>>{
        {"FILEVERSION", NumericVersion()}, {"PRODUCTVERSION", NumericVersion()}, {"StringFileInfo", "041104B0"},
        {"FileVersion", TextVersion()},    {"ProductVersion", TextVersion()},    {"FileDescription", description},
        {"Comments", description},         {"InternalName", "NBLinout"},         {"OriginalFilename", "NBLinout.dll"},
        {"OLESelfRegister", ""},
    };
  }();
  return entries;
}

}  // namespace nbl::plugin
