// Decimal numbers written as text, and rounding as the host language does it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nbl::number {

// An optionally signed decimal number with an optional point and fraction (at
// least one digit) and an optional exponent, blanks (space, tab) around it.
// Anything else (empty text, hex, "inf", "nan", a lone sign or point) gives
// nullopt. Past the range of a double: a negative exponent gives 0, else infinity.
std::optional<double> ParseDecimal(std::u16string_view text);

// The nearest integer, halves to the even neighbour, independent of the
// floating-point rounding mode.
double RoundHalfEven(double value);

// The value rounded as RoundHalfEven rounds it; nothing when the result lies
// outside the 32-bit signed range.
std::optional<std::int32_t> RoundToInt32(double value);

}  // namespace nbl::number
