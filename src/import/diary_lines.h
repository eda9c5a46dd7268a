// The import's reading of a diary file: from bytes to lines, and from lines to
// entries (day, title, body with rewritten headings), without the store or windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "encoding/utf8.h"

namespace nbl::importing {

// The text of a diary file: UTF-8 when its first 1024 bytes look like it (bytes
// that start no sequence are dropped), else JIS, EUC-JP or code page 932 as
// GuessKanjiCode tells. Throws ConversionFailure where the converters fail.
std::u16string DecodeDiaryBytes(const encoding::Bytes& bytes);

// Cuts at CR LF when the text holds one, else at LF when it holds one, else at CR.
// n separators give n + 1 lines; the result is never empty. The lines are views
// into `text`, which must outlive them.
std::vector<std::u16string_view> CutLines(std::u16string_view text);

// The value rounded to the nearest integer, halves to the even neighbour.
// Throws OverflowFailure when the result lies outside the 32-bit signed range.
std::int32_t RoundToLong(double value);

// The four body replacements, in this order: "&amp;" "&lt;" "&gt;" "&quot;".
std::u16string DecodeBodyEntities(std::u16string_view body);

// One left-to-right pass over the character references of an attribute value:
// &amp; &lt; &gt; &quot; &apos;, &#NN; and &#xHH; (above U+FFFF as a surrogate
// pair). A reference that is malformed, names 0, a surrogate or a value past
// U+10FFFF is left as it stands.
std::u16string DecodeTitleReferences(std::u16string_view title);

// The mark every row of one run carries: "YYYY/MM/DD H:MM:SS byNBLinout.dll",
// with the time even at midnight.
std::u16string MakeImportMark(double now);

// The entry being built while the lines are walked.
struct DiaryEntry {
  std::u16string day;
  std::u16string title;
  std::u16string body;
  std::u16string headingTime;
};

// Walks the lines of a diary file one action at a time and hands each closed
// day to `store`. Keeps the step text of the run up to date before each action,
// so that a failure (thrown to the caller) can be reported by it.
class DiaryLineReader {
 public:
  using StoreFn = std::function<void(const DiaryEntry&)>;

  // `lines`, `stepText` and `set` must outlive the reader.
  DiaryLineReader(const std::vector<std::u16string_view>& lines, const ImportSettingNubelo& set, std::u16string& stepText,
                  StoreFn store);

  // Takes the action of line i and returns the index of the last line it used:
  // i itself, or the last body line when line i opened a body. The caller goes
  // on with the returned index + 1. Throws on every failure (a body that runs
  // past the last line, a seconds field out of range, a short title, the store).
  std::size_t HandleLine(std::size_t i);

  const DiaryEntry& entry() const { return entry_; }

 private:
  std::size_t ReadBody(std::size_t i);
  void ReadDayLine(std::u16string_view line);
  void RewriteHeading(std::u16string& line);
  void StoreEntry();
  bool HasTitle() const;

  const std::vector<std::u16string_view>& lines_;
  const ImportSettingNubelo& set_;
  std::u16string& stepText_;
  StoreFn store_;
  DiaryEntry entry_;
};

}  // namespace nbl::importing
