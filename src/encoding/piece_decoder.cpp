// The decoders of piece_decoder.h, one file each. The kanji decoders run the
// stages of kanji_text.cpp (EUC-JP to JIS, JIS to Shift-JIS, code page 932) a
// byte at a time, so that any input fails where the converter chain fails, but
// while nothing is half read, plain characters go straight from tables of
// packed UTF-8 to the text. The UTF-8 decoder copies well-formed text as it
// stands and reads the rest by the rule of Utf8BytesToText. Here: what they
// share that is made once, and the choice among them.
#include "encoding/piece_decoder.h"

#include <algorithm>
#include <string>

#include "common/failure.h"
#include "encoding/piece_decoder_detail.h"

namespace nbl::encoding {

namespace detail {

void Fail(const char* why) { throw ConversionFailure(std::string("kanji code conversion: ") + why); }

const Utf8Tables& Tables() {
  static const Utf8Tables tables = [] {
    const CodePageTable& table = CodePage932();
    const auto pack = [](char16_t u) { return u == 0 ? Packed{0} : Pack(u); };
    Utf8Tables t;
    for (int b = 0; b < 256; ++b) {
      t.single[b] = Pack(table.single[b]);
      t.alone[b] = b == 0 || table.IsLead(static_cast<std::uint8_t>(b)) ? 0 : t.single[b];
      t.slot[b] = table.slot[b];
      t.asciiAsIs = t.asciiAsIs && (b >= 0x80 || table.single[b] == b);
    }
    t.pairs.resize(table.pairs.size());
    std::transform(table.pairs.begin(), table.pairs.end(), t.pairs.begin(), pack);
    t.jis.resize(table.jis.size());
    std::transform(table.jis.begin(), table.jis.end(), t.jis.begin(), pack);
    return t;
  }();
  return tables;
}

}  // namespace detail

std::unique_ptr<PieceDecoder> MakePieceDecoder(FileCode code) {
  switch (code) {
    case FileCode::kUtf8:
      return detail::MakeUtf8PieceDecoder();
    case FileCode::kJis:
      return detail::MakeJisPieceDecoder();
    case FileCode::kEuc:
      return detail::MakeEucPieceDecoder();
    case FileCode::kCodePage:
      break;
  }
  return detail::MakeCodePagePieceDecoder();
}

}  // namespace nbl::encoding
