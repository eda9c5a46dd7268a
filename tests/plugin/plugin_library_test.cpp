// The built plug-in library as a host meets it: loaded with dlopen, registered,
// its classes created by ProgID and driven through IDispatch alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com_host.h"
#include "plugin/invoke_call.h"
#include "plugin/version_info.h"
#include "store/connection.h"
#include "support/captured_stderr.h"
#include "support/diary_store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

using namespace nbl::testing;  // NOLINT: the variant builders

class PluginLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("NBL_COM_REGISTRY", (dir_.path() / "com-registry").c_str(), 1);
    std::string error;
    ASSERT_EQ(host::ServerLibrary::Load(NBL_PLUGIN_PATH, lib_, &error), S_OK) << error;
  }
  void TearDown() override {
    lib_.reset();
    ::unsetenv("NBL_COM_REGISTRY");
  }

  // A new object of the class registered for `progId`, as IDispatch.
  IDispatch* Create(const char16_t* progId) {
    IDispatch* d = nullptr;
    EXPECT_EQ(host::CreateInstanceByProgID(Ole(progId), IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    return d;
  }
  // Invoke by name, as a late-bound host does; the result's Boolean or Integer.
  int CallByName(IDispatch* d, const char16_t* name, std::vector<VARIANT> args, HRESULT expected = S_OK) {
    const DISPID id = IdOf(d, name);
    EXPECT_NE(id, DISPID_UNKNOWN) << text::ToUtf8(name);
    InvokeCall call(d, id, std::move(args), DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(call.hr, expected) << text::ToUtf8(name) << " " << text::ToUtf8(call.Description());
    if (call.result.vt == VT_BOOL) return call.result.boolVal;
    if (call.result.vt == VT_I2) return call.result.iVal;
    return 999;
  }

  TempDir dir_;
  std::unique_ptr<host::ServerLibrary> lib_;
};

TEST_F(PluginLibraryTest, ExportsTheFourEntryPointsOnlyAndCarriesItsVersion) {
  for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
    EXPECT_NE(lib_->Symbol(name), nullptr) << name;
  }
  // Everything else is local to it: the dynamic symbol table defines these four alone.
  const CommandResult symbols = RunCommand({"nm", "-D", "--defined-only", "--format=posix", NBL_PLUGIN_PATH});
  ASSERT_EQ(symbols.status, 0) << symbols.output;
  std::set<std::string> defined;
  std::istringstream lines(symbols.output);
  for (std::string name, rest; lines >> name && std::getline(lines, rest);) defined.insert(name);
  EXPECT_EQ(defined, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                            "DllUnregisterServer"}));
  const std::filesystem::path file(NBL_PLUGIN_PATH);
  EXPECT_EQ(file.filename().string(), "libNBLinout.so." + plugin::NumericVersion());
  EXPECT_EQ(std::filesystem::read_symlink(file.parent_path() / "libNBLinout.so.1"), file.filename());
}

// The host's road, one phase per test: registration, an export, an import, the
// version, and the release that lets the library go.
TEST_F(PluginLibraryTest, RegistrationMapsBothProgIdsToTheirClassesUntilUnregistered) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  CLSID clsid{};
  ASSERT_EQ(host::CLSIDFromProgID(Ole(u"NBLHandleDLL.clsNubeloHandle"), &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_clsNubeloHandle));
  ASSERT_EQ(host::CLSIDFromProgID(Ole(u"nblhandledll.information"), &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Information));

  EXPECT_EQ(lib_->DllUnregisterServer(), S_OK);
  EXPECT_EQ(lib_->DllUnregisterServer(), S_OK);
  EXPECT_EQ(host::CLSIDFromProgID(Ole(u"NBLHandleDLL.clsNubeloHandle"), &clsid), CO_E_CLASSSTRING);
  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(host::CreateInstance(CLSID_clsNubeloHandle, nullptr, IID_IDispatch, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
}

TEST_F(PluginLibraryTest, ExportsThroughIDispatchAlone) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  const std::string db = (dir_.path() / "diary.db").string();
  MakeStore(db, {{"2007/01/05", "一般", 0, "テスト", "a<b\r\nc", "", "2007/01/05 21:00:00"},
                 {"2007/01/06", "日記", 1, "B&B", "x", "y", "2007/01/07 00:00:00"},
                 {"2007/01/07", "日記", 0, "third", "z", "", "2007/01/08 00:00:00"}});
  const std::filesystem::path out = dir_.path() / "out.xml";
  std::ofstream(out) << "old";
  Bstr dbText = MakeBstr(text::FromUtf8(db)), outText = MakeBstr(text::FromUtf8(out.string()));
  Bstr genre = MakeBstr(u"日記"), empty = MakeBstr(u"");

  // Genre 日記, every state, dates of the entries, line breaks kept.
  IDispatch* handle = Create(u"NBLHandleDLL.clsNubeloHandle");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(CallByName(handle, u"Initialize", {VBstr(dbText.get())}), VARIANT_TRUE);
  CallByName(handle, u"SetExport", {});
  ExportSettingNubelo exportSet{genre.get(), empty.get(), empty.get(), 0, 0, 0, 0, 1};
  CallByName(handle, u"setExportSetting", {VRecord(&exportSet, nullptr)});
  EXPECT_EQ(CallByName(handle, u"SetPath", {VBstr(outText.get())}), VARIANT_FALSE);  // exists, OverWrite left out
  EXPECT_EQ(ReadFile(out), "old");
  EXPECT_EQ(CallByName(handle, u"SetPath", {VBstr(outText.get()), VBool(VARIANT_TRUE)}), VARIANT_TRUE);
  EXPECT_EQ(ReadFile(out), "old");  // kept until the new document is complete
  CapturedStderr captured;
  EXPECT_EQ(CallByName(handle, u"Execute", {}), VARIANT_FALSE);
  const std::string shown = captured.Take();
  EXPECT_EQ(shown.find("NBLinout: "), std::string::npos) << shown;  // no failure message
  EXPECT_EQ(ReadFile(out),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n"
            "<day date=\"2007-01-06\" title=\"B&amp;B\">\n<body>\nx\ny\n</body>\n</day>\n"
            "<day date=\"2007-01-07\" title=\"third\">\n<body>\nz\n\n</body>\n</day>\n"
            "</diary>");
  EXPECT_EQ(handle->Release(), 0u);
}

TEST_F(PluginLibraryTest, ImportsThroughIDispatchAlone) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  const std::filesystem::path in = dir_.path() / "in.xml";
  std::ofstream(in, std::ios::binary) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n"
                                         "<day date=\"2007-01-06\" title=\"B&amp;B\">\n<body>\nx\ny\n</body>\n</day>\n"
                                         "<day date=\"2007-01-07\" title=\"third\">\n<body>\nz\n\n</body>\n</day>\n"
                                         "</diary>";
  // Into a new store, with headings in [ and ].
  const std::string db2 = (dir_.path() / "second.db").string();
  store::CreateDiaryStore(text::FromUtf8(db2));
  Bstr db2Text = MakeBstr(text::FromUtf8(db2)), inText = MakeBstr(text::FromUtf8(in.string()));
  Bstr open = MakeBstr(u"["), close = MakeBstr(u"]");
  ImportSettingNubelo importSet{open.get(), close.get()};
  IDispatch* handle = Create(u"NBLHandleDLL.clsNubeloHandle");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(CallByName(handle, u"Initialize", {VBstr(db2Text.get())}), VARIANT_TRUE);
  CallByName(handle, u"SetImport", {});
  CallByName(handle, u"setImportSetting", {VRecord(&importSet, nullptr)});
  BSTR inRef = inText.get();
  EXPECT_EQ(CallByName(handle, u"SetPath", {VBstrRef(&inRef)}), VARIANT_TRUE);
  CapturedStderr captured;
  EXPECT_EQ(CallByName(handle, u"Execute", {}), VARIANT_FALSE);
  const std::string importShown = captured.Take();
  EXPECT_EQ(importShown.find("NBLinout: "), std::string::npos) << importShown;
  EXPECT_EQ(QueryRows(db2, "SELECT Day, Number, Title, Contents FROM Contents ORDER BY rowid"),
            (std::vector<std::string>{"2007/01/06|1|B&B|x<BR>\r\ny<BR>\r\n", "2007/01/07|1|third|z<BR>\r\n<BR>\r\n"}));
  EXPECT_EQ(handle->Release(), 0u);
}

TEST_F(PluginLibraryTest, TellsItsVersionThroughIDispatchAlone) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  IDispatch* info = Create(u"NBLHandleDLL.Information");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(CallByName(info, u"GetVersion", {}), 104);
  EXPECT_EQ(CallByName(info, u"GetVersionMajor", {}), 1);
  EXPECT_EQ(CallByName(info, u"GetVersionMinor", {}), 0);
  EXPECT_EQ(CallByName(info, u"GetVersionRevision", {}), 4);
  EXPECT_EQ(info->Release(), 0u);
}

TEST_F(PluginLibraryTest, MayUnloadOnlyOnceEveryObjectIsReleased) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  IDispatch* handle = Create(u"NBLHandleDLL.clsNubeloHandle");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(lib_->DllCanUnloadNow(), S_FALSE);
  IDispatch* info = Create(u"NBLHandleDLL.Information");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->Release(), 0u);
  EXPECT_EQ(lib_->DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(handle->Release(), 0u);
  EXPECT_EQ(lib_->DllCanUnloadNow(), S_OK);
  EXPECT_EQ(host::FreeUnusedLibraries(), 1);
}

TEST_F(PluginLibraryTest, ReportsRefusedCallsAndFailures) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  IDispatch* handle = Create(u"NBLHandleDLL.clsNubeloHandle");
  ASSERT_NE(handle, nullptr);
  // A file in a folder without its owner write bit, which the plug-in refuses to replace even for the superuser.
  std::filesystem::create_directory(dir_.path() / "ro");
  std::ofstream(dir_.path() / "ro" / "out.xml") << "old";
  ::chmod((dir_.path() / "ro").c_str(), 0555);
  const std::u16string lockedPath = dir_.File("ro/out.xml");
  Bstr locked = MakeBstr(lockedPath);
  struct Case {
    const char* name;
    DISPID id;
    std::vector<VARIANT> args;
    HRESULT hr;
    HRESULT scode;
  };
  const std::vector<Case> cases = {
      {"unknown dispatch id", 0x60030010, {}, DISP_E_MEMBERNOTFOUND, 0},
      {"wrong argument count", kDispExecute, {VBool(0)}, DISP_E_BADPARAMCOUNT, 0},
      {"wrong type", kDispInitialize, {VI2(1)}, DISP_E_TYPEMISMATCH, 0},
      {"refused replacement",
       kDispSetPath,
       {VBstr(locked.get()), VBool(VARIANT_TRUE)},
       DISP_E_EXCEPTION,
       kPathFileAccessError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InvokeCall call(handle, c.id, c.args);
    EXPECT_EQ(call.hr, c.hr);
    if (c.hr == DISP_E_EXCEPTION) {
      EXPECT_EQ(call.excep.scode, c.scode);
      EXPECT_EQ(call.Source(), u"NBLHandleDLL.clsNubeloHandle");
      EXPECT_NE(text::ToUtf8(call.Description()).find("cannot replace '" + text::ToUtf8(lockedPath) + "'"),
                std::string::npos)
          << text::ToUtf8(call.Description());
    }
  }
  ::chmod((dir_.path() / "ro").c_str(), 0755);
  EXPECT_EQ(IdOf(handle, u"Initialise"), DISPID_UNKNOWN);
  EXPECT_EQ(handle->Release(), 0u);
  EXPECT_EQ(lib_->DllUnregisterServer(), S_OK);
}

TEST_F(PluginLibraryTest, TheHostChoosesThePlugInsWindows) {
  ASSERT_EQ(lib_->DllRegisterServer(), S_OK);
  struct Case {
    const char* ui;  // NBL_UI, or null
    bool messageShown;
  };
  const Case cases[] = {{nullptr, true}, {"console", true}, {"none", false}};
  Bstr missing = MakeBstr(dir_.File("missing.db")), out = MakeBstr(dir_.File("x.xml"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ui ? c.ui : "unset");
    c.ui ? ::setenv("NBL_UI", c.ui, 1) : ::unsetenv("NBL_UI");
    std::string shown;
    // The choice is made once per thread, when the thread first asks for a class.
    std::thread host([&] {
      IDispatch* handle = Create(u"NBLHandleDLL.clsNubeloHandle");
      ASSERT_NE(handle, nullptr);
      EXPECT_EQ(CallByName(handle, u"Initialize", {VBstr(missing.get())}), VARIANT_FALSE);
      EXPECT_EQ(CallByName(handle, u"SetPath", {VBstr(out.get())}), VARIANT_TRUE);
      CapturedStderr captured;
      EXPECT_EQ(CallByName(handle, u"Execute", {}), VARIANT_FALSE);  // the run fails and says so, or not
      shown = captured.Take();
      handle->Release();
    });
    host.join();
    EXPECT_EQ(shown.find("NBLinout: DB接続エラー") != std::string::npos, c.messageShown) << shown;
  }
  ::unsetenv("NBL_UI");
  EXPECT_EQ(lib_->DllUnregisterServer(), S_OK);
}

}  // namespace
}  // namespace nbl::com
