// Value types shaped like those of the host's language: 16-bit Integer and
// 32-bit Long whose arithmetic fails on overflow, and the -1/0 Boolean.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "common/failure.h"

namespace nbl::vb {

using Boolean = std::int16_t;
inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;

inline constexpr Boolean ToBoolean(bool b) { return b ? True : False; }

// A signed integer of width T whose arithmetic throws OverflowFailure instead of wrapping.
template <typename T>
class Checked {
 public:
  constexpr Checked() = default;
  constexpr Checked(T v) : value_(v) {}  // NOLINT: implicit from the exact type is safe

  // Any wider value; fails when it does not fit.
  static Checked From(long long v) {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
      throw OverflowFailure("overflow: " + std::to_string(v) + " does not fit in " + std::to_string(sizeof(T) * 8) +
                            " bits");
    }
    return Checked(static_cast<T>(v));
  }

  constexpr T value() const { return value_; }
  constexpr operator T() const { return value_; }  // NOLINT

  friend Checked operator+(Checked a, Checked b) { return From(static_cast<long long>(a.value_) + b.value_); }
  friend Checked operator-(Checked a, Checked b) { return From(static_cast<long long>(a.value_) - b.value_); }
  friend Checked operator*(Checked a, Checked b) { return From(static_cast<long long>(a.value_) * b.value_); }
  Checked& operator+=(Checked b) { return *this = *this + b; }
  Checked& operator-=(Checked b) { return *this = *this - b; }

 private:
  T value_ = 0;
};

using Integer = Checked<std::int16_t>;
using Long = Checked<std::int32_t>;

}  // namespace nbl::vb
