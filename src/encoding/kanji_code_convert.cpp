#include "encoding/kanji_code_convert.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "common/failure.h"

namespace nbl::encoding {

namespace {

constexpr std::uint8_t kEsc = 0x1B;

enum class Mode { kKanji = 1, kRoman = 2, kKana = 3 };

// The output of a converter: allocated once at 5 * L + 1 bytes (L the last
// input index), written by position, cut before its first 0x00 at the end.
class Output {
 public:
  explicit Output(std::size_t input_size) : bytes_(5 * (input_size - 1) + 1, 0) {}

  // Writes a computed value; a value outside 0-255 cannot be a byte.
  void Put(long value) {
    if (value < 0 || value > 0xFF) {
      throw ConversionFailure("kanji code conversion: computed byte " + std::to_string(value) +
                              " is outside 0-255");
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

Bytes JisToSjisBytes(const Bytes& bytes) {
  RequireInput(bytes);
  Output out(bytes.size());
  Mode mode = Mode::kRoman;
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes[i] == kEsc) {
      const std::uint8_t e1 = At(bytes, i + 1);
      const std::uint8_t e2 = At(bytes, i + 2);
      if (e1 == 0x24 && (e2 == 0x42 || e2 == 0x40)) {
        mode = Mode::kKanji;
        i += 3;
      } else if (e1 == 0x28 && (e2 == 0x4A || e2 == 0x42)) {
        // ESC ( B (ASCII) is what most JIS writers use to leave kanji mode; read it as ESC ( J.
        mode = Mode::kRoman;
        i += 3;
      } else if (e1 == 0x28 && e2 == 0x49) {
        mode = Mode::kKana;
        i += 3;
      } else {
        i += 1;  // an unknown escape: only the ESC byte is dropped
      }
      continue;
    }
    switch (mode) {
      case Mode::kKanji: {
        const long c1 = bytes[i];
        const long c2 = At(bytes, i + 1);
        long s1;
        long s2;
        if (c1 % 2 == 1) {
          s1 = (c1 + 1) / 2 + 0x70;
          s2 = c2 + 0x1F;
        } else {
          s1 = c1 / 2 + 0x70;
          s2 = c2 + 0x7D;
        }
        if (s1 >= 0xA0) s1 += 0x40;
        if (s2 >= 0x7F) s2 += 1;
        out.Put(s1);
        out.Put(s2);
        i += 2;
        break;
      }
      case Mode::kRoman:
        out.Put(bytes[i]);
        i += 1;
        break;
      case Mode::kKana:
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
  Mode mode = Mode::kRoman;
  auto switch_to = [&](Mode wanted, std::uint8_t e1, std::uint8_t e2) {
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
      switch_to(Mode::kRoman, 0x28, 0x4A);
      out.Put(c);
      i += 1;
      continue;
    }
    const long d = At(bytes, i + 1);
    if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
      switch_to(Mode::kKana, 0x28, 0x49);
      out.Put(d - 0x80);
    } else {
      switch_to(Mode::kKanji, 0x24, 0x42);
      out.Put(c - 0x80);
      out.Put(d - 0x80);
    }
    i += 2;
  }
  return out.Finish();
}

Bytes EucToSjisBytes(const Bytes& bytes) { return JisToSjisBytes(EucToJisBytes(bytes)); }

}  // namespace nbl::encoding
