#include "common/number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "common/text.h"

namespace nbl::number {

using text::IsBlank;
using text::IsDigit;

std::optional<double> ParseDecimal(std::u16string_view field) {
  std::size_t b = 0, e = field.size();
  while (b < e && IsBlank(field[b])) ++b;
  while (e > b && IsBlank(field[e - 1])) --e;

  // The whole grammar is checked here: from_chars alone would also take "inf", "nan" and hex.
  std::string ascii;
  std::size_t k = b;
  bool negative = false;
  if (k < e && (field[k] == u'+' || field[k] == u'-')) negative = field[k++] == u'-';
  std::size_t digits = 0;
  while (k < e && IsDigit(field[k])) {
    ascii.push_back(static_cast<char>(field[k++]));
    ++digits;
  }
  if (k < e && field[k] == u'.') {
    ascii.push_back('.');
    ++k;
    while (k < e && IsDigit(field[k])) {
      ascii.push_back(static_cast<char>(field[k++]));
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  bool negativeExponent = false;
  if (k < e && (field[k] == u'e' || field[k] == u'E')) {
    ascii.push_back('e');
    ++k;
    if (k < e && (field[k] == u'+' || field[k] == u'-')) {
      negativeExponent = field[k] == u'-';
      ascii.push_back(static_cast<char>(field[k++]));
    }
    std::size_t exponentDigits = 0;
    while (k < e && IsDigit(field[k])) {
      ascii.push_back(static_cast<char>(field[k++]));
      ++exponentDigits;
    }
    if (exponentDigits == 0) return std::nullopt;
  }
  if (k != e) return std::nullopt;

  double value = 0;
  const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (end != ascii.data() + ascii.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

double RoundHalfEven(double value) {
  const double lower = std::floor(value);
  const double diff = value - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::optional<std::int32_t> RoundToInt32(double value) {
  const double rounded = RoundHalfEven(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace nbl::number
