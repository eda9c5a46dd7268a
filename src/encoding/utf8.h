// The UTF8 module: 16-bit text to and from UTF-8 bytes at the file boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/vb_types.h"

namespace nbl::encoding {

using Bytes = std::vector<std::uint8_t>;

// Encodes `text` into `bytes`, which is replaced by exactly the encoded bytes;
// returns their number. A valid surrogate pair becomes one four-byte sequence,
// a lone surrogate the three-byte form. The empty text returns 0 and leaves
// `bytes` exactly as the caller passed it. Fails (OverflowFailure) only when
// the byte count would not fit in 32 bits; every code unit has an encoding.
std::int32_t TextToUtf8Bytes(std::u16string_view text, Bytes& bytes);

// Decodes UTF-8 (one- to four-byte sequences, and the three-byte surrogate form
// older files hold). `replacement` stands in for every byte that starts no
// well-formed sequence; only that byte is consumed. Never fails.
std::u16string Utf8BytesToText(const Bytes& bytes, std::u16string_view replacement);
// The same for bytes held as a string.
std::u16string Utf8BytesToText(std::string_view bytes, std::u16string_view replacement);

// True when the first `count` bytes hold at least two multi-byte sequences and
// no malformed one before the scan ends. Never fails.
vb::Boolean LooksLikeUtf8(const Bytes& bytes, std::int32_t count);

}  // namespace nbl::encoding
