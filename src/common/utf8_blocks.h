// Sixteen bytes of UTF-8 at a time: the common case of a scan over stored or
// read text, where ASCII and whole two- and three-byte sequences need no check
// byte by byte. Only where the processor has SSE2; callers keep a scalar path.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>

namespace nbl::text {

// The bytes of a block by their part in UTF-8, one bit each.
struct SequenceMasks {
  unsigned continuation, lead2, lead3;
  bool other;  // a byte from 0x80 on that is none of these, or E0 or ED (their next byte has a range of its own)
};

inline SequenceMasks MasksOf(__m128i block) {
  // As signed bytes: 80..BF are -128..-65, C2..DF -62..-33, E0..EF -32..-17.
  const auto bits = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
  const auto within = [&block](int low, int high) {
    return _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmplt_epi8(block, _mm_set1_epi8(static_cast<char>(high + 1))));
  };
  SequenceMasks m{bits(_mm_cmplt_epi8(block, _mm_set1_epi8(-64))), bits(within(-62, -33)), bits(within(-32, -17)),
                  false};
  const unsigned ruled = bits(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(0xE0))),
                                           _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(0xED)))));
  m.other = ruled != 0 || (m.continuation | m.lead2 | m.lead3) != bits(block);
  return m;
}

// How many bytes at the start of `block`, which starts a sequence, are ASCII or
// whole sequences of two or three bytes that need no check past their lead and
// continuation bytes, the usual make of Japanese text: 14 to 16, or 0 when the
// block must be read by the general rule. Sets `multiByte` when those hold a sequence.
inline unsigned SimpleSequencesEnd(__m128i block, bool& multiByte) {
  const SequenceMasks m = MasksOf(block);
  if (m.other) return 0;
  // A sequence that the block cuts is left to the next block.
  const unsigned cut = (m.lead2 & 0x8000u) | (m.lead3 & 0xC000u);
  // A branch, not ctz(cut | 0x10000): in this form the usual, repetitive file scans faster.
  const unsigned end = cut == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(cut));
  const unsigned wanted = (m.lead2 << 1) | (m.lead3 << 1) | (m.lead3 << 2);
  // Every position is checked, the cut tail's too: a sequence before it may not run into it.
  if (((m.continuation ^ wanted) & 0xFFFFu) != 0) return 0;
  multiByte = multiByte | ((m.lead2 | m.lead3) != 0);
  return end;
}

// The same check for blocks read one after another at a fixed stride, so that where the next
// block starts never waits for this one's answer. `carry` marks the bytes at the start of
// `block` that continue a sequence the block before cut, `cutBytes` counts that sequence's
// bytes in the block before; both are updated for the next block when the answer is true.
inline bool SimpleSequencesGoOn(__m128i block, unsigned& carry, unsigned& cutBytes) {
  const SequenceMasks m = MasksOf(block);
  const unsigned leads = m.lead2 | m.lead3;
  const unsigned wanted = ((leads << 1) | (m.lead3 << 2) | carry) & 0xFFFFu;
  if (m.other || m.continuation != wanted) return false;
  carry = (leads >> 15) | ((m.lead3 >> 15) << 1) | ((m.lead3 >> 14) & 1u);
  cutBytes = (leads >> 15) != 0 ? 1 : ((m.lead3 >> 14) & 1u) * 2;
  return true;
}

}  // namespace nbl::text

#endif
