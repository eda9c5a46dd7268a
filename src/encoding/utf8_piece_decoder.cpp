// The piece decoder of UTF-8: well-formed text copied as it stands, the rest
// read by the rule of Utf8BytesToText.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/utf8_blocks.h"
#include "encoding/piece_decoder.h"
#include "encoding/piece_decoder_detail.h"

namespace nbl::encoding::detail {

namespace {

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

std::unique_ptr<PieceDecoder> MakeUtf8PieceDecoder() { return std::make_unique<Utf8Decoder>(); }

}  // namespace nbl::encoding::detail
