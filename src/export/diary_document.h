// The diary XML document: its fixed pieces, and the writer that makes it from
// the stored UTF-8 and streams it into a sink. Nothing here needs a store or a file.
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

struct AsciiRules;

// The fixed pieces of the document, as their bytes (all ASCII). Each entry is
// kDayOpen, its date, its title piece (TitlePiece), kBodyOpen, its contents,
// its extend and kDayClose; the entries stand between kHead and kTail.
inline constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
inline constexpr std::string_view kDayOpen = "<day date=\"";  // the day element's head, up to its date
inline constexpr std::string_view kBodyOpen = "<body>\n";
inline constexpr std::string_view kDayClose = "</body>\n</day>\n";  // closes the body and the day element
inline constexpr std::string_view kTail = "</diary>";

// Writes the document's bytes straight from the bytes the store holds: each
// stored text goes through the body rule or an escaping in one pass over its
// UTF-8, into a buffer handed to a sink in blocks. The bytes are those of the
// pieces above, built from the same values read with Recordset::Field and
// turned into bytes by text::AppendXmlUtf8 (the 16-bit pieces of the tests'
// reference library): UTF-8, with every character XML 1.0
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
  void AppendInPieces(std::string_view stored, const AsciiRules& rules);
  void HandOnFullBlocks();

  Sink sink_;
  std::string buffer_;
  std::int64_t replaced_ = 0;
};

}  // namespace nbl::exporting
