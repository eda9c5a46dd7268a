#include "support/reference/document_pieces.h"

#include "common/text.h"

namespace nbl::reference {
namespace {

// PublishTime gives the date its first ten units, "YYYY/MM/DD" of a date and time.
constexpr std::size_t kPublishDateUnits = 10;

}  // namespace

void EncodeHtmlText(std::u16string& text) {
  text = text::Replace(text, u"<", u"&lt;");
  text = text::Replace(text, u">", u"&gt;");
  text = text::Replace(text, u"\"", u"&quot;");
  text = text::Replace(text, u"&", u"&amp;");
}

std::u16string ApplyBodyRule(const store::Value& value, const ExportSettingNubelo& set) {
  std::u16string text = value.IsNull() ? std::u16string() : value.CStr();
  if (set.intBR != 0) text = text::Replace(text, u"\n", u"<BR>");
  if (set.intHyphen == 1) text = text::Replace(text, u"-", u"\uFF0D");
  EncodeHtmlText(text);
  return text;
}

std::u16string EscapeAttribute(std::u16string_view text) {
  // Escaped so that every document is well-formed; "&" first so nothing is escaped twice.
  std::u16string out = text::Replace(text, u"&", u"&amp;");
  out = text::Replace(out, u"<", u"&lt;");
  out = text::Replace(out, u">", u"&gt;");
  out = text::Replace(out, u"\"", u"&quot;");
  // An XML parser reads a raw TAB, CR or LF in an attribute value as a space.
  out = text::Replace(out, u"\t", u"&#9;");
  out = text::Replace(out, u"\r", u"&#13;");
  return text::Replace(out, u"\n", u"&#10;");
}

std::u16string DatePiece(const store::Value& source) {
  return EscapeAttribute(text::Replace(source.CStr(), u"/", u"-"));
}

std::u16string PublishDatePiece(const store::Value& source) {
  return EscapeAttribute(text::Replace(source.CStr().substr(0, kPublishDateUnits), u"/", u"-"));
}

std::u16string TitlePiece(const store::Value& title) {
  return u"\" title=\"" + EscapeAttribute(title.IsNull() ? std::u16string() : title.CStr()) + u"\">\n";
}

}  // namespace nbl::reference
