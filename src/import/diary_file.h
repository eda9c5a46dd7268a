// The import's reading of a diary file: from its bytes to the lines of its
// text, as UTF-8, without the store or windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "encoding/utf8.h"

namespace nbl::importing {

using LineFn = std::function<void(std::string_view)>;

// Cuts a text handed in pieces into lines: at `separator`, and with '\n' also
// at a CR just before it. n separators give n + 1 lines, the last when Finish
// is called. Each line is a view that lasts until the call it is handed to returns.
class LineCutter {
 public:
  explicit LineCutter(char separator) : separator_(separator) {}
  void Feed(std::string_view piece, const LineFn& line);
  void Finish(const LineFn& line);

  // Feed in its parts, for a caller that finds the separators itself: the
  // piece and where its text starts, each k with piece[k] == separator in
  // order, and the end of the text the piece held.
  void Begin(std::string_view piece, std::size_t from = 0);
  void Break(std::size_t k, const LineFn& line);
  void End(std::size_t end);

 private:
  char separator_;
  std::string_view piece_;  // the piece in hand
  std::size_t start_ = 0;   // where its next line starts
  std::string carry_;       // the start of a line that an earlier piece began
};

// The separator of a text: '\n' when it holds an LF (CR LF included), else '\r'.
char SeparatorOf(std::string_view text);

// A diary file to import, read through twice in pieces and never held whole:
// once to learn its code and the lines of its text, once to hand them out.
//
// It is read as UTF-8 when it starts with the byte-order mark (which is
// dropped), when its first 1024 bytes look like UTF-8, or when the whole file
// is UTF-8 with at least one multi-byte character, every byte that starts no
// sequence being dropped; else as JIS, EUC-JP or code page 932, as
// GuessKanjiCode tells, except that a file it calls Shift-JIS which that code
// cannot read whole but IsEucText accepts is EUC-JP. Bytes that every code
// reads alike (plain ASCII, well-formed UTF-8 read as UTF-8) are their own
// text; any other text is written as TextToUtf8Bytes writes what the 16-bit
// decoder of its code gives, a surrogate outside a pair as its own three bytes.
class DiaryFile {
 public:
  // The bytes read at a time: few enough to stay in the processor's cache
  // between the scans of a piece.
  static constexpr std::size_t kPiece = 256 * 1024;

  // Reads the file through once, `piece` bytes (at least 1) at a time. Throws FileFailure
  // when it cannot be read or is empty.
  //
  // `beside`: a file whose head tells that it is UTF-8 and breaks its lines
  // at LF is read the first time on a thread of its own, and the readings that
  // hand out its text go ahead meanwhile as though its bytes were plain UTF-8,
  // which most such files are. Settle tells whether they were.
  explicit DiaryFile(const std::u16string& path, std::size_t piece = kPiece, bool beside = false);
  ~DiaryFile();
  DiaryFile(const DiaryFile&) = delete;
  DiaryFile& operator=(const DiaryFile&) = delete;

  // Whether the first reading still runs beside the others, or has ended
  // without Settle having been called since.
  bool Beside() const { return beside_ != nullptr; }
  // While Beside: nothing until the first reading ends, then whether it read
  // the file as plain UTF-8 without failing. Never waits.
  std::optional<bool> BesideAgrees() const;
  // Waits for the first reading and takes its plan. Throws FileFailure when
  // it could not read the file. True when the text handed out so far was not
  // the file's, which must then be read again.
  bool Settle();

  // Throws what the first reading met in decoding the file: DiaryFormatFailure
  // for a NUL byte, ConversionFailure where the converters fail. Waits for it.
  void Decode();
  // The lines its text cuts into; at least 1. Waits for the first reading.
  std::size_t LineCount() const;
  // Hands every line to `line`, in order. Throws FileFailure when the file
  // changed since it was first read; passes on what `line` throws.
  void ForEachLine(const LineFn& line);
  // Hands the whole text to `piece`, in order, in pieces that may cut a line
  // or a character anywhere. Throws as ForEachLine.
  void ForEachPiece(const LineFn& piece);
  // Whether the failure in flight came from reading the file rather than from a line's handler.
  bool reading() const { return reading_->on; }

  // What the first reading learns of the bytes (first_reading.h).
  struct Plan;

 private:
  struct FirstReadingBeside;
  // The plan the first reading made, waiting for it while it runs beside.
  const Plan& Final() const;

  std::unique_ptr<files::InputFile> file_;
  std::size_t piece_;
  std::unique_ptr<Plan> plan_;  // the plan the readings follow
  std::unique_ptr<FirstReadingBeside> beside_;
  // Set and cleared around every line by the thread that reads the file: a
  // block of its own, so that those writes never touch a cache line that
  // another thread reads, such as the caller's objects beside this one.
  struct alignas(128) ReadingFlag {
    bool on = false;
  };
  std::unique_ptr<ReadingFlag> reading_ = std::make_unique<ReadingFlag>();
};

// The text of a diary file's bytes held in memory, read as DiaryFile reads a
// file, `piece` bytes at a time: a view into `bytes` when the text is the bytes
// as they stand, else into `storage`, which receives it. Throws
// DiaryFormatFailure for a NUL byte, ConversionFailure where the converters
// fail and for an empty array.
std::string_view DecodeDiaryBytes(const encoding::Bytes& bytes, encoding::Bytes& storage,
                                  std::size_t piece = DiaryFile::kPiece);

}  // namespace nbl::importing
