// The clsNubeloHandle class as a host reaches it in-process: late-bound
// through IDispatch and early-bound through its interface table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/failure.h"
#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "plugin/com/plugin_ui.h"
#include "plugin/invoke_call.h"
#include "store/connection.h"
#include "support/diary_store.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

using namespace nbl::testing;  // NOLINT: the variant builders

// A new handle object through its create function, with fake windows.
class HandleObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = &static_cast<FakeUi&>(InstallHostWindows(std::make_shared<FakeUi>()));
    ASSERT_EQ(CreateNubeloHandle(IID__clsNubeloHandle, reinterpret_cast<void**>(&handle_)), S_OK);
    disp_ = handle_;
  }
  void TearDown() override {
    if (handle_ != nullptr) {
      EXPECT_EQ(handle_->Release(), 0u);
    }
  }

  std::string Db() const { return (dir_.path() / "diary.db").string(); }
  // A store whose entries differ by genre and state, for seeing which settings arrived.
  void MakeDiary() const {
    MakeStore(Db(), {{"2007/01/05", "A", 0, "alpha", "a-1", "", "2007/01/06 10:00:00"},
                     {"2007/01/06", "B", 1, "beta", "b", "", "2007/01/07 10:00:00"}});
  }
  HRESULT Call(DISPID id, std::vector<VARIANT> args) {
    InvokeCall call(disp_, id, std::move(args));
    return call.hr;
  }

  TempDir dir_;
  FakeUi* ui_ = nullptr;
  _clsNubeloHandle* handle_ = nullptr;
  IDispatch* disp_ = nullptr;
};

TEST_F(HandleObjectTest, AnswersForItsInterfacesOnly) {
  struct Case {
    const IID* iid;
    HRESULT hr;
  };
  const Case cases[] = {{&IID_IUnknown, S_OK},
                        {&IID_IDispatch, S_OK},
                        {&IID__clsNubeloHandle, S_OK},
                        {&IID__Information, E_NOINTERFACE},
                        {&IID_IClassFactory, E_NOINTERFACE},
                        {&CLSID_clsNubeloHandle, E_NOINTERFACE}};
  for (const Case& c : cases) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(handle_->QueryInterface(*c.iid, &p), c.hr) << text::ToUtf8(GuidToString(*c.iid));
    if (c.hr == S_OK) {
      EXPECT_EQ(p, static_cast<void*>(handle_));  // one object, one address
      static_cast<IUnknown*>(p)->Release();
    } else {
      EXPECT_EQ(p, nullptr);
    }
  }
  EXPECT_EQ(handle_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  UINT count = 9;
  EXPECT_EQ(handle_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_EQ(handle_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
}

TEST_F(HandleObjectTest, NamesTheNineMethodsInSlotOrder) {
  const char16_t* names[] = {
      u"Initialize", u"SetImport", u"SetExport",        u"setExportSetting",      u"SetExportSettingMySelf",
      u"SetPath",    u"Execute",   u"setImportSetting", u"SetImportSettingMySelf"};
  for (DISPID i = 0; i < 9; ++i) {
    EXPECT_EQ(IdOf(disp_, names[i]), 0x60030000 + i) << text::ToUtf8(names[i]);
  }
  EXPECT_EQ(IdOf(disp_, u"SETEXPORTSETTING"), kDispSetExportSetting);
  EXPECT_EQ(IdOf(disp_, u"setpath"), kDispSetPath);
  EXPECT_EQ(IdOf(disp_, u"FilePath"), DISPID_UNKNOWN);  // members are not reachable
  EXPECT_EQ(IdOf(disp_, u"ExportDiary"), DISPID_UNKNOWN);
}

TEST_F(HandleObjectTest, RefusesCallsItCannotTake) {
  Bstr path = MakeBstr(u"x");
  struct Case {
    const char* name;
    DISPID id;
    std::vector<VARIANT> args;
    HRESULT hr;
    UINT argErr;  // checked for DISP_E_TYPEMISMATCH and DISP_E_PARAMNOTOPTIONAL
  };
  const std::vector<Case> cases = {
      {"after the last method", 0x60030009, {}, DISP_E_MEMBERNOTFOUND, 0},
      {"Initialize without path", kDispInitialize, {}, DISP_E_BADPARAMCOUNT, 0},
      {"Initialize with two", kDispInitialize, {VBstr(path.get()), VBstr(path.get())}, DISP_E_BADPARAMCOUNT, 0},
      {"Initialize with a number", kDispInitialize, {VI4(3)}, DISP_E_TYPEMISMATCH, 0},
      {"SetImport with one", kDispSetImport, {VI2(1)}, DISP_E_BADPARAMCOUNT, 0},
      {"SetPath without path", kDispSetPath, {}, DISP_E_BADPARAMCOUNT, 0},
      {"SetPath with three", kDispSetPath, {VBstr(path.get()), VBool(0), VBool(0)}, DISP_E_BADPARAMCOUNT, 0},
      {"SetPath, path a Boolean", kDispSetPath, {VBool(0), VBool(0)}, DISP_E_TYPEMISMATCH, 1},
      {"SetPath, OverWrite a text", kDispSetPath, {VBstr(path.get()), VBstr(path.get())}, DISP_E_TYPEMISMATCH, 0},
      {"SetPath, path left out", kDispSetPath, {VMissing(), VBool(0)}, DISP_E_PARAMNOTOPTIONAL, 1},
      {"setExportSetting with a text", kDispSetExportSetting, {VBstr(path.get())}, DISP_E_TYPEMISMATCH, 0},
      {"setImportSetting with nothing", kDispSetImportSetting, {}, DISP_E_BADPARAMCOUNT, 0},
      {"Execute with one", kDispExecute, {VBool(0)}, DISP_E_BADPARAMCOUNT, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InvokeCall call(disp_, c.id, c.args);
    EXPECT_EQ(call.hr, c.hr);
    if (c.hr == DISP_E_TYPEMISMATCH || c.hr == DISP_E_PARAMNOTOPTIONAL) {
      EXPECT_EQ(call.argErr, c.argErr);
    }
    EXPECT_EQ(call.result.vt, VT_EMPTY);
  }
}

TEST_F(HandleObjectTest, SetPathTakesOverWriteInEveryForm) {
  Bstr path = MakeBstr(dir_.File("out.xml"));
  BSTR pathRef = path.get();
  VARIANT_BOOL yes = VARIANT_TRUE, no = VARIANT_FALSE;
  VARIANT innerYes = VBool(VARIANT_TRUE);
  struct Case {
    const char* name;
    std::vector<VARIANT> args;
    VARIANT_BOOL result;  // True when OverWrite lets the export replace the old file
  };
  const std::vector<Case> cases = {
      {"left out", {VBstr(path.get())}, VARIANT_FALSE},
      {"marked missing", {VBstr(path.get()), VMissing()}, VARIANT_FALSE},
      {"False", {VBstr(path.get()), VBool(VARIANT_FALSE)}, VARIANT_FALSE},
      {"True", {VBstr(path.get()), VBool(VARIANT_TRUE)}, VARIANT_TRUE},
      {"True by reference", {VBstrRef(&pathRef), VBoolRef(&yes)}, VARIANT_TRUE},
      {"False by reference", {VBstrRef(&pathRef), VBoolRef(&no)}, VARIANT_FALSE},
      {"script number 1", {VBstr(path.get()), VI4(1)}, VARIANT_TRUE},
      {"script number 0", {VBstr(path.get()), VI2(0)}, VARIANT_FALSE},
      {"inside a variant reference", {VBstr(path.get()), VVariantRef(&innerYes)}, VARIANT_TRUE},
  };
  ASSERT_EQ(Call(kDispSetExport, {}), S_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir_.path() / "out.xml") << "old";
    InvokeCall call(disp_, kDispSetPath, c.args);
    ASSERT_EQ(call.hr, S_OK);
    EXPECT_EQ(call.result.vt, VT_BOOL);
    EXPECT_EQ(call.result.boolVal, c.result);
    EXPECT_EQ(ReadFile(dir_.path() / "out.xml"), "old");  // kept until an export replaces it
  }
  EXPECT_EQ(yes, VARIANT_TRUE);  // references are read, not written
  EXPECT_EQ(pathRef, path.get());
}

TEST_F(HandleObjectTest, RecordsArriveWhicheverWayTheyArePassed) {
  MakeDiary();
  Bstr db = MakeBstr(text::FromUtf8(Db())), genre = MakeBstr(u"B"), none = MakeBstr(u"");
  // Genre B, private entries only, publish time as the date, line breaks and hyphens left.
  ExportSettingNubelo record{genre.get(), none.get(), nullptr, 2, 9, 0, 0, 0};
  FakeRecordInfo info(GUID_ExportSettingNubelo);
  struct Case {
    const char* name;
    VARIANT arg;
  };
  const Case cases[] = {
      {"record with description", VRecord(&record, &info)},
      {"record by reference", VRecord(&record, &info, true)},
      {"record alone", VRecord(&record, nullptr)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "out" + std::to_string(n++) + ".xml";
    Bstr out = MakeBstr(dir_.File(name));
    InvokeCall init(disp_, kDispInitialize, {VBstr(db.get())});
    ASSERT_EQ(init.hr, S_OK);
    EXPECT_EQ(init.result.boolVal, VARIANT_TRUE);
    ASSERT_EQ(Call(kDispSetExportSetting, {c.arg}), S_OK);
    ASSERT_EQ(Call(kDispSetPath, {VBstr(out.get())}), S_OK);
    InvokeCall run(disp_, kDispExecute, {});
    ASSERT_EQ(run.hr, S_OK);
    EXPECT_EQ(run.result.vt, VT_BOOL);
    EXPECT_EQ(run.result.boolVal, VARIANT_FALSE);
    EXPECT_TRUE(ui_->messages.empty());
    const std::string doc = ReadFile(dir_.path() / name);
    EXPECT_EQ(doc.find("alpha"), std::string::npos) << doc;
    EXPECT_NE(doc.find("<day date=\"2007-01-07\" title=\"beta\">"), std::string::npos) << doc;
  }
  EXPECT_EQ(info.refs, 1u);
}

TEST_F(HandleObjectTest, ImportSettingsReachTheImport) {
  store::CreateDiaryStore(text::FromUtf8(Db()));
  std::ofstream(dir_.path() / "in.xml") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n"
                                           "<day date=\"2007-05-02\" title=\"\">\n<body>\n*1178000000*heading\n"
                                           "</body>\n</day>\n</diary>";
  Bstr db = MakeBstr(text::FromUtf8(Db())), in = MakeBstr(dir_.File("in.xml"));
  Bstr open = MakeBstr(u"[["), close = MakeBstr(u"]]");
  ImportSettingNubelo record{open.get(), close.get()};
  FakeRecordInfo info(GUID_ImportSettingNubelo);
  ASSERT_EQ(Call(kDispInitialize, {VBstr(db.get())}), S_OK);
  ASSERT_EQ(Call(kDispSetImport, {}), S_OK);
  ASSERT_EQ(Call(kDispSetImportSetting, {VRecord(&record, &info)}), S_OK);
  InvokeCall path(disp_, kDispSetPath, {VBstr(in.get())});
  ASSERT_EQ(path.hr, S_OK);
  EXPECT_EQ(path.result.boolVal, VARIANT_TRUE);
  ASSERT_EQ(Call(kDispExecute, {}), S_OK);
  EXPECT_TRUE(ui_->messages.empty());
  const auto rows = QueryRows(Db(), "SELECT Contents FROM Contents");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rfind("[[heading(", 0), 0u) << rows[0];
  EXPECT_NE(rows[0].find(")]]<BR>"), std::string::npos) << rows[0];
}

TEST_F(HandleObjectTest, AFailingMethodReportsAnExceptionAndKeepsWhatWasStored) {
  MakeDiary();
  Bstr db = MakeBstr(text::FromUtf8(Db())), genre = MakeBstr(u"A"), out = MakeBstr(dir_.File("out.xml"));
  ExportSettingNubelo record{genre.get(), nullptr, nullptr, 0, 0, 1, 1, 1};
  ASSERT_EQ(Call(kDispInitialize, {VBstr(db.get())}), S_OK);
  ASSERT_EQ(Call(kDispSetExportSetting, {VRecord(&record, nullptr)}), S_OK);
  ui_->option.answer = [](FakeOption&) { throw WindowFailure("cannot open the store while loading"); };

  InvokeCall late(disp_, kDispSetExportSettingMySelf, {});
  EXPECT_EQ(late.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(late.excep.scode, E_FAIL);
  EXPECT_EQ(late.Source(), u"NBLHandleDLL.clsNubeloHandle");
  EXPECT_EQ(late.Description(), u"cannot open the store while loading");
  EXPECT_EQ(late.result.vt, VT_EMPTY);

  VARIANT_BOOL result = 5;
  EXPECT_EQ(handle_->SetExportSettingMySelf(&result), E_FAIL);
  EXPECT_EQ(result, VARIANT_FALSE);
  EXPECT_EQ(ui_->option.shown, 2);

  // The settings given before the failures still hold: genre A only.
  ASSERT_EQ(Call(kDispSetPath, {VBstr(out.get())}), S_OK);
  ASSERT_EQ(Call(kDispExecute, {}), S_OK);
  const std::string doc = ReadFile(dir_.path() / "out.xml");
  EXPECT_NE(doc.find("alpha"), std::string::npos) << doc;
  EXPECT_EQ(doc.find("beta"), std::string::npos) << doc;
}

TEST_F(HandleObjectTest, DialogMethodsAnswerTheUsersChoice) {
  struct Case {
    const char* name;
    DISPID id;
    bool ok;
  };
  const Case cases[] = {{"export OK", kDispSetExportSettingMySelf, true},
                        {"export cancelled", kDispSetExportSettingMySelf, false},
                        {"import OK", kDispSetImportSettingMySelf, true},
                        {"import closed", kDispSetImportSettingMySelf, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->option.answer = [&](FakeOption& o) { o.IsOK = c.ok ? vb::True : vb::False; };
    ui_->optionImport.answer = [&](FakeOptionImport& o) { o.IsOK = c.ok ? vb::True : vb::False; };
    InvokeCall call(disp_, c.id, {});
    ASSERT_EQ(call.hr, S_OK);
    EXPECT_EQ(call.result.vt, VT_BOOL);
    EXPECT_EQ(call.result.boolVal, c.ok ? VARIANT_TRUE : VARIANT_FALSE);
  }
}

TEST_F(HandleObjectTest, EarlyBoundCallsWorkTheSameWay) {
  MakeDiary();
  Bstr db = MakeBstr(text::FromUtf8(Db())), genre = MakeBstr(u"A"), out = MakeBstr(dir_.File("out.xml"));
  BSTR dbRef = db.get(), outRef = out.get();
  VARIANT_BOOL result = 5;
  ASSERT_EQ(handle_->Initialize(&dbRef, &result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  ASSERT_EQ(handle_->SetExport(), S_OK);
  ExportSettingNubelo record{genre.get(), nullptr, nullptr, 0, 0, 1, 1, 1};
  ASSERT_EQ(handle_->setExportSetting(&record), S_OK);
  std::ofstream(dir_.path() / "out.xml") << "old";
  ASSERT_EQ(handle_->SetPath(&outRef, nullptr, &result), S_OK);  // OverWrite omitted
  EXPECT_EQ(result, VARIANT_FALSE);
  VARIANT_BOOL overWrite = VARIANT_TRUE;
  ASSERT_EQ(handle_->SetPath(&outRef, &overWrite, &result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  result = 5;
  ASSERT_EQ(handle_->Execute(&result), S_OK);
  EXPECT_EQ(result, VARIANT_FALSE);
  const std::string doc = ReadFile(dir_.path() / "out.xml");
  EXPECT_NE(doc.find("alpha"), std::string::npos) << doc;
  EXPECT_EQ(doc.find("beta"), std::string::npos) << doc;
  EXPECT_EQ(dbRef, db.get());
  EXPECT_EQ(outRef, out.get());

  // Null pointers are refused before anything happens.
  EXPECT_EQ(handle_->Initialize(nullptr, &result), E_POINTER);
  EXPECT_EQ(handle_->Initialize(&dbRef, nullptr), E_POINTER);
  EXPECT_EQ(handle_->SetPath(nullptr, &overWrite, &result), E_POINTER);
  EXPECT_EQ(handle_->SetPath(&outRef, &overWrite, nullptr), E_POINTER);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "out.xml"));
  EXPECT_EQ(handle_->setExportSetting(nullptr), E_POINTER);
  EXPECT_EQ(handle_->setImportSetting(nullptr), E_POINTER);
  EXPECT_EQ(handle_->Execute(nullptr), E_POINTER);
  EXPECT_EQ(handle_->SetExportSettingMySelf(nullptr), E_POINTER);
  EXPECT_EQ(handle_->SetImportSettingMySelf(nullptr), E_POINTER);
  EXPECT_EQ(ui_->option.shown, 0);
}

}  // namespace
}  // namespace nbl::com
