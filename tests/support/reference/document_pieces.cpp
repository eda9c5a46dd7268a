#include "support/reference/document_pieces.h"

#include <sqlite3.h>

#include <string_view>

#include "common/text.h"
#include "export/export_run.h"

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

namespace {

// A column of the current row as Recordset::Field reads it.
store::Value FieldOf(sqlite3_stmt* row, int column) {
  switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
      return store::Value();
    case SQLITE_INTEGER:
      return store::Value::Integer(sqlite3_column_int64(row, column));
    case SQLITE_FLOAT:
      return store::Value::Double(sqlite3_column_double(row, column));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
      return store::Value(text::FromUtf8MarkingBadBytes(
          std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(row, column)))));
    }
  }
}

}  // namespace

Document DocumentOf(const std::string& db, const ExportSettingNubelo& set) {
  sqlite3* handle = nullptr;
  sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* rows = nullptr;
  const std::string query = text::ToUtf8(exporting::BuildExportQuery(set));
  sqlite3_prepare_v2(handle, query.c_str(), -1, &rows, nullptr);
  Document doc;
  auto append = [&doc](std::u16string_view piece) {
    doc.replaced += static_cast<std::int64_t>(text::AppendXmlUtf8(piece, doc.bytes));
  };
  const auto column = [rows](const char* name) {
    for (int k = 0; k < sqlite3_column_count(rows); ++k) {
      if (std::string_view(sqlite3_column_name(rows, k)) == name) return k;
    }
    return -1;
  };
  append(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n");
  while (sqlite3_step(rows) == SQLITE_ROW) {
    append(u"<day date=\"");
    append(set.intPublishDay == 1 ? DatePiece(FieldOf(rows, column("Day")))
                                  : PublishDatePiece(FieldOf(rows, column("PublishTime"))));
    append(TitlePiece(FieldOf(rows, column("Title"))));
    append(u"<body>\n");
    append(ApplyBodyRule(FieldOf(rows, column("Contents")), set) + u"\n");
    append(ApplyBodyRule(FieldOf(rows, column("extend")), set) + u"\n");
    append(u"</body>\n</day>\n");
  }
  append(u"</diary>");
  sqlite3_finalize(rows);
  sqlite3_close(handle);
  return doc;
}

}  // namespace nbl::reference
