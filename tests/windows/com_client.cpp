// A C++ host of the registered NBLinout.dll: it reaches the DLL only through the
// platform's COM (CoCreateInstance, the registry, the registered type library,
// IRecordInfo) and checks what a host of the platform relies on.
#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "com_calls.h"
#include "common/text.h"
#include "plugin/com/interfaces.h"
#include "plugin/idl_description.h"
#include "plugin/version_info.h"
#include "support/diary_store.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

using nbl::testing::TempDir;

// A value under HKEY_CLASSES_ROOT; nothing when the key or the value is missing.
std::optional<std::wstring> RegistryText(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer);
}

bool KeyExists(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring DllPath() {
  return RegistryText(L"CLSID\\" + GuidText(CLSID_clsNubeloHandle) + L"\\InprocServer32").value_or(L"");
}

void TypeLibrary(Ptr<ITypeLib>& lib) { ASSERT_EQ(LoadRegTypeLib(LIBID_NBLHandleDLL, 1, 0, 0, lib.Put()), S_OK); }

// A record of the registered type library, made through IRecordInfo as a host
// makes one. Its fields are written where the type library places them:
// IRecordInfo::PutField of wine 8 copies into a VARIANT it never initialised, and
// fails at random.
class Record {
 public:
  explicit Record(const GUID& type) {
    Ptr<ITypeLib> lib;
    TypeLibrary(lib);
    EXPECT_EQ(lib->GetTypeInfoOfGuid(type, info_.Put()), S_OK);
    EXPECT_EQ(GetRecordInfoFromTypeInfo(info_.get(), record_.Put()), S_OK);
    data_ = static_cast<BYTE*>(record_->RecordCreate());
  }
  // RecordDestroy frees the strings the record holds.
  ~Record() { record_->RecordDestroy(data_); }

  void PutText(const wchar_t* field, const wchar_t* value) {
    *static_cast<BSTR*>(Field(field, VT_BSTR)) = SysAllocString(value);
  }
  void PutShort(const wchar_t* field, SHORT value) { *static_cast<SHORT*>(Field(field, VT_I2)) = value; }

  // The record by reference, as hosts pass it to a method that takes it [in, out].
  VARIANT ByRef() const {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_RECORD | VT_BYREF;
    v.pvRecord = data_;
    v.pRecInfo = record_.get();
    return v;
  }

 private:
  // Where the type library puts the field `name`, which must be of type `vt`.
  void* Field(const wchar_t* name, VARTYPE vt) {
    TYPEATTR* attr = nullptr;
    info_->GetTypeAttr(&attr);
    void* at = nullptr;
    for (UINT i = 0; i < attr->cVars && at == nullptr; ++i) {
      VARDESC* var = nullptr;
      info_->GetVarDesc(i, &var);
      BSTR varName = nullptr;
      UINT count = 0;
      info_->GetNames(var->memid, &varName, 1, &count);
      if (count == 1 && wcscmp(varName, name) == 0 && var->elemdescVar.tdesc.vt == vt) at = data_ + var->oInst;
      SysFreeString(varName);
      info_->ReleaseVarDesc(var);
    }
    info_->ReleaseTypeAttr(attr);
    EXPECT_NE(at, nullptr) << Utf8(name);
    static std::uint64_t nowhere;
    return at != nullptr ? at : &nowhere;
  }

  Ptr<ITypeInfo> info_;
  Ptr<IRecordInfo> record_;
  BYTE* data_ = nullptr;
};

class ComClient : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }
  std::string Path(const std::string& name) const { return text::ToUtf8(dir_.File(name)); }
  TempDir dir_;
};

TEST_F(ComClient, FindsBothClassesAndTheirTypeLibraryInTheRegistry) {
  struct Case {
    const wchar_t* progId;
    const CLSID* clsid;
  };
  for (const Case& c : {Case{L"NBLHandleDLL.clsNubeloHandle", &CLSID_clsNubeloHandle},
                        Case{L"NBLHandleDLL.Information", &CLSID_Information}}) {
    SCOPED_TRACE(Utf8(c.progId));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(c.progId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, *c.clsid));
    const std::wstring key = L"CLSID\\" + GuidText(clsid);
    EXPECT_EQ(RegistryText(key + L"\\ProgID"), c.progId);
    EXPECT_EQ(RegistryText(key + L"\\TypeLib"), GuidText(LIBID_NBLHandleDLL));
    EXPECT_EQ(RegistryText(key + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(
        GetFileAttributesW(RegistryText(key + L"\\InprocServer32").value_or(L"").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
        0u);
  }
  Ptr<IDispatch> information;
  Create(L"NBLHandleDLL.Information", information);
  Call version;
  Invoke(information.get(), L"GetVersion", {}, version);
  EXPECT_EQ(version.hr, S_OK);
  EXPECT_EQ(version.result.vt, VT_I2);
  EXPECT_EQ(version.result.iVal, 104);
}

// The registered type library says what the interface description says: each
// method's name, dispatch id and parameters, and each record's fields.
TEST_F(ComClient, ReadsTheInterfaceDescriptionBackFromTheTypeLibrary) {
  std::ifstream idlFile(NBL_SOURCE_DIR "/src/plugin/NBLHandleDLL.idl");
  const std::string idl((std::istreambuf_iterator<char>(idlFile)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(idl.empty());
  Ptr<ITypeLib> lib;
  TypeLibrary(lib);
  struct Interface {
    const char* name;
    const IID* iid;
  };
  for (const Interface& c :
       {Interface{"_clsNubeloHandle", &IID__clsNubeloHandle}, Interface{"_Information", &IID__Information}}) {
    SCOPED_TRACE(c.name);
    Ptr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(*c.iid, info.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    std::vector<std::string> fromLibrary;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* func = nullptr;
      ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
      BSTR names[8] = {};
      UINT count = 0;
      info->GetNames(func->memid, names, 8, &count);
      std::ostringstream line;
      line << std::hex << func->memid << std::dec;
      for (UINT n = 0; n < count; ++n) {
        if (func->cParams > 0 && n == static_cast<UINT>(func->cParams) && func->invkind == INVOKE_FUNC &&
            (func->lprgelemdescParam[n - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0) {
          break;  // a result name, where the library keeps one
        }
        line << " " << Utf8(names[n]);
      }
      for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
      // IUnknown's and IDispatch's own methods come first in a dual interface's description.
      if (func->memid >= 0x60030000) fromLibrary.push_back(line.str());
      info->ReleaseFuncDesc(func);
    }
    info->ReleaseTypeAttr(attr);
    std::vector<std::string> fromIdl;
    for (const testing::IdlMethod& m : testing::Methods(idl, c.name)) {
      std::ostringstream line;
      line << std::hex << m.id << std::dec << " " << m.name;
      for (const std::string& p : m.params) line << " " << p;
      fromIdl.push_back(line.str());
    }
    EXPECT_EQ(fromLibrary, fromIdl);
  }
  Ptr<ITypeInfo> record;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(GUID_ExportSettingNubelo, record.Put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(record->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_RECORD);
  EXPECT_EQ(attr->cbSizeInstance, sizeof(ExportSettingNubelo));  // the layout the server reads
  std::string fields;
  for (UINT i = 0; i < attr->cVars; ++i) {
    VARDESC* var = nullptr;
    record->GetVarDesc(i, &var);
    BSTR name = nullptr;
    UINT count = 0;
    record->GetNames(var->memid, &name, 1, &count);
    fields += Utf8(name) + "@" + std::to_string(var->oInst) + " ";
    SysFreeString(name);
    record->ReleaseVarDesc(var);
  }
  record->ReleaseTypeAttr(attr);
  const std::size_t p = sizeof(BSTR);
  EXPECT_EQ(fields, "stGenre@0 stStartDay@" + std::to_string(p) + " stEndDay@" + std::to_string(2 * p) +
                        " intPublish@" + std::to_string(3 * p) + " intScroll@" + std::to_string(3 * p + 2) + " intBR@" +
                        std::to_string(3 * p + 4) + " intHyphen@" + std::to_string(3 * p + 6) + " intPublishDay@" +
                        std::to_string(3 * p + 8) + " ");
}

TEST_F(ComClient, ReadsTheVersionResourceAsNblinoutVersionPrintsIt) {
  const std::wstring dll = DllPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, block.data()));
  std::vector<std::string> read;
  for (const auto& [entry, expected] : plugin::VersionEntries()) {
    SCOPED_TRACE(entry);
    void* value = nullptr;
    UINT length = 0;
    if (entry == "FILEVERSION" || entry == "PRODUCTVERSION") {
      ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
      const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
      const DWORD ms = entry == "FILEVERSION" ? fixed->dwFileVersionMS : fixed->dwProductVersionMS;
      const DWORD ls = entry == "FILEVERSION" ? fixed->dwFileVersionLS : fixed->dwProductVersionLS;
      EXPECT_EQ(std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) + "." +
                    std::to_string(LOWORD(ls)),
                expected);
    } else if (entry == "StringFileInfo") {
      ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
      const auto* pair = static_cast<const WORD*>(value);
      char text[16];
      std::snprintf(text, sizeof text, "%04X%04X", pair[0], pair[1]);
      EXPECT_EQ(text, expected);
    } else {
      const std::wstring query = L"\\StringFileInfo\\041104B0\\" + Wide(entry);
      ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), &value, &length));
      EXPECT_EQ(Utf8(static_cast<const wchar_t*>(value)), expected);
    }
  }
}

// The rows every run below works on: one per genre and day.
void FiveEntries(const std::string& db) {
  testing::MakeStore(db, {{"2007/01/05", "一般", 0, "正月", "a", "", "2007/01/05 09:00:00"},
                          {"2007/02/10", "仕事", 0, "会議", "b", "", "2007/02/10 09:00:00"},
                          {"2007/03/15", "仕事", 0, "出張", "c", "", "2007/03/15 09:00:00"},
                          {"2007/04/20", "仕事", 0, "報告", "d", "", "2007/04/20 09:00:00"},
                          {"2007/05/01", "料理", 0, "夕飯", "e", "", "2007/05/01 09:00:00"}});
}

TEST_F(ComClient, ExportsTheGenreAndPeriodOfARecordBuiltThroughIRecordInfo) {
  const std::string db = Path("日記.db"), out = Path("書き出し.xml");
  FiveEntries(db);
  Record set(GUID_ExportSettingNubelo);
  set.PutText(L"stGenre", L"仕事");
  set.PutText(L"stStartDay", L"2007/02/10");  // the bounds themselves are left out
  set.PutText(L"stEndDay", L"2007/04/20");
  set.PutShort(L"intBR", 1);
  set.PutShort(L"intHyphen", 1);
  set.PutShort(L"intPublishDay", 1);
  Ptr<IDispatch> handle;
  Create(L"NBLHandleDLL.clsNubeloHandle", handle);
  Must(handle.get(), L"Initialize", {Text(Wide(db))});
  Must(handle.get(), L"SetExport");
  Must(handle.get(), L"setExportSetting", {set.ByRef()});
  Must(handle.get(), L"SetPath", {Text(Wide(out)), Boolean(true)});
  Call execute;
  Invoke(handle.get(), L"Execute", {}, execute);
  EXPECT_EQ(execute.hr, S_OK);
  EXPECT_EQ(execute.result.boolVal, VARIANT_FALSE);
  const std::string document = testing::ReadFile(dir_.path() / u"書き出し.xml");
  EXPECT_NE(document.find("<day date=\"2007-03-15\" title=\"出張\">"), std::string::npos) << document;
  EXPECT_EQ(document.find("<day date=\"2007-02-10\""), std::string::npos) << document;
  EXPECT_EQ(document.find("<day date=\"2007-05-01\""), std::string::npos) << document;
  EXPECT_EQ(document.find("<day date=\"2007-04-20\""), std::string::npos) << document;
}

TEST_F(ComClient, ImportsWithTheHeadingTagsOfARecord) {
  const std::string db = Path("日記.db");
  testing::MakeStore(db, {});
  std::ofstream(dir_.path() / u"読み込み.xml", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n<day date=\"2007-05-01\" title=\"お知らせ\">\n"
         "<body>\n*1178000000*連休\n本文\n</body>\n</day>\n</diary>\n";
  Record set(GUID_ImportSettingNubelo);
  set.PutText(L"stTitleStTag", L"<h3>");
  set.PutText(L"stTitleEdTag", L"</h3>");
  Ptr<IDispatch> handle;
  Create(L"NBLHandleDLL.clsNubeloHandle", handle);
  Must(handle.get(), L"Initialize", {Text(Wide(db))});
  Must(handle.get(), L"SetImport");
  Must(handle.get(), L"setImportSetting", {set.ByRef()});
  Must(handle.get(), L"SetPath", {Text(Wide(Path("読み込み.xml")))});
  Must(handle.get(), L"Execute");
  const auto rows = testing::QueryRows(db, "SELECT Day, Title, Contents FROM Contents");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "2007/05/01|お知らせ|<h3>連休(2007/05/01 15:13:20)</h3><BR>\r\n本文<BR>\r\n");
}

// A failed run keeps what was there: the old document of an export whose store
// lacks its table, and the rows of a store whose import fails at its last entry.
TEST_F(ComClient, AFailedRunLeavesTheOldDocumentAndTheStoreAsTheyWere) {
  const std::string bare = Path("空.db"), db = Path("日記.db"), out = Path("古い.xml"), in = Path("壊れた.xml");
  testing::MakeStore(bare, {});
  testing::ExecSql(bare, "DROP TABLE Contents;");
  std::ofstream(dir_.path() / u"古い.xml") << "old";
  FiveEntries(db);
  std::ofstream(dir_.path() / u"壊れた.xml", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n<day date=\"2007-06-01\" title=\"a\">\n<body>\nx\n"
         "</body>\n</day>\n<day date=\"2007-06-31\" title=\"b\">\n<body>\ny\n</body>\n</day>\n</diary>\n";
  const auto before = testing::QueryRows(db, "SELECT * FROM Contents ORDER BY rowid");
  Ptr<IDispatch> handle;
  Create(L"NBLHandleDLL.clsNubeloHandle", handle);
  Must(handle.get(), L"Initialize", {Text(Wide(bare))});
  Must(handle.get(), L"SetExport");
  Must(handle.get(), L"SetPath", {Text(Wide(out)), Boolean(true)});
  Must(handle.get(), L"Execute");
  EXPECT_EQ(testing::ReadFile(dir_.path() / u"古い.xml"), "old");
  Must(handle.get(), L"Initialize", {Text(Wide(db))});
  Must(handle.get(), L"SetImport");
  Must(handle.get(), L"SetPath", {Text(Wide(in))});
  Must(handle.get(), L"Execute");
  EXPECT_EQ(testing::QueryRows(db, "SELECT * FROM Contents ORDER BY rowid"), before);
}

TEST_F(ComClient, RefusesWrongArgumentsWithTheDispatchErrors) {
  Ptr<IDispatch> handle, information;
  Create(L"NBLHandleDLL.clsNubeloHandle", handle);
  Create(L"NBLHandleDLL.Information", information);
  Record wrongRecord(GUID_ImportSettingNubelo);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_R8;
  number.dblVal = 1.5;
  struct Case {
    IDispatch* object;
    const wchar_t* name;
    std::vector<VARIANT> args;
    HRESULT hr;
  };
  const Case cases[] = {
      {handle.get(), L"Initialize", {}, DISP_E_BADPARAMCOUNT},
      {handle.get(), L"Initialize", {Text(L"a"), Text(L"b")}, DISP_E_BADPARAMCOUNT},
      {handle.get(), L"Initialize", {Omitted()}, DISP_E_PARAMNOTOPTIONAL},
      {handle.get(), L"Initialize", {number}, DISP_E_TYPEMISMATCH},
      {handle.get(), L"SetPath", {Text(L"x.xml"), Text(L"yes")}, DISP_E_TYPEMISMATCH},
      {handle.get(), L"SetPath", {Omitted(), Boolean(true)}, DISP_E_PARAMNOTOPTIONAL},
      {handle.get(), L"setExportSetting", {Text(L"not a record")}, DISP_E_TYPEMISMATCH},
      {handle.get(), L"setExportSetting", {wrongRecord.ByRef()}, DISP_E_TYPEMISMATCH},
      {handle.get(), L"Execute", {Boolean(true)}, DISP_E_BADPARAMCOUNT},
      {information.get(), L"GetVersion", {Boolean(true)}, DISP_E_BADPARAMCOUNT},
      {handle.get(), L"NoSuchMethod", {}, DISP_E_UNKNOWNNAME},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    Call call;
    Invoke(c.object, c.name, c.args, call);
    EXPECT_EQ(call.hr, c.hr);
  }
}

// A method that fails answers DISP_E_EXCEPTION with the failure described in
// EXCEPINFO. The console's export dialog reads the genres of the store before it
// asks anything, so on a missing store it fails; the DLL reads NBL_UI when a
// thread first asks for a class, hence a thread of its own.
TEST_F(ComClient, AFailureReachesTheCallerAsAnExceptionWithItsDescription) {
  const std::string missing = Path("無い.db");
  _putenv_s("NBL_UI", "console");
  Call call;
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      Ptr<IDispatch> handle;
      Create(L"NBLHandleDLL.clsNubeloHandle", handle);
      Must(handle.get(), L"Initialize", {Text(Wide(missing))});
      Invoke(handle.get(), L"SetExportSettingMySelf", {}, call);
    }
    CoUninitialize();
  }).join();
  _putenv_s("NBL_UI", "none");
  EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
  ASSERT_NE(call.excep.bstrDescription, nullptr);
  EXPECT_NE(Utf8(call.excep.bstrDescription).find("無い.db"), std::string::npos) << Utf8(call.excep.bstrDescription);
  EXPECT_EQ(Utf8(call.excep.bstrSource), "NBLHandleDLL.clsNubeloHandle");
}

TEST_F(ComClient, TheDllMayBeUnloadedOnceTheLastObjectIsReleased) {
  Ptr<IDispatch> handle;
  Create(L"NBLHandleDLL.clsNubeloHandle", handle);
  const HMODULE dll = GetModuleHandleW(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  // Through void*: FARPROC's own type is no HRESULT function.
  const auto canUnloadNow =
      reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  ASSERT_NE(canUnloadNow, nullptr);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  handle.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
}

// Run alone, last: `regsvr32 /u` takes every key of the registration away.
TEST(Unregistration, LeavesNoKeyBehind) {
  const std::wstring dll = DllPath();
  ASSERT_FALSE(dll.empty()) << "the DLL is not registered";
  std::wstring command = L"regsvr32.exe /u /s \"" + dll + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  EXPECT_EQ(code, 0u);
  for (const std::wstring& key :
       {std::wstring(L"NBLHandleDLL.clsNubeloHandle"), std::wstring(L"NBLHandleDLL.Information"),
        L"CLSID\\" + GuidText(CLSID_clsNubeloHandle), L"CLSID\\" + GuidText(CLSID_Information),
        L"TypeLib\\" + GuidText(LIBID_NBLHandleDLL), L"Interface\\" + GuidText(IID__clsNubeloHandle),
        L"Interface\\" + GuidText(IID__Information)}) {
    EXPECT_FALSE(KeyExists(key)) << Utf8(key.c_str());
  }
}

}  // namespace
}  // namespace nbl::com
