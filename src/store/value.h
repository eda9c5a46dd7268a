// A database value that may be Null, with the conversions the runs apply to it.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "common/failure.h"
#include "common/vb_types.h"

namespace nbl::store {

class Value {
 public:
  Value() = default;                                         // Null
  Value(std::u16string text) : v_(std::move(text)) {}        // NOLINT
  Value(const char16_t* text) : v_(std::u16string(text)) {}  // NOLINT
  static Value Integer(std::int64_t i) {
    Value v;
    v.v_ = i;
    return v;
  }
  static Value Double(double d) {
    Value v;
    v.v_ = d;
    return v;
  }
  static Value Boolean(bool b) {
    Value v;
    v.v_ = BoolBox{b};
    return v;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }

  // Text form: text as it is, integers in decimal, doubles with at most 15
  // significant digits as the host language writes them ("0.1", "1E+15", "1E-05"),
  // booleans "True"/"False". Throws NullValueFailure on Null.
  std::u16string CStr() const;

  // 16-bit integer: doubles rounded half to even, numeric text (optional blanks,
  // sign, decimal point and exponent) parsed and rounded the same way, booleans -1/0.
  // Throws NullValueFailure on Null, OverflowFailure out of range (NaN and infinities
  // included), ConversionFailure for text that is not a number.
  vb::Integer CInt() const;

  struct BoolBox {
    bool b;
  };
  using Variant = std::variant<std::monostate, std::u16string, std::int64_t, double, BoolBox>;
  const Variant& raw() const { return v_; }

 private:
  Variant v_;
};

// The failure CStr throws on Null, for readers that take text without a Value.
NullValueFailure NullAsTextFailure();

}  // namespace nbl::store
