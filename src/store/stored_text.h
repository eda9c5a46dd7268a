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

}  // namespace nbl::store::detail
