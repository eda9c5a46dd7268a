// The piece decoder of EUC-JP: the EUC-JP to JIS step in front of the JIS
// stage, with runs that need no stage taken straight to the text.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "encoding/jis_step.h"
#include "encoding/piece_decoder.h"
#include "encoding/piece_decoder_detail.h"
#include "encoding/piece_stages.h"

namespace nbl::encoding::detail {

namespace {

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
        Switch(JisMode::kRoman);
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
    JisMode mode = mode_;
    while (i < n) {
      const std::uint8_t c = p[i];
      Packed ch = 0;
      if (c < 0x80) {
        if (c == kEsc || (ch = t.alone[c]) == 0) break;
        mode = JisMode::kRoman;
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
          mode = JisMode::kKana;
        } else {
          if ((ch = t.Jis(c - 0x80u, d - 0x80u)) == 0) break;
          mode = JisMode::kKanji;
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
      Switch(JisMode::kKana);
      Write(static_cast<std::uint8_t>(d - 0x80));
      return;
    }
    if (d < 0x80) Fail("computed byte outside 0-255");
    Switch(JisMode::kKanji);
    Write(static_cast<std::uint8_t>(c - 0x80));
    Write(static_cast<std::uint8_t>(d - 0x80));
  }

  // Writes the escape to `mode` unless that is the mode already.
  void Switch(JisMode mode) {
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
  JisMode mode_ = JisMode::kRoman;
  bool wrote_ = false;  // a JIS byte before any 0x00
  bool cut_ = false;    // a 0x00 was written: the JIS bytes end there
  bool any_ = false;    // a byte was fed
  bool held_ = false;   // lead_, from 0x80 on, waits for the byte after it
  std::uint8_t lead_ = 0;
};

}  // namespace

std::unique_ptr<PieceDecoder> MakeEucPieceDecoder() { return std::make_unique<EucDecoder>(); }

}  // namespace nbl::encoding::detail
