#include "support/reference/kanji_code_convert.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "common/failure.h"
#include "encoding/jis_step.h"

namespace nbl::encoding {

namespace {

using detail::JisMode;
using detail::kEsc;

// The output of a converter: allocated once at 5 * L + 1 bytes (L the last
// input index), written by position, cut before its first 0x00 at the end.
class Output {
 public:
  explicit Output(std::size_t input_size) : bytes_(5 * (input_size - 1) + 1, 0) {}

  // Writes a computed value; a value outside 0-255 cannot be a byte.
  void Put(long value) {
    if (value < 0 || value > 0xFF) {
      throw ConversionFailure("kanji code conversion: computed byte " + std::to_string(value) + " is outside 0-255");
    }
    if (j_ >= bytes_.size()) throw ConversionFailure("kanji code conversion: output bound exceeded");
    bytes_[j_++] = static_cast<std::uint8_t>(value);
  }

  Bytes Finish() {
    const auto end = std::find(bytes_.begin(), bytes_.end(), std::uint8_t{0});
    if (end == bytes_.begin()) throw ConversionFailure("kanji code conversion: empty result");
    bytes_.erase(end, bytes_.end());
    bytes_.shrink_to_fit();
    return std::move(bytes_);
  }

 private:
  Bytes bytes_;
  std::size_t j_ = 0;
};

// bytes[i], failing when i lies past the end of the input.
std::uint8_t At(const Bytes& bytes, std::size_t i) {
  if (i >= bytes.size()) {
    throw ConversionFailure("kanji code conversion: read past the end at index " + std::to_string(i));
  }
  return bytes[i];
}

void RequireInput(const Bytes& bytes) {
  if (bytes.empty()) throw ConversionFailure("kanji code conversion: empty input");
}

}  // namespace

std::int32_t GuessKanjiCode(const Bytes& bytes) {
  if (bytes.empty()) throw ConversionFailure("kanji code guess: empty input");
  if (bytes.size() < 2) return kCodeShiftJis;

  long sjis = 0;
  long jis = 0;
  long euc = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
    const std::uint8_t c = bytes[i];
    const std::uint8_t d = bytes[i + 1];
    if (c == 0x00) return kCodeUndecided;
    if (c == kEsc) {
      if (d == 0x24 || d == 0x28) return kCodeJis;
      ++jis;
      --sjis;
      --euc;
    } else if (c >= 0x80 && c <= 0xA0) {
      if (d >= 0x40 && d <= 0xFC) return kCodeShiftJis;
      ++sjis;
      --jis;
      --euc;
    } else if (c >= 0xA1 && c <= 0xDF) {
      if (d >= 0xE0 && d <= 0xFE) return kCodeEuc;
      if (d >= 0xA1 && d <= 0xDF) {
        ++euc;
        --sjis;
        --jis;
      } else {
        ++euc;
      }
    } else if (c >= 0xE0) {
      ++sjis;
      ++euc;
      --jis;
    }
  }
  // Ties go to Shift-JIS, then to JIS.
  if (sjis >= jis && sjis >= euc) return kCodeShiftJis;
  if (jis > sjis && jis >= euc) return kCodeJis;
  return kCodeEuc;
}

bool IsEucText(const Bytes& bytes) {
  bool any = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t c = bytes[i];
    if (c < 0x80) continue;
    if (i + 1 == bytes.size()) return false;
    const std::uint8_t d = bytes[++i];
    const bool kana = c == 0x8E && d >= 0xA1 && d <= 0xDF;
    if (!kana && (c < 0xA1 || c > 0xFE || d < 0xA1 || d > 0xFE)) return false;
    any = true;
  }
  return any;
}

Bytes JisToSjisBytes(const Bytes& bytes) {
  RequireInput(bytes);
  Output out(bytes.size());
  JisMode mode = JisMode::kRoman;
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes[i] == kEsc) {
      const std::uint8_t e1 = At(bytes, i + 1);
      const std::uint8_t e2 = At(bytes, i + 2);
      // An unknown escape: only the ESC byte is dropped.
      i += detail::RecogniseEscape(e1, e2, mode) ? 3 : 1;
      continue;
    }
    switch (mode) {
      case JisMode::kKanji: {
        std::uint8_t s1 = 0;
        std::uint8_t s2 = 0;
        if (!detail::JisPairToSjis(bytes[i], At(bytes, i + 1), s1, s2)) {
          throw ConversionFailure("kanji code conversion: computed byte is outside 0-255");
        }
        out.Put(s1);
        out.Put(s2);
        i += 2;
        break;
      }
      case JisMode::kRoman:
        out.Put(bytes[i]);
        i += 1;
        break;
      case JisMode::kKana:
        out.Put(bytes[i] | 0x80);
        i += 1;
        break;
    }
  }
  return out.Finish();
}

Bytes EucToJisBytes(const Bytes& bytes) {
  RequireInput(bytes);
  Output out(bytes.size());
  JisMode mode = JisMode::kRoman;
  auto switch_to = [&](JisMode wanted, std::uint8_t e1, std::uint8_t e2) {
    if (mode == wanted) return;
    out.Put(kEsc);
    out.Put(e1);
    out.Put(e2);
    mode = wanted;
  };
  std::size_t i = 0;
  while (i < bytes.size()) {
    const long c = bytes[i];
    if (c < 0x80) {
      switch_to(JisMode::kRoman, 0x28, 0x4A);
      out.Put(c);
      i += 1;
      continue;
    }
    const long d = At(bytes, i + 1);
    if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
      switch_to(JisMode::kKana, 0x28, 0x49);
      out.Put(d - 0x80);
    } else {
      switch_to(JisMode::kKanji, 0x24, 0x42);
      out.Put(c - 0x80);
      out.Put(d - 0x80);
    }
    i += 2;
  }
  return out.Finish();
}

Bytes EucToSjisBytes(const Bytes& bytes) { return JisToSjisBytes(EucToJisBytes(bytes)); }

}  // namespace nbl::encoding
