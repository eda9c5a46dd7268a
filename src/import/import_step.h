// The steps of an import as its failures are reported: each step has one fixed
// text, which the message box shows, followed by the day of the entry in hand
// where the step names one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace nbl::importing {

enum class ImportStep : std::uint8_t {
  kStart,           // before anything: the window itself
  kReadDayNumbers,  // opening the store, its transaction, the numbers of its days
  kReadFile,        // reading the file
  kDecode,          // its code
  kCutLines,        // its lines and the progress window's texts
  kSkipLine,        // a line outside any body
  kReadDay,         // a day line, its date
  kReadTitle,       // a day line, its title
  kReadBody,        // a body line
  kDecodeEntities,  // the end of a body
  kStore,           // an entry stored, the commit
};

// The step's fixed text.
std::u16string_view TextOf(ImportStep step);

// Where an import stands: its step, and the day that follows the step's text
// (digits and slashes as the entry holds it, or empty).
struct StepInHand {
  ImportStep step = ImportStep::kStart;
  std::string day;
  // The step text a failure here shows.
  std::u16string Text() const;
};

// A failure of an import and where it happened: the step then in force, the
// line and column of the file in hand (0 where none is, or unknown), and the
// failure itself.
struct ImportFailure {
  StepInHand at;
  std::size_t line = 0, column = 0;
  std::exception_ptr error;
  // The line reader met a tag that shares its line: the XML parser reads the file instead.
  bool sharedLine = false;
};

// The failure in `error` placed at `at`: a DiaryFormatFailure names its own
// line and column, any other failure the line `line`.
ImportFailure PlacedFailure(StepInHand at, std::size_t line, std::exception_ptr error);

}  // namespace nbl::importing
