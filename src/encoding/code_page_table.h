// Internal to encoding/: code page 932 as tables read from the system's
// converter once per process, and the pieces the table-driven decoders share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nbl::encoding::detail {

inline constexpr char16_t kReplacementCharacter = 0xFFFD;

// What the system's converter gives for every byte and every pair of code page 932. Decoding is
// greedy: a lead byte with a valid trail gives Pair(); any other byte gives
// Single() (U+FFFD for a lead byte whose trail does not fit) and decoding goes
// on with the next byte.
struct CodePageTable {
  std::array<char16_t, 256> single{};    // a byte alone
  std::array<std::uint8_t, 256> slot{};  // row of `pairs` for a lead byte, 0 for any other byte
  std::vector<char16_t> pairs;           // 256 units per lead byte; 0 where the pair is not valid
  // The character of each JIS X 0208 code, 94 rows of 94 cells from 0x21,
  // through the JIS to Shift-JIS step and the pairs above; 0 when that pair is not valid.
  std::vector<char16_t> jis;

  bool IsLead(std::uint8_t b) const { return slot[b] != 0; }
  // Pair() for a byte that is no lead byte gives 0: slot 0 is a row of zeros.
  char16_t Pair(std::uint8_t lead, std::uint8_t trail) const { return pairs[slot[lead] * 256u + trail]; }
};

// Input bytes a decoder reads between two checks for room: each yields at most
// one unit (or one replacement), so `left` bytes to go need at most RunOf(left) units.
inline constexpr std::size_t kRun = 4096;
inline std::size_t RunOf(std::size_t left) { return left < kRun ? left : kRun; }

// Built on first use; throws ConversionFailure when the system has no code page 932.
const CodePageTable& CodePage932();

// `single`, `slot` and `pairs` as the system's converter decodes each byte and
// pair (code_page_posix.cpp: iconv; code_page_win32.cpp: MultiByteToWideChar).
// Throws ConversionFailure when it has no code page 932.
CodePageTable SystemCodePage932();

// `single`, `slot` and `pairs` from what a converter answers: `alone(b)` the
// unit a byte gives alone (U+FFFD when it is no character alone), and
// `pair(b0, b1)`, asked for every pair after such a byte, the unit of the
// pair when it is one character. Passes on what they throw.
CodePageTable TableOfAnswers(const std::function<char16_t(std::uint8_t)>& alone,
                             const std::function<std::optional<char16_t>(std::uint8_t, std::uint8_t)>& pair);

// The text a decoder writes. It grows a step at a time inside the capacity
// reserved at the start, so that only the part actually used is ever touched.
class TextWriter {
 public:
  explicit TextWriter(std::size_t max_units) {
    text_.reserve(max_units);
    w_ = end_ = text_.data();
  }
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void Put(char16_t unit) {
    if (w_ == end_) Grow(1);
    *w_++ = unit;
  }

  // Room for `units` more units: write them from the pointer returned, then
  // Commit the pointer past the last one written.
  char16_t* Room(std::size_t units) {
    if (static_cast<std::size_t>(end_ - w_) < units) Grow(units);
    return w_;
  }
  void Commit(char16_t* end) { w_ = end; }

  std::u16string Take() {
    text_.resize(static_cast<std::size_t>(w_ - text_.data()));
    return std::move(text_);
  }

 private:
  void Grow(std::size_t units) {
    // Steps of 16384 units, within the reserved capacity while it lasts.
    const std::size_t used = static_cast<std::size_t>(w_ - text_.data());
    const std::size_t spare = text_.capacity() - used;
    const std::size_t step = spare < 16384 ? spare : 16384;
    text_.resize(used + (units > step ? units : step));
    w_ = text_.data() + used;
    end_ = text_.data() + text_.size();
  }
  std::u16string text_;
  char16_t* w_;
  char16_t* end_;
};

// Code page 932 bytes fed one at a time, decoded as CodePageBytesToText does.
class CodePageStream {
 public:
  CodePageStream(const CodePageTable& table, TextWriter& out) : table_(table), out_(out) {}

  // No lead byte is waiting for its trail.
  bool Idle() const { return !pending_; }

  void Put(std::uint8_t b) {
    if (pending_) {
      pending_ = false;
      if (const char16_t unit = table_.Pair(lead_, b)) {
        out_.Put(unit);
        return;
      }
      out_.Put(kReplacementCharacter);
    }
    if (table_.IsLead(b)) {
      pending_ = true;
      lead_ = b;
      return;
    }
    out_.Put(table_.single[b]);
  }

  // The end of the bytes: a lead byte still waiting becomes U+FFFD.
  void End() {
    if (pending_) out_.Put(kReplacementCharacter);
    pending_ = false;
  }

 private:
  const CodePageTable& table_;
  TextWriter& out_;
  bool pending_ = false;
  std::uint8_t lead_ = 0;
};

}  // namespace nbl::encoding::detail
