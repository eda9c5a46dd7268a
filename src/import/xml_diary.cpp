#include "import/xml_diary.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "common/failure.h"
#include "common/text.h"
#include "import/diary_lines.h"

namespace nbl::importing {
namespace {

std::string_view View(const xmlChar* text) { return text != nullptr ? reinterpret_cast<const char*>(text) : ""; }
std::string_view View(const xmlChar* begin, const xmlChar* end) {
  return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

bool IsAllWhite(std::string_view text) {
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

// Text as a line of the document of one tag to a line holds it: body text
// with its markup characters escaped once, as the line reader decodes them.
void AppendEscaped(std::string_view text, bool attribute, std::string& out) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += attribute ? "&quot;" : "\"";
        break;
      case '\t':
        out += attribute ? "&#9;" : "\t";
        break;
      case '\n':
        out += "&#10;";  // only an attribute holds one: body text is cut at each
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out.push_back(c);
    }
  }
}

// The parser hands an "&" of an attribute value on as "&#38;" (a tree builder
// decodes it later); every other reference it has decoded already.
std::string AttributeValue(std::string_view raw) {
  std::string value;
  for (std::size_t i = 0; i < raw.size();) {
    if (raw.compare(i, 5, "&#38;") == 0) {
      value.push_back('&');
      i += 5;
    } else {
      value.push_back(raw[i++]);
    }
  }
  return value;
}

}  // namespace

struct XmlDiaryReader::Parser {
  PlacedLineFn line;
  xmlSAXHandler sax{};
  xmlParserCtxtPtr ctxt = nullptr;
  std::exception_ptr failure;  // what a handler met; the parser is stopped then
  int depth = 0;
  int bodyDepth = 0;  // of the body in hand, when bodyOpen
  bool bodyOpen = false;
  bool bodyStarted = false;  // the layout after <body> is passed
  std::string pending;       // body text not yet handed on as lines
  bool stray = false;        // text outside bodies not yet counted
  std::string scratch;
  bool errored = false;  // the parser found the document not well-formed
  std::string error;
  std::size_t errorLine = 0, errorColumn = 0;

  std::size_t Line() const { return static_cast<std::size_t>(std::max(xmlSAX2GetLineNumber(ctxt), 1)); }
  std::size_t Column() const { return static_cast<std::size_t>(std::max(xmlSAX2GetColumnNumber(ctxt), 1)); }

  void Fail(std::exception_ptr e) {
    if (!failure) failure = std::move(e);
    xmlStopParser(ctxt);
  }
  void Emit(std::string_view text) {
    if (failure) return;
    try {
      line(text, Line(), Column());
    } catch (...) {
      Fail(std::current_exception());
    }
  }
  // Stray text outside bodies counts once for each run of it.
  void CountStray() {
    if (!stray) return;
    stray = false;
    Emit("-");
  }
  void EmitBodyLine(std::string_view text) {
    scratch.clear();
    AppendEscaped(text, false, scratch);
    Emit(scratch);
  }
  void BodyText(std::string_view text) {
    pending.append(text);
    if (!bodyStarted) {
      std::size_t k = 0;
      while (k < pending.size() && text::IsBlank(pending[k])) ++k;
      if (k == pending.size()) return;  // blanks so far: still layout, perhaps
      if (pending[k] == '\n') pending.erase(0, k + 1);
      bodyStarted = true;
    }
    std::size_t start = 0;
    for (std::size_t lf = pending.find('\n'); lf != std::string::npos; lf = pending.find('\n', start)) {
      EmitBodyLine(std::string_view(pending).substr(start, lf - start));
      start = lf + 1;
    }
    pending.erase(0, start);
  }
  void CloseBody() {
    // Blanks after the last line break are the indentation of </body>.
    const bool blank = std::all_of(pending.begin(), pending.end(), [](char c) { return text::IsBlank(c); });
    if (bodyStarted && !blank) EmitBodyLine(pending);
    pending.clear();
    bodyOpen = false;
    Emit("</body>");
  }

  void StartElement(std::string_view name, std::string_view prefix, int count, const xmlChar** attributes) {
    ++depth;
    if (bodyOpen) {
      pending += '<';
      if (!prefix.empty()) pending.append(prefix).append(":");
      pending.append(name);
      for (int k = 0; k < count; ++k) {
        const xmlChar** a = attributes + 5 * k;
        pending.append(" ").append(View(a[0])).append("=\"").append(AttributeValue(View(a[3], a[4]))).append("\"");
      }
      pending += '>';
      return;
    }
    CountStray();
    if (!prefix.empty() || (name != "day" && name != "body" && name != "diary")) {
      Emit("-");
    } else if (name == "day") {
      scratch = "<day";
      for (const std::string_view wanted : {"date", "title"}) {
        for (int k = 0; k < count; ++k) {
          const xmlChar** a = attributes + 5 * k;
          if (a[1] != nullptr || View(a[0]) != wanted) continue;
          scratch.append(" ").append(wanted).append("=\"");
          AppendEscaped(AttributeValue(View(a[3], a[4])), true, scratch);
          scratch += '"';
        }
      }
      scratch += '>';
      Emit(scratch);
    } else if (name == "body") {
      Emit("<body>");
      bodyOpen = true;
      bodyStarted = false;
      bodyDepth = depth;
      pending.clear();
    }
  }
  void EndElement(std::string_view name, std::string_view prefix) {
    if (bodyOpen && depth == bodyDepth) {
      CloseBody();
    } else if (bodyOpen) {
      pending.append("</");
      if (!prefix.empty()) pending.append(prefix).append(":");
      pending.append(name).append(">");
    } else {
      CountStray();
      if (prefix.empty() && name == "day") Emit("</day>");
    }
    --depth;
  }
  void Text(std::string_view text) {
    if (bodyOpen) {
      BodyText(text);
    } else if (!IsAllWhite(text)) {
      stray = true;
    }
  }
  // A comment, instruction or document type: text inside a body, else a skipped line.
  void Other(std::string_view asText) {
    if (bodyOpen) {
      BodyText(asText);
      return;
    }
    CountStray();
    Emit("-");
  }
  void Refuse(const std::string& cause) { Fail(std::make_exception_ptr(DiaryFormatFailure(Line(), Column(), cause))); }

  static Parser& Of(void* ctx) { return *static_cast<Parser*>(ctx); }
};

namespace {

using P = XmlDiaryReader::Parser;

void OnStart(void* ctx, const xmlChar* name, const xmlChar* prefix, const xmlChar*, int, const xmlChar**, int count,
             int, const xmlChar** attributes) {
  P::Of(ctx).StartElement(View(name), View(prefix), count, attributes);
}
void OnEnd(void* ctx, const xmlChar* name, const xmlChar* prefix, const xmlChar*) {
  P::Of(ctx).EndElement(View(name), View(prefix));
}
void OnText(void* ctx, const xmlChar* text, int size) { P::Of(ctx).Text(View(text, text + size)); }
void OnComment(void* ctx, const xmlChar* text) { P::Of(ctx).Other("<!--" + std::string(View(text)) + "-->"); }
void OnInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
  P::Of(ctx).Other("<?" + std::string(View(target)) + (data != nullptr ? " " + std::string(View(data)) : "") + "?>");
}
void OnDocumentType(void* ctx, const xmlChar* name, const xmlChar*, const xmlChar*) {
  P::Of(ctx).Other("<!DOCTYPE " + std::string(View(name)) + ">");
}
void OnReference(void* ctx, const xmlChar* name) {
  P::Of(ctx).Refuse("the document uses an entity of its own (&" + std::string(View(name)) +
                    ";); write its text in its place");
}
void OnEntityDeclaration(void* ctx, const xmlChar* name, int, const xmlChar*, const xmlChar*, xmlChar*) {
  P::Of(ctx).Refuse("the document declares an entity of its own (" + std::string(View(name)) +
                    "); write its text where it is used and remove the declaration");
}
void OnError(void* ctx, xmlErrorPtr error) {
  P& p = P::Of(ctx);
  if (p.errored || error == nullptr || error->level < XML_ERR_ERROR) return;
  p.errored = true;
  p.error = error->message != nullptr ? error->message : "unknown error";
  while (!p.error.empty() && (p.error.back() == '\n' || p.error.back() == ' ')) p.error.pop_back();
  p.errorLine = static_cast<std::size_t>(std::max(error->line, 1));
  p.errorColumn = static_cast<std::size_t>(std::max(error->int2, 0));
}

}  // namespace

XmlDiaryReader::XmlDiaryReader(PlacedLineFn line) : parser_(std::make_unique<Parser>()) {
  Parser& p = *parser_;
  p.line = std::move(line);
  // Only these handlers: no tree is built, no entity of the document's own is expanded or fetched.
  p.sax.initialized = XML_SAX2_MAGIC;
  p.sax.startElementNs = OnStart;
  p.sax.endElementNs = OnEnd;
  p.sax.characters = OnText;
  p.sax.ignorableWhitespace = OnText;
  p.sax.cdataBlock = OnText;
  p.sax.comment = OnComment;
  p.sax.processingInstruction = OnInstruction;
  p.sax.internalSubset = OnDocumentType;
  p.sax.reference = OnReference;
  p.sax.entityDecl = OnEntityDeclaration;
  p.sax.serror = OnError;
  p.ctxt = xmlCreatePushParserCtxt(&p.sax, &p, nullptr, 0, nullptr);
  if (p.ctxt == nullptr) throw Failure("cannot start the XML parser: out of memory");
  // The text is UTF-8 whatever the declaration says: the import has decoded it already.
  xmlCtxtUseOptions(p.ctxt, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_IGNORE_ENC | XML_PARSE_BIG_LINES);
  xmlSwitchEncoding(p.ctxt, XML_CHAR_ENCODING_UTF8);
}

XmlDiaryReader::~XmlDiaryReader() {
  if (parser_->ctxt->myDoc != nullptr) xmlFreeDoc(parser_->ctxt->myDoc);
  xmlFreeParserCtxt(parser_->ctxt);
}

void XmlDiaryReader::Feed(std::string_view piece) {
  while (!piece.empty()) {
    const std::size_t size = std::min<std::size_t>(piece.size(), INT_MAX / 2);
    xmlParseChunk(parser_->ctxt, piece.data(), static_cast<int>(size), 0);
    Check();
    piece.remove_prefix(size);
  }
}

void XmlDiaryReader::Finish() {
  xmlParseChunk(parser_->ctxt, nullptr, 0, 1);
  Check();
  parser_->CountStray();
  Check();
}

std::size_t XmlDiaryReader::line() const { return parser_->Line(); }

void XmlDiaryReader::Check() {
  Parser& p = *parser_;
  if (p.failure) std::rethrow_exception(p.failure);
  if (p.errored) {
    throw DiaryFormatFailure(p.errorLine, p.errorColumn,
                             "the tags do not each stand on a line of their own, and as XML the document is not "
                             "well-formed (" +
                                 p.error + "); mend it there or lay it out one tag to a line");
  }
}

}  // namespace nbl::importing
