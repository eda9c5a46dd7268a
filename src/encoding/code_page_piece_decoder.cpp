// The piece decoder of code page 932: pairs and single bytes straight from the
// tables of packed UTF-8, plain ASCII copied as it stands.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "encoding/piece_decoder.h"
#include "encoding/piece_decoder_detail.h"

namespace nbl::encoding::detail {

namespace {

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

}  // namespace

std::unique_ptr<PieceDecoder> MakeCodePagePieceDecoder() { return std::make_unique<CodePageDecoder>(); }

}  // namespace nbl::encoding::detail
