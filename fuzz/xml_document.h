// A document parsed by libxml2, for the harnesses that hold the export's bytes
// against a real XML 1.0 parser.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace nbl::fuzz {

class XmlDocument {
 public:
  // Parses `bytes`, failing the run with libxml2's message when they are not well-formed.
  explicit XmlDocument(const std::string& bytes)
      : doc_(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "diary.xml", nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
             xmlFreeDoc) {
    if (!doc_) {
      const xmlError* error = xmlGetLastError();
      Fail("the document is not well-formed XML", error && error->message ? error->message : "");
    }
  }

  xmlNode* Root() const { return xmlDocGetRootElement(doc_.get()); }

  // The element children of `parent` named `name`, in document order.
  static std::vector<xmlNode*> Children(xmlNode* parent, const char* name) {
    std::vector<xmlNode*> found;
    for (xmlNode* n = parent->children; n != nullptr; n = n->next) {
      if (n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST name)) found.push_back(n);
    }
    return found;
  }

  // The value of attribute `name` as the parser reads it (references resolved, blanks normalised).
  static std::string Attribute(xmlNode* element, const char* name) {
    xmlChar* value = xmlGetProp(element, BAD_CAST name);
    if (value == nullptr) Fail("an attribute is missing", name);
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
  }

 private:
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc_;
};

}  // namespace nbl::fuzz
