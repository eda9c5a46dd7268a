// The diary XML document: its pieces, the body rule and EncodeHtmlText, and a
// writer that streams pieces as UTF-8 into one buffered output.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"
#include "common/replacing_file.h"
#include "encoding/utf8.h"
#include "store/value.h"

namespace nbl::exporting {

// Pieces 1, 2, 5, 8 and 9 of the document; the others are built per entry.
inline constexpr std::u16string_view kHead = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
inline constexpr std::u16string_view kDayOpen = u"<day date=\"";
inline constexpr std::u16string_view kBodyOpen = u"<body>\n";
inline constexpr std::u16string_view kDayClose = u"</body>\n</day>\n";
inline constexpr std::u16string_view kTail = u"</diary>";

// Rewrites `text` in place: "<" ">" "\"" then "&", each over the whole text, so
// the entities inserted by the first three passes get their "&" escaped too.
void EncodeHtmlText(std::u16string& text);

// Contents or extend as the document carries it: Null as "", LF as "<BR>" when
// intBR is nonzero, "-" as the full-width hyphen when intHyphen is 1, then
// EncodeHtmlText. Throws NullValueFailure never; other failures pass.
std::u16string ApplyBodyRule(const store::Value& value, const ExportSettingNubelo& set);

// The date attribute: from Day the text with "/" as "-"; from PublishTime
// (intPublishDay other than 1) its first ten characters likewise. Throws
// NullValueFailure when the value is Null.
std::u16string DatePiece(const store::Value& source);
std::u16string PublishDatePiece(const store::Value& source);

// Piece 4: `" title="`, the title escaped for an attribute (& < > " CR LF), `">` and LF.
// A Null title gives an empty one.
std::u16string TitlePiece(const store::Value& title);

// Appends pieces as UTF-8 bytes to a file that replaces its target only on Commit.
class DocumentWriter {
 public:
  // Throws FileFailure when the output cannot be opened (see ReplacingFile).
  explicit DocumentWriter(std::u16string_view filePath) : file_(filePath) {}

  // Converts one piece to UTF-8 and appends it; an empty piece appends nothing.
  void Append(std::u16string_view piece);
  // Puts the complete document in place of the target.
  void Commit() { file_.Commit(); }

 private:
  files::ReplacingFile file_;
  encoding::Bytes bytes_;
};

}  // namespace nbl::exporting
