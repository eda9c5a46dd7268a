// Internal to encoding/: the stages of the converter chain (EUC-JP to JIS, JIS
// to Shift-JIS, code page 932) run a byte at a time, which the JIS and EUC-JP
// piece decoders feed, so that any input fails where the chain fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoding/jis_step.h"
#include "encoding/piece_decoder_detail.h"

namespace nbl::encoding::detail {

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
  JisMode mode() const { return mode_; }

  // While Steady(): the JIS bytes from p[i] that need no stage, straight to
  // the text, escapes included; returns where they end.
  std::size_t Run(const std::uint8_t* p, std::size_t i, std::size_t n) {
    const Utf8Tables& t = t_;
    char* w = out_.w;
    JisMode mode = mode_;
    // One loop per mode, left at an escape that is taken at once or at anything else.
    for (;;) {
      if (mode == JisMode::kKanji) {
        for (Packed c; i + 1 < n && (c = t.Jis(p[i], p[i + 1])) != 0; i += 2) w = Store(w, c);
      } else {
        if (mode == JisMode::kRoman && t.asciiAsIs) i = CopyAscii<true>(p, i, n, w);
        // Kana mode reads the same bytes with their high bit set.
        const std::uint8_t high = mode == JisMode::kKana ? 0x80 : 0;
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
  void Switch(JisMode mode) {
    if (state_ == State::kNone) {
      mode_ = mode;
      return;
    }
    Put(kEsc);
    Put(mode == JisMode::kKanji ? 0x24 : 0x28);
    Put(mode == JisMode::kKanji ? 0x42 : mode == JisMode::kRoman ? 0x4A : 0x49);
  }

  void Put(std::uint8_t b) {
    switch (state_) {
      case State::kNone:
        if (b == kEsc) {
          state_ = State::kEsc;
        } else if (mode_ == JisMode::kKanji) {
          first_ = b;
          state_ = State::kPair;
        } else {
          Write(mode_ == JisMode::kKana ? static_cast<std::uint8_t>(b | 0x80) : b);
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
    if (!JisPairToSjis(c1, c2, s1, s2)) Fail("computed byte outside 0-255");
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
  JisMode mode_ = JisMode::kRoman;
  State state_ = State::kNone;
  std::uint8_t first_ = 0;
  bool wrote_ = false;  // a Shift-JIS byte before any 0x00
  bool cut_ = false;    // a 0x00 was written: the text ends there
};

}  // namespace nbl::encoding::detail
