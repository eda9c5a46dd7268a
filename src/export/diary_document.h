// The diary XML document: its pieces, the body rule and EncodeHtmlText as
// 16-bit text, and a writer that makes the same bytes from the stored UTF-8 and
// streams them into a sink. Nothing here needs a store or a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/records.h"
#include "store/value.h"

namespace nbl::exporting {

// The fixed pieces of the document, as their bytes (all ASCII). Each entry is
// kDayOpen, its date, its title piece (TitlePiece), kBodyOpen, its contents,
// its extend and kDayClose; the entries stand between kHead and kTail.
inline constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
inline constexpr std::string_view kDayOpen = "<day date=\"";  // the day element's head, up to its date
inline constexpr std::string_view kBodyOpen = "<body>\n";
inline constexpr std::string_view kDayClose = "</body>\n</day>\n";  // closes the body and the day element
inline constexpr std::string_view kTail = "</diary>";

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

// Writes the document's bytes straight from the bytes the store holds: each
// stored text goes through the body rule or an escaping in one pass over its
// UTF-8, into a buffer handed to a sink in blocks. The bytes are those of the
// pieces above, built from the same values read with Recordset::Field and
// turned into bytes by text::AppendXmlUtf8: UTF-8, with every character XML 1.0
// cannot carry (C0 controls other than TAB, LF and CR; U+FFFE; U+FFFF; each
// stored byte that starts no well-formed UTF-8 sequence; the half of a pair
// that PublishDatePiece cuts off) written as U+FFFD and counted.
class DocumentWriter {
 public:
  using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;
  // `sink` receives the bytes in blocks of about kBlockSize and the rest at Flush;
  // what it throws passes through the call that handed the block on.
  explicit DocumentWriter(Sink sink);
  static constexpr std::size_t kBlockSize = 64 * 1024;

  // A fixed piece (kHead, kDayOpen, ...), as it is.
  void Append(std::string_view piece);
  // The date from the stored text of Day (as DatePiece) or PublishTime (as PublishDatePiece).
  void AppendDayDate(std::string_view stored);
  void AppendPublishDate(std::string_view stored);
  // The title piece from the stored title (as TitlePiece); nullopt is Null.
  void AppendTitle(std::optional<std::string_view> stored);
  // The contents or the extend: the stored text through the body rule (as
  // ApplyBodyRule), then LF; nullopt is Null.
  void AppendBody(std::optional<std::string_view> stored, const ExportSettingNubelo& set);
  // Hands on whatever is buffered.
  void Flush();

  // Characters written as U+FFFD so far.
  std::int64_t ReplacedCharacters() const { return replaced_; }

 private:
  void HandOnFullBlocks();

  Sink sink_;
  std::string buffer_;
  std::int64_t replaced_ = 0;
};

}  // namespace nbl::exporting
