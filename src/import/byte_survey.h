// Internal to import/: the scan of a diary file's bytes, a piece at a time, for
// what both readings of the file must know: whether they are plain UTF-8, and
// their breaks and NUL bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/text.h"
#include "common/utf8_blocks.h"

namespace nbl::importing::detail {

// What one pass over a file's bytes, handed in pieces, tells about them.
struct ByteSurvey {
  std::uint64_t size = 0;  // the bytes scanned: up to a malformed sequence, where the scan stopped
  std::size_t stop = 0;    // where in its piece the scan stopped at a malformed sequence
  std::uint64_t lf = 0, cr = 0;
  bool nul = false;
  bool plain = true;  // every sequence is well-formed UTF-8 (see text::Utf8SequenceLength)
  bool multiByte = false;

  bool Usable() const { return plain && !nul; }

  // Scans `piece` and calls found(k) for every k where it holds `c`, in
  // order. Returns the number of bytes at its end that start a sequence the
  // next piece completes: 0 for the `last` piece. Stops at the first NUL or
  // malformed sequence.
  template <typename Found>
  std::size_t Scan(std::string_view piece, bool last, char c, Found found) {
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const std::size_t n = piece.size();
    std::size_t i = 0;
    while (i < n) {
#ifdef __SSE2__
      if (n - i >= 16) {
        bool run = false;
        if (!ScanBlock(p, i, c, found, run)) return 0;
        if (!run) continue;
      } else
#endif
          if (p[i] < 0x80) {
        if (p[i] == 0) {
          nul = true;
          return 0;
        }
        lf += p[i] == '\n';
        cr += p[i] == '\r';
        if (p[i] == static_cast<unsigned char>(c)) found(i);
        ++i;
        continue;
      }
      // Bytes from 0x80 on, which must form well-formed sequences; Japanese text holds runs of them.
      multiByte = true;
      if (std::size_t carry = 0; !ScanRun(piece, last, i, carry)) return carry;
    }
    size += i;
    return 0;
  }

 private:
#ifdef __SSE2__
  // The bytes at the start of the 16 from p[i] that need no rule byte by byte,
  // and the breaks and NULs among them: moves `i` past them. `run`: a sequence
  // from 0x80 on that needs the rule comes next. False at a NUL.
  template <typename Found>
  bool ScanBlock(const unsigned char* p, std::size_t& i, char c, Found& found, bool& run) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // Signed, bytes from 0x80 on are below 0 too: one test passes over a block of printable ASCII.
    if (_mm_movemask_epi8(_mm_cmplt_epi8(block, _mm_set1_epi8('\r' + 1))) == 0) {
      i += 16;
      return true;
    }
    const auto mask = [&block](char b) {
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(b))));
    };
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
    // The bytes taken whole here: simple sequences and ASCII, or else the ASCII before the first sequence.
    const unsigned simple = high == 0 ? 16 : text::SimpleSequencesEnd(block, multiByte);
    const unsigned taken = simple != 0 ? simple : static_cast<unsigned>(__builtin_ctz(high));
    const unsigned keep = (1u << taken) - 1;
    if ((mask('\0') & keep) != 0) {
      nul = true;
      return false;
    }
    // Breaks are few to a block: taking their bits one by one beats a popcount without the instruction.
    for (unsigned m = mask('\n') & keep; m != 0; m &= m - 1) {
      ++lf;
      if (c == '\n') found(i + static_cast<std::size_t>(__builtin_ctz(m)));
    }
    for (unsigned m = mask('\r') & keep; m != 0; m &= m - 1) {
      ++cr;
      if (c == '\r') found(i + static_cast<std::size_t>(__builtin_ctz(m)));
    }
    i += taken;
    run = simple == 0 && taken != 16;
    return true;
  }
#endif

  // The run of bytes from 0x80 on at piece[i]: moves `i` past it. False where
  // the scan ends in it, at a sequence the next piece completes (`carry`: its
  // bytes so far) or at a malformed one.
  bool ScanRun(std::string_view piece, bool last, std::size_t& i, std::size_t& carry) {
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const std::size_t n = piece.size();
    do {
      // Most kana and kanji: a lead E1..EC or EE..EF and two continuation bytes, nothing more to check.
      if (n - i >= 3 && ((p[i] >= 0xE1 && p[i] <= 0xEC) || p[i] >= 0xEE) && p[i] <= 0xEF && (p[i + 1] & 0xC0) == 0x80 &&
          (p[i + 2] & 0xC0) == 0x80) {
        i += 3;
        continue;
      }
      const std::size_t wanted = p[i] >= 0xF0 ? 4 : p[i] >= 0xE0 ? 3 : 2;
      if (!last && n - i < wanted) {
        size += i;
        carry = n - i;
        return false;
      }
      const std::size_t length = text::Utf8SequenceLength(piece, i);
      if (length == 0) {
        plain = false;
        stop = i;
        size += i;
        return false;
      }
      i += length;
    } while (i < n && p[i] >= 0x80);
    return true;
  }
};

}  // namespace nbl::importing::detail
