#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "plugin/com/registry_file.h"
#include "plugin/com_host.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

using ::nbl::testing::ReadFile;

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

}  // namespace
}  // namespace nbl::com
