// The diary XML document: its pieces, the body rule and EncodeHtmlText, and a
// writer that streams pieces as bytes into a sink. Nothing here needs a store
// or a file: pieces in, bytes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/records.h"
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

// Piece 4: `" title="`, the title through EscapeAttribute, `">` and LF.
// A Null title gives an empty one.
std::u16string TitlePiece(const store::Value& title);

// Turns pieces into the document's bytes and hands them to a sink, piece by piece.
// The bytes of a piece are text::AppendXmlUtf8 of it: UTF-8, a surrogate pair as
// one four-byte sequence, and every unit XML 1.0 cannot carry (C0 controls other
// than TAB, LF and CR; U+FFFE; U+FFFF; a lone surrogate, which is also how the
// store hands over bytes that were not UTF-8) as U+FFFD, counted.
class DocumentWriter {
 public:
  using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;
  // `sink` receives each non-empty piece's bytes; what it throws passes through Append.
  explicit DocumentWriter(Sink sink) : sink_(std::move(sink)) {}

  // Converts one piece and hands it on; an empty piece hands on nothing.
  void Append(std::u16string_view piece);
  // Units written as U+FFFD so far.
  std::int64_t ReplacedCharacters() const { return replaced_; }

 private:
  Sink sink_;
  std::string bytes_;
  std::int64_t replaced_ = 0;
};

}  // namespace nbl::exporting
