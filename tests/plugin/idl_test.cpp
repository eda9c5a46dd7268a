// The interface description and the server must tell a caller the same thing.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

std::string Idl() { return testing::ReadFile(std::string(NBL_SOURCE_DIR) + "/src/plugin/NBLHandleDLL.idl"); }

std::string Upper(std::u16string guid) { return text::ToUtf8(guid.substr(1, guid.size() - 2)); }

struct IdlMethod {
  std::string name;
  long id;
  unsigned required;
  std::vector<std::string> params;  // without the result
};

// The methods of `interface <name> : IDispatch { ... };` in order.
std::vector<IdlMethod> Methods(const std::string& idl, const std::string& name) {
  const std::size_t start = idl.find("interface " + name + " : IDispatch {");
  EXPECT_NE(start, std::string::npos) << name;
  const std::string body = idl.substr(start, idl.find("};", start) - start);
  std::vector<IdlMethod> methods;
  const std::regex method(R"(\[id\((0x[0-9A-Fa-f]+)\)\]\s*HRESULT\s+(\w+)\(([^;]*)\);)");
  const std::regex param(R"(\[([^\]]*)\]\s*[\w ]+\*?\s*(\w+))");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), method); it != std::sregex_iterator(); ++it) {
    IdlMethod m{(*it)[2], std::stol((*it)[1], nullptr, 16), 0, {}};
    const std::string params = (*it)[3];
    for (auto p = std::sregex_iterator(params.begin(), params.end(), param); p != std::sregex_iterator(); ++p) {
      const std::string attrs = (*p)[1];
      if (attrs.find("retval") != std::string::npos) continue;
      m.params.push_back((*p)[2]);
      if (attrs.find("optional") == std::string::npos) ++m.required;
    }
    methods.push_back(m);
  }
  return methods;
}

// The uuid in the attribute block just before `what`.
std::string UuidBefore(const std::string& idl, const std::string& what) {
  const std::size_t at = idl.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  const std::size_t u = idl.rfind("uuid(", at);
  return idl.substr(u + 5, 36);
}

TEST(InterfaceDescription, DeclaresTheDispatchTablesOfBothClasses) {
  const std::string idl = Idl();
  ASSERT_FALSE(idl.empty());
  struct Case {
    std::string interfaceName;
    std::vector<DispatchRow> rows;
  };
  const Case cases[] = {{"_clsNubeloHandle", NubeloHandleDispatchRows()}, {"_Information", InformationDispatchRows()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interfaceName);
    const std::vector<IdlMethod> methods = Methods(idl, c.interfaceName);
    ASSERT_EQ(methods.size(), c.rows.size());
    for (std::size_t i = 0; i < methods.size(); ++i) {
      SCOPED_TRACE(methods[i].name);
      EXPECT_EQ(methods[i].name, text::ToUtf8(c.rows[i].name));
      EXPECT_EQ(methods[i].id, c.rows[i].id);
      EXPECT_EQ(methods[i].id, 0x60030000 + static_cast<long>(i));  // slot order
      EXPECT_EQ(methods[i].required, c.rows[i].required);
      std::vector<std::string> params;
      for (auto p : c.rows[i].params) params.push_back(text::ToUtf8(p));
      EXPECT_EQ(methods[i].params, params);
    }
  }
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
      {"struct tagExportSettingNubelo", GUID_ExportSettingNubelo},
      {"struct tagImportSettingNubelo", GUID_ImportSettingNubelo},
      {"struct tagDayAndNumber", GUID_DayAndNumber},
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
  EXPECT_EQ(Fields(idl, "tagExportSettingNubelo"), (F{{"stGenre", p},
                                                      {"stStartDay", p},
                                                      {"stEndDay", p},
                                                      {"intPublish", 2},
                                                      {"intScroll", 2},
                                                      {"intBR", 2},
                                                      {"intHyphen", 2},
                                                      {"intPublishDay", 2}}));
  EXPECT_EQ(Fields(idl, "tagImportSettingNubelo"), (F{{"stTitleStTag", p}, {"stTitleEdTag", p}}));
  EXPECT_EQ(Fields(idl, "tagDayAndNumber"), (F{{"stDay", p}, {"iNumber", 2}}));
  EXPECT_EQ(NaturalSize(Fields(idl, "tagExportSettingNubelo")), sizeof(ExportSettingNubelo));
  EXPECT_EQ(NaturalSize(Fields(idl, "tagImportSettingNubelo")), sizeof(ImportSettingNubelo));
  EXPECT_EQ(NaturalSize(Fields(idl, "tagDayAndNumber")), sizeof(DayAndNumber));
}

}  // namespace
}  // namespace nbl::com
