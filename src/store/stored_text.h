// Internal to the store: 16-bit text as the UTF-8 bytes a diary store holds for it.
#pragma once

#include <string>
#include <string_view>

namespace nbl::store::detail {

// Writes to `out` the bytes SQLite stores for `text` bound as UTF-16 and returns
// true. Returns false, `out` unspecified, for text SQLite reads its own way,
// which must be bound as UTF-16 to be stored as before: a surrogate outside a
// high-low pair (SQLite joins it with whatever unit follows), or a first unit
// U+FEFF or U+FFFE (SQLite takes it for a byte-order mark).
bool StoredUtf8(std::u16string_view text, std::string& out);

// True when SQLite stores `text`, UTF-8 as TextToUtf8Bytes writes 16-bit text
// (a surrogate outside a pair as its own three bytes), byte for byte when bound
// as UTF-8, just as it stores that 16-bit text bound as UTF-16. False, for the
// reasons StoredUtf8 gives, when it holds an encoded surrogate or begins with
// U+FEFF or U+FFFE: then bind the 16-bit text.
bool StoredAsIs(std::string_view text);

}  // namespace nbl::store::detail
