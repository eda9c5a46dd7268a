#include "plugin/version_info.h"

#include <gtest/gtest.h>

#include <map>

namespace nbl::plugin {
namespace {

TEST(VersionEntries, HoldTheVersionResource) {
  const auto& entries = VersionEntries();
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"FILEVERSION", "1.0.0.4"},
      {"PRODUCTVERSION", "1.0.0.4"},
      {"StringFileInfo", "041104B0"},
      {"FileVersion", "1.00.0004"},
      {"ProductVersion", "1.00.0004"},
      {"FileDescription", "LoggamoとNubelo形式のファイルをやりとりするためのDLLです。"},
      {"Comments", "LoggamoとNubelo形式のファイルをやりとりするためのDLLです。"},
      {"InternalName", "NBLinout"},
      {"OriginalFilename", "NBLinout.dll"},
      {"OLESelfRegister", ""},
  };
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(NumericVersion(), "1.0.0.4");
}

}  // namespace
}  // namespace nbl::plugin
