#include "cli/printable.h"

#include "common/text.h"

namespace nbl::cli {

std::string Printable(const std::string& utf8) {
  std::u16string t = text::FromUtf8(utf8);
  for (char16_t& c : t) {
    if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F)) c = u'?';
  }
  return text::ToUtf8(t);
}

}  // namespace nbl::cli
