// The interface description and the server must tell a caller the same thing.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "plugin/idl_description.h"
#include "plugin/invoke_call.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

using testing::IdlMethod;
using testing::Methods;

std::string Idl() { return testing::ReadFile(std::string(NBL_SOURCE_DIR) + "/src/plugin/NBLHandleDLL.idl"); }

std::string Upper(std::u16string guid) { return text::ToUtf8(guid.substr(1, guid.size() - 2)); }

// The uuid in the attribute block just before `what`.
std::string UuidBefore(const std::string& idl, const std::string& what) {
  const std::size_t at = idl.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  const std::size_t u = idl.rfind("uuid(", at);
  return idl.substr(u + 5, 36);
}

// The fewest arguments the method insists on, found as a host would: `k`
// arguments, each marked omitted, are refused by their count while fewer than
// required, and as not optional once enough. 0 for a method without parameters.
unsigned RequiredCount(IDispatch* object, DISPID id, unsigned declared) {
  for (unsigned k = 1; k <= declared; ++k) {
    const HRESULT hr = testing::InvokeCall(object, id, std::vector<VARIANT>(k, testing::VMissing())).hr;
    if (hr == DISP_E_PARAMNOTOPTIONAL) return k;
    if (hr != DISP_E_BADPARAMCOUNT) return k - 1;
  }
  return declared == 0 ? 0 : declared + 1;
}

TEST(InterfaceDescription, DeclaresWhatTheObjectsAnswerLateBound) {
  const std::string idl = Idl();
  ASSERT_FALSE(idl.empty());
  IDispatch* handle = nullptr;
  IDispatch* information = nullptr;
  ASSERT_EQ(CreateNubeloHandle(IID_IDispatch, reinterpret_cast<void**>(&handle)), S_OK);
  ASSERT_EQ(CreateInformation(IID_IDispatch, reinterpret_cast<void**>(&information)), S_OK);
  struct Case {
    std::string interfaceName;
    IDispatch* object;
  };
  const Case cases[] = {{"_clsNubeloHandle", handle}, {"_Information", information}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interfaceName);
    const std::vector<IdlMethod> methods = Methods(idl, c.interfaceName);
    ASSERT_FALSE(methods.empty());
    for (std::size_t i = 0; i < methods.size(); ++i) {
      const IdlMethod& m = methods[i];
      SCOPED_TRACE(m.name);
      EXPECT_EQ(m.id, 0x60030000 + static_cast<long>(i));  // slot order
      // The method and its parameters by name: its id, then their positions.
      std::vector<std::u16string> names{text::FromUtf8(m.name)};
      for (const std::string& p : m.params) names.push_back(text::FromUtf8(p));
      std::vector<LPOLESTR> asked;
      for (std::u16string& n : names) asked.push_back(reinterpret_cast<LPOLESTR>(n.data()));
      std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
      EXPECT_EQ(c.object->GetIDsOfNames(IID_NULL, asked.data(), static_cast<UINT>(asked.size()), LOCALE_USER_DEFAULT,
                                        ids.data()),
                S_OK);
      EXPECT_EQ(ids[0], m.id);
      for (std::size_t p = 1; p < ids.size(); ++p) EXPECT_EQ(ids[p], static_cast<DISPID>(p - 1)) << m.params[p - 1];
      // No parameter beyond those declared, and the declared required ones.
      const std::vector<VARIANT> tooMany(m.params.size() + 1, testing::VMissing());
      EXPECT_EQ(testing::InvokeCall(c.object, m.id, tooMany).hr, DISP_E_BADPARAMCOUNT);
      EXPECT_EQ(RequiredCount(c.object, m.id, static_cast<unsigned>(m.params.size())), m.required);
    }
    // No method beyond those declared.
    EXPECT_EQ(testing::InvokeCall(c.object, 0x60030000 + static_cast<DISPID>(methods.size()), {}).hr,
              DISP_E_MEMBERNOTFOUND);
  }
  EXPECT_EQ(handle->Release(), 0u);
  EXPECT_EQ(information->Release(), 0u);
}

TEST(InterfaceDescription, CarriesTheServersIdentifiers) {
  const std::string idl = Idl();
  struct Case {
    std::string declaration;
    GUID guid;
  };
  const Case cases[] = {
      {"library NBLHandleDLL", LIBID_NBLHandleDLL},
      {"interface _clsNubeloHandle : IDispatch", IID__clsNubeloHandle},
      {"interface _Information : IDispatch", IID__Information},
      {"coclass clsNubeloHandle {", CLSID_clsNubeloHandle},
      {"coclass Information {", CLSID_Information},
      {"struct ExportSettingNubelo", GUID_ExportSettingNubelo},
      {"struct ImportSettingNubelo", GUID_ImportSettingNubelo},
      {"struct DayAndNumber", GUID_DayAndNumber},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UuidBefore(idl, c.declaration), Upper(GuidToString(c.guid))) << c.declaration;
  }
  // Both interfaces are hidden duals.
  const std::regex attributes(R"(\[\s*odl,[^\]]*hidden,\s*dual,[^\]]*\]\s*interface _)");
  EXPECT_EQ(std::distance(std::sregex_iterator(idl.begin(), idl.end(), attributes), std::sregex_iterator()), 2);
}

// The record as the description lays it out: field names and sizes in order.
std::vector<std::pair<std::string, std::size_t>> Fields(const std::string& idl, const std::string& tag) {
  const std::size_t start = idl.find("struct " + tag + " {");
  const std::string body = idl.substr(start, idl.find('}', start) - start);
  std::vector<std::pair<std::string, std::size_t>> fields;
  const std::regex field(R"((BSTR|short)\s+(\w+);)");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), field); it != std::sregex_iterator(); ++it) {
    fields.emplace_back((*it)[2], (*it)[1] == "BSTR" ? sizeof(BSTR) : sizeof(SHORT));
  }
  return fields;
}

// Size with natural alignment, as a caller's compiler lays the fields.
std::size_t NaturalSize(const std::vector<std::pair<std::string, std::size_t>>& fields) {
  std::size_t size = 0, align = 1;
  for (const auto& [name, bytes] : fields) {
    size = (size + bytes - 1) / bytes * bytes + bytes;
    align = std::max(align, bytes);
  }
  return (size + align - 1) / align * align;
}

TEST(InterfaceDescription, LaysOutTheRecordsAsTheServerReadsThem) {
  const std::string idl = Idl();
  using F = std::vector<std::pair<std::string, std::size_t>>;
  const std::size_t p = sizeof(BSTR);
  EXPECT_EQ(Fields(idl, "ExportSettingNubelo"), (F{{"stGenre", p},
                                                   {"stStartDay", p},
                                                   {"stEndDay", p},
                                                   {"intPublish", 2},
                                                   {"intScroll", 2},
                                                   {"intBR", 2},
                                                   {"intHyphen", 2},
                                                   {"intPublishDay", 2}}));
  EXPECT_EQ(Fields(idl, "ImportSettingNubelo"), (F{{"stTitleStTag", p}, {"stTitleEdTag", p}}));
  EXPECT_EQ(Fields(idl, "DayAndNumber"), (F{{"stDay", p}, {"iNumber", 2}}));
  EXPECT_EQ(NaturalSize(Fields(idl, "ExportSettingNubelo")), sizeof(ExportSettingNubelo));
  EXPECT_EQ(NaturalSize(Fields(idl, "ImportSettingNubelo")), sizeof(ImportSettingNubelo));
  EXPECT_EQ(NaturalSize(Fields(idl, "DayAndNumber")), sizeof(DayAndNumber));
}

}  // namespace
}  // namespace nbl::com
