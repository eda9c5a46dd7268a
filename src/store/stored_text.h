// Internal to the store: the UTF-8 a diary store holds for a text.
#pragma once

#include <string>
#include <string_view>

namespace nbl::store::detail {

// True when `text`, UTF-8 as TextToUtf8Bytes writes 16-bit text (a surrogate
// outside a pair as its own three bytes), is stored byte for byte as it is: it
// holds no encoded surrogate.
bool StoredAsIs(std::string_view text);

// The UTF-8 stored for such a text: each encoded pair as its one four-byte
// character, each lone surrogate, which UTF-8 cannot carry, as U+FFFD.
std::string StoredUtf8(std::string_view text);

}  // namespace nbl::store::detail
