// memchr for the 64-bit Windows build, which otherwise takes the C runtime's:
// msvcrt's (and wine's) looks at one byte at a time, and the import looks for
// line ends and tag marks with it in every line it reads. Sixteen bytes a
// step with SSE2, which every x86-64 processor has, as glibc's does.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

extern "C" void* memchr(const void* s, int c, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(s);
  const auto byte = static_cast<unsigned char>(c);
  // Byte by byte up to a 16-byte boundary, so that no aligned load reaches a page the block does not touch.
  while (n > 0 && (reinterpret_cast<std::uintptr_t>(p) & 15) != 0) {
    if (*p == byte) return const_cast<unsigned char*>(p);
    ++p;
    --n;
  }
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(byte));
  for (; n >= 16; p += 16, n -= 16) {
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), wanted));
    if (hits != 0) return const_cast<unsigned char*>(p + __builtin_ctz(static_cast<unsigned>(hits)));
  }
  for (; n > 0; ++p, --n) {
    if (*p == byte) return const_cast<unsigned char*>(p);
  }
  return nullptr;
}
