// The import's reading of a diary file's lines into entries (day, title, body
// with rewritten headings), without the store or windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "common/records.h"
#include "encoding/utf8.h"
#include "import/import_step.h"
#include "import/xml_text.h"

namespace nbl::importing {

// A diary file that cannot be read without losing or merging entries. line() is
// the 1-based line of the fault, column() its 1-based column where the reading
// knows it (else 0); cause() tells the user what to mend.
class DiaryFormatFailure : public Failure {
 public:
  DiaryFormatFailure(std::size_t line, std::size_t column, const std::string& cause);
  DiaryFormatFailure(std::size_t line, const std::string& cause) : DiaryFormatFailure(line, 0, cause) {}
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; }

 private:
  std::size_t line_, column_;
};

// A line where a structural tag shares the line with text or another tag: read
// one line at a time, the document would lose that text. The import reads such
// a document with an XML parser instead.
class SharedLineFailure : public DiaryFormatFailure {
 public:
  SharedLineFailure(std::size_t line, std::size_t column);
};

// The texts below are UTF-8 as DecodeDiaryBytes gives them.

// kNoTitle and kGeneralGenre as the UTF-8 the reader and the stored rows hold.
const std::string& NoTitleUtf8();
const std::string& GeneralGenreUtf8();

// The entry being built while the lines are walked, in UTF-8 as the lines are.
struct DiaryEntry {
  std::string day;
  std::string title;
  std::string body;
  std::string headingTime;
};

// A name="value" pair of a tag; the value without its quotes.
struct Attribute {
  std::string_view name, value;
  bool closed = true;  // the value ends with its own quote
};

// Reads the lines of a diary file, handed in one by one, and hands each closed
// day to `store`. Keeps the step text of the run up to date before each line,
// so that a failure (thrown to the caller) can be reported by it.
//
// Structure lines are recognised with spaces and tabs around them: the XML
// declaration, <diary>, </diary>, a day line (<day ...> with date="YYYY-MM-DD"
// or "YYYY/MM/DD" and an optional title, in any order), <body>, </body>, </day>
// and </body></day>. Inside a body every other line is text. Outside bodies
// other lines are skipped and counted, blank ones aside.
class DiaryLineReader {
 public:
  // May take the entry's texts: the next entry starts afresh whatever they hold.
  using StoreFn = std::function<void(DiaryEntry&)>;

  DiaryLineReader(const ImportSettingNubelo& set, StoreFn store);

  // Takes the next line (UTF-8, as DiaryFile hands it out); the first is line 1.
  // Throws DiaryFormatFailure where the lines would lose or merge an entry (a
  // day line inside an open entry, a closing line or body with no entry open,
  // a missing or invalid date, a title without its closing quote), its
  // SharedLineFailure where a structural tag shares its line with text or
  // another tag, and passes on the failures of `store`.
  void HandleLine(std::string_view line);
  // The same for a line that stands for the place `line`, `column` of a file
  // (column 0: unknown), which its failures then name; for a reader of the
  // file that is no line reader.
  void HandleLineAt(std::string_view text, std::size_t line, std::size_t column);

  // After the last line: throws DiaryFormatFailure when an entry or its body is still open.
  void Finish();

  const DiaryEntry& entry() const { return entry_; }
  // Lines outside bodies that hold something and are no structure line.
  std::size_t skippedLines() const { return skipped_; }
  // The step of the line in hand, or of the last one: what a failure is reported as.
  std::u16string stepText() const { return step_.Text(); }
  const StepInHand& step() const { return step_; }

 private:
  void BodyLine(std::string_view line);
  void ReadDayLine(std::string_view line);
  // Appends a heading line, rewritten, to the body; false for any other line.
  bool AppendHeading(std::string_view line);
  // Makes `step` the step in hand, its text followed by the entry's day unless
  // `withDay` is false.
  void SetStep(ImportStep step, bool withDay = true);
  void StoreEntry();
  bool HasTitle() const;
  DiaryFormatFailure Fault(const std::string& cause) const;  // at the line in hand
  SharedLineFailure SharedLine() const;

  const std::string startTag_, endTag_;  // the heading tags of the settings
  StepInHand step_;
  StoreFn store_;
  DiaryEntry entry_;
  std::size_t line_ = 0;       // the line in hand, from 1
  std::size_t column_ = 0;     // where in that line, when known
  bool open_ = false;          // a day line was read and its entry is not closed yet
  std::size_t entryLine_ = 0;  // the line of that day line
  std::size_t entryColumn_ = 0;
  bool inBody_ = false;         // a <body> of that entry was read and not closed yet
  std::size_t blockStart_ = 0;  // where the text of that body begins in entry_.body
  std::size_t skipped_ = 0;
  std::u16string field_;               // the seconds field of the heading in hand
  std::vector<Attribute> attributes_;  // those of the day line in hand
};

}  // namespace nbl::importing
