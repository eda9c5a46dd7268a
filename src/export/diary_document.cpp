#include "export/diary_document.h"

#include "common/text.h"

namespace nbl::exporting {

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

std::u16string DatePiece(const store::Value& source) { return text::Replace(source.CStr(), u"/", u"-"); }

std::u16string PublishDatePiece(const store::Value& source) {
  return text::Replace(text::Left(source.CStr(), 10), u"/", u"-");
}

std::u16string TitlePiece(const store::Value& title) {
  std::u16string text = title.IsNull() ? std::u16string() : title.CStr();
  // Escaped so that every document is well-formed; "&" first so nothing is escaped twice.
  text = text::Replace(text, u"&", u"&amp;");
  text = text::Replace(text, u"<", u"&lt;");
  text = text::Replace(text, u">", u"&gt;");
  text = text::Replace(text, u"\"", u"&quot;");
  text = text::Replace(text, u"\r", u"&#13;");
  text = text::Replace(text, u"\n", u"&#10;");
  return u"\" title=\"" + text + u"\">\n";
}

void DocumentWriter::Append(std::u16string_view piece) {
  const std::int32_t n = encoding::TextToUtf8Bytes(piece, bytes_);
  if (n > 0) file_.Append(bytes_.data(), static_cast<std::size_t>(n));
}

}  // namespace nbl::exporting
