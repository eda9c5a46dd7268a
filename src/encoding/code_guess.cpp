#include "encoding/code_guess.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/failure.h"
#include "encoding/jis_step.h"

namespace nbl::encoding {

namespace {

using detail::kEsc;

// Where, from p[i] up to p[n], the first byte stands that is no 7-bit
// character other than ESC and 0x00: the only bytes the tests here look at
// more closely. Sixteen bytes at a time where the processor can, since
// diary files hold long runs of markup.
std::size_t SkipPlain(const std::uint8_t* p, std::size_t i, std::size_t n) {
#ifdef __SSE2__
  for (; n - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i telling = _mm_or_si128(
        block, _mm_or_si128(_mm_cmpeq_epi8(block, _mm_setzero_si128()), _mm_cmpeq_epi8(block, _mm_set1_epi8(kEsc))));
    if (const auto m = static_cast<unsigned>(_mm_movemask_epi8(telling)); m != 0) {
      return i + static_cast<std::size_t>(__builtin_ctz(m));
    }
  }
#endif
  while (i < n && p[i] != 0 && p[i] < 0x80 && p[i] != kEsc) ++i;
  return i;
}

}  // namespace

void KanjiCodeGuess::Feed(const std::uint8_t* p, std::size_t n) {
  if (n == 0) return;
  any_ = true;
  if (decided()) return;
  if (last_ >= 0 && !Pair(static_cast<std::uint8_t>(last_), p[0])) return;
  // Every byte but the last is the first of a pair here; that one pairs with the next piece.
  for (std::size_t i = SkipPlain(p, 0, n - 1); i < n - 1; i = SkipPlain(p, i + 1, n - 1)) {
    if (!Pair(p[i], p[i + 1])) return;
  }
  last_ = p[n - 1];
}

bool KanjiCodeGuess::Pair(std::uint8_t c, std::uint8_t d) {
  if (c == 0x00) {
    code_ = kCodeUndecided;
  } else if (c == kEsc) {
    if (d == 0x24 || d == 0x28) {
      code_ = kCodeJis;
    } else {
      ++jis_;
      --sjis_;
      --euc_;
    }
  } else if (c >= 0x80 && c <= 0xA0) {
    if (d >= 0x40 && d <= 0xFC) {
      code_ = kCodeShiftJis;
    } else {
      ++sjis_;
      --jis_;
      --euc_;
    }
  } else if (c >= 0xA1 && c <= 0xDF) {
    if (d >= 0xE0 && d <= 0xFE) {
      code_ = kCodeEuc;
    } else if (d >= 0xA1 && d <= 0xDF) {
      ++euc_;
      --sjis_;
      --jis_;
    } else {
      ++euc_;
    }
  } else if (c >= 0xE0) {
    ++sjis_;
    ++euc_;
    --jis_;
  }
  return !decided();
}

std::int32_t KanjiCodeGuess::Result() const {
  if (!any_) throw ConversionFailure("kanji code guess: empty input");
  if (decided()) return code_;
  // Ties go to Shift-JIS, then to JIS.
  if (sjis_ >= jis_ && sjis_ >= euc_) return kCodeShiftJis;
  if (jis_ > sjis_ && jis_ >= euc_) return kCodeJis;
  return kCodeEuc;
}

void EucTextCheck::Feed(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n && !failed_; ++i) {
    if (held_) {
      held_ = false;
      const std::uint8_t c = lead_, d = p[i];
      const bool kana = c == 0x8E && d >= 0xA1 && d <= 0xDF;
      failed_ = !kana && (c < 0xA1 || c > 0xFE || d < 0xA1 || d > 0xFE);
      any_ = true;
      continue;
    }
    i = SkipPlain(p, i, n);
    if (i == n) break;
    if (p[i] >= 0x80) {
      held_ = true;
      lead_ = p[i];
    }
  }
}

void Utf8TextCheck::Feed(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n && !failed_; ++i) {
    const std::uint8_t b = p[i];
    if (need_ > 0) {
      if (b < lo_ || b > hi_) {
        failed_ = true;
        break;
      }
      if (pair_ == 1) {
        // The second byte of a lead ED: A0 up is an encoded surrogate, which only a high half and a low half
        // side by side make good (the six-byte form of older files).
        if (b > 0xAF) {
          failed_ = true;
          break;
        }
        pair_ = b >= 0xA0 ? 2 : 0;
      }
      lo_ = 0x80;
      hi_ = 0xBF;
      if (--need_ == 0 && pair_ == 2) pair_ = 3;
      if (need_ == 0 && pair_ == 4) pair_ = 0;
      continue;
    }
    if (pair_ == 3) {
      // The low half must follow at once.
      if (b != 0xED) {
        failed_ = true;
        break;
      }
      need_ = 2;
      lo_ = 0xB0;
      pair_ = 4;
      continue;
    }
    if (b < 0x80) continue;
    multiByte_ = true;
    // The range of the second byte rules out overlong forms and values past U+10FFFF.
    if (b >= 0xC2 && b <= 0xDF) {
      need_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need_ = 2;
      if (b == 0xE0) lo_ = 0xA0;
      if (b == 0xED) pair_ = 1;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need_ = 3;
      if (b == 0xF0) lo_ = 0x90;
      if (b == 0xF4) hi_ = 0x8F;
    } else {
      failed_ = true;
    }
  }
}

}  // namespace nbl::encoding
