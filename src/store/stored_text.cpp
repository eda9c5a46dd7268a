#include "store/stored_text.h"

#include <cstddef>
#include <cstring>

#include "common/text.h"
#include "encoding/utf8.h"

namespace nbl::store::detail {

bool StoredAsIs(std::string_view text) {
  // A surrogate's three bytes begin ED A0 to ED BF; no other sequence does.
  const auto surrogateAt = [&text](std::size_t k) {
    return k + 1 < text.size() && static_cast<unsigned char>(text[k + 1]) >= 0xA0;
  };
  if (text.size() < 64) {  // most columns: a loop costs less than a call
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (static_cast<unsigned char>(text[k]) == 0xED && surrogateAt(k)) return false;
    }
    return true;
  }
  const char* const end = text.data() + text.size();
  for (const char* p = text.data();
       (p = static_cast<const char*>(std::memchr(p, 0xED, static_cast<std::size_t>(end - p)))); ++p) {
    if (surrogateAt(static_cast<std::size_t>(p - text.data()))) return false;
  }
  return true;
}

std::string StoredUtf8(std::string_view text) { return text::ToUtf8(encoding::Utf8BytesToText(text, u"")); }

}  // namespace nbl::store::detail
