// Sixteen bytes of UTF-8 at a time: the common case of a scan over stored or
// read text, where ASCII and whole two- and three-byte sequences need no check
// byte by byte. Only where the processor has SSE2; callers keep a scalar path.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>

namespace nbl::text {

// How many bytes at the start of `block`, which starts a sequence, are ASCII or
// whole sequences of two or three bytes that need no check past their lead and
// continuation bytes, the usual make of Japanese text: 14 to 16, or 0 when the
// block must be read by the general rule. Sets `multiByte` when those hold a sequence.
inline unsigned SimpleSequencesEnd(__m128i block, bool& multiByte) {
  // As signed bytes: 80..BF are -128..-65, C2..DF -62..-33, E0..EF -32..-17.
  const auto bits = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
  const auto within = [&block](int low, int high) {
    return _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmplt_epi8(block, _mm_set1_epi8(static_cast<char>(high + 1))));
  };
  const unsigned continuation = bits(_mm_cmplt_epi8(block, _mm_set1_epi8(-64)));
  const unsigned lead2 = bits(within(-62, -33)), lead3 = bits(within(-32, -17));
  // E0 and ED give their next byte a range of its own; any other byte from 0x80 on
  // that is neither kind (C0, C1, F0 and up) leaves the block to the rule as well.
  const unsigned ruled = bits(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(0xE0))),
                                           _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(0xED)))));
  if (ruled != 0 || (continuation | lead2 | lead3) != bits(block)) return 0;
  // A sequence that the block cuts is left to the next block.
  const unsigned cut = (lead2 & 0x8000u) | (lead3 & 0xC000u);
  // A branch, not ctz(cut | 0x10000): in this form the usual, repetitive file scans faster.
  const unsigned end = cut == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(cut));
  const unsigned wanted = (lead2 << 1) | (lead3 << 1) | (lead3 << 2);
  // Every position is checked, the cut tail's too: a sequence before it may not run into it.
  if (((continuation ^ wanted) & 0xFFFFu) != 0) return 0;
  multiByte = multiByte | ((lead2 | lead3) != 0);
  return end;
}

}  // namespace nbl::text

#endif
