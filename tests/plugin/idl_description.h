// The methods of the interface description as a reader of NBLHandleDLL.idl
// sees them, for tests that hold a server or a type library to it.
#pragma once

#include <regex>
#include <string>
#include <vector>

namespace nbl::testing {

struct IdlMethod {
  std::string name;
  long id;
  unsigned required;
  std::vector<std::string> params;  // without the result
};

// The methods of `interface <name> : IDispatch { ... };` in order.
inline std::vector<IdlMethod> Methods(const std::string& idl, const std::string& name) {
  const std::size_t start = idl.find("interface " + name + " : IDispatch {");
  if (start == std::string::npos) return {};
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

}  // namespace nbl::testing
