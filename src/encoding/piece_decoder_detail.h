// Internal to encoding/: what the piece decoders of piece_decoder.h share, the
// packed UTF-8 form of a character, code page 932 in that form, and the copy
// of the bytes every code reads as themselves.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "common/utf8_blocks.h"
#include "encoding/code_page_table.h"
#include "encoding/jis_step.h"
#include "encoding/piece_decoder.h"

namespace nbl::encoding::detail {

static_assert(std::endian::native == std::endian::little, "packed characters are stored byte by byte from the lowest");

// A character as UTF-8 in 32 bits: its bytes from the lowest, their number in
// the highest byte. 0 stands for no character.
using Packed = std::uint32_t;

constexpr Packed Pack(char32_t u) {
  if (u < 0x80) return 0x01000000u | u;
  if (u < 0x800) return 0x02000000u | (0xC0 | u >> 6) | (0x80 | (u & 0x3F)) << 8;
  return 0x03000000u | (0xE0 | u >> 12) | (0x80 | ((u >> 6) & 0x3F)) << 8 | (0x80 | (u & 0x3F)) << 16;
}

inline constexpr Packed kReplacement = Pack(kReplacementCharacter);

// Writes `c` at `w` and returns its end. Four bytes are stored whatever its
// length: the room a decoder is given holds that one byte more.
inline char* Store(char* w, Packed c) {
  std::memcpy(w, &c, 4);
  return w + (c >> 24);
}

// Throws the ConversionFailure of the kanji converters for `why`.
[[noreturn]] void Fail(const char* why);

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

// Built on first use; throws ConversionFailure when code page 932 is not available.
const Utf8Tables& Tables();

// Copies the bytes from p[i] that every code here reads as themselves: below
// 0x80, and in JIS and EUC-JP (`kanji`) neither ESC nor 0x00, which the stages
// must see. Returns where they end; `w` moves past the copy.
template <bool kanji>
inline std::size_t CopyAscii(const std::uint8_t* p, std::size_t i, std::size_t n, char*& w) {
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

// The decoder of each code, at the start of its bytes (one file each).
std::unique_ptr<PieceDecoder> MakeUtf8PieceDecoder();
std::unique_ptr<PieceDecoder> MakeJisPieceDecoder();
std::unique_ptr<PieceDecoder> MakeEucPieceDecoder();
std::unique_ptr<PieceDecoder> MakeCodePagePieceDecoder();

}  // namespace nbl::encoding::detail
