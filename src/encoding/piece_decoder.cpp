// The decoders of piece_decoder.h. The kanji decoders run the stages of
// kanji_text.cpp (EUC-JP to JIS, JIS to Shift-JIS, code page 932) a byte at a
// time, so that any input fails where the converter chain fails, but while
// nothing is half read, plain characters go straight from tables of packed
// UTF-8 to the text. The UTF-8 decoder copies well-formed text as it stands
// and reads the rest by the rule of Utf8BytesToText.
#include "encoding/piece_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/utf8_blocks.h"
#include "encoding/code_page_table.h"
#include "encoding/jis_step.h"

namespace nbl::encoding {

namespace {

using detail::kEsc;
using detail::RecogniseEscape;
using Mode = detail::JisMode;

static_assert(std::endian::native == std::endian::little, "packed characters are stored byte by byte from the lowest");

// A character as UTF-8 in 32 bits: its bytes from the lowest, their number in
// the highest byte. 0 stands for no character.
using Packed = std::uint32_t;

constexpr Packed Pack(char32_t u) {
  if (u < 0x80) return 0x01000000u | u;
  if (u < 0x800) return 0x02000000u | (0xC0 | u >> 6) | (0x80 | (u & 0x3F)) << 8;
  return 0x03000000u | (0xE0 | u >> 12) | (0x80 | ((u >> 6) & 0x3F)) << 8 | (0x80 | (u & 0x3F)) << 16;
}

constexpr Packed kReplacement = Pack(detail::kReplacementCharacter);

// Writes `c` at `w` and returns its end. Four bytes are stored whatever its
// length: the room a decoder is given holds that one byte more.
inline char* Store(char* w, Packed c) {
  std::memcpy(w, &c, 4);
  return w + (c >> 24);
}

[[noreturn]] void Fail(const char* why) { throw ConversionFailure(std::string("kanji code conversion: ") + why); }

// Code page 932 as packed UTF-8, made once from the 16-bit tables.
struct Utf8Tables {
  std::array<Packed, 256> single{};      // a byte alone, U+FFFD for a lead byte
  std::array<Packed, 256> alone{};       // the same, 0 for a lead byte and for 0x00
  std::array<std::uint8_t, 256> slot{};  // as in CodePageTable
  std::vector<Packed> pairs;             // as in CodePageTable, 0 where the pair is no character
  std::vector<Packed> jis;               // as in CodePageTable, 0 where the stages must tell
  bool asciiAsIs = true;                 // every byte below 0x80 is its own character

  Packed Pair(std::uint8_t lead, std::uint8_t trail) const { return pairs[slot[lead] * 256u + trail]; }
  // The character of the JIS X 0208 code row, cell (0x21-0x7E), or 0.
  Packed Jis(unsigned row, unsigned cell) const {
    row -= 0x21;
    cell -= 0x21;
    return row < 94 && cell < 94 ? jis[row * 94 + cell] : 0;
  }
};

const Utf8Tables& Tables() {
  static const Utf8Tables tables = [] {
    const detail::CodePageTable& table = detail::CodePage932();
    const auto pack = [](char16_t u) { return u == 0 ? Packed{0} : Pack(u); };
    Utf8Tables t;
    for (int b = 0; b < 256; ++b) {
      t.single[b] = Pack(table.single[b]);
      t.alone[b] = b == 0 || table.IsLead(static_cast<std::uint8_t>(b)) ? 0 : t.single[b];
      t.slot[b] = table.slot[b];
      t.asciiAsIs = t.asciiAsIs && (b >= 0x80 || table.single[b] == b);
    }
    t.pairs.resize(table.pairs.size());
    std::transform(table.pairs.begin(), table.pairs.end(), t.pairs.begin(), pack);
    t.jis.resize(table.jis.size());
    std::transform(table.jis.begin(), table.jis.end(), t.jis.begin(), pack);
    return t;
  }();
  return tables;
}

// Copies the bytes from p[i] that every code here reads as themselves: below
// 0x80, and in JIS and EUC-JP (`kanji`) neither ESC nor 0x00, which the stages
// must see. Returns where they end; `w` moves past the copy.
template <bool kanji>
std::size_t CopyAscii(const std::uint8_t* p, std::size_t i, std::size_t n, char*& w) {
#ifdef __SSE2__
  for (; n - i >= 16; i += 16, w += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i stop = block;
    if constexpr (kanji) {
      stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(block, _mm_setzero_si128()),
                                             _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(kEsc)))));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), block);
    if (const auto m = static_cast<unsigned>(_mm_movemask_epi8(stop)); m != 0) {
      const unsigned k = static_cast<unsigned>(__builtin_ctz(m));
      w += k;
      return i + k;
    }
  }
#endif
  for (; i < n && p[i] < 0x80 && (!kanji || (p[i] != 0 && p[i] != kEsc)); ++i) *w++ = static_cast<char>(p[i]);
  return i;
}

// Where decoded text goes, shared by the stages of one decoder.
struct Text {
  char* w = nullptr;
  bool replaced = false;

  void Put(Packed c) {
    replaced = replaced || c == kReplacement;
    w = Store(w, c);
  }
};

// Code page 932 bytes one at a time, read as CodePageBytesToText reads them.
class CodePageStage {
 public:
  CodePageStage(const Utf8Tables& t, Text& out) : t_(t), out_(out) {}

  bool Idle() const { return !held_; }

  void Put(std::uint8_t b) {
    if (held_) {
      held_ = false;
      if (const Packed c = t_.Pair(lead_, b)) {
        out_.Put(c);
        return;
      }
      out_.Put(kReplacement);
    }
    if (t_.slot[b] != 0) {
      held_ = true;
      lead_ = b;
      return;
    }
    out_.Put(t_.single[b]);
  }

  // The end of the bytes: a lead byte still waiting is U+FFFD.
  void End() {
    if (held_) out_.Put(kReplacement);
    held_ = false;
  }

 private:
  const Utf8Tables& t_;
  Text& out_;
  bool held_ = false;
  std::uint8_t lead_ = 0;
};

class CodePageDecoder final : public PieceDecoder {
 public:
  CodePageDecoder() : t_(Tables()) {}

  char* Decode(const std::uint8_t* p, std::size_t n, char* w) override {
    const Utf8Tables& t = t_;
    bool replaced = false;
    std::size_t i = 0;
    if (held_ && n > 0) {
      held_ = false;
      if (const Packed c = t.Pair(lead_, p[0])) {
        w = Store(w, c);
        i = 1;
      } else {
        // A lead byte whose trail does not fit is U+FFFD, and that byte is read again.
        replaced = true;
        w = Store(w, kReplacement);
      }
    }
    while (i + 1 < n) {
      const std::uint8_t b = p[i];
      if (b < 0x80 && t.asciiAsIs) {
        i = CopyAscii<false>(p, i, n - 1, w);
        continue;
      }
      // A branch rather than a select: the next position then does not wait for the table lookups.
      if (const Packed c = t.Pair(b, p[i + 1]); __builtin_expect(c != 0, 1)) {
        w = Store(w, c);
        i += 2;
      } else {
        replaced = replaced || t.single[b] == kReplacement;
        w = Store(w, t.single[b]);
        i += 1;
      }
    }
    if (i < n) {
      if (t.slot[p[i]] != 0) {
        held_ = true;
        lead_ = p[i];
      } else {
        replaced = replaced || t.single[p[i]] == kReplacement;
        w = Store(w, t.single[p[i]]);
      }
    }
    replaced_ = replaced_ || replaced;
    return w;
  }

  char* Finish(char* w) override {
    if (!held_) return w;
    // A lead byte cut off by the end.
    held_ = false;
    replaced_ = true;
    return Store(w, kReplacement);
  }

 private:
  const Utf8Tables& t_;
  bool held_ = false;  // lead_ waits for its trail
  std::uint8_t lead_ = 0;
};

// The JIS to Shift-JIS step fed one JIS byte at a time (JisStage of
// kanji_text.cpp). Its Shift-JIS bytes end at the first 0x00 it writes, as
// the chain cuts them, but the JIS bytes after that are still read, so that
// they fail where the chain fails.
class JisStage {
 public:
  JisStage(const Utf8Tables& t, Text& out) : t_(t), out_(out), bytes_(t, out) {}

  // Nothing half read, a byte written, no cut yet, and the code page step
  // waits for no trail byte: what comes next may skip the stages.
  bool Steady() const { return state_ == State::kNone && wrote_ && !cut_ && bytes_.Idle(); }
  Mode mode() const { return mode_; }

  // While Steady(): the JIS bytes from p[i] that need no stage, straight to
  // the text, escapes included; returns where they end.
  std::size_t Run(const std::uint8_t* p, std::size_t i, std::size_t n) {
    const Utf8Tables& t = t_;
    char* w = out_.w;
    Mode mode = mode_;
    // One loop per mode, left at an escape that is taken at once or at anything else.
    for (;;) {
      if (mode == Mode::kKanji) {
        for (Packed c; i + 1 < n && (c = t.Jis(p[i], p[i + 1])) != 0; i += 2) w = Store(w, c);
      } else {
        if (mode == Mode::kRoman && t.asciiAsIs) i = CopyAscii<true>(p, i, n, w);
        // Kana mode reads the same bytes with their high bit set.
        const std::uint8_t high = mode == Mode::kKana ? 0x80 : 0;
        for (Packed c; i < n && p[i] != kEsc && (c = t.alone[p[i] | high]) != 0; ++i) {
          out_.replaced = out_.replaced || c == kReplacement;
          w = Store(w, c);
        }
      }
      if (i + 2 >= n || p[i] != kEsc || !RecogniseEscape(p[i + 1], p[i + 2], mode)) break;
      i += 3;
    }
    out_.w = w;
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

  const Utf8Tables& t_;
  Text& out_;
  CodePageStage bytes_;
  Mode mode_ = Mode::kRoman;
  State state_ = State::kNone;
  std::uint8_t first_ = 0;
  bool wrote_ = false;  // a Shift-JIS byte before any 0x00
  bool cut_ = false;    // a 0x00 was written: the text ends there
};

class JisDecoder final : public PieceDecoder {
 public:
  JisDecoder() : jis_(Tables(), out_) {}

  char* Decode(const std::uint8_t* p, std::size_t n, char* w) override {
    out_.w = w;
    any_ = any_ || n > 0;
    std::size_t i = 0;
    while (i < n) {
      if (jis_.Steady()) i = jis_.Run(p, i, n);
      if (i < n) jis_.Put(p[i++]);
    }
    replaced_ = out_.replaced;
    return out_.w;
  }

  char* Finish(char* w) override {
    out_.w = w;
    if (!any_) Fail("empty input");
    jis_.End();
    replaced_ = out_.replaced;
    return out_.w;
  }

 private:
  Text out_;
  JisStage jis_;
  bool any_ = false;  // a byte was fed
};

// The EUC-JP to JIS step in front of a JisStage (EucStage of kanji_text.cpp):
// it writes the escapes the chain writes, and its JIS bytes end at their first
// 0x00 while the EUC-JP bytes after it are still read for failures.
class EucDecoder final : public PieceDecoder {
 public:
  EucDecoder() : t_(Tables()), jis_(t_, out_) {}

  char* Decode(const std::uint8_t* p, std::size_t n, char* w) override {
    out_.w = w;
    any_ = any_ || n > 0;
    std::size_t i = 0;
    if (held_ && n > 0) {
      held_ = false;
      Pair(lead_, p[i++]);
    }
    while (i < n) {
      if (Steady()) i = Run(p, i, n);
      if (i >= n) break;
      const std::uint8_t c = p[i];
      if (c < 0x80) {
        Switch(Mode::kRoman);
        Write(c);
        i += 1;
      } else if (i + 1 < n) {
        Pair(c, p[i + 1]);
        i += 2;
      } else {
        held_ = true;
        lead_ = c;
        i += 1;
      }
    }
    replaced_ = out_.replaced;
    return out_.w;
  }

  char* Finish(char* w) override {
    out_.w = w;
    if (!any_) Fail("empty input");
    if (held_) Fail("read past the end");
    if (!cut_) {
      if (!wrote_) Fail("empty result");
      jis_.End();
    }
    replaced_ = out_.replaced;
    return out_.w;
  }

 private:
  // Both steps steady and in the same mode: a change of mode is then only
  // the escape the JIS step recognises at once.
  bool Steady() const { return !cut_ && jis_.Steady() && jis_.mode() == mode_; }

  // While Steady(): the EUC-JP bytes from p[i] that need no stage, straight
  // to the text; returns where they end.
  std::size_t Run(const std::uint8_t* p, std::size_t i, std::size_t n) {
    const Utf8Tables& t = t_;
    char* w = out_.w;
    Mode mode = mode_;
    while (i < n) {
      const std::uint8_t c = p[i];
      Packed ch = 0;
      if (c < 0x80) {
        if (c == kEsc || (ch = t.alone[c]) == 0) break;
        mode = Mode::kRoman;
        if (t.asciiAsIs) {
          i = CopyAscii<true>(p, i, n, w);
          continue;
        }
        i += 1;
      } else {
        if (i + 1 >= n) break;
        const std::uint8_t d = p[i + 1];
        if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
          if ((ch = t.alone[d]) == 0) break;
          mode = Mode::kKana;
        } else {
          if ((ch = t.Jis(c - 0x80u, d - 0x80u)) == 0) break;
          mode = Mode::kKanji;
        }
        i += 2;
      }
      out_.replaced = out_.replaced || ch == kReplacement;
      w = Store(w, ch);
    }
    out_.w = w;
    mode_ = mode;
    jis_.Switch(mode);
    return i;
  }

  // A byte from 0x80 on and the byte after it.
  void Pair(std::uint8_t c, std::uint8_t d) {
    if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
      Switch(Mode::kKana);
      Write(static_cast<std::uint8_t>(d - 0x80));
      return;
    }
    if (d < 0x80) Fail("computed byte outside 0-255");
    Switch(Mode::kKanji);
    Write(static_cast<std::uint8_t>(c - 0x80));
    Write(static_cast<std::uint8_t>(d - 0x80));
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

  const Utf8Tables& t_;
  Text out_;
  JisStage jis_;
  Mode mode_ = Mode::kRoman;
  bool wrote_ = false;  // a JIS byte before any 0x00
  bool cut_ = false;    // a 0x00 was written: the JIS bytes end there
  bool any_ = false;    // a byte was fed
  bool held_ = false;   // lead_, from 0x80 on, waits for the byte after it
  std::uint8_t lead_ = 0;
};

// UTF-8 read by the rule of Utf8BytesToText (every byte that starts no
// sequence dropped; three-byte forms taken as they stand, overlong and
// surrogate ones included), written as TextToUtf8Bytes writes that text: two
// surrogate halves that end up side by side become one four-byte sequence.
class Utf8Decoder final : public PieceDecoder {
 public:
  char* Decode(const std::uint8_t* p, std::size_t n, char* w) override {
    std::size_t i = 0;
    // First the sequence that the last piece cut, completed from this one.
    while (held_ > 0 && i < n) {
      std::uint8_t bytes[4];
      const std::size_t take = std::min<std::size_t>(n - i, 4 - held_);
      std::memcpy(bytes, hold_, held_);
      std::memcpy(bytes + held_, p + i, take);
      const Sequence s = Read(bytes, held_ + take, false);
      if (s.length == 0) {
        std::memcpy(hold_ + held_, p + i, take);
        held_ += take;
        i += take;
        break;
      }
      w = Write(w, bytes, s);
      if (s.length >= held_) {
        i += s.length - held_;
        held_ = 0;
      } else {
        // A bad lead byte: the bytes after it are read again.
        std::memmove(hold_, hold_ + s.length, held_ - s.length);
        held_ -= s.length;
      }
    }
    while (i < n) {
#ifdef __SSE2__
      if (high_ == 0 && n - i >= 16) {
        // ASCII and whole simple sequences are their own text.
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        bool multiByte = false;
        const unsigned simple = _mm_movemask_epi8(block) == 0 ? 16 : text::SimpleSequencesEnd(block, multiByte);
        if (simple != 0) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(w), block);
          w += simple;
          i += simple;
          continue;
        }
      }
#endif
      const Sequence s = Read(p + i, n - i, false);
      if (s.length == 0) {
        held_ = n - i;
        std::memcpy(hold_, p + i, held_);
        break;
      }
      w = Write(w, p + i, s);
      i += s.length;
    }
    return w;
  }

  char* Finish(char* w) override {
    while (held_ > 0) {
      const Sequence s = Read(hold_, held_, true);
      w = Write(w, hold_, s);
      std::memmove(hold_, hold_ + s.length, held_ - s.length);
      held_ -= s.length;
    }
    return Flush(w);
  }

 private:
  struct Sequence {
    std::size_t length;  // 0: the bytes at hand cannot tell yet
    bool bad;            // a lead byte that starts no sequence: only it is consumed, and dropped
    char32_t unit;       // the value of a sequence of up to three bytes
  };

  static bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

  // The sequence at p[0], of which `avail` bytes are at hand; `end`: no byte follows them.
  static Sequence Read(const std::uint8_t* p, std::size_t avail, bool end) {
    const std::uint8_t b0 = p[0];
    if (b0 < 0x80) return {1, false, b0};
    std::size_t length = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      // The second byte's range keeps the value within U+10000..U+10FFFF.
      length = 4;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      return {1, true, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (k >= avail) return end ? Sequence{1, true, 0} : Sequence{0, false, 0};
      if (k == 1 ? p[1] < lo || p[1] > hi : !IsContinuation(p[k])) return {1, true, 0};
    }
    if (length == 2) return {2, false, static_cast<char32_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F))};
    if (length == 3) {
      return {3, false, static_cast<char32_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F))};
    }
    return {4, false, 0};
  }

  // Writes the text of the sequence `s` at `p`.
  char* Write(char* w, const std::uint8_t* p, const Sequence& s) {
    if (s.bad) return w;
    if (s.length == 4) {
      // A character past U+FFFF: the same four bytes, after any high surrogate waiting alone.
      w = Flush(w);
      std::memcpy(w, p, 4);
      return w + 4;
    }
    const char32_t u = s.unit;
    if (high_ != 0) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        const std::uint32_t bytes = PairBytes(0x10000 + ((high_ - 0xD800) << 10) + (u - 0xDC00));
        std::memcpy(w, &bytes, 4);
        high_ = 0;
        return w + 4;
      }
      w = Flush(w);
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      high_ = u;  // waits for the unit after it
      return w;
    }
    return Store(w, Pack(u));
  }

  // The four bytes of code point `c` (U+10000 up), from the lowest.
  static std::uint32_t PairBytes(char32_t c) {
    return (0xF0 | c >> 18) | (0x80 | ((c >> 12) & 0x3F)) << 8 | (0x80 | ((c >> 6) & 0x3F)) << 16 |
           (0x80 | (c & 0x3F)) << 24;
  }

  // A high surrogate with no low one after it: its own three bytes.
  char* Flush(char* w) {
    if (high_ == 0) return w;
    w = Store(w, Pack(high_));
    high_ = 0;
    return w;
  }

  std::uint8_t hold_[4] = {};
  std::size_t held_ = 0;  // bytes of hold_ that start a sequence the next piece may complete
  char32_t high_ = 0;     // a high surrogate from a three-byte form, waiting for the unit after it
};

}  // namespace

std::unique_ptr<PieceDecoder> MakePieceDecoder(FileCode code) {
  switch (code) {
    case FileCode::kUtf8:
      return std::make_unique<Utf8Decoder>();
    case FileCode::kJis:
      return std::make_unique<JisDecoder>();
    case FileCode::kEuc:
      return std::make_unique<EucDecoder>();
    case FileCode::kCodePage:
      break;
  }
  return std::make_unique<CodePageDecoder>();
}

}  // namespace nbl::encoding
