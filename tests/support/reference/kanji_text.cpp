// JisBytesToText and EucBytesToText in one pass. The EUC-JP to JIS and the JIS
// to Shift-JIS steps of the converter chain (kanji_code_convert.cpp) run here
// as stages fed a byte at a time in front of the code page tables, so that
// every input gives the chain's text and fails where the chain fails. While
// nothing is half read, plain characters skip the stages and go straight from
// the tables to the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/failure.h"
#include "encoding/code_page_table.h"
#include "encoding/jis_step.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {

namespace {

using detail::CodePageStream;
using detail::CodePageTable;
using detail::kEsc;
using detail::RecogniseEscape;
using detail::TextWriter;
using Mode = detail::JisMode;

[[noreturn]] void Fail(const char* why) { throw ConversionFailure(std::string("kanji code conversion: ") + why); }

// What the runs read of the tables, held in locals so that the loops keep it in registers.
struct Lookup {
  explicit Lookup(const CodePageTable& table)
      : jis(table.jis.data()), single(table.single.data()), slot(table.slot.data()) {}

  // The character of the JIS X 0208 code row, cell (0x21-0x7E), or 0 when it
  // is not one or must go through the stages.
  char16_t Pair(unsigned row, unsigned cell) const {
    row -= 0x21;
    cell -= 0x21;
    return row < 94 && cell < 94 ? jis[row * 94 + cell] : 0;
  }
  // The character of a Shift-JIS byte alone, or 0 when it must go through the stages.
  char16_t Single(std::uint8_t b) const { return b == 0 || slot[b] != 0 ? 0 : single[b]; }

  const char16_t* jis;
  const char16_t* single;
  const std::uint8_t* slot;
};

// The JIS to Shift-JIS step fed one JIS byte at a time. Its Shift-JIS bytes
// end at the first 0x00 it writes, as the chain cuts them, but the JIS bytes
// after that are still read, so that they fail where the chain fails.
class JisStage {
 public:
  JisStage(const CodePageTable& table, TextWriter& out) : table_(table), out_(out), bytes_(table, out) {}

  // Nothing half read, a byte written, no cut yet, and the code page step
  // waits for no trail byte: what comes next may skip the stages.
  bool Steady() const { return state_ == State::kNone && wrote_ && !cut_ && bytes_.Idle(); }
  Mode mode() const { return mode_; }
  const CodePageTable& table() const { return table_; }

  // While Steady(): the JIS bytes from p[i] that need no stage, straight to
  // the text, escapes included; returns where they end.
  std::size_t PutRun(const std::uint8_t* p, std::size_t i, std::size_t n) {
    const Lookup look(table_);
    Mode mode = mode_;
    const std::size_t room = detail::RunOf(n - i);
    char16_t* w = out_.Room(room);
    char16_t* const stop = w + room;
    // One loop per mode, left at an escape that is taken at once or at anything else.
    for (;;) {
      if (mode == Mode::kKanji) {
        for (char16_t unit; i + 1 < n && w != stop && (unit = look.Pair(p[i], p[i + 1])) != 0; i += 2) {
          *w++ = unit;
        }
      } else {
        // Kana mode reads the same bytes with their high bit set.
        const std::uint8_t high = mode == Mode::kKana ? 0x80 : 0;
        for (char16_t unit;
             i < n && w != stop && p[i] != kEsc && (unit = look.Single(static_cast<std::uint8_t>(p[i] | high))) != 0;
             ++i) {
          *w++ = unit;
        }
      }
      if (w == stop || i + 2 >= n || p[i] != kEsc || !RecogniseEscape(p[i + 1], p[i + 2], mode)) break;
      i += 3;
    }
    out_.Commit(w);
    mode_ = mode;
    return i;
  }

  // A recognised escape to `mode`, as if its three bytes had been Put.
  void Switch(Mode mode) {
    if (state_ == State::kNone) {
      mode_ = mode;
      return;
    }
    Put(kEsc);
    Put(mode == Mode::kKanji ? 0x24 : 0x28);
    Put(mode == Mode::kKanji ? 0x42 : mode == Mode::kRoman ? 0x4A : 0x49);
  }

  void Put(std::uint8_t b) {
    switch (state_) {
      case State::kNone:
        if (b == kEsc) {
          state_ = State::kEsc;
        } else if (mode_ == Mode::kKanji) {
          first_ = b;
          state_ = State::kPair;
        } else {
          Write(mode_ == Mode::kKana ? static_cast<std::uint8_t>(b | 0x80) : b);
        }
        return;
      case State::kEsc:
        first_ = b;
        state_ = State::kEscFirst;
        return;
      case State::kEscFirst:
        state_ = State::kNone;
        if (!RecogniseEscape(first_, b, mode_)) {
          // An unknown escape: only the ESC byte is dropped, the two after it are read again.
          const std::uint8_t e1 = first_;
          Put(e1);
          Put(b);
        }
        return;
      case State::kPair:
        state_ = State::kNone;
        WritePair(first_, b);
        return;
    }
  }

  // The end of the JIS bytes.
  void End() {
    if (state_ != State::kNone) Fail("read past the end");
    if (!wrote_) Fail("empty result");
    if (!cut_) bytes_.End();
  }

 private:
  enum class State { kNone, kEsc, kEscFirst, kPair };

  void WritePair(std::uint8_t c1, std::uint8_t c2) {
    std::uint8_t s1 = 0;
    std::uint8_t s2 = 0;
    if (!detail::JisPairToSjis(c1, c2, s1, s2)) Fail("computed byte outside 0-255");
    Write(s1);
    Write(s2);
  }

  void Write(std::uint8_t b) {
    if (cut_) return;
    if (b == 0) {
      cut_ = true;
      if (!wrote_) Fail("empty result");
      bytes_.End();
      return;
    }
    wrote_ = true;
    bytes_.Put(b);
  }

  const CodePageTable& table_;
  TextWriter& out_;
  CodePageStream bytes_;
  Mode mode_ = Mode::kRoman;
  State state_ = State::kNone;
  std::uint8_t first_ = 0;
  bool wrote_ = false;  // a Shift-JIS byte before any 0x00
  bool cut_ = false;    // a 0x00 was written: the text ends there
};

// The EUC-JP to JIS step in front of a JisStage: it writes the escapes the
// chain writes, and its JIS bytes end at their first 0x00 while the EUC-JP
// bytes after it are still read for failures.
class EucStage {
 public:
  EucStage(JisStage& jis, TextWriter& out) : jis_(jis), out_(out) {}

  // Both steps steady and in the same mode: a change of mode is then only
  // the escape the JIS step recognises at once.
  bool Steady() const { return !cut_ && jis_.Steady() && jis_.mode() == mode_; }

  // While Steady(): the EUC-JP bytes from p[i] that need no stage, straight
  // to the text; returns where they end.
  std::size_t PutRun(const std::uint8_t* p, std::size_t i, std::size_t n) {
    const Lookup look(jis_.table());
    const std::size_t room = detail::RunOf(n - i);
    char16_t* w = out_.Room(room);
    char16_t* const stop = w + room;
    Mode mode = mode_;
    while (i < n && w != stop) {
      const std::uint8_t c = p[i];
      char16_t unit = 0;
      if (c < 0x80) {
        if (c == kEsc || (unit = look.Single(c)) == 0) break;
        mode = Mode::kRoman;
        i += 1;
      } else {
        if (i + 1 >= n) break;
        const std::uint8_t d = p[i + 1];
        if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
          if ((unit = look.Single(d)) == 0) break;
          mode = Mode::kKana;
        } else {
          if ((unit = look.Pair(c - 0x80u, d - 0x80u)) == 0) break;
          mode = Mode::kKanji;
        }
        i += 2;
      }
      *w++ = unit;
    }
    out_.Commit(w);
    mode_ = mode;
    jis_.Switch(mode);
    return i;
  }

  // Writes the escape to `mode` unless that is the mode already.
  void Switch(Mode mode) {
    if (mode_ == mode) return;
    mode_ = mode;
    if (cut_) return;
    wrote_ = true;
    jis_.Switch(mode);
  }

  void Write(std::uint8_t b) {
    if (cut_) return;
    if (b == 0) {
      cut_ = true;
      if (!wrote_) Fail("empty result");
      jis_.End();
      return;
    }
    wrote_ = true;
    jis_.Put(b);
  }

  void End() {
    if (cut_) return;
    if (!wrote_) Fail("empty result");
    jis_.End();
  }

 private:
  JisStage& jis_;
  TextWriter& out_;
  Mode mode_ = Mode::kRoman;
  bool wrote_ = false;  // a JIS byte before any 0x00
  bool cut_ = false;    // a 0x00 was written: the JIS bytes end there
};

}  // namespace

std::u16string JisBytesToText(const Bytes& bytes) {
  if (bytes.empty()) Fail("empty input");
  TextWriter out(bytes.size());
  JisStage jis(detail::CodePage932(), out);
  const std::uint8_t* p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    if (jis.Steady()) i = jis.PutRun(p, i, n);
    if (i < n) jis.Put(p[i++]);
  }
  jis.End();
  return out.Take();
}

std::u16string EucBytesToText(const Bytes& bytes) {
  if (bytes.empty()) Fail("empty input");
  TextWriter out(bytes.size());
  JisStage jis(detail::CodePage932(), out);
  EucStage euc(jis, out);
  const std::uint8_t* p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    if (euc.Steady()) i = euc.PutRun(p, i, n);
    if (i >= n) break;
    const std::uint8_t c = p[i];
    if (c < 0x80) {
      euc.Switch(Mode::kRoman);
      euc.Write(c);
      i += 1;
      continue;
    }
    if (i + 1 >= n) Fail("read past the end");
    const std::uint8_t d = p[i + 1];
    if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
      euc.Switch(Mode::kKana);
      euc.Write(static_cast<std::uint8_t>(d - 0x80));
    } else {
      if (d < 0x80) Fail("computed byte outside 0-255");
      euc.Switch(Mode::kKanji);
      euc.Write(static_cast<std::uint8_t>(c - 0x80));
      euc.Write(static_cast<std::uint8_t>(d - 0x80));
    }
    i += 2;
  }
  euc.End();
  return out.Take();
}

}  // namespace nbl::encoding
