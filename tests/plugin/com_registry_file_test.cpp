#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/registry_file.h"
#include "plugin/com/server.h"
#include "plugin/com_host.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

using ::nbl::testing::ReadFile;

TEST(GuidText, RoundTripsThroughTheHostsReadingAndRefusesMalformedTexts) {
  struct Case {
    std::u16string text;
    bool valid;
  };
  const Case cases[] = {
      {u"{880C04B5-036F-4CF5-B753-28D921705F70}", true},   {u"{880c04b5-036f-4cf5-b753-28d921705f70}", true},
      {u"880C04B5-036F-4CF5-B753-28D921705F70", false},    {u"{880C04B5-036F-4CF5-B753-28D921705F7}", false},
      {u"{880C04B5-036F-4CF5-B753-28D921705F700}", false}, {u"{880C04B5+036F-4CF5-B753-28D921705F70}", false},
      {u"{880C04B5-036F-4CF5-B753-28D921705G70}", false},  {u"{880C04B5-036F4-CF5-B753-28D921705F70}", false},
      {u"(880C04B5-036F-4CF5-B753-28D921705F70)", false},  {u"", false},
  };
  for (const Case& c : cases) {
    const auto guid = host::GuidFromString(c.text);  // as the host reads the registry back
    EXPECT_EQ(guid.has_value(), c.valid) << text::ToUtf8(c.text);
    if (guid) {
      EXPECT_TRUE(IsEqualGUID(*guid, CLSID_clsNubeloHandle));
    }
  }
}

TEST(RegistryFile, FindsItsPlace) {
  struct Case {
    const char* explicitPath;
    const char* config;
    const char* home;
    std::optional<std::string> place;
  };
  const Case cases[] = {
      {"/r/reg", "/c", "/h", "/r/reg"},
      {"", "/c", "/h", "/c/nblinout/com-registry"},
      {nullptr, "relative", "/h", "/h/.config/nblinout/com-registry"},
      {nullptr, nullptr, "/h", "/h/.config/nblinout/com-registry"},
      {nullptr, nullptr, nullptr, std::nullopt},
  };
  const char* names[] = {"NBL_COM_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names)
    saved.push_back(std::getenv(n) ? std::optional<std::string>(std::getenv(n)) : std::nullopt);
  for (const Case& c : cases) {
    const char* values[] = {c.explicitPath, c.config, c.home};
    for (int i = 0; i < 3; ++i) values[i] ? ::setenv(names[i], values[i], 1) : ::unsetenv(names[i]);
    const auto place = RegistryFile::DefaultPath();
    EXPECT_EQ(place ? std::optional<std::string>(place->string()) : std::nullopt, c.place);
  }
  for (int i = 0; i < 3; ++i) saved[i] ? ::setenv(names[i], saved[i]->c_str(), 1) : ::unsetenv(names[i]);
}

TEST(RegistryFile, WritesReadsAndDeletesKeys) {
  testing::TempDir dir;
  RegistryFile reg(dir.path() / "a" / "b" / "registry");
  std::u16string v;
  EXPECT_TRUE(reg.Load().empty());  // no file yet
  EXPECT_FALSE(host::ReadRegistryValue(reg, u"X", u"", v));
  EXPECT_EQ(reg.DeleteKeys({u"X"}), S_OK);
  EXPECT_FALSE(std::filesystem::exists(reg.path()));  // deleting nothing creates nothing

  ASSERT_EQ(reg.WriteRows({{u"CLSID\\{A}\\InprocServer32", u"", u"/lib/日記 x=1.so"},
                           {u"CLSID\\{A}\\InprocServer32", u"ThreadingModel", u"Apartment"},
                           {u"CLSID\\{A}", u"", u"A.B"},
                           {u"CLSID\\{AB}", u"", u"kept: only a prefix of the text"},
                           {u"A.B\\CLSID", u"", u"{A}"},
                           {u"A.BC\\CLSID", u"", u"{AB}"}}),
            S_OK);
  EXPECT_EQ(ReadFile(reg.path()),
            "; NBLinout class registry: ProgID -> class id -> in-process library. Written by DllRegisterServer.\n"
            "[A.BC\\CLSID]\n@={AB}\n"
            "[A.B\\CLSID]\n@={A}\n"
            "[CLSID\\{AB}]\n@=kept: only a prefix of the text\n"
            "[CLSID\\{A}]\n@=A.B\n"
            "[CLSID\\{A}\\InprocServer32]\n@=/lib/日記 x=1.so\nThreadingModel=Apartment\n");
  struct Read {
    std::u16string key, name;
    bool found;
    std::u16string value;
  };
  const Read reads[] = {
      {u"clsid\\{a}\\inprocserver32", u"", true, u"/lib/日記 x=1.so"},
      {u"CLSID\\{A}\\InprocServer32", u"threadingmodel", true, u"Apartment"},
      {u"CLSID\\{A}\\InprocServer32", u"Other", false, u""},
      {u"CLSID", u"", false, u""},
      {u"CLSID\\{Ａ}", u"", false, u""},
  };
  for (const Read& r : reads) {
    std::u16string value;
    EXPECT_EQ(host::ReadRegistryValue(reg, r.key, r.name, value), r.found);
    EXPECT_EQ(value, r.value);
  }

  // A key goes with everything below it, but not with keys that merely start alike.
  EXPECT_EQ(reg.DeleteKeys({u"clsid\\{a}", u"a.b"}), S_OK);
  const RegistryKeys left = reg.Load();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_TRUE(left.count(u"A.BC\\CLSID"));
  EXPECT_TRUE(left.count(u"CLSID\\{AB}"));
  EXPECT_EQ(reg.DeleteKeys({u"CLSID\\{A}", u"A.B"}), S_OK);
  EXPECT_EQ(reg.Load().size(), 2u);
  for (const auto& entry : std::filesystem::directory_iterator(reg.path().parent_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry" || name == "registry.lock") << "left behind: " << name;
  }
}

TEST(RegistryFile, RefusesRowsThatWouldBreakTheFile) {
  testing::TempDir dir;
  RegistryFile reg(dir.path() / "registry");
  const std::vector<platform::RegistryRow> bad[] = {
      {{u"", u"", u"x"}},
      {{u"K\nL", u"", u"x"}},
      {{u"K", u"N\r", u"x"}},
      {{u"K", u"", u"line\nbreak"}},
      {{u"K", u"@", u"x"}},
      {{u"K", u"a=b", u"x"}},
      {{u"Good", u"", u"x"}, {u"K", u"", u"x\n[Injected]"}},  // nothing of a refused batch is written
  };
  for (const auto& rows : bad) {
    EXPECT_EQ(reg.WriteRows(rows), E_INVALIDARG);
  }
  EXPECT_FALSE(std::filesystem::exists(reg.path()));
}

TEST(RegistryFile, ReadsHandWrittenFilesLeniently) {
  testing::TempDir dir;
  RegistryFile reg(dir.path() / "registry");
  std::ofstream(reg.path(), std::ios::binary) << "stray=before any key\r\n"
                                                 "# comment\r\n"
                                                 "[K]\r\n"
                                                 "@=dos line\r\n"
                                                 "no equals sign\r\n"
                                                 "\r\n"
                                                 "Name=a=b\r\n";
  const RegistryKeys keys = reg.Load();
  ASSERT_EQ(keys.size(), 1u);
  const RegistryValues& k = keys.at(u"K");
  EXPECT_EQ(k.size(), 2u);
  EXPECT_EQ(k.at(u""), u"dos line");
  EXPECT_EQ(k.at(u"name"), u"a=b");
}

// The server's registration, as it lands in the registry file.
TEST(Registration, RegistersAndUnregistersInTheRegistryFile) {
  testing::TempDir dir;
  const auto file = dir.path() / "sub" / "registry";
  ::setenv("NBL_COM_REGISTRY", file.c_str(), 1);
  // Another server's class stays untouched.
  RegistryFile registry(file);
  ASSERT_EQ(registry.WriteRows({{u"Other.Thing\\CLSID", u"", u"{00000000-0000-0000-0000-000000000001}"}}), S_OK);

  EXPECT_EQ(RegisterServer(u"/lib/one.so"), S_OK);
  EXPECT_EQ(RegisterServer(u"/lib/two.so"), S_OK);  // again: replaces the path
  std::u16string value;
  ASSERT_TRUE(host::ReadRegistryValue(registry, u"CLSID\\" + GuidToString(CLSID_Information) + u"\\InprocServer32", u"",
                                      value));
  EXPECT_EQ(value, u"/lib/two.so");
  ASSERT_TRUE(host::ReadRegistryValue(registry, u"nblhandledll.clsnubelohandle\\clsid", u"", value));
  EXPECT_EQ(value, GuidToString(CLSID_clsNubeloHandle));
  EXPECT_EQ(RegisterServer(u""), SELFREG_E_CLASS);

  EXPECT_EQ(UnregisterServer(u"/lib/two.so"), S_OK);
  EXPECT_EQ(UnregisterServer(u"/lib/two.so"), S_OK);  // already gone
  const RegistryKeys left = registry.Load();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left.begin()->first, u"Other.Thing\\CLSID");

  // A registry that cannot be written: its folder is a file.
  ::setenv("NBL_COM_REGISTRY", (dir.path() / "sub" / "registry" / "x").c_str(), 1);
  EXPECT_EQ(RegisterServer(u"/lib/one.so"), SELFREG_E_CLASS);
  ::unsetenv("NBL_COM_REGISTRY");
}

}  // namespace
}  // namespace nbl::com
