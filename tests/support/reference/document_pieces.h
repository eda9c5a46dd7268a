// The diary document as 16-bit pieces, the way the writer's rules are stated:
// each place's text built by whole-text replacements. The document writer of
// the export must give the same bytes; only the tests and fuzzers use these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/records.h"
#include "store/value.h"

namespace nbl::reference {

// Rewrites `text` in place: "<" ">" "\"" then "&", each over the whole text, so
// the entities inserted by the first three passes get their "&" escaped too.
void EncodeHtmlText(std::u16string& text);

// Contents or extend as the document carries it: Null as "", LF as "<BR>" when
// intBR is nonzero, "-" as the full-width hyphen when intHyphen is 1, then
// EncodeHtmlText. Throws NullValueFailure never; other failures pass.
std::u16string ApplyBodyRule(const store::Value& value, const ExportSettingNubelo& set);

// `text` as an attribute value: "&" "<" ">" "\"" as entity references, TAB, CR
// and LF as character references, so whatever it holds stays one well-formed
// value that an XML parser reads back unchanged.
std::u16string EscapeAttribute(std::u16string_view text);

// The date attribute: from Day the text with "/" as "-"; from PublishTime
// (intPublishDay other than 1) its first ten characters likewise; then
// EscapeAttribute (a day of digits and "-" passes unchanged). Throws
// NullValueFailure when the value is Null.
std::u16string DatePiece(const store::Value& source);
std::u16string PublishDatePiece(const store::Value& source);

// The title piece: `" title="`, the title through EscapeAttribute, `">` and LF.
// A Null title gives an empty one.
std::u16string TitlePiece(const store::Value& title);

// The document of every row of the store at `db` that `set` selects, in the
// store's order, each piece built as 16-bit text from the row's values (read
// as Recordset::Field reads them) and turned into bytes by text::AppendXmlUtf8,
// which counts its U+FFFD.
struct Document {
  std::string bytes;
  std::int64_t replaced = 0;
};
Document DocumentOf(const std::string& db, const ExportSettingNubelo& set);

}  // namespace nbl::reference
